#pragma once
// The arguments of one command, read with QCommandLineParser: options may
// come anywhere, as "--name=X" or "--name X", "-oFILE" or "-o FILE", and
// "--" ends the options, so that an operand may start with "-". Arguments
// are kept byte for byte as they came (a file name need not be valid UTF-8).
//
// Main thread of the command only; needs no QCoreApplication.

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TCommandArgs {
 public:
  static constexpr size_t kAnyNumber = std::numeric_limits<size_t>::max();

  // An option without a value. Names are given without dashes: one letter
  // is written "-x", longer names "--name". The first name is the one the
  // accessors use.
  void AddSwitch(std::initializer_list<std::string_view> names);
  // An option that takes a value.
  void AddValue(std::initializer_list<std::string_view> names);

  // False on a usage error: an unknown option, a missing or unexpected
  // value, an option given twice, or fewer than minOperands or more than
  // maxOperands operands.
  [[nodiscard]] bool Parse(const std::vector<std::string_view>& args, size_t minOperands, size_t maxOperands);

  [[nodiscard]] bool Has(std::string_view name) const;
  // The option's value; nullopt when it was not given.
  [[nodiscard]] std::optional<std::string> Value(std::string_view name) const;
  [[nodiscard]] const std::vector<std::string>& Operands() const { return OperandList; }
  // The first unknown option as typed ("--x", "-x"); empty when there was none.
  [[nodiscard]] const std::string& UnknownOption() const { return Unknown; }

 private:
  struct TOption {
    std::vector<std::string> Names;
    bool TakesValue = false;
  };
  void Add(std::initializer_list<std::string_view> names, bool takesValue);

  std::vector<TOption> Options;
  std::map<std::string, std::string, std::less<>> Found;  // first name -> value ("" for a switch)
  std::vector<std::string> OperandList;
  std::string Unknown;
};
