// The mail server script (scripts/mailservers.sh) as the C++ harness calls it: the one place
// that knows how Dovecot and Postfix are configured, started and stopped. Test support only.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace mailferry::testing {

// The name=value lines a command printed, by name.
using ScriptValues = std::map<std::string, std::string>;

// Runs `mailservers.sh args...`; raises std::runtime_error carrying the script's explanation
// when it fails (a server binary missing, a server that would not start, ...).
ScriptValues RunMailServersScript(const std::vector<std::string>& args);

// The value `name` of a command's output; raises std::runtime_error when it is missing.
const std::string& ScriptValue(const ScriptValues& values, const std::string& name);

}  // namespace mailferry::testing
