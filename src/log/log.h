// The activity log of the imports and exports: "mail.log" and "news.log" in
// the store directory, opened for text append ("at"), one stamped line per
// message. A message with threshold k is written only when the verbosity is
// above k; a message without a threshold is always written.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace brem {

// Writes the stamp that opens every log line: the local date and time as
// "%d-%02d-%02d %02d:%02d:%02d.00\t".
void writeStamp(plat::Stream& out);

class ActivityLog {
public:
    ActivityLog() = default;
    ~ActivityLog() { close(); }
    ActivityLog(const ActivityLog&) = delete;
    ActivityLog& operator=(const ActivityLog&) = delete;

    // Opens `path` for text append. `flushEach` makes every message reach the
    // disk at once, for the steps whose lines must survive a failing host.
    bool open(const std::string& path, int32_t verbosity, bool flushEach = false);
    bool isOpen() const { return out_.isOpen(); }
    int32_t verbosity() const { return verbosity_; }
    void setFlushEach(bool on) { flushEach_ = on; }

    // A message without a threshold.
    void always(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // A message written only when verbosity > k.
    void above(int k, const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // The cause a failed platform call kept (the system call, its path and
    // the system's error), written only at the highest verbosity, after the
    // fixed text that reports the failure.
    void cause(const plat::Status& status);

    void flush();
    void close();

    // The last message written without a threshold, as written (its stamp
    // and line end aside), kept whether the log could be opened or not: the
    // reason a caller without the log at hand gives for a failure.
    const std::string& lastMessage() const { return last_; }

private:
    void vwrite(const char* fmt, va_list ap);

    plat::Stream out_;
    std::string last_;
    int32_t verbosity_ = 0;
    bool flushEach_ = false;
};

}  // namespace brem
