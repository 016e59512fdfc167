#include "store/readers.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/stream.h"
#include "store/store.h"

namespace brem::store {

namespace {

constexpr const char* kCannotOpenArea = "Cannot open area file \r\n";
constexpr const char* kCannotOpenForExtract = "Cannot open area file (mailarea.txt)\r\n";
constexpr const char* kSeekBeyondEof = "Attempt to Seek beyond EOF\r\n";
constexpr const char* kUnexpectedEof = "Unexpected End Of File";

struct ChunkLimits {
    int32_t soft;  // from here a chunk ends after a blank or an LF
    int32_t hard;  // here a chunk ends whatever the byte
};
constexpr ChunkLimits kMessageLimits{32000, 32300};
constexpr ChunkLimits kNewsLimits{32000, 32000};

// Where a chunk stands: bytes taken from the file, bytes put into the text
// (the CRs put before LFs included).
struct ChunkCursor {
    int32_t read = 0;
    int32_t count = 0;
};

// Copies [q, stop) to `o` with a CR before every LF and returns the end of
// what it wrote. The byte at that end may be written too; the caller writes
// it again (the next byte or the NUL).
char* expandLineEnds(const char* q, const char* stop, char* o) {
#if defined(__SSE2__)
    // Sixteen bytes a step without a branch on the common line: the block is
    // stored as it is, a CR put where its LF was, and the block from that LF
    // on stored again one further. A block without an LF does the same with
    // bytes past its end, which the next step overwrites. Two LFs in one block
    // (an empty line) are rare enough to take byte by byte.
    const __m128i lf = _mm_set1_epi8('\n');
    while (stop - q >= 32) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        if (mask & (mask - 1)) {
            for (const char* end = q + 16; q < end; ++q) {
                if (*q == '\n') *o++ = '\r';
                *o++ = *q;
            }
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        unsigned k = static_cast<unsigned>(__builtin_ctz(mask | 0x10000u));
        o[k] = '\r';
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k + 1), _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k)));
        o += 16 + (mask != 0);
        q += 16;
    }
#endif
    while (q < stop) {
        if (stop - q >= 8) {
            // Eight bytes without an LF are copied as one word.
            uint64_t v;
            std::memcpy(&v, q, 8);
            uint64_t x = v ^ 0x0a0a0a0a0a0a0a0aull;
            if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) {
                std::memcpy(o, &v, 8);
                o += 8;
                q += 8;
                continue;
            }
        }
        char c = *q++;
        if (c == '\n') *o++ = '\r';
        *o++ = c;
    }
    return o;
}

// The bulk of a chunk: while even a run of LFs (two text bytes each) cannot
// bring the count to the soft limit, no byte can end the chunk, so whole runs
// of the stream's buffer are copied at once. Stops at the end of the file or
// of the range, or a few bytes short of the soft limit.
void copyWhileNoByteCanEnd(plat::Stream& in, int32_t length, ChunkLimits limits, char* text, ChunkCursor& at) {
    for (;;) {
        int32_t budget = (limits.soft - at.count) / 2 - 1;
        if (budget <= 0 || at.read >= length) return;
        const char* p = nullptr;
        size_t take = in.peek(&p);
        if (take == 0) return;  // the end: reported by the byte-wise step
        if (take > static_cast<size_t>(length - at.read)) take = static_cast<size_t>(length - at.read);
        if (take > static_cast<size_t>(budget)) take = static_cast<size_t>(budget);
        at.count = static_cast<int32_t>(expandLineEnds(p, p + take, text + at.count) - text);
        in.consume(take);
        at.read += static_cast<int32_t>(take);
    }
}

// The rest of the chunk, byte by byte: it ends after a blank or an LF once
// the count has reached the soft limit, at the hard limit whatever the byte,
// or with the range.
int32_t copyToChunkEnd(plat::Stream& in, int32_t length, ChunkLimits limits, char* text, char* err,
                       ChunkCursor& at) {
    for (; at.read < length; ++at.read) {
        int c = in.get();
        if (c < 0) {
            text[at.count] = '\0';
            setError(err, kUnexpectedEof);
            return -1;
        }
        if (c == '\n') text[at.count++] = '\r';
        text[at.count++] = static_cast<char>(c);
        bool atBreak = at.count >= limits.soft && (c == ' ' || c == '\n');
        if (atBreak || at.count >= limits.hard) {
            text[at.count] = '\0';
            return at.read + 1;
        }
    }
    text[at.count] = '\0';
    return length < 0 ? 1 : length + 1;
}

// Up to `length` bytes from the stream's position into `text` with CR LF line
// ends, in one chunk. Returns length + 1 when the whole range was read, 1 to
// length when the chunk ended early after that many bytes, or -1 with
// "Unexpected End Of File" in `err`.
int32_t readChunk(plat::Stream& in, int32_t length, ChunkLimits limits, char* text, char* err) {
    ChunkCursor at;
    copyWhileNoByteCanEnd(in, length, limits, text, at);
    return copyToChunkEnd(in, length, limits, text, err, at);
}

// The header skip of EXTRACTMESSAGE: line pieces of at most 199 bytes, each
// counted as a NUL-terminated string, up to and including the first piece
// that begins with an LF (the empty line), or to the end of the file.
int64_t skipHeader(plat::Stream& in) {
    int64_t size = 0;
    std::string piece;
    while (in.getLine(piece, 199)) {
        size += static_cast<int64_t>(std::strlen(piece.c_str()));
        if (piece[0] == '\n') break;
    }
    return size;
}

}  // namespace

int32_t ReadStored(Reader which, const std::string& dir, int32_t area, int32_t start, int32_t length, char* text,
                   char* err) {
    std::string path = readPath(dir, area, which == Reader::MapiMessage);
    plat::Stream in;
    // One chunk takes at most 32300 bytes of the file.
    if (!in.open(path, "rb", 32 * 1024 + 512)) {
        setError(err, which == Reader::Extract ? kCannotOpenForExtract : kCannotOpenArea);
        return -1;
    }
    if (!in.seek(start)) {
        setError(err, kSeekBeyondEof);
        return -1;
    }
    ChunkLimits limits = which == Reader::News ? kNewsLimits : kMessageLimits;
    if (which == Reader::Extract) {
        int64_t body = static_cast<int64_t>(length) - skipHeader(in);
        if (body <= 0) {
            if (text) text[0] = '\0';
            return 1;
        }
        length = static_cast<int32_t>(body);
    }
    return readChunk(in, length, limits, text, err);
}

}  // namespace brem::store
