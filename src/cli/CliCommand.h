#pragma once
// One command-line command of the program ("vomrella --list SCRIPT", ...).
// main() holds the one table of them (main.cpp).

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
