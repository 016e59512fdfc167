#include "text/format.h"

#include <cstdio>

namespace brem {

std::string vformatText(const char* fmt, va_list ap) {
    char small[256];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    big.resize(static_cast<size_t>(n));
    return big;
}

std::string formatText(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = vformatText(fmt, ap);
    va_end(ap);
    return s;
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
size_t utf8Length(std::string_view text, size_t i) {
    auto at = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    auto follows = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    const unsigned c = at(i);
    if (c >= 0xC2 && c <= 0xDF) return follows(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return follows(i + 1, lo, hi) && follows(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return follows(i + 1, lo, hi) && follows(i + 2) && follows(i + 3) ? 4 : 0;
    }
    return 0;
}

void appendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

}  // namespace

std::string escapeControls(std::string_view text, bool keepLineEnds) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool control = (c < 0x20 && c != '\t' && !(keepLineEnds && c == '\n')) || c == 0x7F;
            if (control) {
                appendEscaped(out, c);
            } else {
                out.push_back(static_cast<char>(c));
            }
            ++i;
            continue;
        }
        const size_t n = utf8Length(text, i);
        if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // A C1 control in its UTF-8 form: terminals in UTF-8 mode act on it.
            appendEscaped(out, c);
            appendEscaped(out, static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else if (n > 0) {
            out.append(text.data() + i, n);
            i += n;
        } else {
            // A byte of its own: a C1 control is escaped, a letter of
            // ISO-8859-1 is kept.
            if (c < 0xA0) {
                appendEscaped(out, c);
            } else {
                out.push_back(static_cast<char>(c));
            }
            ++i;
        }
    }
    return out;
}

}  // namespace brem
