// The UU coder, both ways.
//
// Encoding writes 45 bytes a line, each line led by the character of its byte
// count, into part files x.enc, x.en2 ... x.e99 when the host asks for parts,
// and leaves the number of part files in "ncode.dat" for the host. Decoding
// reads the line format back, following the part files in turn, and repairs
// what mail transport typically does to it (stray line breaks, stray bytes,
// lines cut short), telling each repair on the console. Nothing here fails
// the call: the console is where the host learns what went wrong.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "text/format.h"
#include "encode/uu.h"
#include "encode/uu_state.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"

namespace brem::encode {

namespace {

constexpr int kLineBytes = 45;
constexpr int kMaxParts = 99;  // the part number has two digits in the extension

class StdConsole : public UuConsole {
public:
    void out(const std::string& text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
    void err(const std::string& text) override {
        std::fflush(stdout);
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
    int readChar() override {
        int c = std::getchar();
        return c == EOF ? -1 : c;
    }
};

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Where the file name of a path begins: after its last separator or, failing
// that, after a drive's ':'.
size_t leafStart(const std::string& path) {
    size_t i = path.size();
    while (i > 0 && !isSeparator(path[i - 1])) --i;
    if (i > 0) return i;
    size_t colon = path.rfind(':');
    return colon == std::string::npos ? 0 : colon + 1;
}

// Where the extension of a path's file name begins (its last '.'), or the
// path's length when the name has none. A '.' in a directory name is not an
// extension, so that "c:\my.dir\data" never becomes "c:\my.enc".
size_t extensionStart(const std::string& path) {
    size_t leaf = leafStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < leaf) return path.size();
    return dot;
}

void lowerAscii(std::string& s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
}

// The name of part `part` of a series whose first file is `path`: the part
// number in the last two places of the extension (x.enc, x.en2, x.e10).
// False from part 100 on, whose name would repeat an earlier one.
bool partPath(std::string& path, int part) {
    if (part > kMaxParts || path.size() < 2) return false;
    path[path.size() - 1] = static_cast<char>('0' + part % 10);
    if (part >= 10) path[path.size() - 2] = static_cast<char>('0' + part / 10);
    return true;
}

class Coder {
public:
    Coder(UuState& st, UuConsole& console) : s(st), con(console) {}

    void encode();
    void decode();

private:
    enum Kind { Error, Warning };
    // One diagnostic line: "Wexo Windows [path (line) ]error: text.\n".
    void report(Kind kind, bool withLine, const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;

    // Encoding.
    bool openPart(plat::Stream& out, bool first);
    bool writeChecked(plat::Stream& out, const char* data, size_t n);
    bool closeChecked(plat::Stream& out);
    void writeCountFile(int parts);

    // Decoding: the input with room to take back what a repair read ahead.
    int get() {
        if (!back_.empty()) {
            int c = static_cast<unsigned char>(back_.back());
            back_.pop_back();
            return c;
        }
        return in_.get();
    }
    int peek() {
        int c = get();
        if (c >= 0) back_.push_back(static_cast<char>(c));
        return c;
    }
    void unread(const char* bytes, size_t n) {
        for (size_t i = n; i > 0; --i) back_.push_back(bytes[i - 1]);
    }
    size_t readBlock(char* out, size_t n) {
        size_t got = 0;
        while (got < n && !back_.empty()) out[got++] = static_cast<char>(get());
        return got + in_.read(out + got, n - got);
    }
    bool readLine(std::string& line);  // a piece of up to 79 bytes
    bool scanHeader(std::string& name);
    bool scanNextPart();
    bool decodeLines();  // false when a part ended before the zero line
    bool repairBlock(char* block, size_t k, int n);  // true when the line ended early
    void checkEndLine();
    bool writeDecoded(const unsigned char* bytes, size_t n);

    UuState& s;
    UuConsole& con;
    plat::Stream in_;
    plat::Stream out_;
    std::string back_;
    bool writeReported_ = false;
};

void Coder::report(Kind kind, bool withLine, const char* fmt, ...) {
    std::string text = "Wexo Windows ";
    if (withLine) text += formatText("%s (%d) ", s.inPath.c_str(), s.line);
    text += kind == Error ? "error: " : "warning: ";
    va_list ap;
    va_start(ap, fmt);
    text += vformatText(fmt, ap);
    va_end(ap);
    text += ".\n";
    con.out(text);
}

// ---- Encoding --------------------------------------------------------------

bool Coder::writeChecked(plat::Stream& out, const char* data, size_t n) {
    if (out.write(data, n)) return true;
    if (!writeReported_) report(Error, true, "write error on output file");
    writeReported_ = true;
    return false;
}

bool Coder::closeChecked(plat::Stream& out) {
    if (out.close()) return true;
    if (!writeReported_) report(Error, true, "write error on output file");
    writeReported_ = true;
    return false;
}

// Creates the part file s.outPath and writes its opening lines.
bool Coder::openPart(plat::Stream& out, bool first) {
    if (!out.open(s.outPath, "wb")) {
        report(Error, false, "cannot open output file %s", s.outPath.c_str());
        return false;
    }
    const std::string& shown = s.beginName.empty() ? s.inPath : s.beginName;
    std::string name = s.beginName.empty() ? s.inPath.substr(leafStart(s.inPath)) : s.beginName;
    std::string head;
    if (first) {
        con.out(formatText("\n%s --- %s ---> %s\n", shown.c_str(), s.label, s.outPath.c_str()));
        head = formatText("%s %s (%s)\n", s.label, "version 0.1", "Windows");
    } else {
        con.out(formatText("%*s --- %s ---> %s\n", static_cast<int>(shown.size()), " ", s.label, s.outPath.c_str()));
        head = formatText("part %d\n", s.part);
    }
    head += formatText("begin 644 %s\n", name.c_str());
    writeChecked(out, head.data(), head.size());
    s.line = 3;
    return true;
}

void Coder::writeCountFile(int parts) {
    // An empty directory means the current one, never the root.
    std::string path = s.countDir.empty() ? std::string("ncode.dat") : s.countDir + "\\ncode.dat";
    plat::Stream f;
    if (!f.open(path, "wb")) {
        report(Error, false, "cannot open output file %s", path.c_str());
        return;
    }
    std::string text = formatText("%d\r\n", parts);
    f.write(text.data(), text.size());
    if (!f.close()) report(Error, false, "write error on output file %s", path.c_str());
}

// Encodes one line of n <= 45 bytes (n = 0 gives the zero line); returns its
// length with the LF.
size_t encodeLine(const char* alphabet, const unsigned char* in, size_t n, char* out) {
    char* o = out;
    *o++ = alphabet[n];
    size_t whole = n - n % 3;
    for (size_t i = 0; i < whole; i += 3) {
        unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        o[0] = alphabet[b0 >> 2];
        o[1] = alphabet[((b0 << 4) | (b1 >> 4)) & 63];
        o[2] = alphabet[((b1 << 2) | (b2 >> 6)) & 63];
        o[3] = alphabet[b2 & 63];
        o += 4;
    }
    if (whole < n) {
        // The last group is completed with zero bytes.
        unsigned b0 = in[whole];
        unsigned b1 = whole + 1 < n ? in[whole + 1] : 0;
        o[0] = alphabet[b0 >> 2];
        o[1] = alphabet[((b0 << 4) | (b1 >> 4)) & 63];
        o[2] = alphabet[(b1 << 2) & 63];
        o[3] = alphabet[0];
        o += 4;
    }
    *o++ = '\n';
    return static_cast<size_t>(o - out);
}

void Coder::encode() {
    if (!in_.open(s.inPath, "rb")) {
        report(Error, false, "cannot open input file %s", s.inPath.c_str());
        return;
    }
    if (s.outPath.empty()) s.outPath = s.inPath;
    s.outPath.replace(extensionStart(s.outPath), std::string::npos, ".enc");

    if (plat::fileExists(s.outPath)) {
        con.err(formatText("%s already exists", s.outPath.c_str()));
        con.err(", overwrite (Y/N)? ");
        int answer;
        do {
            answer = con.readChar();
            if (answer < 0) answer = 'Y';
            if (answer >= 'a' && answer <= 'z') answer -= 32;
        } while (answer != 'Y' && answer != 'N');
        if (answer == 'N') {
            report(Error, false, "%s not overwritten", s.outPath.c_str());
            return;
        }
    }
    plat::Stream& out = out_;
    if (!openPart(out, true)) return;

    // The input is read many lines at a time and the lines are handed to
    // the part file in batches; the lines and their breaks into parts are
    // those of reading 45 bytes at a time.
    constexpr size_t kBlockLines = 1024;
    constexpr size_t kTextLine = 2 + 4 * (kLineBytes / 3);
    std::unique_ptr<unsigned char[]> block(new unsigned char[kLineBytes * kBlockLines]);
    std::unique_ptr<char[]> text(new char[kTextLine * kBlockLines]);
    size_t have = 0, used = 0, pending = 0;
    bool inputEnded = false, failed = false;
    for (;;) {
        if (used == have && !inputEnded) {
            have = in_.read(block.get(), kLineBytes * kBlockLines);
            used = 0;
            inputEnded = have < kLineBytes * kBlockLines;
        }
        size_t n = have - used < static_cast<size_t>(kLineBytes) ? have - used : kLineBytes;
        pending += encodeLine(s.alphabet, block.get() + used, n, text.get() + pending);
        used += n;
        s.total += static_cast<int64_t>(n);
        ++s.line;
        if (n == 0) break;
        if (pending + kTextLine > kTextLine * kBlockLines) {
            writeChecked(out, text.get(), pending);
            pending = 0;
        }
        if (s.line == s.lineLimit) {
            writeChecked(out, text.get(), pending);
            pending = 0;
            if (!closeChecked(out)) failed = true;
            ++s.part;
            if (!partPath(s.outPath, s.part)) {
                report(Error, false, "more than %d part files needed for %s", kMaxParts, s.inPath.c_str());
                return;
            }
            if (!openPart(out, false)) return;
        }
    }
    writeChecked(out, text.get(), pending);
    std::string tail = formatText("end\n%lld bytes\n", static_cast<long long>(s.total));
    tail += formatText("encoded into %d file(s)\n", s.part);
    writeChecked(out, tail.data(), tail.size());
    if (!closeChecked(out)) failed = true;
    // A count the host would trust must not stand for parts that were not
    // written whole.
    if (!failed && !writeReported_) writeCountFile(s.part);
}

// ---- Decoding --------------------------------------------------------------

bool Coder::readLine(std::string& line) {
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

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Reads up to the "begin" line, taking an alphabet from a "table" or
// "charmap" line on the way. False when the input ends first.
bool Coder::scanHeader(std::string& name) {
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

    int first = peek();
    bool usable = ownAlphabet && alphabet.size() == 64;
    for (char c : alphabet) {
        // Only printable 7-bit bytes can stand in a line of the format.
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80) usable = false;
    }
    if (ownAlphabet && usable) {
        std::memcpy(s.alphabet, alphabet.data(), 64);
        s.buildTable([this](unsigned char c) { report(Error, true, "character %c already defined in table", c); });
        if (first >= 0 && s.table[first] != UuState::kNotInAlphabet) {
            s.fullChar = static_cast<unsigned char>(first);
            s.fullLength = s.table[first];
        }
    } else if (ownAlphabet || first != s.fullChar) {
        // An alphabet the format cannot carry is read as plain UU.
        report(Error, true, "unknown encoding method");
    }
    return true;
}

// Opens the next part file and reads up to its first data line. False when
// there is none.
bool Coder::scanNextPart() {
    in_.close();
    back_.clear();
    ++s.part;
    if (!partPath(s.inPath, s.part)) {
        report(Error, false, "more than %d part files needed for %s", kMaxParts, s.inPath.c_str());
        return false;
    }
    con.out(formatText("%s --- %s --->\n", s.inPath.c_str(), s.label));
    if (!in_.open(s.inPath, "rb")) {
        report(Error, false, "cannot open input file %s", s.inPath.c_str());
        return false;
    }
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

bool Coder::writeDecoded(const unsigned char* bytes, size_t n) {
    if (out_.write(bytes, n)) return true;
    if (!writeReported_) report(Error, true, "write error on output file");
    writeReported_ = true;
    return false;
}

// Takes out of the k characters of a line body what is not in the alphabet.
bool Coder::repairBlock(char* block, size_t k, int n) {
    size_t p = 0;
    while (p < k) {
        unsigned char c = static_cast<unsigned char>(block[p]);
        if (s.table[c] != UuState::kNotInAlphabet) {
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

bool Coder::decodeLines() {
    char block[88];  // 84 characters at most (length 63), read in groups of 4
    unsigned char bytes[66];
    const int16_t* table = s.table;
    for (;;) {
        int c;
        while ((c = get()) >= 0 && table[c] == UuState::kNotInAlphabet) {
            if (c == '\n') ++s.line;
        }
        if (c < 0) return false;
        int n = table[c];
        if (n == 0) return true;
        size_t k = (4 * static_cast<size_t>(n) + 2) / 3;
        size_t got = readBlock(block, k);
        if (got < k) {
            report(Warning, true, "unexpected end of file");
            for (size_t i = got; i < k; ++i) block[i] = s.alphabet[0];
        }
        bool endedEarly = false;
        for (size_t i = 0; i < k; ++i) {
            if (table[static_cast<unsigned char>(block[i])] == UuState::kNotInAlphabet) {
                endedEarly = repairBlock(block, k, n);
                break;
            }
        }
        for (size_t i = k; i < k + 3; ++i) block[i] = s.alphabet[0];
        unsigned char* o = bytes;
        for (size_t i = 0; i < k; i += 4) {
            unsigned p = static_cast<unsigned>(table[static_cast<unsigned char>(block[i])]);
            unsigned q = static_cast<unsigned>(table[static_cast<unsigned char>(block[i + 1])]);
            unsigned r = static_cast<unsigned>(table[static_cast<unsigned char>(block[i + 2])]);
            unsigned t = static_cast<unsigned>(table[static_cast<unsigned char>(block[i + 3])]);
            o[0] = static_cast<unsigned char>((p << 2) | (q >> 4));
            o[1] = static_cast<unsigned char>((q << 4) | (r >> 2));
            o[2] = static_cast<unsigned char>((r << 6) | t);
            o += 3;
        }
        writeDecoded(bytes, static_cast<size_t>(n));
        s.total += n;
        // A line that ended early has nothing more: what follows is the
        // next line.
        if (endedEarly) continue;
        int extra = 0;
        while ((c = peek()) >= 0 && table[c] != UuState::kNotInAlphabet) {
            get();
            ++extra;
        }
        if (extra > 0 && n == s.fullLength) report(Warning, true, "end of line expected");
    }
}

// The "end" line and the byte count that may follow it.
void Coder::checkEndLine() {
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

void Coder::decode() {
    s.label = "UUdecode";
    if (extensionStart(s.inPath) == s.inPath.size()) s.inPath += ".enc";
    if (!in_.open(s.inPath, "rb")) {
        report(Error, false, "cannot open input file %s", s.inPath.c_str());
        return;
    }
    s.line = 1;
    std::string name;
    if (!scanHeader(name)) {
        report(Error, false, "nothing to decode in file %s", s.inPath.c_str());
        return;
    }
    if (!s.outPath.empty()) {
        report(Warning, false, "%s specified outfile as %s", s.inPath.c_str(), name.c_str());
    } else {
        // The name comes from the input: only its file name is taken, so that
        // an encoded file cannot write outside the current directory.
        s.outPath = name.substr(leafStart(name));
    }
    if (plat::equalsNoCase(s.outPath, s.inPath) || plat::sameFile(s.outPath, s.inPath)) {
        report(Error, false, "input and output filename must differ");
        return;
    }
    if (!out_.open(s.outPath, "wb")) {
        report(Error, false, "cannot open output file %s", s.outPath.c_str());
        return;
    }
    con.out(formatText("\n%s --- %s ---> %s ", s.inPath.c_str(), s.label, s.outPath.c_str()));
    con.out("\n");
    for (;;) {
        if (decodeLines()) {
            checkEndLine();
            break;
        }
        if (!scanNextPart()) break;
    }
    if (!out_.close() && !writeReported_) report(Error, true, "write error on output file");
}

}  // namespace

UuConsole& standardConsole() {
    static StdConsole console;
    return console;
}

int32_t UuCode(const std::string& inPath, const std::string& outPath, const std::string& beginName,
               const std::string& countDir, int32_t partSize, UuConsole& console) {
    UuState& s = uuState();
    s.reset();
    s.inPath = inPath;
    s.outPath = outPath;
    s.beginName = beginName;
    s.countDir = countDir;
    s.lineLimit = static_cast<int64_t>(partSize) * 16;
    lowerAscii(s.outPath);
    lowerAscii(s.inPath);

    std::string ext = s.inPath.substr(extensionStart(s.inPath));
    bool decoding = ext.empty() || ext.compare(0, 4, ".enc") == 0 || ext.compare(0, 4, ".xxe") == 0 ||
                    ext.compare(0, 4, ".uue") == 0;
    Coder coder(s, console);
    if (decoding) coder.decode();
    else coder.encode();
    return 0;
}

}  // namespace brem::encode
