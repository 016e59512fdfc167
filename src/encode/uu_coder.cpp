// The UU coder's entry: choosing the direction from the input's extension,
// and what both directions share.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "encode/uu_coder.h"
#include "platform/platform.h"
#include "platform/winpath.h"
#include "text/format.h"
#include "text/ascii.h"

namespace brem::encode {

namespace uu {

size_t leafStart(const std::string& path) {
    size_t afterSeparator = path.size() - plat::leafOf(path).size();
    if (afterSeparator > 0) return afterSeparator;
    size_t colon = path.rfind(':');
    return colon == std::string::npos ? 0 : colon + 1;
}

size_t extensionStart(const std::string& path) {
    size_t leaf = leafStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < leaf) return path.size();
    return dot;
}

bool partPath(std::string& path, int part) {
    if (part > kMaxParts || path.size() < 2) return false;
    path[path.size() - 1] = static_cast<char>('0' + part % 10);
    if (part >= 10) path[path.size() - 2] = static_cast<char>('0' + part / 10);
    return true;
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

void Reporter::report(Kind kind, bool withLine, const char* fmt, ...) {
    // A damaged file can bring a message for every byte: each is built in
    // one buffer on the stack when it fits, and handed on as one string.
    char buf[512];
    int used = std::snprintf(buf, sizeof buf, "Wexo Windows ");
    if (withLine) used += std::snprintf(buf + used, sizeof buf - used, "%s (%d) ", s.inPath.c_str(), s.line);
    if (used < static_cast<int>(sizeof buf)) {
        used += std::snprintf(buf + used, sizeof buf - used, "%s", kind == Error ? "error: " : "warning: ");
    }
    if (used < static_cast<int>(sizeof buf)) {
        va_list ap;
        va_start(ap, fmt);
        used += std::vsnprintf(buf + used, sizeof buf - used, fmt, ap);
        va_end(ap);
    }
    if (used + 2 < static_cast<int>(sizeof buf)) {
        buf[used++] = '.';
        buf[used++] = '\n';
        line_.assign(buf, static_cast<size_t>(used));
        con.out(line_);
        return;
    }
    // Longer than the buffer (a long path): built to whatever length it needs.
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

}  // namespace uu

namespace {

// The coder's lines name files and quote begin lines of the input, which may
// come from anyone: their control bytes are shown escaped, so that none of
// them acts on the terminal the lines go to.
class StdConsole : public UuConsole {
public:
    void out(const std::string& text) override {
        const std::string shown = escapeControls(text, true);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
    }
    void err(const std::string& text) override {
        const std::string shown = escapeControls(text, true);
        std::fflush(stdout);
        std::fwrite(shown.data(), 1, shown.size(), stderr);
        std::fflush(stderr);
    }
    int readChar() override {
        int c = std::getchar();
        return c == EOF ? -1 : c;
    }
};

void lowerAscii(std::string& s) { s = ascii::lowered(std::move(s)); }

// The parts on disk and the output file, for the export.
class DiskFiles : public uu::UuFiles {
public:
    BlockSource* openInput(const std::string& path) override {
        in_.close();
        // The decoder reads whole blocks of its own; a small stream buffer
        // lets them go straight from the system.
        return in_.open(path, "rb", 4096) ? &inSource_ : nullptr;
    }
    // The decoder hands on whole blocks; a small stream buffer lets them go
    // straight to the system. The name may come from the input's begin line:
    // whatever stands under it (a link above all) is replaced, never written
    // through.
    BlockSink* createOutput(const std::string& path) override {
        outPath_ = path;
        plat::deleteFile(path);
        return out_.open(path, "wbx", 4096) ? &outSink_ : nullptr;
    }
    bool sameFile(const std::string& a, const std::string& b) override { return plat::sameFile(a, b); }
    // A decoded file is on the disk, and its name too, before it counts as
    // written.
    bool closeOutput() override {
        return out_.sync() && out_.close() && plat::syncDirectory(plat::directoryOf(outPath_));
    }

private:
    plat::Stream in_, out_;
    std::string outPath_;
    StreamSource inSource_{in_};
    StreamSink outSink_{out_};
};

// One part from a source of the caller's, the output a sink of the
// caller's.
class CallerFiles : public uu::UuFiles {
public:
    CallerFiles(BlockSource& in, BlockSink& out) : source_(in), out_(out) {}
    BlockSource* openInput(const std::string&) override {
        if (opened_) return nullptr;
        opened_ = true;
        return &source_;
    }
    BlockSink* createOutput(const std::string&) override { return &out_; }
    bool sameFile(const std::string&, const std::string&) override { return false; }
    bool closeOutput() override { return true; }

private:
    BlockSource& source_;
    BlockSink& out_;
    bool opened_ = false;
};

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

    std::string ext = s.inPath.substr(uu::extensionStart(s.inPath));
    bool decoding = ext.empty() || ext.compare(0, 4, ".enc") == 0 || ext.compare(0, 4, ".xxe") == 0 ||
                    ext.compare(0, 4, ".uue") == 0;
    if (decoding) {
        DiskFiles files;
        uu::decodeFiles(s, console, files);
    } else {
        uu::encodeFile(s, console);
    }
    return 0;
}

void UuDecodePart(BlockSource& in, BlockSink& out, UuConsole& console) {
    UuState& s = uuState();
    s.reset();
    s.inPath = "in.enc";
    s.outPath = "out.bin";
    CallerFiles files(in, out);
    uu::decodeFiles(s, console, files);
}

}  // namespace brem::encode
