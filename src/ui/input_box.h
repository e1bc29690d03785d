// TInputBox: a small modal dialog asking for one line of text.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace mailferry {

// A caption, a prompt above an empty text box that takes up to max_length characters, and the
// buttons "OK" (Enter) and "Cancel" (Escape).
class TInputBox : public QDialog {
  Q_OBJECT

 public:
  TInputBox(const QString& caption, const QString& prompt, int max_length,
            QWidget* parent = nullptr);

  QString Text() const;
  QLineEdit* Edit() const { return edit_; }

 private:
  QLineEdit* edit_;
};

}  // namespace mailferry
