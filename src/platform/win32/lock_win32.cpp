// Win32 half of the run lock of platform.h: LockFileEx, exclusive, on the
// lock file's first byte. The file is opened with full sharing so that
// another program can open it to try the lock; only the lock excludes.
#include <windows.h>

#include "platform/os.h"
#include "platform/platform.h"

namespace brem::plat {

namespace os {

LockResult tryLockFile(const std::string& path, FileHandle* held, Status* why) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *why = Status(e == ERROR_ACCESS_DENIED ? Failure::Denied : Failure::Other, static_cast<int>(e), "CreateFileA", path);
        return LockResult::Failed;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        DWORD e = GetLastError();
        CloseHandle(h);
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return LockResult::Busy;
        *why = Status(Failure::Other, static_cast<int>(e), "LockFileEx", path);
        return LockResult::Failed;
    }
    *held = reinterpret_cast<FileHandle>(h);
    return LockResult::Locked;
}

void unlockFile(FileHandle held) {
    if (held == kNoFile) return;
    HANDLE h = reinterpret_cast<HANDLE>(held);
    OVERLAPPED at = {};
    UnlockFileEx(h, 0, 1, 0, &at);
    CloseHandle(h);
}

}  // namespace os

std::string lastErrorText() { return os::errorText(static_cast<int>(GetLastError())); }

}  // namespace brem::plat
