#pragma once
// TAuTags: a fixed set of named metadata fields with typed values, the base
// of the ID3v1, ID3v2 and APEv2 containers.
//
// Contract (shared by every container):
// - Only names registered by the concrete container (AddTag, in its
//   constructor) exist; names compare without regard to ASCII case and are
//   kept sorted. Setting an unregistered name does nothing.
// - A value is empty, an integer, narrow (single-byte, Windows-1250) text or
//   wide text. The container owns its values.
// - Empty() is true after construction and ClearTags, false after any field
//   changed; Changed() is set by every change and by ClearTags.
// - ProbeHandle / LoadFromHandle / SaveToHandle work on an open POSIX file
//   descriptor and report failure by their result only; they never throw.
// - Not thread-safe: a container belongs to the thread that owns its file
//   input (the GUI thread opens files; a run does not touch the tags).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

using TAuTagValue = std::variant<std::monostate, int64_t, std::string, std::wstring>;

class TAuTags {
 public:
  TAuTags() = default;
  virtual ~TAuTags() = default;
  TAuTags(const TAuTags&) = delete;
  TAuTags& operator=(const TAuTags&) = delete;

  // Registers a field; ignored for an empty name or one already present.
  void AddTag(std::string_view name, TAuTagValue initial = {});

  int TagCount() const { return static_cast<int>(fields_.size()); }
  // Name at sorted position i; empty outside the range.
  std::string TagName(int i) const;

  // The value, or empty for an unregistered name.
  TAuTagValue GetTag(std::string_view name) const;
  // Stores a differing value of a registered name, clears Empty, sets Changed.
  void SetTag(std::string_view name, const TAuTagValue& value);

  // Integers as they are; text that is a whole decimal integer; else 0.
  int64_t TagAsInteger(std::string_view name) const;
  // Integers as decimal text, text as text (converted between narrow and
  // wide as needed), anything else empty.
  std::string TagAsString(std::string_view name) const;
  std::wstring TagAsWideString(std::string_view name) const;

  void ClearTags();
  // Clears, then copies every field of the source whose name is known here.
  void Assign(const TAuTags& source);

  bool Empty() const { return empty_; }
  bool Changed() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }

  // The base versions: false for an invalid descriptor. Probe finds nothing
  // and Save writes nothing (false) on a valid one; Load clears every field
  // and returns true.
  virtual bool ProbeHandle(int fd);
  virtual bool LoadFromHandle(int fd);
  virtual bool SaveToHandle(int fd);

 protected:
  static bool HandleIsValid(int fd);
  static std::string ValueAsString(const TAuTagValue& value);
  static std::wstring ValueAsWideString(const TAuTagValue& value);
  static int64_t ValueAsInteger(const TAuTagValue& value);

 private:
  using Field = std::pair<std::string, TAuTagValue>;
  std::vector<Field>::const_iterator Find(std::string_view name) const;
  std::vector<Field>::iterator Find(std::string_view name);

  std::vector<Field> fields_;  // sorted by name, case-insensitive
  bool empty_ = true;
  bool changed_ = false;
};
