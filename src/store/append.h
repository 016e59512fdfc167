// The append rule of the store, in one place: where an appended message
// starts and ends, what is written ahead of it, and the largest file an
// address can reach. Every writer of area files and of the host's own files
// goes through it; the index files (mail.hdr, Header.Msg) are appended to in
// text mode by their writers, one record after each whole message.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "platform/stream.h"
#include "store/undo.h"

namespace brem::store {

// Addresses are signed 32-bit numbers: no file may grow past this size.
inline constexpr int64_t kLargestFile = std::numeric_limits<int32_t>::max();

// What goes ahead of the first message of an empty or missing file. Offset 0
// is never a start, so the area files get one LF there and the message's
// first byte lies at its recorded start 1. A file of the host's that may
// leave the system as a UUCP job gets nothing but the host's bytes.
enum class Lead { LineFeed, None };

// Where an append of `bytes` bytes lands in a file of `sizeBefore` bytes.
struct Placement {
    bool fits = false;  // false: the file would grow past kLargestFile
    int64_t lead = 0;   // bytes written ahead of the message
    int32_t start = 1;  // the recorded start, never below 1
};
Placement PlaceAppend(int64_t sizeBefore, int64_t bytes, Lead lead);

// The recorded end of a message after which the file holds `sizeAfter`
// bytes: never below 1, as no start is.
inline int32_t EndOfAppend(int64_t sizeAfter) { return sizeAfter < 1 ? 1 : static_cast<int32_t>(sizeAfter); }

// One append to a file. The append is noted in the call's undo log as it
// begins, so that taking the call back cuts the file to its size before the
// append and no unindexed fragment is left behind; an Append never takes
// anything back itself.
class Append {
public:
    enum class Status { Ok, OpenFailed, TooLarge, WriteFailed };

    Append() = default;
    Append(const Append&) = delete;
    Append& operator=(const Append&) = delete;

    // Opens `path` with "ab", places the message by the rule above, notes the
    // append in `undo` and writes the lead. `plannedBytes` is the size of
    // what will be written; a file created is Private unless `access` says
    // otherwise.
    Status begin(const std::string& path, int64_t plannedBytes, UndoLog& undo, Lead lead = Lead::LineFeed,
                 plat::Access access = plat::Access::Private);
    int32_t start() const { return start_; }
    // True when the file was empty or missing before this append.
    bool wasEmpty() const { return sizeBefore_ <= 0; }
    const std::string& path() const { return path_; }
    plat::Stream& out() { return *out_; }

    // Flushes and measures the end (the file's size now).
    Status finish(int32_t* end);
    // Closes the file; false when the close failed (which bytes reached the
    // file is then unknown, and the call takes the append back).
    bool close() { return out_->close(); }

private:
    std::shared_ptr<plat::Stream> out_ = std::make_shared<plat::Stream>();
    std::string path_;
    int64_t sizeBefore_ = 0;
    int32_t start_ = 1;
};

}  // namespace brem::store
