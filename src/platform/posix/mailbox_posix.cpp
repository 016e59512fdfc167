// POSIX half of the mailbox locks of platform.h: the dotlock made with
// O_EXCL, and an fcntl write lock on the mailbox's own descriptor. The lock
// belongs to the process and closing any descriptor of the file drops it, so
// the mailbox is read and written through this one descriptor only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/os.h"
#include "platform/platform.h"

namespace brem::plat {

namespace {

// Makes the dotlock. Locked: made (or the directory takes no new file, and
// `made` stays false); Busy: another program's is there.
LockResult makeDotlock(const std::string& lockPath, bool* made, std::string* reason) {
    *made = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            *made = true;
            return LockResult::Locked;
        }
        if (errno == EACCES || errno == EPERM || errno == EROFS) return LockResult::Locked;
        if (errno != EEXIST) {
            if (reason) *reason = lastErrorText();
            return LockResult::Failed;
        }
        struct stat st;
        if (::lstat(lockPath.c_str(), &st) != 0) continue;  // gone meanwhile: try again
        if (std::time(nullptr) - st.st_mtime < kStaleDotlockSeconds) return LockResult::Busy;
        ::unlink(lockPath.c_str());
    }
    return LockResult::Busy;
}

}  // namespace

LockResult tryLockMailbox(const std::string& path, MailboxHold* hold, std::string* reason) {
    const std::string sys = os::systemPath(path);
    const std::string lockPath = sys + ".lock";
    bool made = false;
    LockResult dot = makeDotlock(lockPath, &made, reason);
    if (dot != LockResult::Locked) return dot;
    auto undo = [&](LockResult r) {
        if (made) ::unlink(lockPath.c_str());
        return r;
    };
    int fd = ::open(sys.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (reason) *reason = lastErrorText();
        return undo(LockResult::Failed);
    }
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;  // the whole file, however long it grows
    int rc;
    while ((rc = ::fcntl(fd, F_SETLK, &fl)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        int e = errno;
        ::close(fd);
        if (e == EACCES || e == EAGAIN) return undo(LockResult::Busy);
        errno = e;
        if (reason) *reason = lastErrorText();
        return undo(LockResult::Failed);
    }
    hold->file = static_cast<FileHandle>(fd);
    hold->dotlock = made ? lockPath : std::string();
    return LockResult::Locked;
}

bool releaseMailbox(MailboxHold& hold) {
    bool ok = true;
    if (hold.file != kNoFile) ok = ::close(static_cast<int>(hold.file)) == 0;  // closing drops the lock
    hold.file = kNoFile;
    if (!hold.dotlock.empty()) ::unlink(hold.dotlock.c_str());
    hold.dotlock.clear();
    return ok;
}

bool takeOwnerAndMode(const std::string& model, const std::string& path) {
    struct stat st;
    const std::string target = os::systemPath(path);
    if (::stat(os::systemPath(model).c_str(), &st) != 0) return false;
    bool all = ::chown(target.c_str(), st.st_uid, st.st_gid) == 0;
    // Not the superuser: the group may still be one of the user's own.
    if (!all) ::chown(target.c_str(), static_cast<uid_t>(-1), st.st_gid);
    return ::chmod(target.c_str(), st.st_mode & 07777) == 0 && all;
}

}  // namespace brem::plat
