// The mbox side of export-mbox and import-mbox: the "From " line that opens
// each message, and the mboxrd quoting that keeps a message's own lines
// beginning with "From " from being taken for the next message.
#pragma once

#include <cstdint>
#include <string>

#include "inbound/uucp_envelope.h"

namespace brem::cli {

// The address of the "From " line from a header line "From: ..."
// ("From: Ann <ann@hub>" gives ann@hub); "MAILER-DAEMON" when the line holds
// no address that can stand in one word.
std::string mboxSender(const std::string& fromLine);

// The date of the "From " line ("Tue Dec  8 03:46:43 2026", in UTC) from a
// header line "Date: ..."; the start of 1970 when it cannot be read.
std::string mboxDate(const std::string& dateLine);

// The UUCP envelope that opens a stored message (inbound/uucp_envelope.h).
using inbound::Envelope;
inline Envelope parseEnvelope(const std::string& head) { return inbound::ParseEnvelope(head); }

// The two ways an mbox keeps a message's own "From " lines apart from the
// lines that begin messages.
enum class MboxFormat {
    Mboxrd,  // every line of any number of '>' and "From " gets one more '>'
    Mboxo,   // only "From " lines get a '>' (">From " lines stay as they are)
};

// Streams a message's bytes through the quoting of an mbox format or back.
// mboxrd quoting adds one '>' to every line that begins with any number of
// '>' and then "From ", and unquoting takes one away again; mboxo quotes and
// unquotes "From " lines alone. The state carries over between calls, so a
// message may be fed in pieces of any size.
class FromQuoting {
public:
    explicit FromQuoting(bool quote, MboxFormat format = MboxFormat::Mboxrd) : quote_(quote), format_(format) {}
    // Appends the transformed bytes to `out`.
    void feed(const char* data, size_t n, std::string& out);
    // Ends the message: what was held back to decide a line is given out.
    void finish(std::string& out);
    // Starts the next message.
    void reset() { state_ = State::LineStart, marks_ = 0, matched_ = 0; }

private:
    enum class State { LineStart, Matching, InLine };
    void release(std::string& out);
    bool quote_;
    MboxFormat format_;
    State state_ = State::LineStart;
    size_t marks_ = 0;    // '>' seen at the start of the line
    size_t matched_ = 0;  // bytes of "From " seen after them
};

// "N% of NAME": how far a verb has read into the file it goes through, for
// its progress line beside the count of what it has done.
std::string shareRead(int64_t done, int64_t total, const std::string& name);

// A 64-bit FNV-1a hash, fed in pieces.
struct Fnv64 {
    uint64_t value = 1469598103934665603ULL;
    void feed(const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            value ^= static_cast<unsigned char>(data[i]);
            value *= 1099511628211ULL;
        }
    }
};

}  // namespace brem::cli
