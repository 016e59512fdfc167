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
#include <string>

#include "encode/mime.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"

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
        unsigned char a = static_cast<unsigned char>(tok[i]), b = static_cast<unsigned char>(keyword[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
        if (a != b) return false;
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

class Decoder {
public:
    Decoder(const std::string& outPath) : outPath_(outPath), nameBuf_(outPath) {}

    int32_t run(plat::Stream& in, plat::Stream& out);

private:
    // Reads the next piece into line_; false at the end of the input.
    bool readPiece(plat::Stream& in) {
        len_ = 0;
        while (len_ < kPiece) {
            int c = in.get();
            if (c < 0) break;
            line_[len_++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        return len_ > 0;
    }
    // Decodes the current piece; false when a pad or a byte outside the
    // alphabet ends the body.
    bool decodePiece(plat::Stream& out) {
        for (size_t i = 0; i < len_; ++i) {
            unsigned char c = static_cast<unsigned char>(line_[i]);
            if (c == '\n') break;
            int8_t v = kBase64.v[c];
            if (v < 0) return false;
            acc_ = (acc_ << 6) + static_cast<uint32_t>(v);
            bits_ += 6;
            if (bits_ >= 8) {
                bits_ -= 8;
                if (out.isOpen()) out.put(static_cast<char>((acc_ >> bits_) & 0xFF));
            }
        }
        return true;
    }
    // A header line outside a body. false on a name conflict (the call
    // fails).
    bool examineHeader();
    bool examineName(const char* name, size_t len, bool fromValue);

    const std::string& outPath_;
    std::string nameBuf_;
    char line_[kPiece + 1];
    size_t len_ = 0;
    HeaderLine header_;
    uint32_t acc_ = 0;
    int bits_ = 0;
    bool keep_ = true, replace_ = false, skipBody_ = false, first_ = true;
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

int32_t Decoder::run(plat::Stream& in, plat::Stream& out) {
    for (;;) {
        acc_ = 0;
        bits_ = 0;
        bool readLine = false, body = false, inputEnded = false;
        for (;;) {
            if (!readPiece(in)) {
                inputEnded = true;
                if (!readLine) body = true;
                break;
            }
            bool lastWithoutEnd = line_[len_ - 1] != '\n' && in.atEnd();
            if (lastWithoutEnd) {
                // A last line cut short is never decoded: it may be a
                // truncated group.
                inputEnded = true;
                if (!readLine) {
                    body = true;
                } else if (!body) {
                    if (isBase64Like(line_, len_) && !skipBody_) body = true;
                    else if (!examineHeader()) return -1;
                }
                break;
            }
            readLine = true;
            if (body) {
                if (line_[0] == '\n' || static_cast<signed char>(line_[0]) < '+') break;
                if (!decodePiece(out)) break;
                continue;
            }
            if (isBase64Like(line_, len_)) {
                if (skipBody_) continue;
                body = true;
                if (!decodePiece(out)) break;
                continue;
            }
            if (!examineHeader()) return -1;
        }
        if (out.isOpen() && !out.close()) {
            // A short attachment must not pass for the whole one.
            plat::deleteFile(outPath_);
            return -1;
        }
        if (keep_) {
            replace_ = true;
            if (inputEnded && !body && readLine) plat::deleteFile(kMimeWorkFile);
        }
        first_ = false;
        nameBuf_.clear();
        if (inputEnded) break;
    }
    if (replace_) {
        plat::deleteFile(outPath_);
        plat::moveFile(kMimeWorkFile, outPath_);
    }
    return 0;
}

}  // namespace

int32_t MimeDecode(const std::string& inPath, const std::string& outPath) {
    plat::Stream in;
    if (!in.open(inPath, "r")) return -1;
    // Creating the output would empty the input when both name one file.
    if (plat::sameFile(inPath, outPath)) return -1;
    plat::Stream out;
    if (!out.open(outPath, "wb")) return -1;
    Decoder d(outPath);
    return d.run(in, out);
}

}  // namespace brem::encode
