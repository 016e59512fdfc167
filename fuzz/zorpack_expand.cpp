// zorpack's expansion on arbitrary compressed streams, in memory. The input
// is one flag byte and the stream. The expansion's output is bounded (a sink
// that refuses more than 1 MB), and it must not depend on how the source
// hands its bytes over: read whole and read in pieces of 1 to 32 bytes
// (flags bits 0-4), it gives the same bytes and the same status. Then the
// same bytes, taken as plain data, are compressed with codes of up to
// 9 + (flags >> 5) bits and must expand back exactly.
// smoke weight: 2 (every input is expanded and compressed up to a megabyte:
// as slow as a target going through files)
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "lzw.h"

namespace {

class MemorySource : public zorpack::Source {
public:
    MemorySource(const std::string& bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    long read(unsigned char* buf, size_t n) override {
        size_t take = std::min({n, piece_, bytes_.size() - pos_});
        std::memcpy(buf, bytes_.data() + pos_, take);
        pos_ += take;
        return static_cast<long>(take);
    }

private:
    const std::string& bytes_;
    size_t piece_;
    size_t pos_ = 0;
};

class BoundedSink : public zorpack::Sink {
public:
    explicit BoundedSink(size_t most) : most_(most) {}
    bool write(const unsigned char* buf, size_t n) override {
        if (bytes.size() + n > most_) return false;
        bytes.append(reinterpret_cast<const char*>(buf), n);
        return true;
    }
    std::string bytes;

private:
    size_t most_;
};

constexpr size_t kMostOutput = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

    MemorySource whole(stream, stream.size() + 1);
    BoundedSink out(kMostOutput);
    zorpack::Status st = zorpack::expand(whole, out);
    FUZZ_CHECK(st != zorpack::Status::ReadError);
    FUZZ_CHECK(st == zorpack::Status::Ok || zorpack::describe(st)[0] != '\0');

    MemorySource pieces(stream, 1 + (flags & 31));
    BoundedSink again(kMostOutput);
    FUZZ_CHECK(zorpack::expand(pieces, again) == st);
    // A refused write stops the expansion at a buffer's end, so only whole
    // expansions are compared byte for byte.
    if (st != zorpack::Status::WriteError) FUZZ_CHECK(again.bytes == out.bytes);

    const int bits = zorpack::kMinBits + (flags >> 5);
    MemorySource plain(stream, stream.size() + 1);
    BoundedSink packed(kMostOutput);
    FUZZ_CHECK(zorpack::compress(plain, packed, bits) == zorpack::Status::Ok);
    MemorySource back(packed.bytes, packed.bytes.size() + 1);
    BoundedSink unpacked(kMostOutput);
    FUZZ_CHECK(zorpack::expand(back, unpacked) == zorpack::Status::Ok);
    FUZZ_CHECK(unpacked.bytes == stream);
    return 0;
}
