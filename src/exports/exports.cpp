// The exported entry points: each checks and converts its C arguments, calls
// one function of the core and turns anything unexpected into the failure
// result, so that nothing but a result crosses into the host.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include <string>

#include "inbound/mail_import.h"
#include "store/readers.h"

namespace {

using brem::exports::appendSeparatorInPlace;
using brem::exports::guarded;
using brem::exports::str;

int32_t read(brem::store::Reader which, const char* dir, int32_t area, int32_t start, int32_t length, char* text,
             char* err) {
    if (!dir || !text) return -1;
    return guarded(-1, [&] { return brem::store::ReadStored(which, dir, area, start, length, text, err); });
}

}  // namespace

extern "C" {

int32_t BREM_API IMPMAIL(char* spoolDir, char* storeDir, const char* firstSite, const char* secondSite,
                         int32_t verbosity) {
    if (!spoolDir || !storeDir) return -1;
    return guarded(-1, [&] {
        std::string spool = appendSeparatorInPlace(spoolDir);
        std::string store = appendSeparatorInPlace(storeDir);
        return brem::inbound::ImportMail(spool, store, str(firstSite), str(secondSite), verbosity);
    });
}

int32_t BREM_API READMESSAGE(const char* storeDir, int32_t area, int32_t start, int32_t length, char* text,
                             char* errorText) {
    return read(brem::store::Reader::Message, storeDir, area, start, length, text, errorText);
}

int32_t BREM_API READNEWS(const char* storeDir, int32_t area, int32_t start, int32_t length, char* text,
                          char* errorText) {
    return read(brem::store::Reader::News, storeDir, area, start, length, text, errorText);
}

int32_t BREM_API READMAPIMSG(const char* storeDir, int32_t area, int32_t start, int32_t length, char* text,
                             char* errorText) {
    return read(brem::store::Reader::MapiMessage, storeDir, area, start, length, text, errorText);
}

int32_t BREM_API EXTRACTMESSAGE(const char* storeDir, int32_t area, int32_t start, int32_t length, char* text,
                                char* errorText) {
    return read(brem::store::Reader::Extract, storeDir, area, start, length, text, errorText);
}

}  // extern "C"
