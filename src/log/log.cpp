#include "log/log.h"

#include <cstdarg>
#include <cstdio>
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
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    last_.assign(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
    va_copy(copy, ap);
    std::vsnprintf(&last_[0], last_.size(), fmt, copy);
    va_end(copy);
    last_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    while (!last_.empty() && (last_.back() == '\n' || last_.back() == '\r')) last_.pop_back();
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

void ActivityLog::cause(const plat::Status& status) {
    // Above every threshold the messages use.
    constexpr int kHighest = 4;
    if (!status) above(kHighest, "%s\n", status.describe().c_str());
}

void ActivityLog::flush() { out_.flush(); }

void ActivityLog::close() { out_.close(); }

}  // namespace brem
