#include "lzw.h"

#include <cstring>
#include <memory>
#include <vector>

namespace zorpack {

const char* describe(Status s) {
    switch (s) {
        case Status::Ok: return "ok";
        case Status::ReadError: return "read error";
        case Status::WriteError: return "write error";
        case Status::NotCompressed: return "not in compressed format";
        case Status::BadBits: return "code size outside 9 to 16 bits";
        case Status::Corrupt: return "corrupt input";
        case Status::Truncated: return "unexpected end of compressed data";
    }
    return "error";
}

namespace {

constexpr unsigned char kMagic1 = 0x1F;
constexpr unsigned char kMagic2 = 0x9D;
constexpr unsigned char kBlockMode = 0x80;
constexpr unsigned char kBitsMask = 0x1F;
constexpr int32_t kClear = 256;
constexpr int32_t kFirst = 257;
// Bytes of input between two looks at the compression ratio once the table
// is full.
constexpr int64_t kCheckGap = 10000;
constexpr size_t kInBuf = 1 << 16;
constexpr size_t kOutBuf = 1 << 16;

// Output bits, low bit first, counted from the start of the stream so that
// the padding at a change of code size falls where every decoder expects it.
class BitWriter {
public:
    explicit BitWriter(Sink& sink) : sink_(sink), buf_(new unsigned char[kOutBuf]) {}

    void put(uint32_t code, int nBits) {
        acc_ |= static_cast<uint64_t>(code) << held_;
        held_ += nBits;
        while (held_ >= 8) {
            byte(static_cast<unsigned char>(acc_));
            acc_ >>= 8;
            held_ -= 8;
        }
    }

    // Skips to the next multiple of nBits bytes counted from the start of
    // the current group of codes, and starts a new group there.
    void align(int nBits) {
        uint64_t group = static_cast<uint64_t>(nBits) * 8;
        uint64_t used = (bits() - groupStart_) % group;
        uint64_t pad = used == 0 ? 0 : group - used;
        while (pad > 0) {
            int k = pad > 32 ? 32 : static_cast<int>(pad);
            put(0, k);
            pad -= static_cast<uint64_t>(k);
        }
        groupStart_ = bits();
    }

    uint64_t bits() const { return written_ * 8 + static_cast<uint64_t>(fill_) * 8 + static_cast<uint64_t>(held_); }

    bool finish() {
        if (held_ > 0) byte(static_cast<unsigned char>(acc_));
        held_ = 0;
        acc_ = 0;
        return flush() && ok_;
    }

    void setGroupStart() { groupStart_ = bits(); }

private:
    void byte(unsigned char b) {
        buf_[fill_++] = b;
        if (fill_ == kOutBuf) flush();
    }
    bool flush() {
        if (fill_ > 0 && ok_ && !sink_.write(buf_.get(), fill_)) ok_ = false;
        written_ += fill_;
        fill_ = 0;
        return ok_;
    }

    Sink& sink_;
    std::unique_ptr<unsigned char[]> buf_;
    size_t fill_ = 0;
    uint64_t written_ = 0;
    uint64_t acc_ = 0;
    int held_ = 0;
    uint64_t groupStart_ = 0;
    bool ok_ = true;
};

// The string table of the compressor: (prefix code, next byte) -> code, in
// an open-addressed table of twice as many slots as codes (never more than
// half full). Keys and codes lie in two arrays, so that the probes, which
// most often hit, touch as little memory as the cache can keep. A key word
// holds the table's generation beside the 24-bit key, so clearing the table
// is one increment; only every 255th clear empties the array.
//
// A string of two bytes, looked up after every code written, is found in a
// direct array by its two bytes instead (its word holds the generation in
// its high half), with no hashing and no probing.
class Table {
public:
    explicit Table(int maxBits)
        : bits_(maxBits + 1), mask_((uint32_t{1} << bits_) - 1), keys_(size_t{1} << bits_, 0),
          codes_(size_t{1} << bits_, 0), pairs_(size_t{1} << 16, 0) {}

    void clear() {
        if (++gen_ == kGenerations) {
            std::fill(keys_.begin(), keys_.end(), 0);
            std::fill(pairs_.begin(), pairs_.end(), 0);
            gen_ = 1;
        }
    }

    // Finds (prefix, c); on a miss leaves `slot` at the free slot for it.
    bool find(int32_t prefix, int c, int32_t* code, uint32_t* slot) const {
        uint32_t key = (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(c);
        if (prefix < 256) {
            uint32_t v = pairs_[key];
            if ((v >> 16) == gen_) {
                *code = static_cast<int32_t>(v & 0xffff);
                return true;
            }
            *slot = kPairSlot | key;
            return false;
        }
        uint32_t tagged = (gen_ << 24) | key;
        uint32_t h = (key * 0x9E3779B1u) >> (32 - bits_);
        for (;;) {
            uint32_t k = keys_[h];
            if (k == tagged) {
                *code = codes_[h];
                return true;
            }
            if ((k >> 24) != gen_) {
                *slot = h;
                return false;
            }
            h = (h + 1) & mask_;
        }
    }
    void insert(uint32_t slot, int32_t prefix, int c, int32_t code) {
        if (slot & kPairSlot) {
            pairs_[slot & 0xffff] = (gen_ << 16) | static_cast<uint32_t>(code);
            return;
        }
        keys_[slot] = (gen_ << 24) | (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(c);
        codes_[slot] = static_cast<uint16_t>(code);
    }

private:
    static constexpr uint32_t kGenerations = 256;
    int bits_;
    uint32_t mask_;
    uint32_t gen_ = 1;
    std::vector<uint32_t> keys_;
    std::vector<uint16_t> codes_;
    std::vector<uint32_t> pairs_;
    static constexpr uint32_t kPairSlot = 0x80000000u;
};

}  // namespace

namespace {

// Where the compressor stands between two codes: the code size, when it
// grows, and whether the table still takes new strings.
struct CodeSizes {
    int maxBits;
    int nBits = kMinBits;
    // The code count at which the next code needs one more bit. At 9 bits
    // the table is cleared one code earlier than it fills, see the header.
    int64_t extCode;
    int32_t freeEnt = kFirst;
    bool adding = true;
    int64_t ratio = 0;
    int64_t checkpoint = kCheckGap;

    explicit CodeSizes(int bits)
        : maxBits(bits), extCode(bits == kMinBits ? (int64_t{1} << kMinBits) : (int64_t{1} << kMinBits) + 1) {}

    // A code was added: widen the codes, or at 9 bits start a new table, or
    // stop adding once the largest codes are all taken.
    void afterAdd(BitWriter& w, Table& table) {
        if (freeEnt < extCode) return;
        if (nBits < maxBits) {
            w.align(nBits);
            ++nBits;
            extCode = nBits < maxBits ? (int64_t{1} << nBits) + 1 : (int64_t{1} << nBits);
        } else if (maxBits == kMinBits) {
            w.put(kClear, nBits);
            w.align(nBits);
            table.clear();
            freeEnt = kFirst;
            extCode = int64_t{1} << kMinBits;
        } else {
            extCode = INT64_MAX;
            adding = false;
        }
    }

    // The table is full: as long as the ratio holds, keep it; once it
    // falls, start a new table.
    void checkRatio(BitWriter& w, Table& table, int64_t bytesIn) {
        checkpoint = bytesIn + kCheckGap;
        int64_t outBytes = static_cast<int64_t>(w.bits() >> 3);
        int64_t rat;
        if (bytesIn > 0x007fffff) {
            int64_t r = outBytes >> 8;
            rat = r == 0 ? 0x7fffffff : bytesIn / r;
        } else {
            rat = (bytesIn << 8) / outBytes;
        }
        if (rat >= ratio) {
            ratio = rat;
            return;
        }
        ratio = 0;
        table.clear();
        w.put(kClear, nBits);
        w.align(nBits);
        nBits = kMinBits;
        extCode = (int64_t{1} << kMinBits) + 1;
        freeEnt = kFirst;
        adding = true;
    }
};

}  // namespace

Status compress(Source& in, Sink& out, int maxBits) {
    if (maxBits < kMinBits || maxBits > kMaxBits) return Status::BadBits;
    BitWriter w(out);
    w.put(kMagic1, 8);
    w.put(kMagic2, 8);
    w.put(static_cast<uint32_t>(maxBits) | kBlockMode, 8);
    w.setGroupStart();

    auto table = std::make_unique<Table>(maxBits);
    CodeSizes cs(maxBits);
    int64_t bytesIn = 0;
    int32_t ent = -1;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kInBuf]);
    for (;;) {
        long got = in.read(buf.get(), kInBuf);
        if (got < 0) return Status::ReadError;
        if (got == 0) break;
        size_t pos = 0;
        if (ent < 0) {
            ent = buf[0];
            pos = 1;
            bytesIn = 1;
        }
        for (; pos < static_cast<size_t>(got); ++pos) {
            int c = buf[pos];
            ++bytesIn;
            int32_t code;
            uint32_t slot;
            if (table->find(ent, c, &code, &slot)) {
                ent = code;
                continue;
            }
            w.put(static_cast<uint32_t>(ent), cs.nBits);
            if (cs.adding) table->insert(slot, ent, c, cs.freeEnt++);
            ent = c;
            cs.afterAdd(w, *table);
            if (!cs.adding && bytesIn >= cs.checkpoint) cs.checkRatio(w, *table, bytesIn);
        }
    }
    if (ent >= 0) w.put(static_cast<uint32_t>(ent), cs.nBits);
    return w.finish() ? Status::Ok : Status::WriteError;
}

namespace {

// Input codes by bit position in a buffer of whole input blocks: a code is
// taken with one three-byte load, the buffer is refilled only when a code
// would run past its end.
class BitReader {
public:
    explicit BitReader(Source& src) : src_(src), buf_(new unsigned char[kInBuf + 8]()) {}

    // Reads one code; false at the end of the stream.
    bool code(int nBits, int32_t* out) {
        if (bit_ + static_cast<uint64_t>(nBits) > bits_ && !refill(nBits)) return false;
        size_t i = static_cast<size_t>(bit_ >> 3);
        uint32_t v = static_cast<uint32_t>(buf_[i]) | (static_cast<uint32_t>(buf_[i + 1]) << 8) |
                     (static_cast<uint32_t>(buf_[i + 2]) << 16);
        *out = static_cast<int32_t>((v >> (bit_ & 7)) & ((uint32_t{1} << nBits) - 1));
        bit_ += static_cast<uint64_t>(nBits);
        return true;
    }

    // Skips to the next multiple of nBits bytes counted from the start of
    // the current group of codes, and starts a new group there.
    void align(int nBits) {
        uint64_t group = static_cast<uint64_t>(nBits) * 8;
        uint64_t used = (base_ + bit_ - groupStart_) % group;
        if (used != 0) bit_ += group - used;
        groupStart_ = base_ + bit_;
    }

    void startGroup() { groupStart_ = base_ + bit_; }

    // Bits left after the last whole code.
    uint64_t leftover() const { return bits_ > bit_ ? bits_ - bit_ : 0; }
    bool readError() const { return error_; }

private:
    bool refill(int nBits) {
        // Keep the unread bytes, drop those before (padding may point past
        // what is held: that much more input is skipped).
        size_t from = static_cast<size_t>(bit_ >> 3);
        size_t keep = from < fill_ ? fill_ - from : 0;
        size_t skip = from > fill_ ? from - fill_ : 0;
        std::memmove(buf_.get(), buf_.get() + (fill_ - keep), keep);
        base_ += static_cast<uint64_t>(from) * 8;
        bit_ -= static_cast<uint64_t>(from) * 8;
        fill_ = keep;
        while (!done_ && (skip > 0 || fill_ < kInBuf)) {
            long got = src_.read(buf_.get() + fill_, kInBuf - fill_);
            if (got <= 0) {
                if (got < 0) error_ = true;
                done_ = true;
                break;
            }
            size_t g = static_cast<size_t>(got);
            if (skip > 0) {
                size_t drop = g < skip ? g : skip;
                std::memmove(buf_.get() + fill_, buf_.get() + fill_ + drop, g - drop);
                g -= drop;
                skip -= drop;
            }
            fill_ += g;
            if (skip == 0 && bit_ + static_cast<uint64_t>(nBits) <= fill_ * 8) break;
        }
        std::memset(buf_.get() + fill_, 0, 8);
        bits_ = static_cast<uint64_t>(fill_) * 8;
        if (skip > 0) bits_ = 0;
        return bit_ + static_cast<uint64_t>(nBits) <= bits_;
    }

    Source& src_;
    std::unique_ptr<unsigned char[]> buf_;
    size_t fill_ = 0;
    uint64_t base_ = 0;  // bits of the stream before buf_[0]
    uint64_t bit_ = 0;   // position in buf_
    uint64_t bits_ = 0;  // bits held
    uint64_t groupStart_ = 0;
    bool done_ = false;
    bool error_ = false;
};

class ByteWriter {
public:
    explicit ByteWriter(Sink& sink) : sink_(sink), buf_(new unsigned char[kCap]) {}
    // Room for n more bytes (n is at most one string of the table).
    unsigned char* reserve(size_t n) {
        if (fill_ + n > kCap) flush();
        return buf_.get() + fill_;
    }
    void commit(size_t n) {
        fill_ += n;
        if (fill_ >= kOutBuf) flush();
    }
    // Whether n bytes at p still lie in the block (not yet handed on).
    bool holds(const unsigned char* p, size_t n) const {
        return p >= buf_.get() && p + n <= buf_.get() + fill_;
    }
    bool flush() {
        if (fill_ > 0 && ok_ && !sink_.write(buf_.get(), fill_)) ok_ = false;
        fill_ = 0;
        return ok_;
    }

private:
    static constexpr size_t kCap = kOutBuf + (size_t{1} << kMaxBits) + 1 + 32;
    Sink& sink_;
    std::unique_ptr<unsigned char[]> buf_;
    size_t fill_ = 0;
    bool ok_ = true;
};

}  // namespace

namespace {

// The strings of the expander's table. Each string is its prefix's string
// and one byte; besides that chain, a string is kept whole in an arena of
// bounded size when it fits, so that writing it is one copy instead of a
// walk back through its prefixes a byte at a time. Strings that do not fit
// are walked.
class Strings {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    // Only the literals are set up: every other code is defined before a
    // valid stream can use it (a code not yet defined is refused).
    explicit Strings(int32_t codes)
        : tab_(new Entry[static_cast<size_t>(codes)]), len_(new uint16_t[static_cast<size_t>(codes)]),
          at_(new uint32_t[static_cast<size_t>(codes)]), arena_(kFirstArena + kSlack) {
        for (int i = 0; i < 256; ++i) {
            tab_[static_cast<size_t>(i)] = Entry{0, static_cast<unsigned char>(i)};
            len_[static_cast<size_t>(i)] = 1;
            at_[static_cast<size_t>(i)] = kNone;
        }
    }

    size_t length(int32_t code) const { return len_[static_cast<size_t>(code)]; }

    // Writes the string of `code` at o (room for its length + kSlack);
    // returns its first byte.
    int write(int32_t code, unsigned char* o) const {
        if (code < 256) {
            *o = static_cast<unsigned char>(code);
            return code;
        }
        size_t n = len_[static_cast<size_t>(code)];
        uint32_t at = at_[static_cast<size_t>(code)];
        if (at != kNone) {
            copy(o, arena_.data() + at, n);
            return arena_[at];
        }
        unsigned char* p = o + n;
        while (code >= 256) {
            const Entry& e = tab_[static_cast<size_t>(code)];
            *--p = e.suffix;
            code = e.prefix;
        }
        *--p = static_cast<unsigned char>(code);
        return code;
    }

    // Defines `code` as the string of `prefix` and `suffix`; `prefixText`
    // holds the prefix's string as just written.
    void define(int32_t code, int32_t prefix, int suffix, const unsigned char* prefixText) {
        size_t c = static_cast<size_t>(code);
        size_t n = len_[static_cast<size_t>(prefix)] + 1u;
        tab_[c] = Entry{static_cast<uint16_t>(prefix), static_cast<unsigned char>(suffix)};
        len_[c] = static_cast<uint16_t>(n);
        if (used_ + n > kArena) {
            at_[c] = kNone;
            return;
        }
        if (used_ + n + kSlack > arena_.size()) {
            // Grown as the strings need it: a short stream never pays for
            // the whole arena.
            size_t want = arena_.size() * 2 > used_ + n + kSlack ? arena_.size() * 2 : used_ + n + kSlack;
            arena_.resize(want < kArena + kSlack ? want : kArena + kSlack);
        }
        copy(arena_.data() + used_, prefixText, n - 1);
        arena_[used_ + n - 1] = static_cast<unsigned char>(suffix);
        at_[c] = static_cast<uint32_t>(used_);
        used_ += n;
    }

    // After a clear every code above the literals is defined anew.
    void clear() { used_ = 0; }

    // Bytes a copy may write past a string's end.
    static constexpr size_t kSlack = 16;

private:
    struct Entry {
        uint16_t prefix;
        unsigned char suffix;
    };
    static constexpr size_t kArena = size_t{4} << 20;
    static constexpr size_t kFirstArena = size_t{16} << 10;

    // Short strings, the most common, are copied 16 bytes at a time; the
    // bytes past the end land in the slack that every destination has.
    static void copy(unsigned char* to, const unsigned char* from, size_t n) {
        if (n <= 16) {
            unsigned char t[16];
            std::memcpy(t, from, 16);
            std::memcpy(to, t, 16);
        } else {
            std::memcpy(to, from, n);
        }
    }

    std::unique_ptr<Entry[]> tab_;
    std::unique_ptr<uint16_t[]> len_;  // below 2^16: one more than an older string
    std::unique_ptr<uint32_t[]> at_;
    std::vector<unsigned char> arena_;
    size_t used_ = 0;
};

}  // namespace

namespace {

// The header of a compressed stream: the magic bytes, then the largest code
// size and the block-mode flag.
Status readHeader(BitReader& r, int* maxBits, bool* blockMode) {
    int32_t m1 = -1, m2 = -1, flags = -1;
    r.code(8, &m1) && r.code(8, &m2) && r.code(8, &flags);
    if (r.readError()) return Status::ReadError;
    if (m1 != kMagic1 || m2 != kMagic2) return Status::NotCompressed;
    if (flags < 0) return Status::Truncated;
    r.startGroup();  // codes are grouped from here
    *maxBits = flags & kBitsMask;
    *blockMode = (flags & kBlockMode) != 0;
    if (*maxBits < kMinBits || *maxBits > kMaxBits) return Status::BadBits;
    return Status::Ok;
}

class Expander {
public:
    Expander(Sink& out, int maxBits, bool blockMode)
        : maxBits_(maxBits), maxMaxCode_(int32_t{1} << maxBits), first_(blockMode ? kFirst : 256),
          blockMode_(blockMode),
          strings_(maxMaxCode_), w_(out) {
        restart();
    }

    Status run(BitReader& r) {
        for (;;) {
            if (freeEnt_ > maxCode_) {
                r.align(nBits_);
                ++nBits_;
                maxCode_ = nBits_ == maxBits_ ? maxMaxCode_ : (int32_t{1} << nBits_) - 1;
            }
            int32_t code;
            if (!r.code(nBits_, &code)) break;
            if (blockMode_ && code == kClear) {
                r.align(nBits_);
                restart();
                continue;
            }
            Status st = oldCode_ == -1 ? start(code) : next(code);
            if (st != Status::Ok) return st;
        }
        if (r.readError()) return Status::ReadError;
        if (r.leftover() >= 8) return Status::Truncated;
        return w_.flush() ? Status::Ok : Status::WriteError;
    }

private:
    void restart() {
        nBits_ = kMinBits;
        // Decoders have always widened once the table holds maxCode + 1
        // entries and never read a 9-bit table as full; written streams
        // rely on that.
        maxCode_ = (int32_t{1} << nBits_) - 1;
        freeEnt_ = first_;
        oldCode_ = -1;
        strings_.clear();
    }
    // The first code of a table: a literal byte.
    Status start(int32_t code) {
        if (code >= 256) return Status::Corrupt;
        finChar_ = code;
        oldCode_ = code;
        unsigned char* o = w_.reserve(1 + Strings::kSlack);
        *o = static_cast<unsigned char>(code);
        oldText_ = o;
        w_.commit(1);
        return Status::Ok;
    }
    Status next(int32_t code);
    void defineNext();

    const int maxBits_;
    const int32_t maxMaxCode_;
    const int32_t first_;
    const bool blockMode_;
    Strings strings_;
    ByteWriter w_;
    int nBits_ = kMinBits;
    int32_t maxCode_ = 0;
    int32_t freeEnt_ = 0;
    int32_t oldCode_ = -1;
    int finChar_ = 0;
    const unsigned char* oldText_ = nullptr;  // where the last string was written
};

Status Expander::next(int32_t code) {
    size_t n;
    unsigned char* o;
    if (code >= freeEnt_) {
        // The code being defined: the last string and its own first byte.
        if (code > freeEnt_) return Status::Corrupt;
        n = strings_.length(oldCode_) + 1;
        o = w_.reserve(n + Strings::kSlack);
        finChar_ = strings_.write(oldCode_, o);
        o[n - 1] = static_cast<unsigned char>(finChar_);
    } else {
        n = strings_.length(code);
        o = w_.reserve(n + Strings::kSlack);
        finChar_ = strings_.write(code, o);
    }
    if (freeEnt_ < maxMaxCode_) defineNext();
    w_.commit(n);
    oldText_ = o;
    oldCode_ = code;
    return Status::Ok;
}

// The next code is the last string and the first byte of this one. The text
// of the last string lies just before this one unless the block was handed
// on in between; then it is written again from the table.
void Expander::defineNext() {
    size_t oldLen = strings_.length(oldCode_);
    unsigned char scratch[64 + Strings::kSlack];
    const unsigned char* text = oldText_;
    std::unique_ptr<unsigned char[]> big;
    if (!w_.holds(oldText_, oldLen)) {
        unsigned char* at = scratch;
        if (oldLen + Strings::kSlack > sizeof scratch) {
            big.reset(new unsigned char[oldLen + Strings::kSlack]);
            at = big.get();
        }
        strings_.write(oldCode_, at);
        text = at;
    }
    strings_.define(freeEnt_, oldCode_, finChar_, text);
    ++freeEnt_;
}

}  // namespace

Status expand(Source& in, Sink& out) {
    BitReader r(in);
    int maxBits = 0;
    bool blockMode = false;
    Status st = readHeader(r, &maxBits, &blockMode);
    if (st != Status::Ok) return st;
    Expander x(out, maxBits, blockMode);
    return x.run(r);
}

}  // namespace zorpack
