#include "ui/input_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mailferry {

TInputBox::TInputBox(const QString& caption, const QString& prompt, int max_length, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(caption);
  setFixedSize(300, 110);
  auto* label = new QLabel(prompt, this);
  label->setGeometry(8, 8, 284, 16);
  edit_ = new QLineEdit(this);
  edit_->setGeometry(8, 28, 284, 23);
  edit_->setMaxLength(max_length);
  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(136, 72, 75, 25);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setGeometry(217, 72, 75, 25);
  // QDialog answers Escape with reject(), which is Cancel.
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

QString TInputBox::Text() const { return edit_->text(); }

}  // namespace mailferry
