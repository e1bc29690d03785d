#include "ui/frm_show_update.h"

#include <QDesktopServices>
#include <QTextBrowser>

#include "transport/update_check.h"

namespace mailferry {

TfrmShowUpdate::TfrmShowUpdate(QWidget* parent) : TClassicDialog(true, parent) {
  setWindowTitle(kNewVersionCaption);
  SetUpFixedWindow(this, 608, 384);
  WebBrowser1 = new QTextBrowser(this);
  WebBrowser1->setGeometry(0, 0, 608, 384);
  // The window shows one page; every link leads to the desktop's browser.
  WebBrowser1->setOpenLinks(false);
  connect(WebBrowser1, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& link) { QDesktopServices::openUrl(page_url_.resolved(link)); });
}

void TfrmShowUpdate::Navigate(const std::string& url, const std::string& html) {
  const QString address = QString::fromStdString(url);
  page_url_ = QUrl(address);
  if (html.empty()) {
    WebBrowser1->setHtml(
        QStringLiteral("<p><a href=\"%1\">%1</a></p>").arg(address.toHtmlEscaped()));
  } else {
    WebBrowser1->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())));
  }
}

}  // namespace mailferry
