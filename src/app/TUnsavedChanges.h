#pragma once
// Whether the store holds edits made since the last load or save. The
// store's script text is compared with its text at that moment, so no
// editing handler has to report itself, and an edit undone by hand (moved up
// and back down, renamed to the same name) counts as none: exactly when
// saving would write something else than the last load or save left.
//
// GUI thread (the store's thread).

#include <string>

class TCompositionStore;

class TUnsavedChanges {
 public:
  // The store as it now is counts as saved: after a load or a save.
  void MarkSaved(const TCompositionStore& store);
  [[nodiscard]] bool Any(const TCompositionStore& store) const;

 private:
  std::string SavedText_;  // the store's script text at the last MarkSaved
};
