// Turning a file into a MIME attachment body: the header that names the
// attachment, a blank line, and the bytes in base64, 60 characters a line.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "encode/mime.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"

namespace brem::encode {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 45 input bytes make one full line of 60 characters; reading whole lines'
// worth at a time keeps every line boundary on a block boundary.
constexpr size_t kLinesPerBlock = 1024;
constexpr size_t kBlock = 45 * kLinesPerBlock;

// Every 12 bits as their two characters, so that a group of three bytes is
// two lookups.
struct PairTable {
    char c[4096][2];
    constexpr PairTable() : c() {
        for (int v = 0; v < 4096; ++v) {
            c[v][0] = kAlphabet[v >> 6];
            c[v][1] = kAlphabet[v & 63];
        }
    }
};
constexpr PairTable kPairs{};

// Encodes `n` bytes (n <= 45) into one line with its LF; returns its length.
size_t encodeLine(const unsigned char* in, size_t n, char* out) {
    char* o = out;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        std::memcpy(o, kPairs.c[v >> 12], 2);
        std::memcpy(o + 2, kPairs.c[v & 0xfff], 2);
        o += 4;
    }
    if (n - i == 1) {
        uint32_t v = uint32_t(in[i]) << 16;
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 63];
        o[2] = '=';
        o[3] = '=';
        o += 4;
    } else if (n - i == 2) {
        uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8);
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 63];
        o[2] = kAlphabet[(v >> 6) & 63];
        o[3] = '=';
        o += 4;
    }
    *o++ = '\n';
    return static_cast<size_t>(o - out);
}

}  // namespace

int32_t MimeEncode(const std::string& inPath, const std::string& outPath, const std::string& name) {
    plat::Stream in;
    if (!in.open(inPath, "rb")) return -1;
    // Creating the output would empty the input when both name one file.
    if (plat::sameFile(inPath, outPath)) return -1;
    plat::Stream out;
    if (!out.open(outPath, "wb")) return -1;

    out.print("Content-Type: application/octet-stream; charset=us-ascii; name=\"%s\"\n"
              "Content-Disposition: attachment; filename=\"%s\"\n"
              "Content-transfer-encoding: base64\n\n",
              name.c_str(), name.c_str());

    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    std::unique_ptr<char[]> text(new char[61 * kLinesPerBlock]);
    for (;;) {
        size_t got = in.read(block.get(), kBlock);
        size_t used = 0;
        for (size_t pos = 0; pos < got; pos += 45) {
            size_t n = got - pos < 45 ? got - pos : 45;
            used += encodeLine(block.get() + pos, n, text.get() + used);
        }
        if (used > 0 && !out.write(text.get(), used)) break;
        if (got < kBlock) break;
    }
    bool readFailed = in.readError();
    // On the disk, and its name too, before the host may send it.
    if (readFailed || !out.sync() || !out.close() || !plat::syncDirectory(plat::directoryOf(outPath))) {
        // A cut attachment body must not be sent as if whole.
        plat::deleteFile(outPath);
        return -1;
    }
    return 0;
}

}  // namespace brem::encode
