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

}  // namespace brem
