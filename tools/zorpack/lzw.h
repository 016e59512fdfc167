// The classic Unix compress ".Z" format: LZW codes of 9 up to 16 bits packed
// low bit first, behind the magic bytes 1F 9D and a byte holding the largest
// code size (and 0x80 for block mode, where code 256 clears the table).
//
// The compressor makes the same choices as the common Unix compress (when to
// widen codes, when the table is full, when a falling ratio clears it), so
// that for 10 to 16 bits its output is byte for byte what that program
// writes. At 9 bits it clears the table before it would overflow, since
// decoders widen to 10 bits once a 9-bit table is full.
//
// Both directions stream: memory stays bounded (a few hundred kilobytes)
// whatever the size of the input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorpack {

enum class Status {
    Ok,
    ReadError,      // the source failed
    WriteError,     // the sink failed
    NotCompressed,  // no 1F 9D magic (or the input is shorter than a header)
    BadBits,        // the header asks for a code size outside 9..16
    Corrupt,        // a code that cannot occur in a valid stream
    Truncated,      // the stream stops inside a code
};

const char* describe(Status s);

class Source {
public:
    virtual ~Source() = default;
    // Reads up to n bytes; 0 at the end, -1 on error.
    virtual long read(unsigned char* buf, size_t n) = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const unsigned char* buf, size_t n) = 0;
};

inline constexpr int kMinBits = 9;
inline constexpr int kMaxBits = 16;

// Compresses everything the source holds with codes of up to maxBits bits
// (9..16; others give BadBits).
Status compress(Source& in, Sink& out, int maxBits);

// Expands one compressed stream.
Status expand(Source& in, Sink& out);

}  // namespace zorpack
