// Header lines as the importers' index records keep them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

namespace brem::inbound {

// True when `s` begins with `prefix`, letters compared without regard to case.
inline bool startsNoCase(const std::string& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = s[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// A record line: the header line as read, up to an embedded NUL, cut to fit
// `width` bytes (its terminating NUL counted, as the records have always been
// sized) and ending in exactly one line feed, so a record keeps its number of
// lines whatever the header held.
inline std::string recordLine(const std::string& line, size_t width) {
    std::string s = line.substr(0, std::min(line.find('\0'), line.size()));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (s.size() > width - 2) s.resize(width - 2);
    s.push_back('\n');
    return s;
}

}  // namespace brem::inbound
