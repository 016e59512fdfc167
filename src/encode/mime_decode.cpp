// Taking the first base64 attachment out of a message file.
//
// The message is read as text in pieces of at most 79 bytes, each piece a
// line of its own, and watched for two header fields: Content-Type, whose
// `name` parameter tells whether the output is the attachment the host asked
// for, and Content-Transfer-Encoding, which tells whether the next body is
// base64 at all. The message falls into sections, each running up to the end
// of its first body; only the first section writes to the output. When no
// part of the message ever names another file than the output, the output is
// given up at the end and the working file "$$$$$$$$.$$$" of the current
// directory, when there is one, takes its place.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "encode/mime.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "text/ascii.h"

namespace brem::encode {

namespace {

// The longest piece the line reader hands over; longer lines come in pieces.
constexpr size_t kPiece = 79;

enum : int8_t { kPad = -2, kInvalid = -1 };

struct Base64Table {
    int8_t v[256];
    constexpr Base64Table() : v() {
        for (int i = 0; i < 256; ++i) v[i] = kInvalid;
        for (int i = 0; i < 26; ++i) {
            v['A' + i] = static_cast<int8_t>(i);
            v['a' + i] = static_cast<int8_t>(26 + i);
        }
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<int8_t>(52 + i);
        v['+'] = 62;
        v['/'] = 63;
        v['='] = kPad;
    }
};
constexpr Base64Table kBase64{};

// The values of a group's four characters already in their places of the
// 24 bits, so that a group is four lookups and three ORs; a pad or a byte
// outside the alphabet sets a bit above them.
constexpr uint32_t kGroupStop = 1u << 24;
struct GroupTables {
    uint32_t at[4][256];
    constexpr GroupTables() : at() {
        for (int k = 0; k < 4; ++k) {
            for (int c = 0; c < 256; ++c) {
                int v = kBase64.v[c];
                at[k][c] = v < 0 ? kGroupStop : static_cast<uint32_t>(v) << (18 - 6 * k);
            }
        }
    }
};
constexpr GroupTables kGroup{};

bool isWordChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '/' ||
           c == '.';
}

bool isStopByte(unsigned char c) { return c < 0x20 || c >= 0x80; }

// Every byte before the line end is of the base64 alphabet or '=', and there
// is at least one.
bool isBase64Like(const char* line, size_t len) {
    size_t n = (len > 0 && line[len - 1] == '\n') ? len - 1 : len;
    if (n == 0) return false;
    for (size_t i = 0; i < n; ++i) {
        if (kBase64.v[static_cast<unsigned char>(line[i])] == kInvalid) return false;
    }
    return true;
}

// A token matches when it is a non-empty leading part of the keyword, letter
// case aside: "Content" is taken for "Content-Type", as mailers abbreviate.
bool matchesKeyword(const char* tok, size_t len, const char* keyword) {
    if (len == 0) return false;
    for (size_t i = 0; i < len; ++i) {
        if (keyword[i] == '\0') return false;
        if (ascii::toLower(tok[i]) != ascii::toLower(keyword[i])) return false;
    }
    return true;
}

// One header line cut into its field name and its parameter tokens.
struct HeaderLine {
    enum Kind : uint8_t { Name, Value };
    struct Token {
        uint8_t start, len;
        Kind kind;
    };
    const char* line = nullptr;
    const char* field = nullptr;
    size_t fieldLen = 0;
    Token tokens[kPiece];  // a piece of 79 bytes holds fewer tokens than that
    size_t count = 0;

    void parse(const char* text, size_t len) {
        line = text;
        count = 0;
        size_t end = 0;
        while (end < len && !isStopByte(static_cast<unsigned char>(line[end]))) ++end;
        size_t p = 0;
        while (p < end && line[p] == ' ') ++p;
        size_t fieldStart = p;
        while (p < end && isWordChar(static_cast<unsigned char>(line[p]))) ++p;
        fieldLen = p - fieldStart;
        field = line + fieldStart;
        bool afterField = true;
        Kind prev = Name;
        size_t prevEnd = p;
        while (p < end) {
            size_t delimStart = p;
            while (p < end && !isWordChar(static_cast<unsigned char>(line[p]))) ++p;
            if (p >= end) break;
            size_t tokStart = p;
            while (p < end && isWordChar(static_cast<unsigned char>(line[p]))) ++p;
            Kind kind;
            if (afterField || prev == Value) {
                kind = Name;
            } else {
                kind = line[prevEnd] == ';' ? Name : Value;
            }
            // A delimiter run that does not end in a blank says what follows:
            // "; x" and ";x" open a parameter, "=x" and "=\"x" give its value.
            if (tokStart > delimStart && line[tokStart - 1] != ' ') {
                size_t s = tokStart;
                while (s > delimStart && line[s - 1] != ' ') --s;
                if (line[s] == ';') kind = Name;
                else if (line[s] == '=') kind = Value;
            }
            tokens[count++] = Token{static_cast<uint8_t>(tokStart), static_cast<uint8_t>(p - tokStart), kind};
            afterField = false;
            prev = kind;
            prevEnd = p;
        }
    }
    const char* tokenText(size_t i) const { return line + tokens[i].start; }
    // Index of the next token of `kind` at or after `from`, or count.
    size_t next(size_t from, Kind kind) const {
        while (from < count && tokens[from].kind != kind) ++from;
        return from;
    }
};

// The input read as a text-mode file is read (a CR LF pair reads as LF, a
// lone CR stays, a byte 0x1A ends the input), handed over in pieces of at
// most kPiece bytes, each ending after its LF or at kPiece bytes. The
// conversion runs over whole blocks; the rules apply to the bytes, not to how
// many are read at a time.
class TextPieces {
public:
    explicit TextPieces(BlockSource& src)
        : src_(src), block_(blockFor(src, kPiece)), buf_(new char[block_ + 2 * kPiece + 2]) {}

    // The next piece; false at the end of the input. `lastWithoutEnd` tells
    // a piece without LF after which the input is known to have ended, as a
    // line reader that met the end while reading it knows.
    bool next(const char** piece, size_t* len, bool* lastWithoutEnd) {
        if (end_ - pos_ <= kPiece && !ended_) fill();
        size_t avail = end_ - pos_;
        if (avail == 0) return false;
        const char* p = buf_.get() + pos_;
        size_t n = avail < kPiece ? avail : kPiece;
        const void* lf = std::memchr(p, '\n', n);
        if (lf) n = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
        pos_ += n;
        *piece = p;
        *len = n;
        // A piece cut at kPiece bytes is known to be the last only when the
        // reader had to look past a CR at the very end of the file.
        *lastWithoutEnd = !lf && (n < kPiece || (pos_ == end_ && atFileEnd_ && p[n - 1] == '\r'));
        return true;
    }

private:
    // Moves what is left to the front and converts another block behind it.
    void fill() {
        size_t left = end_ - pos_;
        std::memmove(buf_.get(), buf_.get() + pos_, left);
        pos_ = 0;
        end_ = left;
        while (!ended_ && end_ <= kPiece) {
            char* at = buf_.get() + end_;
            if (heldCr_) *at++ = '\r';
            size_t got = src_.read(at, block_);
            if (got == 0) {
                // A CR held back at the very end of the file stays a CR.
                end_ += heldCr_ ? 1 : 0;
                heldCr_ = false;
                ended_ = atFileEnd_ = true;
                break;
            }
            size_t raw = got + (heldCr_ ? 1 : 0);
            heldCr_ = false;
            end_ += convert(buf_.get() + end_, raw);
        }
    }

    // Converts n raw bytes in place; returns the count of text bytes. A CR
    // at the end of the block is held back until the next byte is known.
    size_t convert(char* p, size_t n) {
        const void* sub = std::memchr(p, 0x1A, n);
        if (sub) {
            n = static_cast<size_t>(static_cast<const char*>(sub) - p);
            ended_ = true;
        }
        char* cr = static_cast<char*>(std::memchr(p, '\r', n));
        if (!cr) return n;
        char* out = cr;
        const char* in = cr;
        const char* stop = p + n;
        while (in < stop) {
            char c = *in++;
            if (c != '\r') {
                *out++ = c;
            } else if (in == stop) {
                if (!ended_) heldCr_ = true;
                else *out++ = c;  // 0x1A follows: the CR stays
            } else if (*in != '\n') {
                *out++ = c;
            }
        }
        return static_cast<size_t>(out - p);
    }

    BlockSource& src_;
    const size_t block_;
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0, end_ = 0;
    bool ended_ = false;      // no more text: the file ended or a 0x1A came
    bool atFileEnd_ = false;  // ended by the end of the file itself
    bool heldCr_ = false;
};

class Decoder {
public:
    Decoder(const std::string& outPath, BlockSink& out, size_t block)
        : outPath_(outPath), nameBuf_(outPath), out_(&out), outSize_(block), outBlock_(new char[block]) {}

    MimeOutcome run(TextPieces& in);

private:
    // Decodes a piece; false when a pad or a byte outside the alphabet ends
    // the body. Whole groups of four are decoded at once while the
    // accumulator holds no bits; what is left goes a character at a time.
    bool decodePiece(const char* line, size_t len) {
        if (len > 0 && line[len - 1] == '\n') --len;
        const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
        char* bytes = room(len);
        size_t o = 0, i = 0;
        bool ok = true;
        if (bits_ == 0) {
            for (; i + 4 <= len; i += 4) {
                uint32_t v = kGroup.at[0][p[i]] | kGroup.at[1][p[i + 1]] | kGroup.at[2][p[i + 2]] |
                             kGroup.at[3][p[i + 3]];
                if (v & kGroupStop) break;
                acc_ = v;
                bytes[o] = static_cast<char>(v >> 16);
                bytes[o + 1] = static_cast<char>(v >> 8);
                bytes[o + 2] = static_cast<char>(v);
                o += 3;
            }
        }
        for (; i < len; ++i) {
            int8_t v = kBase64.v[p[i]];
            if (v < 0) {
                ok = false;
                break;
            }
            acc_ = (acc_ << 6) + static_cast<uint32_t>(v);
            bits_ += 6;
            if (bits_ >= 8) {
                bits_ -= 8;
                bytes[o++] = static_cast<char>((acc_ >> bits_) & 0xFF);
            }
        }
        if (out_) held_ += o;
        return ok;
    }
    // Room for the bytes of a piece of n characters at the end of the
    // output block, which goes to the sink when it fills.
    char* room(size_t n) {
        if (held_ + n > outSize_) flushOut();
        return outBlock_.get() + held_;
    }
    void flushOut() {
        if (out_ && held_ > 0) out_->write(outBlock_.get(), held_);
        held_ = 0;
    }
    // A header line outside a body. false on a name conflict (the call
    // fails).
    bool examineHeader();
    bool examineName(const char* name, size_t len, bool fromValue);
    // One section, up to the end of its first body; sets inputEnded_.
    bool section(TextPieces& in, MimeOutcome& result);

    const std::string& outPath_;
    std::string nameBuf_;
    BlockSink* out_;  // only the first section writes
    size_t outSize_;
    std::unique_ptr<char[]> outBlock_;
    size_t held_ = 0;
    const char* line_ = nullptr;
    size_t len_ = 0;
    HeaderLine header_;
    uint32_t acc_ = 0;
    int bits_ = 0;
    bool keep_ = true, replace_ = false, skipBody_ = false, first_ = true;
    bool inputEnded_ = false;
};

bool Decoder::examineName(const char* name, size_t len, bool fromValue) {
    if (fromValue) {
        nameBuf_.assign(name, len);
    } else {
        size_t cut = 0;
        while (cut < nameBuf_.size() && isWordChar(static_cast<unsigned char>(nameBuf_[cut]))) ++cut;
        nameBuf_.resize(cut);
    }
    // The whole output path is compared, however long.
    if (!plat::equalsNoCase(nameBuf_, outPath_)) {
        keep_ = false;
        return true;
    }
    return !replace_;
}

bool Decoder::examineHeader() {
    HeaderLine& h = header_;
    h.parse(line_, len_);
    if (matchesKeyword(h.field, h.fieldLen, "Content-Type")) {
        size_t i = 0;
        for (;;) {
            i = h.next(i, HeaderLine::Name);
            if (i >= h.count) break;
            if (!matchesKeyword(h.tokenText(i), h.tokens[i].len, "name")) {
                ++i;
                continue;
            }
            size_t j = h.next(i + 1, HeaderLine::Value);
            bool examine = keep_ || !first_;
            if (j >= h.count) {
                if (examine && !examineName(nullptr, 0, false)) return false;
                break;
            }
            if (examine && !examineName(h.tokenText(j), h.tokens[j].len, true)) return false;
            i = j + 1;
        }
    } else if (matchesKeyword(h.field, h.fieldLen, "Content-transfer-encoding")) {
        skipBody_ = true;
        for (size_t i = h.next(0, HeaderLine::Name); i < h.count; i = h.next(i + 1, HeaderLine::Name)) {
            if (matchesKeyword(h.tokenText(i), h.tokens[i].len, "base64")) skipBody_ = false;
        }
    }
    return true;
}

bool Decoder::section(TextPieces& in, MimeOutcome& result) {
    acc_ = 0;
    bits_ = 0;
    bool readLine = false, body = false;
    for (;;) {
        bool lastWithoutEnd = false;
        if (!in.next(&line_, &len_, &lastWithoutEnd)) {
            inputEnded_ = true;
            if (!readLine) body = true;
            break;
        }
        if (lastWithoutEnd) {
            // A last line cut short is never decoded: it may be a
            // truncated group.
            inputEnded_ = true;
            if (!readLine) {
                body = true;
            } else if (!body) {
                if (isBase64Like(line_, len_) && !skipBody_) body = true;
                else if (!examineHeader()) return false;
            }
            break;
        }
        readLine = true;
        if (body) {
            if (line_[0] == '\n' || static_cast<signed char>(line_[0]) < '+') break;
            if (!decodePiece(line_, len_)) break;
            continue;
        }
        if (isBase64Like(line_, len_)) {
            if (skipBody_) continue;
            body = true;
            if (!decodePiece(line_, len_)) break;
            continue;
        }
        if (!examineHeader()) return false;
    }
    if (keep_) {
        replace_ = true;
        if (inputEnded_ && !body && readLine) result.dropWorkFile = true;
    }
    return true;
}

MimeOutcome Decoder::run(TextPieces& in) {
    MimeOutcome result;
    while (!inputEnded_) {
        if (!section(in, result)) {
            result.conflict = true;
            return result;
        }
        flushOut();
        out_ = nullptr;
        first_ = false;
        nameBuf_.clear();
    }
    result.replaceOutput = replace_;
    return result;
}

}  // namespace

MimeOutcome WalkMimeSections(BlockSource& in, const std::string& outPath, BlockSink& out) {
    TextPieces pieces(in);
    Decoder d(outPath, out, blockFor(in, kPiece));
    return d.run(pieces);
}

int32_t MimeDecode(const std::string& inPath, const std::string& outPath) {
    plat::Stream in;
    if (!in.open(inPath, "rb")) return -1;
    // Creating the output would empty the input when both name one file.
    if (plat::sameFile(inPath, outPath)) return -1;
    plat::Stream out;
    if (!out.open(outPath, "wb")) return -1;
    StreamSource src(in);
    StreamSink sink(out);
    MimeOutcome r = WalkMimeSections(src, outPath, sink);
    if (!out.sync() || !out.close()) {
        // A short attachment must not pass for the whole one.
        plat::deleteFile(outPath);
        return -1;
    }
    if (r.conflict) return -1;
    if (r.dropWorkFile) plat::deleteFile(kMimeWorkFile);
    if (r.replaceOutput) {
        plat::deleteFile(outPath);
        plat::moveFile(kMimeWorkFile, outPath);
    }
    // The attachment's name is on the disk before it counts as decoded.
    return plat::syncDirectory(plat::directoryOf(outPath)) ? 0 : -1;
}

}  // namespace brem::encode
