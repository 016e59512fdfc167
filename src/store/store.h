// The message store's shared rules: which file holds an area, how a message is
// appended to an area file and addressed, and how a stored range is read back
// to the host in chunks with CR LF line ends.
#pragma once

#include <cstdint>
#include <string>

#include "platform/stream.h"
#include "store/append.h"

namespace brem::store {

inline constexpr int32_t kMailArea = 0;
inline constexpr int32_t kTempArea = -50;

// The store directory with one backslash appended, the form every store path
// is built on.
std::string withSeparator(const std::string& dir);

// "area" + the number in decimal + ".txt" (area 12: "area12.txt").
std::string numberedAreaName(int32_t area);

// The file an area is read from: area 0 is "mailarea.txt" ("rmail.z" when
// `mailAreaIsOutgoing`, for READMAPIMSG), -50 "temparea.dat", any other N
// areaN.txt. `dir` has no trailing separator.
std::string readPath(const std::string& dir, int32_t area, bool mailAreaIsOutgoing = false);

// The file an area is appended to: area 0 is "mailarea.txt", any other N
// (-50 included) areaN.txt.
std::string writePath(const std::string& dir, int32_t area);

struct ChunkLimits {
    int32_t soft;  // from here a chunk ends after a blank or an LF
    int32_t hard;  // here a chunk ends whatever the byte
};
inline constexpr ChunkLimits kMessageLimits{32000, 32300};
inline constexpr ChunkLimits kNewsLimits{32000, 32000};

// Copies up to `length` bytes from the stream's position into `text` with
// CR LF line ends, in one chunk. Returns length + 1 when the whole range was
// read, 1 to length when the chunk ended early after that many bytes, or -1
// after copying "Unexpected End Of File" into `err` (the text then ends with a
// NUL after the bytes copied so far). `text` must hold hard + 2 bytes.
int32_t readChunk(plat::Stream& in, int32_t length, ChunkLimits limits, char* text, char* err);

// Error texts of the readers.
inline constexpr const char* kCannotOpenArea = "Cannot open area file \r\n";
inline constexpr const char* kSeekBeyondEof = "Attempt to Seek beyond EOF\r\n";
inline constexpr const char* kUnexpectedEof = "Unexpected End Of File";

// Cuts a file back to `size` bytes by opening it anew; used to take back what
// an earlier stream of the same call wrote once that stream is closed.
bool cutBack(const std::string& path, int64_t size);

// Copies an error text into the host's error buffer (when it gave one).
void setError(char* err, const std::string& text);

}  // namespace brem::store
