// The content-encoding entry points: MIME attachments and the UU coder.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include <cstdio>
#include <string>

#include "encode/mime.h"
#include "encode/uu.h"

using brem::exports::guarded;
using brem::exports::str;

extern "C" {

int32_t BREM_API MIMEDECODE(const char* inPath, const char* outPath) {
    if (!inPath || !outPath) return -1;
    return guarded(-1, [&] { return brem::encode::MimeDecode(inPath, outPath); });
}

int32_t BREM_API MIMEENCODE(const char* inPath, const char* outPath, const char* name) {
    if (!inPath || !outPath) return -1;
    return guarded(-1, [&] { return brem::encode::MimeEncode(inPath, outPath, str(name)); });
}

int32_t BREM_API UUENCODE(const char* inPath, const char* outPath, const char* beginName, const char* countDir,
                          int32_t partSize) {
    guarded(0, [&] {
        return brem::encode::UuCode(str(inPath), str(outPath), str(beginName), str(countDir), partSize,
                                    brem::encode::standardConsole());
    });
    // The host's own output may follow: let the coder's lines come first.
    std::fflush(stdout);
    return 0;
}

}  // extern "C"
