// The MIME section walker on bytes in memory, without files. The input is
// one byte that sets how the message is cut into reads, then the message.
//
// Whatever the bytes: the walk gives the same decoded bytes and the same
// outcome whether the message comes whole or in reads of a few bytes (the
// text-mode rules, CR LF and 0x1A, apply to the bytes, not to the reads);
// the output is never larger than the base64 in the message can carry; the
// working file is dropped only where the output is given up for it.
#include <cstdint>
#include <string>

#include "chunked_source.h"
#include "encode/mime.h"
#include "fuzz_support.h"

using namespace brem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t n = size - 1;

    encode::MemorySource whole(text, n);
    encode::StringSink wholeOut;
    encode::MimeOutcome a = encode::WalkMimeSections(whole, "out.dat", wholeOut);

    fuzz::ChunkedSource cut(text, n, data[0], 1 + data[0] % 97);
    encode::StringSink cutOut;
    encode::MimeOutcome b = encode::WalkMimeSections(cut, "out.dat", cutOut);

    FUZZ_CHECK(wholeOut.bytes == cutOut.bytes);
    FUZZ_CHECK(a.conflict == b.conflict && a.dropWorkFile == b.dropWorkFile && a.replaceOutput == b.replaceOutput);
    FUZZ_CHECK(wholeOut.bytes.size() <= n * 3 / 4);
    FUZZ_CHECK(a.conflict || !a.dropWorkFile || a.replaceOutput);
    return 0;
}
