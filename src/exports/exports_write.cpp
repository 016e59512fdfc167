// Exported entry points of the host's writers and file services.
#define BREM32_BUILDING 1
#include "brem32.h"
#include "exports/entry.h"

#include <string>

#include "files/file_services.h"
#include "store/writers.h"

namespace {

using brem::exports::str;

template <typename F>
int32_t guarded(F f) {
    return brem::exports::guarded(-1, f);
}

}  // namespace

extern "C" {

int32_t BREM_API WRITEMESSAGE(const char* storeDir, int32_t area, int32_t* start, int32_t* length, const char* text,
                              char* errorText) {
    return guarded([&] { return brem::store::WriteMessage(str(storeDir), area, false, start, length, text, errorText); });
}

int32_t BREM_API WRITEMFORM(const char* storeDir, int32_t area, int32_t* start, int32_t* length, const char* text,
                            char* errorText) {
    return guarded([&] { return brem::store::WriteMessage(str(storeDir), area, true, start, length, text, errorText); });
}

int32_t BREM_API WRITEUUCP(const char* path, int32_t* start, int32_t* length, const char* text, char* errorText) {
    return guarded([&] { return brem::store::WriteUucp(str(path), start, length, text, errorText); });
}

int32_t BREM_API GENUUCP(const char* dir, const char* source, const char* targetName, const char* prefix,
                         char* errorText, int32_t hold) {
    return guarded(
        [&] { return brem::store::GenUucp(str(dir), str(source), str(targetName), str(prefix), hold, errorText); });
}

int32_t BREM_API FILEATTACH(const char* dir, const char* source, const char* targetName, char* errorText,
                            int32_t hold) {
    return guarded([&] { return brem::store::FileAttach(str(dir), str(source), str(targetName), hold, errorText); });
}

int32_t BREM_API WRITEQUOTED(const char* inboundPath, const char* outPath, char* errorText, const char* unused) {
    (void)unused;
    return guarded([&] { return brem::files::WriteQuoted(str(inboundPath), str(outPath), errorText); });
}

int32_t BREM_API GENDIR(const char* path) {
    return guarded([&] { return brem::files::MakeDir(str(path)); });
}

int32_t BREM_API CHKDIR(const char* path) {
    return guarded([&] { return brem::files::ChangeDir(str(path)); });
}

int32_t BREM_API FILERENAME(const char* oldPath, const char* newPath) {
    return guarded([&] { return brem::files::RenameFile(str(oldPath), str(newPath)); });
}

}  // extern "C"
