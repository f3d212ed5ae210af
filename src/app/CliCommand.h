#pragma once
// Command-line commands of the program ("vomrella --list SCRIPT", ...).
// A command registers itself from its own source file with a static
// CliRegistration, so main() only looks the first argument up.

#include <string_view>
#include <vector>

struct CliCommand {
  std::string_view name;   // e.g. "--list"
  std::string_view usage;  // arguments, e.g. "SCRIPT"
  std::string_view help;   // one line
  // args are the arguments after the command name; returns the exit status
  // (0 fine, 1 a problem found in the input, 2 a usage error).
  int (*run)(const std::vector<std::string_view>& args);
  std::string_view details = {};  // more lines for "vomrella COMMAND --help"
};

class CliRegistry {
 public:
  static std::vector<CliCommand>& Commands();
  static const CliCommand* Find(std::string_view name);
};

struct CliRegistration {
  explicit CliRegistration(const CliCommand& command) { CliRegistry::Commands().push_back(command); }
};
