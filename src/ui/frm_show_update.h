// TfrmShowUpdate: the window that announces a newer version with the update service's page.
#pragma once

#include <QUrl>
#include <string>

#include "ui/window_look.h"

class QTextBrowser;

namespace mailferry {

// Created for one announcement, shown modally and released when it closes. The page is shown as
// fetched (simple HTML); its links, and the page itself when it could not be fetched, open in the
// desktop's web browser.
class TfrmShowUpdate : public TClassicDialog {
  Q_OBJECT

 public:
  explicit TfrmShowUpdate(QWidget* parent = nullptr);

  // Shows the page fetched from url; empty html shows a link to url instead.
  void Navigate(const std::string& url, const std::string& html);

  QTextBrowser* WebBrowser1;

 private:
  QUrl page_url_;
};

}  // namespace mailferry
