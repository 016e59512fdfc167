// The host's small file services: a file written out again as
// quoted-printable, directories created and made current, files renamed.
// They touch no area or index file of the store.
#pragma once

#include <cstdint>
#include <string>

namespace brem::files {

// WRITEQUOTED: the inbound file encoded as quoted-printable into the out
// file (created or emptied). The out file must be another file than the
// inbound one. 0, or -1 with the reason in `err`; a cut-short out file is
// removed.
int32_t WriteQuoted(const std::string& inboundPath, const std::string& outPath, char* err);

// GENDIR: creates one directory; -1 when it exists, its parent is missing or
// the name is not allowed.
int32_t MakeDir(const std::string& path);

// CHKDIR: makes an existing directory the process's current one; -1 (and the
// current directory unchanged) otherwise.
int32_t ChangeDir(const std::string& path);

// FILERENAME: renames or moves a file; -1 when it cannot, and always when the
// new path names an existing file (it is never replaced).
int32_t RenameFile(const std::string& oldPath, const std::string& newPath);

}  // namespace brem::files
