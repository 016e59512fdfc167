// The UU/XX coder on arbitrary encoded files, in a directory of its own as
// the current one (where an output named by the "begin" line goes). The
// input is one flag byte and up to three part files (in.enc, in.en2,
// in.en3) separated by NUL NUL. Flags: bit 0 decodes into the name of the
// "begin" line instead of out.bin; bit 1 instead takes the bytes as a file,
// encodes it into parts of (flags >> 2) x 16 lines and decodes the parts,
// which must give the bytes back exactly, with the part count in ncode.dat
// (with bit 0 as well, the parts are first turned into XX, their alphabet
// given by "table" lines in the first part).
// The coder's progress lines and diagnostics go to a console that drops
// them.
//
// Whatever the bytes: the call returns 0, the part files are left as they
// were, and no file appears but one output.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "encode/uu.h"
#include "fuzz_support.h"

using namespace brem;

namespace {

class QuietConsole : public encode::UuConsole {
public:
    void out(const std::string& text) override {
        if (text.find("error:") != std::string::npos) errors = true;
        // Shown when a reproducer is run by hand with BREM_FUZZ_SHOW=1.
        if (show_) std::fputs(text.c_str(), stderr);
    }
    void err(const std::string&) override {}
    int readChar() override { return 'Y'; }
    bool errors = false;

private:
    const bool show_ = std::getenv("BREM_FUZZ_SHOW") != nullptr;
};

const char kUu[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
const char kXx[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// One part file in XX: the data lines, from each "begin" line up to the
// "end" line, in the other alphabet; the first part opens with its table.
std::string toXx(const std::string& part, bool first) {
    std::string out = first ? std::string("table\n") + std::string(kXx, 32) + "\n" + std::string(kXx + 32, 32) + "\n"
                            : std::string();
    bool data = false;
    size_t pos = 0;
    while (pos < part.size()) {
        size_t eol = part.find('\n', pos);
        std::string line = part.substr(pos, eol == std::string::npos ? std::string::npos : eol + 1 - pos);
        pos += line.size();
        if (line.compare(0, 5, "begin") == 0) {
            data = true;
        } else if (line == "end\n") {
            data = false;
        } else if (data) {
            for (char& c : line) {
                const char* at = c == '\n' ? nullptr : std::strchr(kUu, c);
                if (at) c = kXx[at - kUu];
            }
        }
        out += line;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string dir = fuzz::emptiedDir("uu");
    fuzz::InDir here(dir);
    QuietConsole console;

    if (flags & 2) {
        fuzz::writeBytes("in.dat", bytes);
        const int32_t partSize = flags >> 2;
        FUZZ_CHECK(encode::UuCode("in.dat", "", "", "", partSize, console) == 0);
        // Only more than 99 parts cannot be written.
        if (console.errors) {
            FUZZ_CHECK(partSize > 0 && bytes.size() / 45 + 1 > static_cast<size_t>(partSize) * 16 * 99 - 3 * 99);
            return 0;
        }
        const std::string count = fuzz::readBytes("ncode.dat");
        const int parts = std::atoi(count.c_str());
        FUZZ_CHECK(parts >= 1 && count == std::to_string(parts) + "\r\n");
        if (flags & 1) {
            std::string name = "in.enc";
            for (int part = 1; part <= parts; ++part) {
                if (part > 1) {
                    name[name.size() - 1] = static_cast<char>('0' + part % 10);
                    if (part >= 10) name[name.size() - 2] = static_cast<char>('0' + part / 10);
                }
                fuzz::writeBytes(name, toXx(fuzz::readBytes(name), part == 1));
            }
        }
        FUZZ_CHECK(encode::UuCode("in.enc", "back.bin", "", "", 0, console) == 0);
        // (A first line shorter than 45 bytes is told as an unknown
        // encoding, and decoded all the same.)
        FUZZ_CHECK(fuzz::readBytes("back.bin") == bytes);
        return 0;
    }

    std::vector<std::string> parts;
    size_t pos = 0;
    while (parts.size() < 3) {
        size_t cut = parts.size() < 2 ? bytes.find(std::string("\0\0", 2), pos) : std::string::npos;
        parts.push_back(bytes.substr(pos, cut == std::string::npos ? std::string::npos : cut - pos));
        if (cut == std::string::npos) break;
        pos = cut + 2;
    }
    static const char* const names[3] = {"in.enc", "in.en2", "in.en3"};
    for (size_t i = 0; i < parts.size(); ++i) fuzz::writeBytes(names[i], parts[i]);

    const bool named = flags & 1;
    FUZZ_CHECK(encode::UuCode("in.enc", named ? "" : "out.bin", "", "", 0, console) == 0);
    size_t others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        std::string name = entry.path().filename().string();
        size_t i = 0;
        while (i < parts.size() && name != names[i]) ++i;
        if (i < parts.size()) {
            // The output may be named after a later part, never the one read.
            FUZZ_CHECK(fuzz::readBytes(name) == parts[i] || (named && i > 0));
            continue;
        }
        FUZZ_CHECK(named || name == "out.bin");
        ++others;
    }
    FUZZ_CHECK(others <= 1);
    return 0;
}
