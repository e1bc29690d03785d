#include "ui/modal_ui.h"

#include <QDialog>
#include <QMessageBox>

#include "ui/input_box.h"

namespace mailferry {

void QtModalUi::ShowInformation(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, kApplicationTitle, text, QMessageBox::Ok);
}

void QtModalUi::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, kApplicationTitle, text, QMessageBox::Ok);
}

std::optional<QString> QtModalUi::InputBox(QWidget* parent, const QString& caption,
                                           const QString& prompt, int max_length) {
  TInputBox box(caption, prompt, max_length, parent);
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.Text();
}

int QtModalUi::ShowModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace mailferry
