// The readers on an arbitrary area file and arbitrary addresses. The input is
// an 11-byte head (reader, area, repeat count, start and length as
// little-endian 32-bit numbers) and the file's bytes, repeated to reach the
// chunk limits. The text buffer is exactly as large as the host's must be, so
// that any write past it is caught; every result is one the host can act on.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "brem32.h"
#include "fuzz_support.h"

using namespace brem;

namespace {
int32_t le32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}
// The exports' own calling convention (__stdcall in the Windows build).
using Reader = int32_t(BREM_API*)(const char*, int32_t, int32_t, int32_t, char*, char*);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 11) return 0;
    static const Reader readers[] = {READMESSAGE, READNEWS, READMAPIMSG, EXTRACTMESSAGE};
    int which = data[0] % 4;
    static const int32_t areas[] = {0, -50, 7, 0};
    int32_t area = areas[data[1] % 4];
    // Most inputs are read as they are; some are repeated past the chunk limits.
    int repeat = (data[2] & 0x80) ? 1 + (data[2] & 0x7f) * 32 : 1;
    int32_t start = le32(data + 3);
    int32_t length = le32(data + 7);
    std::string body(reinterpret_cast<const char*>(data + 11), size - 11);
    std::string file;
    for (int i = 0; i < repeat && file.size() < 100000; ++i) file += body;
    // Small addresses are the interesting ones most of the time.
    if (data[1] & 0x80) start = static_cast<int32_t>(static_cast<uint32_t>(start) % (file.size() + 2));
    if (data[1] & 0x40) length = static_cast<int32_t>(static_cast<uint32_t>(length) % (file.size() + 2));

    std::string dir = fuzz::emptiedDir("store");
    const char* names[] = {"mailarea.txt", "temparea.dat", "area7.txt", "rmail.z"};
    fuzz::writeBytes(dir + "/" + names[data[1] % 4], file);
    if (which == 2 && area == 0) fuzz::writeBytes(dir + "/rmail.z", file);
    std::string host = fuzz::toHost(dir);

    size_t textSize = which == 1 ? 32002 : 32302;
    std::unique_ptr<char[]> text(new char[textSize]);
    std::unique_ptr<char[]> err(new char[256]);
    // Read on as the host does, chunk by chunk, to the end of the range.
    for (int chunks = 0; chunks < 64; ++chunks) {
        int32_t r = readers[which](host.c_str(), area, start, length, text.get(), err.get());
        FUZZ_CHECK(r >= -1 && r != 0);
        if (r == -1) {
            FUZZ_CHECK(std::strlen(err.get()) < 64);
            break;
        }
        int32_t whole = length < 0 ? 1 : length + 1;
        FUZZ_CHECK(r <= whole);
        FUZZ_CHECK(std::memchr(text.get(), '\0', textSize) != nullptr);
        if (r == whole || r > length) break;
        start += r;
        length -= r;
    }
    return 0;
}
