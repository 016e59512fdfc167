// The message store's shared rules: which file holds an area, and how a
// message is appended to an area file and addressed. Reading a stored range
// back in chunks is the readers' (readers.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/stream.h"
#include "store/append.h"
#include "store/layout.h"

namespace brem::store {

inline constexpr int32_t kMailArea = 0;
inline constexpr int32_t kTempArea = -50;

// The store directory with one backslash appended, the form every store path
// is built on; and an area's numbered file name (both in layout.h).
using layout::numberedAreaName;
using layout::withSeparator;

// News is filed to areas 1 and up only: a record or map entry naming a lower
// area names none that news import writes.
inline bool IsNewsArea(int32_t area) { return area >= 1; }

// The file an area is read from: area 0 is "mailarea.txt" ("rmail.z" when
// `mailAreaIsOutgoing`, for READMAPIMSG), -50 "temparea.dat", any other N
// areaN.txt. `dir` has no trailing separator.
std::string readPath(const std::string& dir, int32_t area, bool mailAreaIsOutgoing = false);

// The file an area is appended to: area 0 is "mailarea.txt", any other N
// (-50 included) areaN.txt.
std::string writePath(const std::string& dir, int32_t area);

// Cuts a file back to `size` bytes by opening it anew; used to take back what
// an earlier stream of the same call wrote once that stream is closed.
bool cutBack(const std::string& path, int64_t size);

// Copies an error text into the host's error buffer (when it gave one).
void setError(char* err, const std::string& text);

}  // namespace brem::store
