// The quoted-printable and ISO-8859-1 decoder of DECODE_ISO on bytes in
// memory, without files. The input is one byte that sets how the text is cut
// into reads, then the text.
//
// Whatever the bytes: the decoded text is the same whether the input comes
// whole or in reads of a few bytes (escapes, soft breaks and the cut after a
// NUL run across reads), and it is never longer than the input.
#include <cstdint>
#include <string>

#include "chunked_source.h"
#include "encode/charset.h"
#include "encode/quoted_printable.h"
#include "fuzz_support.h"

using namespace brem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t n = size - 1;
    encode::SelectConversion(encode::kIso8859_1, encode::kCodePage850);

    encode::MemorySource whole(text, n);
    encode::StringSink wholeOut;
    FUZZ_CHECK(encode::DecodeQuotedPrintable(whole, wholeOut));

    fuzz::ChunkedSource cut(text, n, data[0], 1 + data[0] % 13);
    encode::StringSink cutOut;
    FUZZ_CHECK(encode::DecodeQuotedPrintable(cut, cutOut));

    FUZZ_CHECK(wholeOut.bytes == cutOut.bytes);
    FUZZ_CHECK(wholeOut.bytes.size() <= n);
    return 0;
}
