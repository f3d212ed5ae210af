#include "app/TUnsavedChanges.h"

#include "model/ScriptFormat.h"

void TUnsavedChanges::MarkSaved(const TCompositionStore& store) { SavedText_ = ScriptText(store); }

bool TUnsavedChanges::Any(const TCompositionStore& store) const { return ScriptText(store) != SavedText_; }
