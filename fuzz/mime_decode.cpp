// MIMEDECODE on an arbitrary message, in a directory of its own as the
// current one (where the working file "$$$$$$$$.$$$" lies). The input is
// one flag byte and the message. Flags: bit 0 puts a working file in place
// first; bit 1 instead takes the bytes as an attachment, encodes them with
// MIMEENCODE, wraps the body again at 1 to 76 characters a line (bits 2-6;
// a mailer may wrap it anywhere within the line limit of the format), with
// CR LF line ends when bit 7 is set, and decodes the result, which must give
// the bytes back exactly.
//
// Whatever the bytes: the call returns 0 or -1, the message file is left as
// it was, no file appears but the output, and the output is never larger
// than the base64 in the message can carry (or is the working file).
#include <cstdint>
#include <filesystem>
#include <string>

#include "brem32.h"
#include "fuzz_support.h"

using namespace brem;

namespace {
const char* const kWork = "$$$$$$$$.$$$";
const std::string kWorkText = "the working file";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string dir = fuzz::emptiedDir("mime");
    fuzz::InDir here(dir);

    if (flags & 2) {
        fuzz::writeBytes("data.bin", bytes);
        FUZZ_CHECK(MIMEENCODE("data.bin", "msg.txt", "attached.bin") == 0);
        std::string encoded = fuzz::readBytes("msg.txt");
        size_t body = encoded.find("\n\n");
        FUZZ_CHECK(body != std::string::npos);
        std::string chars;
        for (size_t i = body + 2; i < encoded.size(); ++i) {
            if (encoded[i] != '\n') chars.push_back(encoded[i]);
        }
        const size_t width = 1 + ((flags >> 2) & 31) * 75 / 31;
        const char* eol = (flags & 0x80) ? "\r\n" : "\n";
        std::string message = "Subject: round trip\n" + encoded.substr(0, body + 2);
        for (size_t i = 0; i < chars.size(); i += width) message += chars.substr(i, width) + eol;
        fuzz::writeBytes("msg.txt", message);
        FUZZ_CHECK(MIMEDECODE("msg.txt", "out.dat") == 0);
        FUZZ_CHECK(fuzz::readBytes("out.dat") == bytes);
        return 0;
    }

    const bool work = flags & 1;
    if (work) fuzz::writeBytes(kWork, kWorkText);
    fuzz::writeBytes("msg.txt", bytes);
    int32_t r = MIMEDECODE("msg.txt", "out.dat");
    FUZZ_CHECK(r == 0 || r == -1);
    FUZZ_CHECK(fuzz::readBytes("msg.txt") == bytes);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        std::string name = entry.path().filename().string();
        FUZZ_CHECK(name == "msg.txt" || name == "out.dat" || (work && name == kWork));
    }
    if (fuzz::exists("out.dat")) {
        std::string out = fuzz::readBytes("out.dat");
        FUZZ_CHECK(out.size() <= bytes.size() * 3 / 4 || (work && out == kWorkText));
    }
    return 0;
}
