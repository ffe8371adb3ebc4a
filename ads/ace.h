// The component layer's view of the client engine: the engine's declarations (engine/include/
// ace.h) and the import table through which every component calls it.
//
// The import table holds one function pointer per engine function, typed with decltype of the
// engine's own declaration so that each signature exists once. It is bound to the engine when
// the program starts (BindAceImports, run by the module's start-up). Tests may rebind single
// entries to observe calls or to force an engine answer, and restore them afterwards
// (AceImportOverride does both).
#pragma once

#include "engine/include/ace.h"  // the engine's C API

// Every engine function the components import, in the engine header's order: the list
// ACE_IMPORT_LIST(X), generated from the engine header at configure time.
#include "ads/ace_imports.inc"

struct TAceImports {
#define ACE_IMPORT_FIELD(name) decltype(&::name) name = nullptr;
  ACE_IMPORT_LIST(ACE_IMPORT_FIELD)
#undef ACE_IMPORT_FIELD
};

// The process-wide import table.
extern TAceImports Ace;

// Binds every entry to the engine. Called once at start-up; calling it again restores the
// engine's functions in every entry.
void BindAceImports();

// The names of the imported functions, in table order (for checks that the table is complete).
const char* const* AceImportNames(int* count);

// Rebinds one entry for the lifetime of the object, then restores what was there.
template <typename Fn>
class AceImportOverride {
 public:
  AceImportOverride(Fn& entry, Fn replacement) : entry_(entry), saved_(entry) { entry_ = replacement; }
  ~AceImportOverride() { entry_ = saved_; }
  AceImportOverride(const AceImportOverride&) = delete;
  AceImportOverride& operator=(const AceImportOverride&) = delete;

 private:
  Fn& entry_;
  Fn saved_;
};
