// mailferryctl: the headless tool over the core. The commands live in settings/mailferry_ctl.
#include <iostream>
#include <string>
#include <vector>

#include "platform/directories.h"
#include "platform/file_machine_store.h"
#include "platform/file_replacer.h"
#include "settings/mailferry_ctl.h"

int main(int argc, char** argv) {
  mailferry::FileMachineStore machine_store;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return mailferry::RunMailferryCtl(
      args, std::cout, std::cerr,
      {machine_store, mailferry::SystemDirectories(), mailferry::SystemFileReplacer()});
}
