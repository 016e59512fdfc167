// The UU coder: files to UU-encoded part files and back, with XX and other
// alphabets read from a "table" or "charmap" line of the input.
#pragma once

#include <cstdint>
#include <string>

#include "encode/byte_io.h"

namespace brem::encode {

// Where the coder's progress lines, diagnostics and overwrite question go:
// the process's standard streams for a host, a recorder in tests.
class UuConsole {
public:
    virtual ~UuConsole() = default;
    virtual void out(const std::string& text) = 0;  // progress and messages
    virtual void err(const std::string& text) = 0;  // the overwrite question
    virtual int readChar() = 0;                     // an answer byte, -1 at the end
};

// The process's standard output, standard error and standard input.
UuConsole& standardConsole();

// Encodes `inPath` into part files of `partSize` x 16 lines (0: one file) and
// writes their count to "ncode.dat" in `countDir`; or, when the input's
// extension marks it as encoded (".enc", ".xxe", ".uue", or none), decodes it
// into `outPath` or the name of its "begin" line. Everything that goes wrong
// is told on `console`; the result is always 0.
int32_t UuCode(const std::string& inPath, const std::string& outPath, const std::string& beginName,
               const std::string& countDir, int32_t partSize, UuConsole& console);

// The decoder on one encoded part from any source, as UuCode decodes a
// file: the header scan with its alphabets, the data lines with their
// repairs, the end line. The bytes go to `out`, the diagnostics to
// `console`; a part that ends before its zero line ends the decoding, as a
// missing next part would.
void UuDecodePart(BlockSource& in, BlockSink& out, UuConsole& console);

}  // namespace brem::encode
