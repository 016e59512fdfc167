// POSIX half of the run lock of platform.h: an fcntl write lock over the
// whole lock file. fcntl locks are what NFS passes on, and the kernel drops
// them when the process ends. They belong to the process, and closing any
// descriptor of the file drops them: nothing else in the process opens the
// lock file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/os.h"
#include "platform/platform.h"

namespace brem::plat {

namespace os {

LockResult tryLockFile(const std::string& path, FileHandle* held, Status* why) {
    const std::string sp = systemPath(path);
    int fd = ::open(sp.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        int e = errno;
        *why = Status(e == EACCES || e == EPERM || e == EROFS ? Failure::Denied
                      : e == ENOENT || e == ENOTDIR         ? Failure::Missing
                                                            : Failure::Other,
                      e, "open", sp);
        return LockResult::Failed;
    }
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, however long
    int rc;
    while ((rc = ::fcntl(fd, F_SETLK, &fl)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        int e = errno;
        ::close(fd);
        if (e == EACCES || e == EAGAIN) return LockResult::Busy;
        *why = Status(Failure::Other, e, "fcntl", sp);
        return LockResult::Failed;
    }
    *held = static_cast<FileHandle>(fd);
    return LockResult::Locked;
}

void unlockFile(FileHandle held) {
    if (held != kNoFile) ::close(static_cast<int>(held));  // closing drops the lock
}

}  // namespace os

std::string lastErrorText() { return std::strerror(errno); }

}  // namespace brem::plat
