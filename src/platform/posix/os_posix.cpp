// POSIX implementation of the platform seam, in portable POSIX calls (it
// serves Linux, and would serve the BSDs and macOS): the system calls, and
// the two things that make a POSIX file system look like the Windows one to
// the core: `\` as a separator and case-blind name lookup. What only Linux
// offers (a watched listing for case-blind lookup, a rename that never
// replaces, in-kernel copies) is asked of extras.h, with a portable way here
// for when it is not there. Its divisions, in order: the causes of failures;
// names (case-blind lookup, `\` to `/`); files and handles (open, untrusted
// open, read, write, seek, size); the calls that change names (truncate, sync,
// close, delete, move, replace); directories (exists, make, sync, change);
// copies and the compressor's path; the terminal, sleeping, window messages
// (none here), memory.
// dladdr, which glibc declares only with this.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "platform/posix/extras.h"
#include "platform/winpath.h"

extern char** environ;

namespace brem::plat::os {

namespace {

// The portable kind of an errno value.
Failure failureOf(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return Failure::Missing;
        case EEXIST:
        case ENOTEMPTY: return Failure::Exists;
        case EACCES:
        case EPERM:
        case EROFS: return Failure::Denied;
        case EBUSY:
        case ETXTBSY:
        case EAGAIN: return Failure::Busy;
        case ENOSPC:
        case EDQUOT: return Failure::Full;
        default: return Failure::Other;
    }
}

// The failure of `call` on `path`, with the cause the system gave.
Status failed(const char* call, const std::string& path, int e = errno) {
    return Status(failureOf(e), e, call, path);
}

Status check(bool ok, const char* call, const std::string& path) {
    return ok ? Status() : failed(call, path);
}

bool exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// Finds the entry of `dir` whose name equals `name` without regard to case.
bool findNoCase(const std::string& dir, const std::string& name, std::string* found) {
    extras::Answer known = extras::findNoCase(dir, name, found);
    if (known != extras::Answer::NotHere) return known == extras::Answer::Yes;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    bool ok = false;
    while (struct dirent* e = ::readdir(d)) {
        if (equalsNoCase(e->d_name, name)) {
            *found = e->d_name;
            ok = true;
            break;
        }
    }
    ::closedir(d);
    return ok;
}

std::string joinDir(const std::string& dir, const std::string& leaf) {
    if (dir.empty()) return leaf;
    if (dir.back() == '/') return dir + leaf;
    return dir + "/" + leaf;
}

}  // namespace

std::string systemPath(const std::string& path) {
    std::string p = path;
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    if (p.empty() || exists(p)) return p;
    // Resolve component by component, as the Windows file system finds a name
    // whatever its letter case; from the first component that matches nothing
    // the rest is kept as given (a file about to be created keeps its name).
    bool rooted = false;
    std::vector<std::string> parts = splitPath(p, &rooted);
    std::string cur = rooted ? "/" : "";
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::string exact = joinDir(cur, part);
        std::string found;
        if (part == "." || part == ".." || exists(exact)) {
            cur = exact;
        } else if (findNoCase(cur, part, &found)) {
            cur = joinDir(cur, found);
        } else {
            break;
        }
    }
    for (; i < parts.size(); ++i) cur = joinDir(cur, parts[i]);
    if (!p.empty() && p.back() == '/' && (cur.empty() || cur.back() != '/')) cur += '/';
    return cur;
}

namespace {
mode_t fileMode(Access access) { return access == Access::Shared ? 0644 : 0600; }
}  // namespace

FileHandle openFile(const std::string& path, OpenMode mode, Access access) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case OpenMode::Read: flags |= O_RDONLY; break;
        case OpenMode::Create: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case OpenMode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
        // O_EXCL fails on any name that is taken, a link included, and never
        // follows one.
        case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    }
    int fd = -1;
    if (mode == OpenMode::Read && !path.empty()) {
        // A name that exists exactly is used as it stands, so a read tries it
        // first and pays for the case-blind resolution only when it fails: a
        // reader opens its area file afresh for every chunk it hands back.
        // Opens that create keep resolving first, lest a second name of
        // another case be made beside the existing one.
        std::string exact = path;
        for (char& c : exact) {
            if (c == '\\') c = '/';
        }
        do {
            fd = ::open(exact.c_str(), flags);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        std::string sp = systemPath(path);
        if (sp.empty()) return kNoFile;
        do {
            fd = ::open(sp.c_str(), flags, fileMode(access));
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) return kNoFile;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

Untrusted openUntrusted(const std::string& path, FileHandle* handle) {
    *handle = kNoFile;
    std::string sp = systemPath(path);
    if (sp.empty()) return Untrusted::Missing;
    // O_NOFOLLOW refuses a link in the last component; O_NONBLOCK lets the
    // open of a FIFO return at once instead of waiting for a writer; and
    // O_NOCTTY keeps a terminal from becoming the process's own.
    int fd = -1;
    do {
        fd = ::open(sp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        switch (errno) {
            case ELOOP: return Untrusted::Link;
            case ENOENT:
            case ENOTDIR: return Untrusted::Missing;
            case ENXIO: return Untrusted::NotAFile;  // a socket, or a device without its driver
            case EACCES:
            case EPERM: return Untrusted::Denied;
            default: return Untrusted::Failed;
        }
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return Untrusted::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Untrusted::NotAFile;
    }
    // A regular file: reads behave as ever, without the flag.
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    *handle = fd;
    return Untrusted::Opened;
}

int64_t readFile(FileHandle h, void* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(static_cast<int>(h), buf, n);
        if (r >= 0) return r;
        if (errno != EINTR) return -1;
    }
}

int64_t writeFile(FileHandle h, const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(static_cast<int>(h), p + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSPC && done > 0) break;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (w == 0) break;
        done += static_cast<size_t>(w);
    }
    return static_cast<int64_t>(done);
}

bool seekFile(FileHandle h, int64_t offset) {
    return ::lseek(static_cast<int>(h), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

int64_t fileSize(FileHandle h) {
    struct stat st;
    if (::fstat(static_cast<int>(h), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

Status truncateFile(FileHandle h, int64_t size) {
    return check(::ftruncate(static_cast<int>(h), static_cast<off_t>(size)) == 0, "ftruncate", {});
}

Status syncFile(FileHandle h) {
    int r;
    do {
        r = ::fdatasync(static_cast<int>(h));
    } while (r != 0 && errno == EINTR);
    return check(r == 0, "fdatasync", {});
}

Status closeFile(FileHandle h) { return check(::close(static_cast<int>(h)) == 0, "close", {}); }

Status deleteFile(const std::string& path) {
    std::string sp = systemPath(path);
    struct stat st;
    if (::lstat(sp.c_str(), &st) != 0) return failed("lstat", sp);
    // A directory is no file of that name, as fileExists sees it.
    if (S_ISDIR(st.st_mode)) return Status(Failure::Missing, EISDIR, "unlink", sp);
    return check(::unlink(sp.c_str()) == 0, "unlink", sp);
}

Status moveFile(const std::string& from, const std::string& to) {
    std::string a = systemPath(from);
    std::string b = systemPath(to);
    if (!exists(a)) return failed("lstat", a, ENOENT);
    // A target that differs only in letter case is the same name on Windows.
    if (exists(b) && a != b) return failed("rename", b, EEXIST);
    extras::Answer renamed = extras::renameNoReplace(a.c_str(), b.c_str());
    if (renamed != extras::Answer::NotHere) return check(renamed == extras::Answer::Yes, "renameat2", a);
    // Without a rename that never replaces: link fails when the target
    // exists, so the target is never replaced.
    if (::link(a.c_str(), b.c_str()) == 0) {
        ::unlink(a.c_str());
        return {};
    }
    // A directory cannot be linked, nor can anything on a file system
    // without hard links: a rename, the target found missing just above, is
    // the nearest the system offers.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return failed("link", a);
    return check(::rename(a.c_str(), b.c_str()) == 0, "rename", a);
}

Status replaceFile(const std::string& from, const std::string& to) {
    std::string a = systemPath(from);
    if (!exists(a)) return failed("lstat", a, ENOENT);
    return check(::rename(a.c_str(), systemPath(to).c_str()) == 0, "rename", a);
}

bool fileExists(const std::string& path) {
    // lstat, as Windows looks at a link itself: a dangling link is there.
    struct stat st;
    return ::lstat(systemPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool listedFileExists(const std::string& directory, const std::string& name) {
    // The directory may need the case-blind resolution; the name came from
    // the directory itself and is taken as it stands, so the check never
    // reads a directory of many thousands of entries.
    std::string dir = directory.empty() ? std::string(".") : systemPath(directory);
    struct stat st;
    return !dir.empty() && ::lstat(joinDir(dir, name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::stat(systemPath(a).c_str(), &sa) != 0 || ::stat(systemPath(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool directoryExists(const std::string& path) {
    struct stat st;
    std::string sp = systemPath(path);
    return !sp.empty() && ::stat(sp.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status makeDirectory(const std::string& path, Access access) {
    std::string sp = systemPath(path);
    if (sp.empty()) return failed("mkdir", sp, ENOENT);
    return check(::mkdir(sp.c_str(), access == Access::Shared ? 0755 : 0700) == 0, "mkdir", sp);
}

bool isPlainDirectory(const std::string& path) {
    struct stat st;
    std::string sp = systemPath(path);
    while (sp.size() > 1 && sp.back() == '/') sp.pop_back();  // a trailing slash would follow a link
    return !sp.empty() && ::lstat(sp.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status syncDirectory(const std::string& path) {
    std::string sp = path.empty() ? std::string(".") : systemPath(path);
    int fd;
    do {
        fd = ::open(sp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return failed("open", sp);
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    // EINVAL: a file system without directory data of its own to write.
    int e = errno;
    bool ok = r == 0 || e == EINVAL || e == EROFS;
    ::close(fd);
    return ok ? Status() : failed("fsync", sp, e);
}

Status changeDirectory(const std::string& path) {
    std::string sp = systemPath(path);
    if (sp.empty()) return failed("chdir", sp, ENOENT);
    return check(::chdir(sp.c_str()) == 0, "chdir", sp);
}

std::vector<std::string> listFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::string dir = directory.empty() ? "." : systemPath(directory);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (struct dirent* e = ::readdir(d)) {
        // The entry's type usually comes with it; only where the file system
        // does not say is the entry asked (a spool may hold many thousands).
        // Links are taken as the entries they are, never followed.
        if (e->d_type == DT_DIR) continue;
        if (e->d_type == DT_UNKNOWN) {
            std::string full = joinDir(dir, e->d_name);
            struct stat st;
            if (::lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        }
        names.push_back(e->d_name);
    }
    ::closedir(d);
    return names;
}

int64_t copyFileData(FileHandle in, FileHandle out) {
    int64_t total = 0;
    extras::Answer inKernel = extras::copyInKernel(static_cast<int>(in), static_cast<int>(out), &total);
    if (inKernel == extras::Answer::Yes) return total;
    if (inKernel == extras::Answer::No) return -1;
    std::vector<char> buf(size_t{1} << 20);
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
    std::vector<std::string> all;
    all.push_back(program);
    for (const std::string& a : args) all.push_back(a);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string prog = program;
    for (char& c : prog) {
        if (c == '\\') c = '/';
    }
    pid_t pid;
    if (::posix_spawnp(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return res;
    res.started = true;
    // Waits in small steps so that a hung program is stopped at the limit.
    uint64_t waitedUs = 0;
    uint64_t limitUs = static_cast<uint64_t>(timeoutMs) * 1000;
    uint64_t stepUs = 200;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            res.finished = true;
            res.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return res;
        }
        if (r < 0 && errno != EINTR) return res;
        if (waitedUs >= limitUs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return res;
        }
        struct timespec ts = {0, static_cast<long>(stepUs * 1000)};
        ::nanosleep(&ts, nullptr);
        waitedUs += stepUs;
        if (stepUs < 20000) stepUs *= 2;
    }
}

namespace {
bool isExecutable(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}
}  // namespace

std::string compressorPath() {
    const char* name = "zorpack";
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&compressorPath), &info) && info.dli_fname) {
        std::string self = info.dli_fname;
        size_t slash = self.rfind('/');
        std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
        std::string candidate = dir + "/" + name;
        if (isExecutable(candidate)) return candidate;
    }
    if (const char* path = ::getenv("PATH")) {
        std::string all = path;
        size_t start = 0;
        while (start <= all.size()) {
            size_t colon = all.find(':', start);
            std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!dir.empty()) {
                std::string candidate = dir + "/" + name;
                if (isExecutable(candidate)) return candidate;
            }
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    return name;
}

void* loadLibrary(const std::string& name) { return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* librarySymbol(void* library, const char* name) {
    return ::dlsym(library ? library : RTLD_DEFAULT, name);
}

FileHandle standardOutput() { return STDOUT_FILENO; }

FileHandle standardInput() { return STDIN_FILENO; }

bool isTerminal(std::FILE* stream) { return stream && isatty(fileno(stream)) != 0; }

void sleepMs(uint32_t ms) {
    struct timespec ts = {static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000L)};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    using PostFn = int (*)(void*, uint32_t, uintptr_t, intptr_t);
    // Looked up on every call: the host may define it in a library it loads
    // after ours, and dlsym is safe on any thread.
    void* sym = ::dlsym(RTLD_DEFAULT, "PostMessageA");
    if (!sym) return false;
    PostFn post = reinterpret_cast<PostFn>(sym);
    return post(reinterpret_cast<void*>(window), message, wParam, lParam) != 0;
}

void releaseFreeMemory() { extras::releaseFreeMemory(); }

std::string errorText(int native) { return std::strerror(native); }

std::tm localTime(std::time_t when) {
    std::tm out{};
    ::localtime_r(&when, &out);
    return out;
}

}  // namespace brem::plat::os
