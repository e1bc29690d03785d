// What the desktop program's tests share: the QApplication, a ModalUi that the test answers, and a
// fixture that starts the program over a temporary data directory.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/fake_dial_up_platform.h"
#include "support/fake_directories.h"
#include "support/fake_machine_store.h"
#include "support/fake_main_thread.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "ui/desktop_program.h"
#include "ui/modal_ui.h"

namespace mailferry::testing {

// The one QApplication of the test program (offscreen platform), created on first use and kept
// until the process ends.
inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    auto* app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    return app;
  }();
  return *application;
}

// Declared first in a fixture, so that the application exists before any widget member.
struct UsesTestApplication {
  UsesTestApplication() { TestApplication(); }
};

// Types text into a widget one character at a time, as key presses carrying the character (also
// for letters no key code names).
inline void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// Shows a window and waits until it is the active window, so that focus changes work.
inline void ActivateWindow(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }));
}

// Records every message box and answers input boxes and dialogs from queues the test fills.
class FakeModalUi : public ModalUi {
 public:
  // Works the shown dialog as a user would; a dialog it leaves open is closed, which rejects it.
  using DialogAction = std::function<void(QDialog&)>;

  void ShowInformation(QWidget*, const QString& text) override {
    informations.push_back(text.toStdString());
    if (on_information) on_information();
  }
  void ShowError(QWidget*, const QString& text) override { errors.push_back(text.toStdString()); }

  std::optional<QString> InputBox(QWidget*, const QString& caption, const QString& prompt,
                                  int max_length) override {
    input_boxes.push_back(caption.toStdString() + "|" + prompt.toStdString() + "|" +
                          std::to_string(max_length));
    if (input_answers.empty()) {
      ADD_FAILURE() << "unexpected input box " << caption.toStdString();
      return std::nullopt;
    }
    const bool cancelled = !input_answers.front().has_value();
    const QString text = input_answers.front().value_or(QString());
    input_answers.pop_front();
    if (cancelled) return std::nullopt;
    return text;
  }

  // The dialog is shown and active while the next queued action runs; its result is the one the
  // action's clicks gave it.
  int ShowModal(QDialog& dialog) override {
    if (dialogs.empty()) {
      ADD_FAILURE() << "unexpected dialog " << dialog.windowTitle().toStdString();
      return QDialog::Rejected;
    }
    DialogAction action = std::move(dialogs.front());
    dialogs.pop_front();
    dialog.setResult(QDialog::Rejected);
    ActivateWindow(dialog);
    action(dialog);
    if (dialog.isVisible()) dialog.close();
    return dialog.result();
  }

  std::vector<std::string> informations;
  std::vector<std::string> errors;
  std::vector<std::string> input_boxes;  // "caption|prompt|max length"
  std::deque<std::optional<QString>> input_answers;
  std::deque<DialogAction> dialogs;
  std::function<void()> on_information;
};

// The program started over a temporary data directory, without a notification area unless the
// test says otherwise, with a dial-up platform whose phonebook the test sets before Start.
class DesktopProgramTest : public ::testing::Test {
 protected:
  DesktopProgramTest()
      : machine_store_(data_dir_.prefix()), directories_(data_dir_.prefix(), data_dir_.prefix()) {}

  // Starts the program (again: the previous one ends first). The machine counts as offline and
  // the update service as local unless the test changes main_window_.
  void Start(bool tray_available = false) {
    program_.reset();
    auto ras = std::make_unique<TRasManager>(dial_up_, ras_main_thread_, clock_);
    MainWindowPorts main_window = main_window_;
    main_window.tray_available = tray_available;
    program_ = std::make_unique<TDesktopProgram>(DesktopPorts{
        machine_store_, directories_, SystemFileReplacer(), ui_, main_window, std::move(ras)});
  }

  TDesktopProgram& program() { return *program_; }
  TDmInOut& dm() { return program_->DmInOut(); }
  std::filesystem::path DataFile(const std::string& name) const { return data_dir_.path() / name; }

  UsesTestApplication application_;
  TempDir data_dir_;
  FakeMachineStore machine_store_;
  FakeDirectories directories_;
  FakeDialUpPlatform dial_up_;
  FakeMainThread ras_main_thread_;
  FakeClock clock_;
  FakeModalUi ui_;
  bool online_ = false;
  MainWindowPorts main_window_{true, UpdateService{"127.0.0.1", 9, std::chrono::seconds(10)},
                               [this] { return online_; }};
  std::unique_ptr<TDesktopProgram> program_;
};

}  // namespace mailferry::testing
