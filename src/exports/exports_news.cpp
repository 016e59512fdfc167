// The exported entry point of news import.
#define BREM32_BUILDING 1
#include "brem32.h"

#include <cstring>
#include <string>

#include "inbound/news_import.h"

namespace {

// As with every importer: one backslash is appended to the host's string in
// place, and the paths are built on the result.
std::string appendSeparatorInPlace(char* dir) {
    std::size_t n = std::strlen(dir);
    dir[n] = '\\';
    dir[n + 1] = '\0';
    return std::string(dir, n + 1);
}

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

extern "C" int32_t BREM_API IMPNEWS(char* spoolDir, char* storeDir, const char* firstSite, const char* secondSite,
                                    int32_t verbosity, int32_t bits) {
    if (!spoolDir || !storeDir) return -1;
    try {
        std::string spool = appendSeparatorInPlace(spoolDir);
        std::string store = appendSeparatorInPlace(storeDir);
        return brem::inbound::ImportNews(spool, store, str(firstSite), str(secondSite), verbosity, bits);
    } catch (...) {
        return -1;
    }
}
