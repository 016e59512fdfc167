// Letter case in the ASCII range only, as the system compares file names,
// header names and commands: bytes above 0x7F are never folded, so a name
// in another code page compares byte for byte. Depends on nothing, so that
// every layer (the platform seam included) folds case the same way.
#pragma once

#include <string>
#include <string_view>

namespace brem::ascii {

inline char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline char toUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string lowered(std::string s) {
    for (char& c : s) c = toLower(c);
    return s;
}
inline std::string uppered(std::string s) {
    for (char& c : s) c = toUpper(c);
    return s;
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (toLower(a[i]) != toLower(b[i])) return false;
    }
    return true;
}

// True when `s` begins with `prefix`, letter case aside.
inline bool startsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace brem::ascii
