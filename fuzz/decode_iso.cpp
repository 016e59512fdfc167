// DECODE_ISO on arbitrary quoted-printable text. The input is one flag byte
// and the text. Flag bit 0 instead takes the bytes as a message body, writes
// it with the quoted-printable writer and decodes that: without NUL bytes
// (whose escape cuts its line short on decoding) the round trip gives back
// every byte, converted to code page 850.
//
// Whatever the bytes: the result is 0 with "Success" or -2, the message fits
// the buffer the host sizes for it (35 bytes more than the longer path), the
// input is left as it was and the output is never longer than the input.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "brem32.h"
#include "encode/charset.h"
#include "encode/quoted_printable.h"
#include "fuzz_support.h"
#include "platform/stream.h"

using namespace brem;

namespace {

struct StringSource {
    const std::string* bytes;
    size_t pos;
    static int next(void* self) {
        auto* s = static_cast<StringSource*>(self);
        if (s->pos >= s->bytes->size()) return encode::kEndOfInput;
        return static_cast<unsigned char>((*s->bytes)[s->pos++]);
    }
};

std::string toCp850(const std::string& bytes) {
    std::string out = bytes;
    for (char& c : out) c = static_cast<char>(encode::Convert(encode::kIsoToCp850, static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    static const std::string dir = fuzz::emptiedDir("qp");
    const std::string in = dir + "/in.txt", out = dir + "/out.txt";
    const bool roundTrip = (flags & 1) && bytes.find('\0') == std::string::npos;

    if (roundTrip) {
        // The writer runs under the selection WRITEQUOTED makes.
        encode::SelectConversion(encode::kIso8859_1, encode::kIso8859_1);
        plat::Stream s;
        FUZZ_CHECK(s.open(fuzz::toHost(in), "wb"));
        StringSource src{&bytes, 0};
        FUZZ_CHECK(encode::WriteQuotedPrintable(encode::kModeBody, encode::kTransferQuotedPrintable,
                                                encode::kIso8859_1, encode::ByteSource{StringSource::next, &src}, s));
        FUZZ_CHECK(s.close());
    } else {
        fuzz::writeBytes(in, bytes);
    }
    const std::string text = fuzz::readBytes(in);

    const size_t messageSize = std::max(in.size(), out.size()) + 35;
    std::unique_ptr<char[]> message(new char[messageSize]);
    int32_t r = DECODE_ISO(in.c_str(), out.c_str(), message.get());
    FUZZ_CHECK(std::memchr(message.get(), '\0', messageSize) != nullptr);
    FUZZ_CHECK(r == 0 || r == -2);
    FUZZ_CHECK(r != 0 || std::strcmp(message.get(), "Success") == 0);
    FUZZ_CHECK(r == 0);  // nothing about the text itself can fail the call
    FUZZ_CHECK(fuzz::readBytes(in) == text);
    const std::string decoded = fuzz::readBytes(out);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (roundTrip) FUZZ_CHECK(decoded == toCp850(bytes));
    // Text without escapes or NUL bytes only changes its character set.
    if (text.find_first_of(std::string("=\0", 2)) == std::string::npos) FUZZ_CHECK(decoded == toCp850(text));
    return 0;
}
