// The UU/XX line decoder on one encoded part in memory, without files: the
// header scan with its "table" and "charmap" alphabets, the data lines with
// their repairs, the end line. The input is one byte that sets how the part
// is cut into reads, then the part.
//
// Whatever the bytes: the decoded bytes and every line told on the console
// are the same whether the part comes whole or in reads of a few bytes (the
// decoder's fast way over whole lines and its byte-wise way with repairs
// must agree wherever the reads end).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chunked_source.h"
#include "encode/uu.h"
#include "fuzz_support.h"

using namespace brem;

namespace {

class Recorder : public encode::UuConsole {
public:
    void out(const std::string& text) override {
        said += text;
        // Shown when a reproducer is run by hand with BREM_FUZZ_SHOW=1.
        if (show_) std::fputs(text.c_str(), stderr);
    }
    void err(const std::string&) override {}
    int readChar() override { return 'Y'; }
    std::string said;

private:
    const bool show_ = std::getenv("BREM_FUZZ_SHOW") != nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    // Lines are at most 85 characters: 640 bytes hold a header with its
    // table and several lines, and each damaged byte costs a formatted
    // message; longer inputs would only repeat what these reach.
    const size_t n = size - 1 < 640 ? size - 1 : 640;

    encode::MemorySource whole(text, n);
    encode::StringSink wholeOut;
    Recorder wholeSaid;
    encode::UuDecodePart(whole, wholeOut, wholeSaid);

    fuzz::ChunkedSource cut(text, n, data[0], 1 + data[0] % 61);
    encode::StringSink cutOut;
    Recorder cutSaid;
    encode::UuDecodePart(cut, cutOut, cutSaid);

    FUZZ_CHECK(wholeOut.bytes == cutOut.bytes);
    FUZZ_CHECK(wholeSaid.said == cutSaid.said);
    return 0;
}
