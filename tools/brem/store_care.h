// The store-care verbs: check, export-mbox, import-mbox. Unlike the other
// verbs, which drive the library only through its exports as any host does,
// these go over a whole store and store mail through the importer's own
// code, so they are linked with the library's core.
#pragma once

#include "cli.h"

namespace brem::cli {

void registerStoreVerbs(VerbTable& verbs);  // check, and the two below
void registerMboxVerbs(VerbTable& verbs);   // export-mbox, import-mbox

}  // namespace brem::cli
