// What every exported entry point shares: turning anything unexpected into
// the failure result, and the importers' in-place separator.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace brem::exports {

// Runs the core call; nothing but a result crosses into the host.
template <typename F>
int32_t guarded(int32_t failure, F f) {
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

// IMPMAIL, IMPNEWS and EXPNEWS append one backslash to the host's directory
// string in place (the host leaves room for it) and build their paths on the
// result.
inline std::string appendSeparatorInPlace(char* dir) {
    std::size_t n = std::strlen(dir);
    dir[n] = '\\';
    dir[n + 1] = '\0';
    return std::string(dir, n + 1);
}

// A host string, a missing one read as empty.
inline std::string str(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace brem::exports
