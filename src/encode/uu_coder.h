// What the UU coder's two directions share: the names of part files, the
// diagnostics on the console, and the files a decoding reads and writes.
#pragma once

#include <cstddef>
#include <string>

#include "encode/byte_io.h"
#include "encode/uu.h"
#include "encode/uu_state.h"

namespace brem::encode::uu {

inline constexpr int kLineBytes = 45;
inline constexpr int kMaxParts = 99;  // the part number has two digits in the extension

// Where the file name of a path begins: after its last separator or, failing
// that, after a drive's ':'.
size_t leafStart(const std::string& path);

// Where the extension of a path's file name begins (its last '.'), or the
// path's length when the name has none. A '.' in a directory name is not an
// extension, so that "c:\my.dir\data" never becomes "c:\my.enc".
size_t extensionStart(const std::string& path);

// The name of part `part` of a series whose first file is `path`: the part
// number in the last two places of the extension (x.enc, x.en2, x.e10).
// False from part 100 on, whose name would repeat an earlier one.
bool partPath(std::string& path, int part);

bool startsWith(const std::string& s, const char* prefix);

// One diagnostic line on the console: "Wexo Windows [path (line) ]error:
// text.\n", the path and line being those of the coder's state.
class Reporter {
public:
    enum Kind { Error, Warning };
    Reporter(UuState& state, UuConsole& console) : s(state), con(console) {}
    void report(Kind kind, bool withLine, const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;

    UuState& s;
    UuConsole& con;

private:
    std::string line_;  // the last message, its room kept for the next
};

// The files of a decoding: the encoded parts it reads and the output it
// writes. Files on disk for the export, memory for the fuzz targets.
class UuFiles {
public:
    virtual ~UuFiles() = default;
    // Opens a part in place of the previous one; nullptr when it cannot.
    virtual BlockSource* openInput(const std::string& path) = 0;
    virtual BlockSink* createOutput(const std::string& path) = 0;
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;
    // False when bytes written to the output did not all reach it.
    virtual bool closeOutput() = 0;
};

void encodeFile(UuState& s, UuConsole& console);
void decodeFiles(UuState& s, UuConsole& console, UuFiles& files);

}  // namespace brem::encode::uu
