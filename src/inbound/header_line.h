// Header lines as the importers' index records keep them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "text/ascii.h"

namespace brem::inbound {

// True when `s` begins with `prefix`, letters compared without regard to case.
// `n` is the prefix's length.
inline bool startsNoCase(std::string_view s, const char* prefix, size_t n) {
    return ascii::startsNoCase(s, std::string_view(prefix, n));
}

inline bool startsNoCase(std::string_view s, const char* prefix) { return ascii::startsNoCase(s, prefix); }

// A record line: the header line as read, up to an embedded NUL, cut to fit
// `width` bytes (its terminating NUL counted, as the records have always been
// sized) and ending in exactly one line feed, so a record keeps its number of
// lines whatever the header held. A CR before the line feed belongs to the
// line end; every other control byte but TAB is written as '?': a host that
// reads the index in text mode stops at a Ctrl-Z and splits lines at a CR,
// and an escape sequence would reach whatever screen lists the records.
// appendRecordLine() adds it to `out` without a string of its own, for the
// filers that build a record per article.
inline void appendRecordLine(std::string& out, std::string_view line, size_t width) {
    size_t n = std::min(line.find('\0'), line.size());
    if (n > 0 && line[n - 1] == '\n') --n;
    if (n > 0 && line[n - 1] == '\r') --n;
    if (n > width - 2) n = width - 2;
    const size_t from = out.size();
    out.append(line.data(), n);
    for (size_t i = from; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) out[i] = '?';
    }
    out.push_back('\n');
}

inline std::string recordLine(std::string_view line, size_t width) {
    std::string s;
    appendRecordLine(s, line, width);
    return s;
}

}  // namespace brem::inbound
