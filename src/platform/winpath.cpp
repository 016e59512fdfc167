#include "platform/winpath.h"
#include "text/ascii.h"

namespace brem::plat {

namespace {
using ascii::toLower;

size_t lastSeparator(const std::string& path) {
    size_t i = path.size();
    while (i > 0) {
        if (isSeparator(path[i - 1])) return i - 1;
        --i;
    }
    return std::string::npos;
}

bool matchFrom(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    // Iterative matching with one backtrack point for the latest '*'.
    size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || toLower(p[pi]) == toLower(n[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}
}  // namespace

std::string directoryOf(const std::string& path) {
    size_t i = lastSeparator(path);
    if (i == std::string::npos) return "";
    if (i == 0) return path.substr(0, 1);
    return path.substr(0, i);
}

std::string leafOf(const std::string& path) {
    size_t i = lastSeparator(path);
    return i == std::string::npos ? path : path.substr(i + 1);
}

bool equalsNoCase(const std::string& a, const std::string& b) { return ascii::equalsNoCase(a, b); }

bool lessNoCase(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(toLower(a[i]));
        unsigned char y = static_cast<unsigned char>(toLower(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // same letters, different case: keep a stable order
}

bool wildcardMatch(const std::string& pattern, const std::string& name) {
    // The common "*.ext" form is a suffix test.
    if (pattern.size() >= 2 && pattern[0] == '*' && pattern.find_first_of("*?", 1) == std::string::npos &&
        pattern.compare(pattern.size() - 2, 2, ".*") != 0) {
        size_t n = pattern.size() - 1;
        return name.size() >= n && equalsNoCase(name.substr(name.size() - n), pattern.substr(1));
    }
    if (matchFrom(pattern, 0, name, 0)) return true;
    // Windows lets "name.*" (and "*.*") match a name without any dot.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return matchFrom(pattern.substr(0, pattern.size() - 2), 0, name, 0);
    }
    return false;
}

bool isWindowsFileName(const std::string& name) {
    if (name.empty()) return false;
    // Windows drops trailing blanks and dots from a name, so "job.X." would
    // reach "job.X": a name must be the one it reaches.
    if (name.back() == ' ' || name.back() == '.') return false;
    // The device names: the part before the first dot, trailing blanks and
    // dots dropped as Windows drops them.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
    base = ascii::lowered(base);
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* d : kDevices) {
        if (base == d) return false;
    }
    // COM and LPT with a digit, or with the superscript one, two or three
    // of the Windows ANSI code page, which Windows also takes for a port.
    if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
        const unsigned char c = static_cast<unsigned char>(base[3]);
        if ((c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3) return false;
    }
    return true;
}

bool isPlainName(const std::string& name) {
    if (name == "." || name == "..") return false;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':') return false;
    }
    return isWindowsFileName(name);
}

std::vector<std::string> splitPath(const std::string& path, bool* rooted) {
    std::vector<std::string> parts;
    if (rooted) *rooted = !path.empty() && isSeparator(path[0]);
    std::string cur;
    for (char c : path) {
        if (isSeparator(c)) {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

}  // namespace brem::plat
