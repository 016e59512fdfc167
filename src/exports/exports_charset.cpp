// Exported entry point of the character-set decoder.
#define BREM32_BUILDING 1
#include "brem32.h"

#include <string>

#include "encode/quoted_printable.h"

extern "C" {

int32_t BREM_API DECODE_ISO(const char* inPath, const char* outPath, char* message) {
    try {
        return brem::encode::DecodeIso(inPath ? inPath : "", outPath ? outPath : "", message);
    } catch (...) {
        return -2;
    }
}

}  // extern "C"
