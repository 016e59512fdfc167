#include "log/log.h"

#include <cstdarg>
#include <ctime>

#include "platform/platform.h"

namespace brem {

void writeStamp(plat::Stream& out) {
    std::tm tmv = plat::localTime(std::time(nullptr));
    out.print("%d-%02d-%02d %02d:%02d:%02d.00\t", tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday,
              tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
}

bool ActivityLog::open(const std::string& path, int32_t verbosity, bool flushEach) {
    verbosity_ = verbosity;
    flushEach_ = flushEach;
    return out_.open(path, "at");
}

void ActivityLog::vwrite(const char* fmt, va_list ap) {
    if (!out_.isOpen()) return;
    writeStamp(out_);
    out_.vprint(fmt, ap);
    if (flushEach_) out_.flush();
}

void ActivityLog::always(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vwrite(fmt, ap);
    va_end(ap);
}

void ActivityLog::above(int k, const char* fmt, ...) {
    if (verbosity_ <= k) return;
    va_list ap;
    va_start(ap, fmt);
    vwrite(fmt, ap);
    va_end(ap);
}

void ActivityLog::flush() { out_.flush(); }

void ActivityLog::close() { out_.close(); }

}  // namespace brem
