// Exported entry point of the character-set decoder.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include "encode/quoted_printable.h"

using brem::exports::guarded;
using brem::exports::str;

extern "C" {

int32_t BREM_API DECODE_ISO(const char* inPath, const char* outPath, char* message) {
    return guarded(-2, [&] { return brem::encode::DecodeIso(str(inPath), str(outPath), message); });
}

}  // extern "C"
