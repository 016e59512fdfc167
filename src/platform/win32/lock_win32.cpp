// Win32 half of the run lock of platform.h: LockFileEx, exclusive, on the
// lock file's first byte. The file is opened with full sharing so that
// another program can open it to try the lock; only the lock excludes.
#include <windows.h>

#include "platform/platform.h"

namespace brem::plat {

LockResult tryLockFile(const std::string& path, FileHandle* held, std::string* reason) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (reason) *reason = lastErrorText();
        return LockResult::Failed;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        DWORD e = GetLastError();
        CloseHandle(h);
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return LockResult::Busy;
        SetLastError(e);
        if (reason) *reason = lastErrorText();
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

std::string lastErrorText() {
    DWORD e = GetLastError();
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, e, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "error " + std::to_string(e);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
}

}  // namespace brem::plat
