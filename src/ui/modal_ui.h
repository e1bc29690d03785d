// The modal windows the desktop program opens - message boxes, the input box and its dialogs -
// behind one interface, so that tests can answer them instead of a user.
#pragma once

#include <QString>
#include <exception>
#include <optional>

class QDialog;
class QWidget;

namespace mailferry {

// Used on the GUI thread only. Every call returns when the window has been closed.
class ModalUi {
 public:
  virtual ~ModalUi() = default;

  // A message box with the information icon and one OK button.
  virtual void ShowInformation(QWidget* parent, const QString& text) = 0;

  // The message box of an error that reached a user action: the error icon and one OK button.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;

  // An input box with a caption, a prompt, an empty text box taking up to max_length characters,
  // "OK" (default) and "Cancel" (Escape). The text as typed, or nullopt for Cancel.
  virtual std::optional<QString> InputBox(QWidget* parent, const QString& caption,
                                          const QString& prompt, int max_length) = 0;

  // Shows the dialog modally; its result (QDialog::Accepted or QDialog::Rejected).
  virtual int ShowModal(QDialog& dialog) = 0;
};

// The real windows: QMessageBox, the input box dialog and QDialog::exec.
class QtModalUi : public ModalUi {
 public:
  void ShowInformation(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  int max_length) override;
  int ShowModal(QDialog& dialog) override;
};

// The caption of the program's message boxes.
inline constexpr const char* kApplicationTitle = "Mailferry";

}  // namespace mailferry

namespace mailferry {

// Runs a user action at the edge of the window system: an error it raises is shown with
// ShowError. Answers whether the action completed.
template <typename Action>
bool RunGuarded(ModalUi& ui, QWidget* parent, Action&& action) {
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    ui.ShowError(parent, QString::fromStdString(error.what()));
    return false;
  }
}

}  // namespace mailferry
