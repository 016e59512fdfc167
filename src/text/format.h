// printf-style formatting into a string of whatever length the text needs:
// the job files and the coder's messages are built this way, never in a
// fixed buffer.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace brem {

std::string vformatText(const char* fmt, va_list ap);

std::string formatText(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The text with every control byte written as \xNN, so that bytes a remote
// site chose can be shown on a terminal or put into a line of a log without
// moving the cursor, changing the terminal's state or starting a line of
// their own. Control bytes are those below 0x20 (TAB is kept, and LF when
// `keepLineEnds`), DEL, and the C1 range 0x80 to 0x9F whether it stands as a
// byte of its own or UTF-8 encoded; letters of UTF-8 and of ISO-8859-1 pass
// as they are.
std::string escapeControls(std::string_view text, bool keepLineEnds = false);

}  // namespace brem
