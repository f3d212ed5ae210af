#include "audio/output/TDeviceChoice.h"

#include <algorithm>
#include <vector>

#include "audio/output/SoundMessages.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char x, char y) { return Lower(x) == Lower(y); }) != text.end();
}

TDeviceChoice FoundAt(const TDeviceTable& Devices, int32_t Number) {
  TDeviceChoice choice;
  choice.Result = TDeviceChoiceResult::Found;
  choice.Number = Number;
  choice.Name = Devices[size_t(Number)].Name.data();
  return choice;
}

}  // namespace

TDeviceChoice ResolveDeviceChoice(const TDeviceTable& Devices, int32_t DeviceCount, std::string_view Choice) {
  const int32_t count = std::clamp<int32_t>(DeviceCount, 0, kMaxDevices);
  const std::string_view wanted = Trimmed(Choice);
  TDeviceChoice result;

  if (wanted.empty() || std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // Saturates instead of overflowing: any long number is simply too big.
    int64_t number = 0;
    for (char c : wanted) number = std::min<int64_t>(number * 10 + (c - '0'), INT32_MAX);
    if (number < count) return FoundAt(Devices, int32_t(number));
    result.Message = SoundMessages::NoDeviceNumber(number, count);
    return result;
  }

  // The first rule that fits any entry decides; two entries under it make
  // the name ambiguous.
  using TRule = bool (*)(std::string_view name, std::string_view wanted);
  const TRule rules[] = {
      [](std::string_view name, std::string_view w) { return name == w; },
      &EqualsIgnoringCase,
      &ContainsIgnoringCase,
  };
  for (const TRule rule : rules) {
    std::vector<int32_t> fits;
    for (int32_t i = 0; i < count; ++i)
      if (rule(Devices[size_t(i)].Name.data(), wanted)) fits.push_back(i);
    if (fits.size() == 1) return FoundAt(Devices, fits.front());
    if (fits.empty()) continue;
    std::vector<std::string> names;
    for (const int32_t i : fits) names.emplace_back(Devices[size_t(i)].Name.data());
    result.Result = TDeviceChoiceResult::Ambiguous;
    result.Message = SoundMessages::AmbiguousDeviceName(wanted, names);
    return result;
  }
  result.Message = SoundMessages::NoDeviceName(wanted, count);
  return result;
}
