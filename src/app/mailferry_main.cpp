// mailferry: the desktop program. It lives behind its notification-area icon; the windows are in
// src/ui/.
#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/directories.h"
#include "platform/file_machine_store.h"
#include "platform/file_replacer.h"
#include "ui/desktop_program.h"
#include "ui/modal_ui.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName(mailferry::kApplicationTitle);
  // The program ends when its main window closes, not when the last visible window does: the
  // window is usually hidden behind the tray icon while a message box comes and goes.
  application.setQuitOnLastWindowClosed(false);

  mailferry::QtModalUi ui;
  try {
    mailferry::FileMachineStore machine_store;
    mailferry::MainWindowPorts main_window;
    main_window.tray_available = QSystemTrayIcon::isSystemTrayAvailable();
    mailferry::TDesktopProgram program({machine_store, mailferry::SystemDirectories(),
                                        mailferry::SystemFileReplacer(), ui, main_window});
    const int exit_code = program.Run();
    if (program.ScanInProgress()) {
      // The window closed during a scan: the run is abandoned where it stands. Its thread still
      // uses the program's objects, so the process ends without destroying them; the settings
      // and log files are only ever replaced whole, so none is left half written.
      std::fflush(nullptr);
      std::_Exit(exit_code);
    }
    return exit_code;
  } catch (const std::exception& error) {
    ui.ShowError(nullptr, QString::fromStdString(error.what()));
    return 1;
  }
}
