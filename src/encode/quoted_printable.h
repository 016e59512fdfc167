// Quoted-printable: the writer that encodes a byte source as quoted-printable
// text, and DECODE_ISO, which decodes quoted-printable ISO-8859-1 text into
// code page 850 for display. Both run under the selected conversion of
// charset.h.
#pragma once

#include <cstdint>
#include <string>

#include "encode/byte_io.h"
#include "platform/stream.h"

namespace brem::encode {

// What a byte source returns once its input has ended. Every byte value,
// NUL included, is input, so a NUL in a file is encoded like any other byte.
inline constexpr int kEndOfInput = -1;

// The writer's input: a function of no arguments (apart from the context it
// is handed) that yields the next byte, 0 to 255, or kEndOfInput, and keeps
// yielding kEndOfInput after the end.
struct ByteSource {
    int (*next)(void* context);
    void* context;
    int operator()() const { return next(context); }
};

// The only combination the library writes: the whole input is message body,
// transfer encoding quoted-printable, character set ISO-8859-1.
inline constexpr int kModeBody = 6;
inline constexpr int kTransferQuotedPrintable = 1;

// Encodes the source onto `out` (which it does not close): safe bytes as
// themselves, '=' as "=3D", others as "=XX", line ends as single LFs, with a
// soft break "=\n" so that no output line exceeds 76 characters, and a blank
// or TAB before a line end or the end of the input protected by a soft
// break. Nothing is added at the end. False when the combination is not
// supported (nothing is written then) or a write to `out` failed.
bool WriteQuotedPrintable(int mode, int transferEncoding, int32_t charset, ByteSource source, plat::Stream& out);

// Decodes quoted-printable text from `in` onto `out` through the selected
// conversion. Soft breaks join lines; an escape "=hl" yields one byte by the
// lenient rule (h * 16 + l, a digit's value or the code minus 55, modulo
// 256), so malformed escapes never fail. A NUL, decoded or literal, ends its
// line's text: the rest of the line (at most 255 bytes of input counted from
// the line's start) is dropped. False when a write to `out` failed.
bool DecodeQuotedPrintable(BlockSource& in, BlockSink& out);

// DECODE_ISO: quoted-printable ISO-8859-1 in `inPath` to code page 850 text
// in `outPath`. Returns 0 and the message "Success", or -2 with the reason
// in `message` (which holds 35 bytes more than the longer path). A partial
// output is removed.
int32_t DecodeIso(const std::string& inPath, const std::string& outPath, char* message);

}  // namespace brem::encode
