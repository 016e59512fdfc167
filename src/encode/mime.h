// MIME base64 attachments: taking the first base64 body out of a message
// file, and turning any file into an attachment body with its header.
#pragma once

#include <cstdint>
#include <string>

#include "encode/byte_io.h"

namespace brem::encode {

// The fixed working file in the current directory that MimeDecode may move
// onto the output path when the message never named an attachment of its own.
inline constexpr const char* kMimeWorkFile = "$$$$$$$$.$$$";

// Writes the decoded bytes of the first base64 body of `inPath` to `outPath`.
// 0 when the input was read to its end; -1 when the input cannot be opened,
// the output cannot be created or written, or a later part of the message
// names the output file once it has already been given up for the working
// file.
int32_t MimeDecode(const std::string& inPath, const std::string& outPath);

// What walking a message's sections leaves for the file layer to do.
struct MimeOutcome {
    bool conflict = false;       // a later part named the given-up output: the call fails
    bool dropWorkFile = false;   // delete the working file (before any replacing)
    bool replaceOutput = false;  // give the output up for the working file
};

// The parser of MimeDecode on bytes as a file holds them: reads `in` as a
// text-mode file would be read and writes the decoded bytes of the first
// section's body to `out`. `outPath` is the name the message's `name`
// parameters are compared with.
MimeOutcome WalkMimeSections(BlockSource& in, const std::string& outPath, BlockSink& out);

// Writes `inPath` as a base64 attachment body named `name` to `outPath`.
// 0 when the output is complete; -1 when the input cannot be opened or the
// output cannot be created or written (a partial output is removed).
int32_t MimeEncode(const std::string& inPath, const std::string& outPath, const std::string& name);

}  // namespace brem::encode
