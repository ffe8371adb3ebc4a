// The import table and its binding to the engine library linked with the program.
#include "ads/ace.h"

TAceImports Ace;

void BindAceImports() {
#define ACE_IMPORT_BIND(name) Ace.name = &::name;
  ACE_IMPORT_LIST(ACE_IMPORT_BIND)
#undef ACE_IMPORT_BIND
}

const char* const* AceImportNames(int* count) {
  static const char* const names[] = {
#define ACE_IMPORT_NAME(name) #name,
      ACE_IMPORT_LIST(ACE_IMPORT_NAME)
#undef ACE_IMPORT_NAME
  };
  *count = static_cast<int>(sizeof names / sizeof names[0]);
  return names;
}

namespace {
// The module's start-up: the table is bound before any component can run.
struct BindAtStartUp {
  BindAtStartUp() { BindAceImports(); }
} bind_at_start_up;
}  // namespace
