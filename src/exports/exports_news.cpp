// The exported entry point of news import.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include <string>

#include "inbound/news_import.h"

using brem::exports::appendSeparatorInPlace;
using brem::exports::guarded;
using brem::exports::str;

extern "C" int32_t BREM_API IMPNEWS(char* spoolDir, char* storeDir, const char* firstSite, const char* secondSite,
                                    int32_t verbosity, int32_t bits) {
    if (!spoolDir || !storeDir) return -1;
    return guarded(-1, [&] {
        std::string spool = appendSeparatorInPlace(spoolDir);
        std::string store = appendSeparatorInPlace(storeDir);
        return brem::inbound::ImportNews(spool, store, str(firstSite), str(secondSite), verbosity, bits);
    });
}
