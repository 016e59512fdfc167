// The portable forwarding layer: each call checks the test hooks of fault.h,
// then goes to the system's implementation in os.h.
#include "platform/platform.h"

#include <algorithm>
#include <array>

#include "platform/fault.h"
#include "platform/os.h"
#include "platform/winpath.h"

namespace brem::plat {

namespace fault {
namespace {
struct Armed {
    int countdown = 0;  // fires when it reaches 0 on a call; 0 = not armed
    bool persistent = false;
    bool tripped = false;
};

// Everything the test hooks keep between calls, in one place; a fresh value
// is the unarmed state.
struct Hooks {
    std::array<Armed, static_cast<size_t>(Op::Count)> armed{};
    int64_t diskLeft = -1;  // -1: no disk-full fault
    int fired = 0;
    std::string attributesName;  // armAttributes: the last component, and its bits
    uint32_t attributes = 0;

    void reset() { *this = Hooks{}; }
};
Hooks g_hooks;

// The change recorder, apart from the faults: disarm() leaves it running.
struct Recording {
    Recorder recorder = nullptr;
    void* context = nullptr;
};
Recording g_recording;
}  // namespace

void record(Recorder recorder, void* context) { g_recording = Recording{recorder, context}; }

bool recording() { return g_recording.recorder != nullptr; }

void noteChange(const ChangeEvent& event) {
    if (g_recording.recorder) g_recording.recorder(event, g_recording.context);
}

void arm(Op op, int nth, bool persistent) {
    Armed& a = g_hooks.armed[static_cast<size_t>(op)];
    a.countdown = nth;
    a.persistent = persistent;
    a.tripped = false;
}

void armDiskFull(int64_t bytes) { g_hooks.diskLeft = bytes < 0 ? 0 : bytes; }

void disarm() { g_hooks.reset(); }

void armAttributes(const std::string& name, uint32_t bits) {
    g_hooks.attributesName = name;
    g_hooks.attributes = bits;
}

uint32_t armedAttributes(const std::string& path) {
    if (g_hooks.attributes == 0 || !equalsNoCase(leafOf(path), g_hooks.attributesName)) return 0;
    ++g_hooks.fired;
    return g_hooks.attributes;
}

int fired() { return g_hooks.fired; }

bool shouldFail(Op op) {
    Armed& a = g_hooks.armed[static_cast<size_t>(op)];
    if (a.tripped && a.persistent) {
        ++g_hooks.fired;
        return true;
    }
    if (a.countdown <= 0) return false;
    if (--a.countdown == 0) {
        a.tripped = true;
        ++g_hooks.fired;
        return true;
    }
    return false;
}

int64_t allowWrite(int64_t n) {
    if (g_hooks.diskLeft < 0) return n;
    int64_t allowed = std::min(n, g_hooks.diskLeft);
    g_hooks.diskLeft -= allowed;
    if (allowed < n) ++g_hooks.fired;
    return allowed;
}
}  // namespace fault

using fault::Change;
using fault::Op;
using fault::shouldFail;

std::string Status::describe() const {
    if (*this) return std::string();
    std::string text = call_;
    if (!path_.empty()) text += " " + path_;
    if (kind_ == Failure::Injected) return text + ": failure injected by a test hook";
    return text + ": " + os::errorText(native_) + " (" + std::to_string(native_) + ")";
}

namespace {
// What a call made to fail by a test hook hands back.
Status injected(const char* call, const std::string& path = std::string()) {
    return Status(Failure::Injected, 0, call, path);
}
}  // namespace

namespace {

// Tells the recorder of a file opened for writing, and whether the open may
// have made or emptied it.
FileHandle notedOpen(OpenMode mode, FileHandle h, const std::string& systemName, bool existed) {
    if (h != kNoFile && mode != OpenMode::Read && fault::recording()) {
        fault::ChangeEvent e{Change::Open, systemName, {}, h, mode == OpenMode::Create || !existed};
        fault::noteChange(e);
    }
    return h;
}

void noted(Change what, const std::string& path, const std::string& other = std::string(), FileHandle h = kNoFile) {
    fault::noteChange(fault::ChangeEvent{what, path, other, h, false});
}

}  // namespace

FileHandle openFile(const std::string& path, OpenMode mode, Access access) {
    if (shouldFail(mode == OpenMode::Read ? Op::Open : Op::Create)) return kNoFile;
    std::string systemName;
    bool existed = false;
    if (mode != OpenMode::Read && fault::recording()) {
        systemName = os::systemPath(path);
        existed = os::fileExists(path);
    }
    return notedOpen(mode, os::openFile(path, mode, access), systemName, existed);
}

Untrusted openUntrusted(const std::string& path, FileHandle* handle) {
    *handle = kNoFile;
    if (shouldFail(Op::Open)) return Untrusted::Failed;
    return os::openUntrusted(path, handle);
}

int64_t readFile(FileHandle h, void* buf, size_t n) {
    if (shouldFail(Op::Read)) return -1;
    return os::readFile(h, buf, n);
}

int64_t writeFile(FileHandle h, const void* buf, size_t n) {
    if (shouldFail(Op::Write)) return -1;
    int64_t allowed = fault::allowWrite(static_cast<int64_t>(n));
    if (allowed == 0 && n > 0) return 0;
    int64_t w = os::writeFile(h, buf, static_cast<size_t>(allowed));
    if (w > 0 && fault::recording()) noted(Change::Write, {}, {}, h);
    return w;
}

bool seekFile(FileHandle h, int64_t offset) {
    if (offset < 0) return false;
    return os::seekFile(h, offset);
}

int64_t fileSize(FileHandle h) { return os::fileSize(h); }

Status truncateFile(FileHandle h, int64_t size) {
    if (shouldFail(Op::Truncate)) return injected("truncate");
    Status ok = os::truncateFile(h, size);
    if (ok && fault::recording()) noted(Change::Truncate, {}, {}, h);
    return ok;
}

Status syncFile(FileHandle h) {
    if (shouldFail(Op::Sync)) return injected("sync");
    Status ok = os::syncFile(h);
    if (ok && fault::recording()) noted(Change::SyncFile, {}, {}, h);
    return ok;
}

Status closeFile(FileHandle h) {
    bool fail = shouldFail(Op::Close);
    Status ok = os::closeFile(h);  // the handle is released either way
    if (fault::recording()) noted(Change::Close, {}, {}, h);
    if (fail && ok) return injected("close");
    return ok;
}

Status deleteFile(const std::string& path) {
    if (shouldFail(Op::Delete)) return injected("delete", path);
    if (!fault::recording()) return os::deleteFile(path);
    const std::string name = os::systemPath(path);
    Status ok = os::deleteFile(path);
    if (ok) noted(Change::Delete, name);
    return ok;
}

namespace {
// A rename, told to the recorder under the names it had before.
template <typename F>
Status notedRename(const std::string& from, const std::string& to, F rename) {
    if (!fault::recording()) return rename();
    const std::string a = os::systemPath(from), b = os::systemPath(to);
    Status ok = rename();
    if (ok) noted(Change::Rename, a, b);
    return ok;
}
}  // namespace

Status moveFile(const std::string& from, const std::string& to) {
    if (shouldFail(Op::Move)) return injected("move", from);
    return notedRename(from, to, [&] { return os::moveFile(from, to); });
}

Status replaceFile(const std::string& from, const std::string& to) {
    if (shouldFail(Op::Move)) return injected("replace", from);
    return notedRename(from, to, [&] { return os::replaceFile(from, to); });
}

bool fileExists(const std::string& path) { return os::fileExists(path); }
bool listedFileExists(const std::string& directory, const std::string& name) {
    return os::listedFileExists(directory, name);
}
bool sameFile(const std::string& a, const std::string& b) { return os::sameFile(a, b); }
bool directoryExists(const std::string& path) { return os::directoryExists(path); }
Status makeDirectory(const std::string& path, Access access) {
    Status ok = os::makeDirectory(path, access);
    if (ok && fault::recording()) noted(Change::MakeDirectory, os::systemPath(path));
    return ok;
}

Status syncDirectory(const std::string& path) {
    if (shouldFail(Op::Sync)) return injected("sync", path);
    Status ok = os::syncDirectory(path);
    if (ok && fault::recording()) noted(Change::SyncDirectory, os::systemPath(path.empty() ? std::string(".") : path));
    return ok;
}
bool isPlainDirectory(const std::string& path) { return os::isPlainDirectory(path); }
Status changeDirectory(const std::string& path) { return os::changeDirectory(path); }

LockResult tryLockFile(const std::string& path, FileHandle* held, std::string* reason) {
    Status why;
    LockResult r = shouldFail(Op::Lock) ? (why = injected("lock", path), LockResult::Failed)
                                        : os::tryLockFile(path, held, &why);
    if (r == LockResult::Failed && reason) {
        *reason = why.kind() == Failure::Injected ? why.describe() : os::errorText(why.native());
    }
    return r;
}

void unlockFile(FileHandle held) { os::unlockFile(held); }

std::vector<std::string> findFiles(const std::string& pattern) {
    std::string dir = directoryOf(pattern);
    std::string wild = leafOf(pattern);
    // Sorted by a folded key computed once per name: a spool may hold many
    // thousands of files, and the search runs on every import call.
    std::vector<std::pair<std::string, std::string>> keyed;
    for (std::string& name : os::listFiles(dir)) {
        if (!wildcardMatch(wild, name)) continue;
        std::string key = name;
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        keyed.emplace_back(std::move(key), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> names;
    names.reserve(keyed.size());
    for (auto& k : keyed) names.push_back(std::move(k.second));
    return names;
}

CopyResult copyFile(const std::string& from, const std::string& to) {
    FileHandle in = kNoFile;
    if (openUntrusted(from, &in) != Untrusted::Opened) return CopyResult::SourceMissing;
    // The target is replaced, as a copy over an existing file always has:
    // whatever stands under its name goes first.
    if (os::fileExists(to)) os::deleteFile(to);
    FileHandle out = openFile(to, OpenMode::CreateNew);
    if (out == kNoFile) {
        os::closeFile(in);
        return CopyResult::TargetFailed;
    }
    int64_t size = os::fileSize(in);
    bool ok = size >= 0 && !shouldFail(Op::Write) && fault::allowWrite(size) == size &&
              os::copyFileData(in, out) >= 0;
    if (fault::recording()) noted(Change::Write, {}, {}, out);
    os::closeFile(in);
    if (!closeFile(out)) ok = false;
    return ok ? CopyResult::Copied : CopyResult::WriteFailed;
}

ProcessResult runHidden(const std::string& program, const std::vector<std::string>& args,
                        uint32_t timeoutMs) {
    if (shouldFail(Op::ProcessStart)) return ProcessResult{};
    return os::runHidden(program, args, timeoutMs);
}

std::string compressorPath() { return os::compressorPath(); }
void* loadLibrary(const std::string& name) { return os::loadLibrary(name); }
void* librarySymbol(void* library, const char* name) { return os::librarySymbol(library, name); }
void sleepMs(uint32_t ms) { os::sleepMs(ms); }

FileHandle standardOutput() { return os::standardOutput(); }
FileHandle standardInput() { return os::standardInput(); }
bool isTerminal(std::FILE* stream) { return os::isTerminal(stream); }
bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return os::postWindowMessage(window, message, wParam, lParam);
}
void releaseFreeMemory() { os::releaseFreeMemory(); }
std::string systemPath(const std::string& path) { return os::systemPath(path); }
std::tm localTime(std::time_t when) { return os::localTime(when); }

}  // namespace brem::plat
