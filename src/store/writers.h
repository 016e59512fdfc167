// The host's writers: text appended to an area file or to a file of the
// host's with its address handed back, and whole files copied into a
// directory or its hold subdirectory.
#pragma once

#include <cstdint>
#include <string>

namespace brem::store {

// WRITEMESSAGE (wrap false) and WRITEMFORM (wrap true): appends the host's
// text to the area's file by the store's append rule, every CR dropped, and
// hands back its start and length. With wrap, the first blank that is the
// 81st or later byte of its line ends the line. 0, or -1 with the reason in
// `err`; a failed write leaves the file as it was before the call.
int32_t WriteMessage(const std::string& storeDir, int32_t area, bool wrap, int32_t* start, int32_t* length,
                     const char* text, char* err);

// WRITEUUCP: appends the host's text, every CR dropped, to the file the host
// names, and hands back its address (start at least 1). The file may leave
// the system as a UUCP job, so nothing but the host's bytes is written to it.
int32_t WriteUucp(const std::string& path, int32_t* start, int32_t* length, const char* text, char* err);

// The copy behind GENUUCP and FILEATTACH: `prefix` then the whole source file
// into dir\name, or with `hold` into dir\hold\name as a fresh file (the
// directory is created when missing). A target name that is not a plain
// file name (platform/winpath.h) is refused with nothing written. The files
// are readable by other users (the transfer). `sourceOpenError` is the text put
// before the source path when the source cannot be opened. A failed copy
// leaves no part of itself behind: an appended target is cut back, a fresh
// one removed.
int32_t CopyIntoDirectory(const std::string& dir, const std::string& source, const std::string& targetName,
                          const std::string& prefix, bool hold, const char* sourceOpenError, char* err);

// GENUUCP: the copy with the host's prefix text; hold when the flag is 1.
int32_t GenUucp(const std::string& dir, const std::string& source, const std::string& targetName,
                const std::string& prefix, int32_t holdFlag, char* err);

// FILEATTACH: the copy without a prefix; hold when the flag is 1.
int32_t FileAttach(const std::string& dir, const std::string& source, const std::string& targetName,
                   int32_t holdFlag, char* err);

}  // namespace brem::store
