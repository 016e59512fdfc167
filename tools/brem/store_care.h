// The store-care verbs: check, export-mbox, import-mbox, rmail, rnews.
// Unlike the other verbs, which drive the library only through its exports
// as any host does, these go over a whole store and store mail and news
// through the importers' own code, so they are linked with the library's
// core.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"

namespace brem::cli {

void registerStoreVerbs(VerbTable& verbs);  // check, and the two below
void registerMboxVerbs(VerbTable& verbs);   // export-mbox, import-mbox
void registerUucpVerbs(VerbTable& verbs);   // rmail, rnews

// Removes the spool's data files that no execute file names, that are older
// than kStoredCopyAge seconds and whose bytes are those of a stored mail:
// what a mail import cut off between its two deletions left. Returns their
// names.
inline constexpr int64_t kStoredCopyAge = 3600;
std::vector<std::string> removeStoredCopies(const std::string& spool, const std::string& store);

}  // namespace brem::cli
