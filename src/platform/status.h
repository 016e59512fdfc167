// The answer of a platform call that can fail: success, or a failure that
// keeps its cause. A failure carries a portable kind (what a caller may act
// on), and for the activity log the system's own error number (errno on
// POSIX, GetLastError on Windows), the name of the system call that failed
// and the path it was given, so that nobody has to ask the system a second
// time what happened (a second call may see another state of the disk).
//
// A Status tests true on success, so a caller that only wants to know
// whether the call worked writes `if (!plat::deleteFile(p))` as with a bool.
// Success holds no path: it costs nothing to hand back.
#pragma once

#include <string>

namespace brem::plat {

enum class Failure {
    None,      // the call worked
    Missing,   // the name does not exist (or a directory on its way)
    Exists,    // the name is taken and the call does not replace
    Denied,    // the system refuses access; will not change by itself
    Busy,      // held by another process (a lock, a file in use)
    Full,      // no space left on the device
    Injected,  // made to fail by a test hook, before the system was asked
    Other,     // anything else (an I/O error, no handles left)
};

class Status {
public:
    Status() = default;
    Status(Failure kind, int native, const char* call, std::string path)
        : kind_(kind), native_(native), call_(call), path_(std::move(path)) {}

    // Tests true on success, as the bool it replaces.
    operator bool() const { return kind_ == Failure::None; }

    Failure kind() const { return kind_; }
    int native() const { return native_; }       // errno / GetLastError; 0 when none
    const char* call() const { return call_; }   // the system call, e.g. "unlink"
    const std::string& path() const { return path_; }

    // One line for the activity log: "unlink /spool/0C1.X: Permission denied
    // (13)"; empty on success.
    std::string describe() const;

private:
    Failure kind_ = Failure::None;
    int native_ = 0;
    const char* call_ = "";
    std::string path_;
};

}  // namespace brem::plat
