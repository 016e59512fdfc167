// UU decoding: the line format read back, following the part files in turn,
// with what mail transport typically does to it (stray line breaks, stray
// bytes, lines cut short) repaired and told on the console.
//
// A line that lies whole in the read buffer and needs no repair is decoded
// straight from there; anything else goes the byte-wise way, which can read
// ahead and take bytes back. Both read the same bytes the same way.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "encode/uu_coder.h"
#include "log/format.h"
#include "platform/winpath.h"

namespace brem::encode::uu {

namespace {

constexpr int16_t kNot = UuState::kNotInAlphabet;

// The input of one part, held in a block that refills from its source.
class Window {
public:
    void reset(BlockSource* src) {
        src_ = src;
        pos_ = end_ = 0;
        ended_ = src == nullptr;
        size_t cap = src ? blockFor(*src, kLeast) : kLeast;
        if (cap != cap_) {
            buf_.reset(new char[cap]);
            cap_ = cap;
        }
    }
    int get() {
        if (pos_ == end_ && !more(1)) return -1;
        return static_cast<unsigned char>(buf_[pos_++]);
    }
    // Holds at least n bytes ahead unless the input ends first; returns the
    // count held.
    size_t ensure(size_t n) {
        if (end_ - pos_ < n && !ended_) more(n);
        return end_ - pos_;
    }
    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(buf_.get() + pos_); }
    size_t capacity() const { return cap_; }
    void consume(size_t n) { pos_ += n; }
    size_t read(char* out, size_t n) {
        size_t got = 0;
        while (got < n && (pos_ < end_ || more(1))) {
            size_t k = end_ - pos_ < n - got ? end_ - pos_ : n - got;
            std::memcpy(out + got, buf_.get() + pos_, k);
            pos_ += k;
            got += k;
        }
        return got;
    }

private:
    // Room for the longest look ahead (a line and what follows it) and more.
    static constexpr size_t kLeast = 1024;
    bool more(size_t n) {
        size_t left = end_ - pos_;
        std::memmove(buf_.get(), buf_.get() + pos_, left);
        pos_ = 0;
        end_ = left;
        while (end_ < n && !ended_) {
            size_t got = src_->read(buf_.get() + end_, cap_ - end_);
            if (got == 0) ended_ = true;
            end_ += got;
        }
        return end_ >= n;
    }

    std::unique_ptr<char[]> buf_;
    size_t cap_ = 0;
    BlockSource* src_ = nullptr;
    size_t pos_ = 0, end_ = 0;
    bool ended_ = true;
};

// Decodes the k characters of a line body (all in the alphabet) in groups of
// four; characters past k count as value 0, so they never reach a byte that
// is written.
void decodeGroups(const unsigned char* p, size_t k, const int16_t* table, unsigned char* out) {
    size_t i = 0;
    for (; i + 4 <= k; i += 4) {
        unsigned a = static_cast<unsigned>(table[p[i]]), b = static_cast<unsigned>(table[p[i + 1]]);
        unsigned c = static_cast<unsigned>(table[p[i + 2]]), d = static_cast<unsigned>(table[p[i + 3]]);
        out[0] = static_cast<unsigned char>((a << 2) | (b >> 4));
        out[1] = static_cast<unsigned char>((b << 4) | (c >> 2));
        out[2] = static_cast<unsigned char>((c << 6) | d);
        out += 3;
    }
    if (i == k) return;
    unsigned v[4] = {0, 0, 0, 0};
    for (size_t j = 0; i + j < k; ++j) v[j] = static_cast<unsigned>(table[p[i + j]]);
    out[0] = static_cast<unsigned char>((v[0] << 2) | (v[1] >> 4));
    out[1] = static_cast<unsigned char>((v[1] << 4) | (v[2] >> 2));
    out[2] = static_cast<unsigned char>((v[2] << 6) | v[3]);
}

// The alphabet in use as four tables whose values already stand in their
// places of a group's 24 bits; a byte outside the alphabet sets a bit above
// them, so one test after a whole line tells whether it needs repair.
class GroupTables {
public:
    static constexpr uint32_t kStop = 1u << 24;
    void build(const int16_t* table) {
        for (int k = 0; k < 4; ++k) {
            for (int c = 0; c < 256; ++c) {
                at_[k][c] = table[c] == kNot ? kStop : static_cast<uint32_t>(table[c]) << (18 - 6 * k);
            }
        }
    }
    // Decodes k characters as decodeGroups does; false (with `out` of no
    // use) when one of them is not in the alphabet.
    bool decode(const unsigned char* p, size_t k, unsigned char* out) const {
        size_t i = 0;
        for (; i + 4 <= k; i += 4) {
            uint32_t v = at_[0][p[i]] | at_[1][p[i + 1]] | at_[2][p[i + 2]] | at_[3][p[i + 3]];
            if (v & kStop) return false;
            out[0] = static_cast<unsigned char>(v >> 16);
            out[1] = static_cast<unsigned char>(v >> 8);
            out[2] = static_cast<unsigned char>(v);
            out += 3;
        }
        if (i < k) {
            // k is never one more than a multiple of 4.
            uint32_t v = at_[0][p[i]] | at_[1][p[i + 1]] | (i + 2 < k ? at_[2][p[i + 2]] : 0);
            if (v & kStop) return false;
            out[0] = static_cast<unsigned char>(v >> 16);
            out[1] = static_cast<unsigned char>(v >> 8);
        }
        return true;
    }

private:
    uint32_t at_[4][256];
};

class Decoder : private Reporter {
public:
    Decoder(UuState& st, UuConsole& console, UuFiles& files) : Reporter(st, console), files_(files) {}
    void run();

private:
    // The input with room to take back what a repair read ahead.
    int get() {
        if (!back_.empty()) {
            int c = static_cast<unsigned char>(back_.back());
            back_.pop_back();
            return c;
        }
        return in_.get();
    }
    int peek() {
        if (!back_.empty()) return static_cast<unsigned char>(back_.back());
        return in_.ensure(1) > 0 ? in_.data()[0] : -1;
    }
    void unread(const char* bytes, size_t n) {
        for (size_t i = n; i > 0; --i) back_.push_back(bytes[i - 1]);
    }
    size_t readBlock(char* out, size_t n) {
        size_t got = 0;
        while (got < n && !back_.empty()) out[got++] = static_cast<char>(get());
        return got + in_.read(out + got, n - got);
    }
    bool openInput();
    bool readLine(std::string& line);  // a piece of up to 79 bytes
    bool scanHeader(std::string& name);
    void takeAlphabet(bool own, const std::string& alphabet);
    bool openOutput(const std::string& name);
    bool scanNextPart();
    bool decodeLines();  // false when a part ended before the zero line
    int fastLine();
    int slowLine();
    bool repairBlock(char* block, size_t k, int n);  // true when the line ended early
    void checkEndLine();
    // Decoded lines are gathered in a block of their own and handed on a
    // block at a time; room() is where the next line's bytes go.
    unsigned char* room() {
        if (held_ + kLineRoom > outSize_) flushOut();
        return outBlock_.get() + held_;
    }
    void keep(size_t n) {
        held_ += n;
        s.total += static_cast<int64_t>(n);
    }
    void flushOut();
    static constexpr size_t kLineRoom = 66;  // a line's groups write 63 bytes at most

    UuFiles& files_;
    Window in_;
    GroupTables own_;  // for an alphabet the input brings
    const GroupTables* groups_ = nullptr;
    BlockSink* out_ = nullptr;
    std::unique_ptr<unsigned char[]> outBlock_;
    size_t outSize_ = 0;
    size_t held_ = 0;
    std::string back_;
    bool writeReported_ = false;
};

bool Decoder::openInput() {
    back_.clear();
    BlockSource* src = files_.openInput(s.inPath);
    in_.reset(src);
    if (src) return true;
    report(Error, false, "cannot open input file %s", s.inPath.c_str());
    return false;
}

bool Decoder::readLine(std::string& line) {
    line.clear();
    while (line.size() < 79) {
        int c = get();
        if (c < 0) break;
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (!line.empty() && line.back() == '\n') ++s.line;
    return !line.empty();
}

// Reads up to the "begin" line, taking an alphabet from a "table" or
// "charmap" line on the way. False when the input ends first.
bool Decoder::scanHeader(std::string& name) {
    std::string line, alphabet;
    bool ownAlphabet = false;
    for (;;) {
        if (!readLine(line)) return false;
        if (startsWith(line, "table")) {
            std::string a, b;
            readLine(a);
            readLine(b);
            alphabet = a.substr(0, 32) + b.substr(0, 32);
            ownAlphabet = true;
        } else if (startsWith(line, "charmap")) {
            alphabet = line.size() > 8 ? line.substr(8, 64) : std::string();
            ownAlphabet = true;
        } else if (startsWith(line, "begin")) {
            break;
        }
    }
    char word[3][80] = {{0}, {0}, {0}};
    std::sscanf(line.c_str(), "%79s %79s %79s", word[0], word[1], word[2]);
    name = word[2];
    takeAlphabet(ownAlphabet, alphabet);
    return true;
}

// Puts the input's own alphabet in use when the format can carry it; the
// first data line's character is then the full-line character.
void Decoder::takeAlphabet(bool own, const std::string& alphabet) {
    int first = peek();
    bool usable = own && alphabet.size() == 64;
    for (char c : alphabet) {
        // Only printable 7-bit bytes can stand in a line of the format.
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80) usable = false;
    }
    if (own && usable) {
        std::memcpy(s.alphabet, alphabet.data(), 64);
        s.buildTable([this](unsigned char c) { report(Error, true, "character %c already defined in table", c); });
        if (first >= 0 && s.table[first] != kNot) {
            s.fullChar = static_cast<unsigned char>(first);
            s.fullLength = s.table[first];
        }
    } else if (own || first != s.fullChar) {
        // An alphabet the format cannot carry is read as plain UU.
        report(Error, true, "unknown encoding method");
    }
}

bool Decoder::openOutput(const std::string& name) {
    if (!s.outPath.empty()) {
        report(Warning, false, "%s specified outfile as %s", s.inPath.c_str(), name.c_str());
    } else {
        // The name comes from the input: only its file name is taken, so that
        // an encoded file cannot write outside the current directory.
        s.outPath = name.substr(leafStart(name));
    }
    if (plat::equalsNoCase(s.outPath, s.inPath) || files_.sameFile(s.outPath, s.inPath)) {
        report(Error, false, "input and output filename must differ");
        return false;
    }
    out_ = files_.createOutput(s.outPath);
    // As large as the input's blocks: a small input in memory costs little.
    outSize_ = in_.capacity();
    outBlock_.reset(new unsigned char[outSize_]);
    if (!out_) {
        report(Error, false, "cannot open output file %s", s.outPath.c_str());
        return false;
    }
    return true;
}

// Opens the next part file and reads up to its first data line. False when
// there is none.
bool Decoder::scanNextPart() {
    ++s.part;
    if (!partPath(s.inPath, s.part)) {
        report(Error, false, "more than %d part files needed for %s", kMaxParts, s.inPath.c_str());
        return false;
    }
    con.out(formatText("%s --- %s --->\n", s.inPath.c_str(), s.label));
    if (!openInput()) return false;
    s.line = 1;
    std::string line;
    for (;;) {
        int c = peek();
        if (c < 0) break;
        if (c == s.fullChar) {
            report(Warning, true, "line starting with '%c' found before \"begin\"", c);
            return true;
        }
        readLine(line);
        if (startsWith(line, "begin")) return true;
    }
    report(Error, false, "nothing to decode in file %s", s.inPath.c_str());
    return false;
}

void Decoder::flushOut() {
    if (held_ > 0 && !out_->write(reinterpret_cast<const char*>(outBlock_.get()), held_) && !writeReported_) {
        report(Error, true, "write error on output file");
        writeReported_ = true;
    }
    held_ = 0;
}

// Takes out of the k characters of a line body what is not in the alphabet.
bool Decoder::repairBlock(char* block, size_t k, int n) {
    size_t p = 0;
    while (p < k) {
        unsigned char c = static_cast<unsigned char>(block[p]);
        if (s.table[c] != kNot) {
            ++p;
            continue;
        }
        if (c == '\n' && n < s.fullLength) {
            // A line cut short: what was read past its end belongs to the
            // next line and goes back to the input.
            report(Warning, true, "unexpected end of line");
            unread(block + p + 1, k - p - 1);
            ++s.line;
            for (size_t i = p; i < k; ++i) block[i] = s.alphabet[0];
            return true;
        }
        if (c == '\n') {
            if (n == s.fullLength) report(Warning, true, "unexpected line break - glued");
            else report(Warning, true, "file probably corrupted");
            ++s.line;
        } else if (c >= 0x20) {
            report(Warning, true, "skipped illegal character '%c'", c);
        } else {
            report(Warning, true, "skipped illegal character %#x", c);
        }
        std::memmove(block + p, block + p + 1, k - p - 1);
        int more = get();
        block[k - 1] = more < 0 ? s.alphabet[0] : static_cast<char>(more);
    }
    return false;
}

// The results of one data line: more lines follow, the zero line came, or
// the part ended first (or, for fastLine, the line is left to slowLine).
enum LineResult { kMore, kZero, kPartEnded, kNotFast };

// A line that lies whole in the buffer with nothing to repair, its end in
// sight: decoded in place. Nothing is taken from the input otherwise.
int Decoder::fastLine() {
    if (!back_.empty()) return kNotFast;
    constexpr size_t kLook = 256;  // a line is at most 1 + 84 characters
    size_t avail = in_.ensure(kLook);
    const unsigned char* p = in_.data();
    const int16_t* table = s.table;
    size_t i = 0;
    int lines = 0;
    while (i < avail && table[p[i]] == kNot) lines += p[i++] == '\n';
    if (i == avail) return kNotFast;
    int n = table[p[i]];
    if (n == 0) {
        s.line += lines;
        in_.consume(i + 1);
        return kZero;
    }
    size_t body = i + 1, k = (4 * static_cast<size_t>(n) + 2) / 3;
    if (body + k >= avail) return kNotFast;
    if (!groups_->decode(p + body, k, room())) return kNotFast;
    size_t end = body + k;
    while (end < avail && table[p[end]] != kNot) ++end;
    if (end == avail) return kNotFast;
    s.line += lines;
    in_.consume(end);
    keep(static_cast<size_t>(n));
    if (end > body + k && n == s.fullLength) report(Warning, true, "end of line expected");
    return kMore;
}

// Any line, a byte at a time, with the repairs.
int Decoder::slowLine() {
    const int16_t* table = s.table;
    int c;
    while ((c = get()) >= 0 && table[c] == kNot) {
        if (c == '\n') ++s.line;
    }
    if (c < 0) return kPartEnded;
    int n = table[c];
    if (n == 0) return kZero;
    char block[88];  // 84 characters at most (length 63), read in groups of 4
    size_t k = (4 * static_cast<size_t>(n) + 2) / 3;
    size_t got = readBlock(block, k);
    if (got < k) {
        report(Warning, true, "unexpected end of file");
        for (size_t i = got; i < k; ++i) block[i] = s.alphabet[0];
    }
    bool endedEarly = false;
    for (size_t i = 0; i < k; ++i) {
        if (table[static_cast<unsigned char>(block[i])] == kNot) {
            endedEarly = repairBlock(block, k, n);
            break;
        }
    }
    decodeGroups(reinterpret_cast<const unsigned char*>(block), k, table, room());
    keep(static_cast<size_t>(n));
    // A line that ended early has nothing more: what follows is the next
    // line.
    if (endedEarly) return kMore;
    int extra = 0;
    while ((c = peek()) >= 0 && table[c] != kNot) {
        get();
        ++extra;
    }
    if (extra > 0 && n == s.fullLength) report(Warning, true, "end of line expected");
    return kMore;
}

// The tables of the UU alphabet, which nearly every input uses, are built
// once; an alphabet of the input's own gets its tables per call.
const GroupTables& uuGroups() {
    static const GroupTables tables = [] {
        UuState plain;
        plain.reset();
        GroupTables t;
        t.build(plain.table);
        return t;
    }();
    return tables;
}

bool Decoder::decodeLines() {
    const GroupTables& plain = uuGroups();
    if (std::memcmp(s.alphabet, UuState::kUuAlphabet, 64) == 0) {
        groups_ = &plain;
    } else {
        own_.build(s.table);
        groups_ = &own_;
    }
    for (;;) {
        int r = fastLine();
        if (r == kNotFast) r = slowLine();
        if (r != kMore) return r == kZero;
    }
}

// The "end" line and the byte count that may follow it.
void Decoder::checkEndLine() {
    auto skipSpace = [this] {
        int c;
        while ((c = peek()) >= 0 && std::strchr(" \t\r\n\v\f", c)) {
            get();
            if (c == '\n') ++s.line;
        }
    };
    auto word = [this, &skipSpace] {
        skipSpace();
        std::string w;
        int c;
        while ((c = peek()) >= 0 && !std::strchr(" \t\r\n\v\f", c)) w.push_back(static_cast<char>(get()));
        return w;
    };
    if (!startsWith(word(), "end")) report(Warning, true, "end line not found");
    skipSpace();
    std::string digits;
    int c = peek();
    if (c == '+' || c == '-') digits.push_back(static_cast<char>(get()));
    while ((c = peek()) >= 0 && c >= '0' && c <= '9' && digits.size() < 19) digits.push_back(static_cast<char>(get()));
    long long count = std::strtoll(digits.c_str(), nullptr, 10);
    if (count > 0 && count != s.total) {
        std::string unit = word();
        if (unit.empty() || unit[0] != 'l') report(Warning, false, "file size different");
    }
}

void Decoder::run() {
    s.label = "UUdecode";
    if (extensionStart(s.inPath) == s.inPath.size()) s.inPath += ".enc";
    if (!openInput()) return;
    s.line = 1;
    std::string name;
    if (!scanHeader(name)) {
        report(Error, false, "nothing to decode in file %s", s.inPath.c_str());
        return;
    }
    if (!openOutput(name)) return;
    con.out(formatText("\n%s --- %s ---> %s ", s.inPath.c_str(), s.label, s.outPath.c_str()));
    con.out("\n");
    for (;;) {
        if (decodeLines()) {
            checkEndLine();
            break;
        }
        if (!scanNextPart()) break;
    }
    flushOut();
    if (!files_.closeOutput() && !writeReported_) report(Error, true, "write error on output file");
}

}  // namespace

void decodeFiles(UuState& s, UuConsole& console, UuFiles& files) {
    Decoder d(s, console, files);
    d.run();
}

}  // namespace brem::encode::uu
