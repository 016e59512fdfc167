// UU encoding: 45 bytes a line, each line led by the character of its byte
// count, into part files x.enc, x.en2 ... x.e99 when the host asks for parts;
// the number of part files goes to "ncode.dat" for the host. Nothing here
// fails the call: the console is where the host learns what went wrong.
#include <cstring>
#include <memory>
#include <string>

#include "encode/uu_coder.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "text/format.h"

namespace brem::encode::uu {

namespace {

// Lines encoded per block read, and the longest encoded line with its LF.
constexpr size_t kBlockLines = 1024;
constexpr size_t kTextLine = 2 + 4 * (kLineBytes / 3);

// Every 12 bits as their two characters of the alphabet, so that a group
// of three bytes is two lookups.
struct PairTable {
    char c[4096][2];
    explicit PairTable(const char* alphabet) {
        for (int v = 0; v < 4096; ++v) {
            c[v][0] = alphabet[v >> 6];
            c[v][1] = alphabet[v & 63];
        }
    }
};

// Encodes one line of n <= 45 bytes (n = 0 gives the zero line); returns its
// length with the LF.
size_t encodeLine(const char* alphabet, const PairTable& pairs, const unsigned char* in, size_t n, char* out) {
    char* o = out;
    *o++ = alphabet[n];
    size_t whole = n - n % 3;
    for (size_t i = 0; i < whole; i += 3) {
        uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(o, pairs.c[v >> 12], 2);
        std::memcpy(o + 2, pairs.c[v & 0xfff], 2);
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

class Encoder : private Reporter {
public:
    Encoder(UuState& st, UuConsole& console) : Reporter(st, console) {}
    void run();

private:
    bool mayOverwrite();
    bool openPart(bool first);
    bool nextPart();
    bool writeLines();
    bool writeChecked(const char* data, size_t n);
    bool closeChecked();
    void writeCountFile(int parts);

    plat::Stream in_, out_;
    bool writeReported_ = false;
};

bool Encoder::writeChecked(const char* data, size_t n) {
    if (out_.write(data, n)) return true;
    if (!writeReported_) report(Error, true, "write error on output file");
    writeReported_ = true;
    return false;
}

// A part is on the disk, and its name too, before the count that vouches for
// it is written.
bool Encoder::closeChecked() {
    if (out_.sync() && out_.close() && plat::syncDirectory(plat::directoryOf(s.outPath))) return true;
    if (!writeReported_) report(Error, true, "write error on output file");
    writeReported_ = true;
    return false;
}

// Asks before an existing output is replaced; the end of the answers is a yes.
bool Encoder::mayOverwrite() {
    if (!plat::fileExists(s.outPath)) return true;
    con.err(formatText("%s already exists", s.outPath.c_str()));
    con.err(", overwrite (Y/N)? ");
    int answer;
    do {
        answer = con.readChar();
        if (answer < 0) answer = 'Y';
        if (answer >= 'a' && answer <= 'z') answer -= 32;
    } while (answer != 'Y' && answer != 'N');
    if (answer == 'Y') return true;
    report(Error, false, "%s not overwritten", s.outPath.c_str());
    return false;
}

// Creates the part file s.outPath and writes its opening lines.
bool Encoder::openPart(bool first) {
    // Replaced, never written through what stands under the name.
    plat::deleteFile(s.outPath);
    if (!out_.open(s.outPath, "wbx")) {
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
    writeChecked(head.data(), head.size());
    s.line = 3;
    return true;
}

// Closes the full part file and opens the next one.
bool Encoder::nextPart() {
    closeChecked();
    ++s.part;
    if (!partPath(s.outPath, s.part)) {
        report(Error, false, "more than %d part files needed for %s", kMaxParts, s.inPath.c_str());
        return false;
    }
    return openPart(false);
}

// The data lines up to the zero line. The input is read many lines at a
// time and the lines are handed to the part file in batches; the lines and
// their breaks into parts are those of reading 45 bytes at a time. False
// when a part file could not be opened.
bool Encoder::writeLines() {
    std::unique_ptr<unsigned char[]> block(new unsigned char[kLineBytes * kBlockLines]);
    std::unique_ptr<char[]> text(new char[kTextLine * kBlockLines]);
    std::unique_ptr<PairTable> pairs(new PairTable(s.alphabet));
    size_t have = 0, used = 0, pending = 0;
    bool inputEnded = false;
    for (;;) {
        if (used == have && !inputEnded) {
            have = in_.read(block.get(), kLineBytes * kBlockLines);
            used = 0;
            inputEnded = have < kLineBytes * kBlockLines;
        }
        size_t n = have - used < static_cast<size_t>(kLineBytes) ? have - used : kLineBytes;
        pending += encodeLine(s.alphabet, *pairs, block.get() + used, n, text.get() + pending);
        used += n;
        s.total += static_cast<int64_t>(n);
        ++s.line;
        if (n == 0) break;
        if (pending + kTextLine > kTextLine * kBlockLines || s.line == s.lineLimit) {
            writeChecked(text.get(), pending);
            pending = 0;
        }
        if (s.line == s.lineLimit && !nextPart()) return false;
    }
    writeChecked(text.get(), pending);
    return true;
}

void Encoder::writeCountFile(int parts) {
    // An empty directory means the current one, never the root.
    std::string path = s.countDir.empty() ? std::string("ncode.dat") : s.countDir + "\\ncode.dat";
    plat::Stream f;
    if (!f.open(path, "wb")) {
        report(Error, false, "cannot open output file %s", path.c_str());
        return;
    }
    std::string text = formatText("%d\r\n", parts);
    f.write(text.data(), text.size());
    if (!f.sync() || !f.close() || !plat::syncDirectory(plat::directoryOf(path))) {
        report(Error, false, "write error on output file %s", path.c_str());
    }
}

void Encoder::run() {
    if (!in_.open(s.inPath, "rb")) {
        report(Error, false, "cannot open input file %s", s.inPath.c_str());
        return;
    }
    if (s.outPath.empty()) s.outPath = s.inPath;
    s.outPath.replace(extensionStart(s.outPath), std::string::npos, ".enc");
    if (!mayOverwrite() || !openPart(true) || !writeLines()) return;
    std::string tail = formatText("end\n%lld bytes\n", static_cast<long long>(s.total));
    tail += formatText("encoded into %d file(s)\n", s.part);
    writeChecked(tail.data(), tail.size());
    closeChecked();
    // A count the host would trust must not stand for parts that were not
    // written whole.
    if (!writeReported_) writeCountFile(s.part);
}

}  // namespace

void encodeFile(UuState& s, UuConsole& console) {
    Encoder e(s, console);
    e.run();
}

}  // namespace brem::encode::uu
