#include "audio/tags/TAuTags.h"

#include <fcntl.h>

#include <algorithm>

#include "audio/tags/TagText.h"

namespace {

bool LessNoCase(const std::pair<std::string, TAuTagValue>& f, std::string_view name) {
  return tagtext::CompareNoCase(f.first, name) < 0;
}

}  // namespace

std::vector<TAuTags::Field>::const_iterator TAuTags::Find(std::string_view name) const {
  auto it = std::lower_bound(fields_.begin(), fields_.end(), name, LessNoCase);
  if (it != fields_.end() && tagtext::EqualNoCase(it->first, name)) return it;
  return fields_.end();
}

std::vector<TAuTags::Field>::iterator TAuTags::Find(std::string_view name) {
  auto it = std::lower_bound(fields_.begin(), fields_.end(), name, LessNoCase);
  if (it != fields_.end() && tagtext::EqualNoCase(it->first, name)) return it;
  return fields_.end();
}

void TAuTags::AddTag(std::string_view name, TAuTagValue initial) {
  if (name.empty()) return;
  auto it = std::lower_bound(fields_.begin(), fields_.end(), name, LessNoCase);
  if (it != fields_.end() && tagtext::EqualNoCase(it->first, name)) return;
  fields_.insert(it, Field(std::string(name), std::move(initial)));
}

std::string TAuTags::TagName(int i) const {
  if (i < 0 || i >= TagCount()) return {};
  return fields_[static_cast<size_t>(i)].first;
}

TAuTagValue TAuTags::GetTag(std::string_view name) const {
  auto it = Find(name);
  return it == fields_.end() ? TAuTagValue{} : it->second;
}

void TAuTags::SetTag(std::string_view name, const TAuTagValue& value) {
  auto it = Find(name);
  if (it == fields_.end() || it->second == value) return;
  it->second = value;
  empty_ = false;
  changed_ = true;
}

int64_t TAuTags::ValueAsInteger(const TAuTagValue& value) {
  if (auto* i = std::get_if<int64_t>(&value)) return *i;
  if (auto* s = std::get_if<std::string>(&value)) return tagtext::ParseInteger(*s).value_or(0);
  if (auto* w = std::get_if<std::wstring>(&value)) return tagtext::ParseInteger(tagtext::WideToNarrow(*w)).value_or(0);
  return 0;
}

std::string TAuTags::ValueAsString(const TAuTagValue& value) {
  if (auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
  if (auto* s = std::get_if<std::string>(&value)) return *s;
  if (auto* w = std::get_if<std::wstring>(&value)) return tagtext::WideToNarrow(*w);
  return {};
}

std::wstring TAuTags::ValueAsWideString(const TAuTagValue& value) {
  if (auto* i = std::get_if<int64_t>(&value)) return std::to_wstring(*i);
  if (auto* s = std::get_if<std::string>(&value)) return tagtext::NarrowToWide(*s);
  if (auto* w = std::get_if<std::wstring>(&value)) return *w;
  return {};
}

int64_t TAuTags::TagAsInteger(std::string_view name) const { return ValueAsInteger(GetTag(name)); }
std::string TAuTags::TagAsString(std::string_view name) const { return ValueAsString(GetTag(name)); }
std::wstring TAuTags::TagAsWideString(std::string_view name) const { return ValueAsWideString(GetTag(name)); }

void TAuTags::ClearTags() {
  for (auto& f : fields_) f.second = TAuTagValue{};
  empty_ = true;
  changed_ = true;
}

void TAuTags::Assign(const TAuTags& source) {
  if (&source == this) return;
  ClearTags();
  for (const auto& f : source.fields_) SetTag(f.first, f.second);
}

bool TAuTags::HandleIsValid(int fd) { return fd >= 0 && fcntl(fd, F_GETFD) != -1; }

bool TAuTags::ProbeHandle(int fd) {
  (void)fd;
  return false;
}

bool TAuTags::LoadFromHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  ClearTags();
  return true;
}

bool TAuTags::SaveToHandle(int fd) {
  (void)fd;
  return false;
}
