#include "cli/TCommandArgs.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

namespace {

// Latin-1 maps each byte to one character and back, so any bytes survive
// the parser unchanged; option names are ASCII and match as they are.
QString FromBytes(std::string_view bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }

std::string ToBytes(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace

void TCommandArgs::Add(std::initializer_list<std::string_view> names, bool takesValue) {
  TOption option;
  for (std::string_view name : names) option.Names.emplace_back(name);
  option.TakesValue = takesValue;
  Options.push_back(std::move(option));
}

void TCommandArgs::AddSwitch(std::initializer_list<std::string_view> names) { Add(names, false); }

void TCommandArgs::AddValue(std::initializer_list<std::string_view> names) { Add(names, true); }

bool TCommandArgs::Parse(const std::vector<std::string_view>& args, size_t minOperands, size_t maxOperands) {
  Found.clear();
  OperandList.clear();
  Unknown.clear();
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  for (const TOption& option : Options) {
    QStringList names;
    for (const std::string& name : option.Names) names << QString::fromStdString(name);
    QCommandLineOption qtOption(names);
    if (option.TakesValue) qtOption.setValueName(QStringLiteral("X"));
    parser.addOption(qtOption);
  }
  QStringList list{QStringLiteral("vomrella")};  // the parser skips the program name
  for (std::string_view arg : args) list << FromBytes(arg);
  const bool parsed = parser.parse(list);
  if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
    Unknown = (unknown.first().size() == 1 ? "-" : "--") + ToBytes(unknown.first());
  if (!parsed) return false;

  // Each option at most once, under whichever of its names.
  const QStringList given = parser.optionNames();
  for (const TOption& option : Options) {
    int times = 0;
    for (const QString& name : given)
      for (const std::string& own : option.Names)
        if (name == QString::fromStdString(own)) ++times;
    if (times > 1) return false;
    if (times == 0) continue;
    const QString first = QString::fromStdString(option.Names.front());
    Found[option.Names.front()] = option.TakesValue ? ToBytes(parser.value(first)) : std::string();
  }
  for (const QString& operand : parser.positionalArguments()) OperandList.push_back(ToBytes(operand));
  return OperandList.size() >= minOperands && OperandList.size() <= maxOperands;
}

bool TCommandArgs::Has(std::string_view name) const { return Found.find(name) != Found.end(); }

std::optional<std::string> TCommandArgs::Value(std::string_view name) const {
  const auto it = Found.find(name);
  if (it == Found.end()) return std::nullopt;
  return it->second;
}
