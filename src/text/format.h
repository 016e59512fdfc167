// printf-style formatting into a string of whatever length the text needs:
// the job files and the coder's messages are built this way, never in a
// fixed buffer.
#pragma once

#include <cstdarg>
#include <string>

namespace brem {

std::string vformatText(const char* fmt, va_list ap);

std::string formatText(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace brem
