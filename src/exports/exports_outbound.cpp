// The exported entry points of mail and news export.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include <string>

#include "outbound/mail_export.h"
#include "outbound/news_export.h"

using brem::exports::appendSeparatorInPlace;
using brem::exports::guarded;
using brem::exports::str;

extern "C" {

int32_t BREM_API EXPMAIL(const char* spoolDir, const char* storeDir, const char* recipient, const char* site,
                         const char* sender, int32_t verbosity) {
    if (!spoolDir || !storeDir || !recipient || !site) return -1;
    return guarded(-1, [&] {
        return brem::outbound::ExportMail(std::string(spoolDir) + "\\", std::string(storeDir) + "\\", recipient,
                                          site, str(sender), verbosity);
    });
}

int32_t BREM_API EXPNEWS(char* spoolDir, char* storeDir, const char* site, int32_t messages, int32_t verbosity,
                         int32_t bits) {
    if (!spoolDir || !storeDir || !site) return -1;
    return guarded(-1, [&] {
        std::string spool = appendSeparatorInPlace(spoolDir);
        std::string store = appendSeparatorInPlace(storeDir);
        return brem::outbound::ExportNews(spool, store, site, messages, verbosity, bits);
    });
}

}  // extern "C"
