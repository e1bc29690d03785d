#include "e2e/support/mail_servers_script.h"

#include <sstream>
#include <stdexcept>

#include "support/run_program.h"

namespace mailferry::testing {

ScriptValues RunMailServersScript(const std::vector<std::string>& args) {
  // Every wait inside the script is bounded, so this returns. The script closes the descriptors
  // it inherits, so no server it starts holds a test's socket open.
  std::vector<std::string> argv{MAILFERRY_SOURCE_DIR "/scripts/mailservers.sh"};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramResult result = RunProgram("/bin/bash", argv);
  if (result.exit_status != 0) {
    std::string command = "mailservers.sh";
    for (const std::string& arg : args) command += " " + arg;
    throw std::runtime_error(command + " failed (exit " + std::to_string(result.exit_status) +
                             "):\n" + result.err);
  }
  ScriptValues values;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

const std::string& ScriptValue(const ScriptValues& values, const std::string& name) {
  auto it = values.find(name);
  if (it == values.end()) throw std::runtime_error("mailservers.sh printed no " + name);
  return it->second;
}

}  // namespace mailferry::testing
