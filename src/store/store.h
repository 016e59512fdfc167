// The message store's shared rules: which file holds an area, and how a
// message is appended to an area file and addressed. Reading a stored range
// back in chunks is the readers' (readers.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/stream.h"

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

// One append to an area file. Offset 0 is never a start: when the file is
// empty or missing, one LF is written at offset 0 first, so that the message's
// first byte lies at its recorded start 1. An append that would take the file
// past 2^31 - 1 bytes is refused, since addresses are signed 32-bit numbers.
// Until commit(), the append can be taken back: the file is cut to its size
// before the append, so no unindexed fragment is left behind.
class Append {
public:
    enum class Status { Ok, OpenFailed, TooLarge, WriteFailed };

    ~Append();

    // Opens `path` with "ab" and fixes the start. `plannedBytes` is the size
    // of what will be written (for the 2^31 - 1 check).
    Status begin(const std::string& path, int64_t plannedBytes);
    int32_t start() const { return start_; }
    // True when the file was empty or missing before this append.
    bool wasEmpty() const { return sizeBefore_ <= 0; }
    // The file's size before this append: what a later cutBack() restores.
    int64_t sizeBefore() const { return sizeBefore_ < 0 ? 0 : sizeBefore_; }
    plat::Stream& out() { return out_; }

    // Flushes and measures the end (the file's size now). On failure the
    // append is taken back.
    Status finish(int32_t* end);
    // Closes the file; false when the close failed (the append is then taken
    // back too, as far as the system lets it).
    bool commit();
    // Cuts the file back to its size before the append and closes it.
    void rollback();

private:
    plat::Stream out_;
    std::string path_;
    int64_t sizeBefore_ = 0;
    int32_t start_ = 1;
    bool active_ = false;
};

// Cuts a file back to `size` bytes by opening it anew; used to take back what
// an earlier stream of the same call wrote once that stream is closed.
bool cutBack(const std::string& path, int64_t size);

// Copies an error text into the host's error buffer (when it gave one).
void setError(char* err, const std::string& text);

}  // namespace brem::store
