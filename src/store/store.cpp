#include "store/store.h"

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

namespace brem::store {

std::string withSeparator(const std::string& dir) { return dir + "\\"; }

std::string numberedAreaName(int32_t area) { return "area" + std::to_string(area) + ".txt"; }

std::string readPath(const std::string& dir, int32_t area, bool mailAreaIsOutgoing) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + (mailAreaIsOutgoing ? "rmail.z" : "mailarea.txt");
    if (area == kTempArea) return base + "temparea.dat";
    return base + numberedAreaName(area);
}

std::string writePath(const std::string& dir, int32_t area) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + "mailarea.txt";
    return base + numberedAreaName(area);
}

void setError(char* err, const std::string& text) {
    if (!err) return;
    std::memcpy(err, text.c_str(), text.size() + 1);
}

bool cutBack(const std::string& path, int64_t size) {
    plat::Stream s;
    if (!s.open(path, "ab")) return false;
    bool ok = s.truncate(size);
    return s.close() && ok;
}

int32_t readChunk(plat::Stream& in, int32_t length, ChunkLimits limits, char* text, char* err) {
    int32_t count = 0;
    int32_t i = 0;
    // Bulk phase: while even a run of LFs (two buffer bytes each) cannot bring
    // the count to the soft limit, no byte can end the chunk, so runs between
    // LFs are copied whole. The bytes near the limit go one at a time below.
    for (;;) {
        int32_t budget = (limits.soft - count) / 2 - 1;
        if (budget <= 0 || i >= length) break;
        const char* p = nullptr;
        size_t avail = in.peek(&p);
        if (avail == 0) break;  // the end: reported by the byte loop
        size_t take = avail;
        if (take > static_cast<size_t>(length - i)) take = static_cast<size_t>(length - i);
        if (take > static_cast<size_t>(budget)) take = static_cast<size_t>(budget);
        const char* q = p;
        const char* stop = p + take;
        char* o = text + count;
#if defined(__SSE2__)
        // Sixteen bytes at a time: each store writes only where bytes of this
        // phase will go (at least sixteen more follow), so it stays inside
        // the count the phase may reach.
        const __m128i lf = _mm_set1_epi8('\n');
        while (stop - q >= 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
            if (mask == 0) {
                o += 16;
                q += 16;
                continue;
            }
            unsigned k = static_cast<unsigned>(__builtin_ctz(mask));
            o += k;
            *o++ = '\r';
            *o++ = '\n';
            q += k + 1;
        }
#endif
        while (q < stop) {
            if (stop - q >= 8) {
                // Eight bytes without an LF are copied as one word.
                uint64_t v;
                std::memcpy(&v, q, 8);
                uint64_t x = v ^ 0x0a0a0a0a0a0a0a0aull;
                if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) {
                    std::memcpy(o, &v, 8);
                    o += 8;
                    q += 8;
                    continue;
                }
            }
            char c = *q++;
            if (c == '\n') *o++ = '\r';
            *o++ = c;
        }
        count = static_cast<int32_t>(o - text);
        in.consume(take);
        i += static_cast<int32_t>(take);
    }
    for (; i < length; ++i) {
        int c = in.get();
        if (c < 0) {
            text[count] = '\0';
            setError(err, kUnexpectedEof);
            return -1;
        }
        if (c == '\n') text[count++] = '\r';
        text[count++] = static_cast<char>(c);
        if (count >= limits.soft && (c == ' ' || c == '\n')) {
            text[count] = '\0';
            return i + 1;
        }
        if (count >= limits.hard) {
            text[count] = '\0';
            return i + 1;
        }
    }
    text[count < 0 ? 0 : count] = '\0';
    return length < 0 ? 1 : length + 1;
}

}  // namespace brem::store
