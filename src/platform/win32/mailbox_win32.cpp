// Win32 half of the mailbox locks of platform.h: the dotlock made with
// CREATE_NEW, and LockFileEx, exclusive, over every byte the mailbox may
// ever hold. Other programs may open the mailbox to read it or to try the
// lock; only the lock excludes them.
#include <windows.h>

#include "platform/platform.h"

namespace brem::plat {

namespace {

LockResult makeDotlock(const std::string& lockPath, bool* made, std::string* reason) {
    *made = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE h = CreateFileA(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            *made = true;
            return LockResult::Locked;
        }
        DWORD e = GetLastError();
        if (e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT) return LockResult::Locked;
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) {
            if (reason) *reason = lastErrorText();
            return LockResult::Failed;
        }
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (!GetFileAttributesExA(lockPath.c_str(), GetFileExInfoStandard, &info)) continue;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER a, b;
        a.LowPart = info.ftLastWriteTime.dwLowDateTime;
        a.HighPart = info.ftLastWriteTime.dwHighDateTime;
        b.LowPart = now.dwLowDateTime;
        b.HighPart = now.dwHighDateTime;
        if (b.QuadPart < a.QuadPart || (b.QuadPart - a.QuadPart) / 10000000ULL < kStaleDotlockSeconds) {
            return LockResult::Busy;
        }
        DeleteFileA(lockPath.c_str());
    }
    return LockResult::Busy;
}

}  // namespace

LockResult tryLockMailbox(const std::string& path, MailboxHold* hold, std::string* reason) {
    const std::string lockPath = path + ".lock";
    bool made = false;
    LockResult dot = makeDotlock(lockPath, &made, reason);
    if (dot != LockResult::Locked) return dot;
    auto undo = [&](LockResult r) {
        if (made) DeleteFileA(lockPath.c_str());
        return r;
    };
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (reason) *reason = lastErrorText();
        return undo(LockResult::Failed);
    }
    OVERLAPPED at = {};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at)) {
        DWORD e = GetLastError();
        CloseHandle(h);
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return undo(LockResult::Busy);
        SetLastError(e);
        if (reason) *reason = lastErrorText();
        return undo(LockResult::Failed);
    }
    hold->file = reinterpret_cast<FileHandle>(h);
    hold->dotlock = made ? lockPath : std::string();
    return LockResult::Locked;
}

bool releaseMailbox(MailboxHold& hold) {
    bool ok = true;
    if (hold.file != kNoFile) {
        HANDLE h = reinterpret_cast<HANDLE>(hold.file);
        OVERLAPPED at = {};
        UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &at);
        ok = CloseHandle(h) != 0;
    }
    hold.file = kNoFile;
    if (!hold.dotlock.empty()) DeleteFileA(hold.dotlock.c_str());
    hold.dotlock.clear();
    return ok;
}

bool takeOwnerAndMode(const std::string&, const std::string&) { return true; }

}  // namespace brem::plat
