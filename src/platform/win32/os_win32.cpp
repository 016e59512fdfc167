// Win32 implementation of the platform seam, for Windows XP and later, 32-bit
// and 64-bit. What belongs here: the Win32 calls themselves. Paths are passed
// through unchanged; the file system already treats `\` and `/` as separators
// and names case-blind. Its divisions, in order: retries while another
// program holds a file; files and handles (open, untrusted open, read, write,
// seek, size); the causes of failures and the calls that change names
// (truncate, sync, close, delete, move, replace); names and directories
// (exists, identity, make, sync, change); processes (argument quoting, the
// compressor's path, copies); the console, sleeping, window messages, memory.
#include <windows.h>
#include <io.h>
#include <malloc.h>

#include <cstdint>

#include "platform/fault.h"
#include "platform/os.h"
#include "platform/winpath.h"

namespace brem::plat::os {

namespace {
HANDLE toHandle(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

// A virus scanner, an indexer or the user's own viewer may hold a spool or
// store file open for a moment, without sharing it; DeleteFileA, MoveFileExA
// and CreateFileA then fail with a sharing violation, a lock violation or
// access denied (also what a file whose deletion is still pending gives).
// Those errors are tried again after short, growing sleeps, about one second
// in all, so that a brief hold does not fail a host's call; a longer one
// fails as any other error does and the caller takes its work back. Access
// denied on a directory or a read-only file is no hold and fails at once, as
// does every other error. The last error is left as the last attempt set it.
bool heldBySomeoneElse(const std::string& path) {
    DWORD e = GetLastError();
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) return true;
    if (e != ERROR_ACCESS_DENIED) return false;
    DWORD a = GetFileAttributesA(path.c_str());
    bool held = a == INVALID_FILE_ATTRIBUTES ? GetLastError() == ERROR_ACCESS_DENIED
                                             : !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    SetLastError(e);
    return held;
}

template <typename F>
bool retryWhileHeld(const std::string& path, F attempt) {
    static const DWORD kPauses[] = {10, 20, 40, 80, 160, 250, 250, 250};  // 1060 ms
    for (DWORD pause : kPauses) {
        if (attempt()) return true;
        if (!heldBySomeoneElse(path)) return false;
        Sleep(pause);
    }
    return attempt();
}
}  // namespace

std::string systemPath(const std::string& path) { return path; }

namespace {
// Windows reads a last component that names a device ("AUX.X", "Com1 .D")
// as that device in whatever directory it stands, and one that ends in a
// blank or a dot as another name: a call would open a port or wait on the
// console, or reach a file other than the one named. The portable layer never
// names such a file in the spool; this refuses one that reaches these calls
// all the same (a name a host passed in, a caller that did not check), with
// the error Windows gives for a bad name, before anything is opened.
bool refusedName(const std::string& path) {
    const std::string leaf = leafOf(path);
    if (leaf.empty() || isWindowsFileName(leaf)) return false;
    SetLastError(ERROR_INVALID_NAME);
    return true;
}
}  // namespace

FileHandle openFile(const std::string& path, OpenMode mode, Access) {
    // Access is POSIX's alone: a Windows file takes its directory's rules.
    DWORD access = 0, disposition = 0;
    switch (mode) {
        case OpenMode::Read:
            access = GENERIC_READ;
            disposition = OPEN_EXISTING;
            break;
        case OpenMode::Create:
            access = GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case OpenMode::Append:
            // Read access too, so that a failed append can be cut back; the
            // position is moved to the end below, and the library is the only
            // writer while a call runs.
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
        case OpenMode::CreateNew:
            // Fails on any name that is taken, a link included.
            access = GENERIC_WRITE;
            disposition = CREATE_NEW;
            break;
    }
    if (refusedName(path)) return kNoFile;
    HANDLE h = INVALID_HANDLE_VALUE;
    retryWhileHeld(path, [&] {
        h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    if (h == INVALID_HANDLE_VALUE) return kNoFile;
    if (mode == OpenMode::Append) {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) {
            CloseHandle(h);
            return kNoFile;
        }
    }
    return reinterpret_cast<FileHandle>(h);
}

Untrusted openUntrusted(const std::string& path, FileHandle* handle) {
    *handle = kNoFile;
    if (refusedName(path)) return Untrusted::NotAFile;
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link (or junction, or any other
    // reparse point) itself instead of what it points to, and
    // FILE_FLAG_BACKUP_SEMANTICS lets a directory open, so that each is told
    // apart below rather than by the error of a failed open.
    HANDLE h = INVALID_HANDLE_VALUE;
    retryWhileHeld(path, [&] {
        h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    if (h == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME: return Untrusted::Missing;
            case ERROR_ACCESS_DENIED: return Untrusted::Denied;
            default: return Untrusted::Failed;
        }
    }
    BY_HANDLE_FILE_INFORMATION info;
    Untrusted verdict = Untrusted::Opened;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        // A device such as CON, or under Wine a Unix FIFO (a pipe, of which
        // Wine gives no file information).
        verdict = Untrusted::NotAFile;
    } else if (!GetFileInformationByHandle(h, &info)) {
        verdict = Untrusted::Failed;
    } else if ((info.dwFileAttributes | fault::armedAttributes(path)) & FILE_ATTRIBUTE_REPARSE_POINT) {
        verdict = Untrusted::Link;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        verdict = Untrusted::NotAFile;
    }
    if (verdict != Untrusted::Opened) {
        CloseHandle(h);
        return verdict;
    }
    *handle = reinterpret_cast<FileHandle>(h);
    return Untrusted::Opened;
}

int64_t readFile(FileHandle h, void* buf, size_t n) {
    DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!ReadFile(toHandle(h), buf, want, &got, nullptr)) {
        // A pipe whose writer has closed it ends so: its end, not an error.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got;
}

int64_t writeFile(FileHandle h, const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        size_t left = n - done;
        DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!WriteFile(toHandle(h), p + done, want, &put, nullptr)) {
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (put == 0) break;
        done += put;
    }
    return static_cast<int64_t>(done);
}

bool seekFile(FileHandle h, int64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = offset;
    return SetFilePointerEx(toHandle(h), li, nullptr, FILE_BEGIN) != 0;
}

int64_t fileSize(FileHandle h) {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(toHandle(h), &li)) return -1;
    return li.QuadPart;
}

namespace {
// The portable kind of a GetLastError code.
Failure failureOf(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return Failure::Missing;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return Failure::Exists;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return Failure::Denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return Failure::Busy;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return Failure::Full;
        default: return Failure::Other;
    }
}

// The failure of `call` on `path` with the cause the system gave, or success.
Status check(bool ok, const char* call, const std::string& path) {
    if (ok) return Status();
    DWORD e = GetLastError();
    return Status(failureOf(e), static_cast<int>(e), call, path);
}
}  // namespace

Status truncateFile(FileHandle h, int64_t size) {
    LARGE_INTEGER li;
    li.QuadPart = size;
    if (!SetFilePointerEx(toHandle(h), li, nullptr, FILE_BEGIN)) return check(false, "SetFilePointerEx", {});
    return check(SetEndOfFile(toHandle(h)) != 0, "SetEndOfFile", {});
}

Status syncFile(FileHandle h) { return check(FlushFileBuffers(toHandle(h)) != 0, "FlushFileBuffers", {}); }

Status closeFile(FileHandle h) { return check(CloseHandle(toHandle(h)) != 0, "CloseHandle", {}); }

Status deleteFile(const std::string& path) {
    if (refusedName(path)) return check(false, "DeleteFileA", path);
    return check(retryWhileHeld(path, [&] { return DeleteFileA(path.c_str()) != 0; }), "DeleteFileA", path);
}

Status moveFile(const std::string& from, const std::string& to) {
    if (refusedName(from)) return check(false, "MoveFileExA", from);
    if (refusedName(to)) return check(false, "MoveFileExA", to);
    return check(retryWhileHeld(from, [&] { return MoveFileExA(from.c_str(), to.c_str(), 0) != 0; }), "MoveFileExA",
                 from);
}

Status replaceFile(const std::string& from, const std::string& to) {
    if (refusedName(from)) return check(false, "MoveFileExA", from);
    if (refusedName(to)) return check(false, "MoveFileExA", to);
    return check(retryWhileHeld(from,
                                [&] {
                                    return MoveFileExA(from.c_str(), to.c_str(),
                                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
                                }),
                 "MoveFileExA", from);
}

bool fileExists(const std::string& path) {
    if (refusedName(path)) return false;
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool listedFileExists(const std::string& directory, const std::string& name) {
    // The file system finds names case-blind by itself.
    std::string dir = directory.empty() ? std::string(".") : directory;
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return fileExists(dir + name);
}

namespace {
// The volume and index that identify a file whatever path names it.
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    if (refusedName(path)) return false;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}
}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!fileIdentity(a, &ia) || !fileIdentity(b, &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

bool directoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

Status makeDirectory(const std::string& path, Access) {
    return check(CreateDirectoryA(path.c_str(), nullptr) != 0, "CreateDirectoryA", path);
}

bool isPlainDirectory(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

Status syncDirectory(const std::string& path) {
    // A directory opens only with backup semantics, and flushes only when
    // opened for writing, which FAT volumes and some shares refuse. NTFS
    // writes every earlier change of names to its journal whenever a file of
    // the volume is flushed, so a refusal leaves nothing unsaved that the
    // callers' file flushes do not cover.
    const std::string dir = path.empty() ? std::string(".") : path;
    HANDLE h = CreateFileA(dir.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        if (e == ERROR_ACCESS_DENIED || e == ERROR_INVALID_PARAMETER || e == ERROR_NOT_SUPPORTED) return Status();
        return Status(failureOf(e), static_cast<int>(e), "CreateFileA", dir);
    }
    Status ok;
    if (!FlushFileBuffers(h)) {
        DWORD e = GetLastError();
        if (e != ERROR_ACCESS_DENIED && e != ERROR_INVALID_FUNCTION && e != ERROR_NOT_SUPPORTED) {
            ok = Status(failureOf(e), static_cast<int>(e), "FlushFileBuffers", dir);
        }
    }
    CloseHandle(h);
    return ok;
}

Status changeDirectory(const std::string& path) {
    return check(SetCurrentDirectoryA(path.c_str()) != 0, "SetCurrentDirectoryA", path);
}

std::vector<std::string> listFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::string pattern = directory.empty() ? std::string("*") : directory + "\\*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

namespace {

// Quotes one argument as the C runtime's command-line parser reads it back.
std::string quoteArgument(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            q.append(backslashes * 2 + 1, '\\');
            q.push_back('"');
            backslashes = 0;
        } else {
            q.append(backslashes, '\\');
            q.push_back(c);
            backslashes = 0;
        }
    }
    q.append(backslashes * 2, '\\');
    q.push_back('"');
    return q;
}
}  // namespace

int64_t copyFileData(FileHandle in, FileHandle out) {
    std::vector<char> buf(size_t{1} << 20);
    int64_t total = 0;
    for (;;) {
        int64_t r = readFile(in, buf.data(), buf.size());
        if (r < 0) return -1;
        if (r == 0) return total;
        if (writeFile(out, buf.data(), static_cast<size_t>(r)) != r) return -1;
        total += r;
    }
}

ProcessResult runHidden(const std::string& program, const std::vector<std::string>& args,
                        uint32_t timeoutMs) {
    ProcessResult res;
    std::string cmd = quoteArgument(program);
    for (const std::string& a : args) cmd += " " + quoteArgument(a);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return res;
    res.started = true;
    CloseHandle(pi.hThread);
    DWORD w = WaitForSingleObject(pi.hProcess, timeoutMs);
    if (w == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) {
            res.finished = true;
            res.exitCode = static_cast<int>(code);
        }
    } else {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    return res;
}

namespace {
// The directory part of a module's file name, with its trailing backslash;
// "" when the name cannot be had. `module` nullptr is the host program.
std::string moduleDirectory(HMODULE module) {
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);  // cut short: no path is ever used cut
    }
    size_t slash = buf.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : buf.substr(0, slash + 1);
}

// A directory from one of the size-then-fill calls, with a trailing backslash.
template <typename F>
std::string directoryFrom(F get) {
    UINT need = get(nullptr, 0);
    if (need == 0) return "";
    std::string buf(need, '\0');
    UINT n = get(buf.data(), need);
    if (n == 0 || n >= need) return "";
    buf.resize(n);
    if (buf.back() != '\\' && buf.back() != '/') buf += '\\';
    return buf;
}
}  // namespace

std::string compressorPath() {
    // Beside brem32.dll first: that is where the release puts zorpack.exe,
    // whichever directory the host runs from. Then the places WinExec looks,
    // in its order: the host program's directory, the current directory, the
    // system directory, the 16-bit system directory, the Windows directory,
    // and the directories of PATH.
    std::vector<std::string> dirs;
    HMODULE self = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&compressorPath), &self)) {
        dirs.push_back(moduleDirectory(self));
    }
    dirs.push_back(moduleDirectory(nullptr));
    dirs.push_back(directoryFrom([](char* b, UINT n) { return static_cast<UINT>(GetCurrentDirectoryA(n, b)); }));
    std::string windows = directoryFrom([](char* b, UINT n) { return GetWindowsDirectoryA(b, n); });
    dirs.push_back(directoryFrom([](char* b, UINT n) { return GetSystemDirectoryA(b, n); }));
    if (!windows.empty()) dirs.push_back(windows + "System\\");
    dirs.push_back(windows);
    DWORD need = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (need > 0) {
        std::string path(need, '\0');
        DWORD n = GetEnvironmentVariableA("PATH", path.data(), need);
        path.resize(n < need ? n : 0);
        size_t from = 0;
        while (from <= path.size()) {
            size_t semi = path.find(';', from);
            if (semi == std::string::npos) semi = path.size();
            std::string d = path.substr(from, semi - from);
            if (d.size() >= 2 && d.front() == '"' && d.back() == '"') d = d.substr(1, d.size() - 2);
            if (!d.empty()) dirs.push_back(d.back() == '\\' || d.back() == '/' ? d : d + "\\");
            from = semi + 1;
        }
    }
    for (const std::string& d : dirs) {
        if (d.empty()) continue;
        std::string candidate = d + "zorpack.exe";
        if (fileExists(candidate)) return candidate;
    }
    return "zorpack.exe";
}

void* loadLibrary(const std::string& name) {
    return reinterpret_cast<void*>(LoadLibraryExA(name.c_str(), nullptr, 0));
}

void* librarySymbol(void* library, const char* name) {
    HMODULE m = library ? static_cast<HMODULE>(library) : GetModuleHandleA(nullptr);
    return reinterpret_cast<void*>(GetProcAddress(m, name));
}

void sleepMs(uint32_t ms) { Sleep(ms); }

bool isTerminal(std::FILE* stream) { return stream && _isatty(_fileno(stream)) != 0; }

FileHandle standardOutput() {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    return h == nullptr || h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

FileHandle standardInput() {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    return h == nullptr || h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != FALSE;
}

void releaseFreeMemory() { _heapmin(); }

std::string errorText(int native) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(native), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "error " + std::to_string(native);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
}

std::tm localTime(std::time_t when) {
    std::tm out{};
    localtime_s(&out, &when);
    return out;
}

}  // namespace brem::plat::os
