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
std::array<Armed, static_cast<size_t>(Op::Count)> g_armed{};
int64_t g_diskLeft = -1;  // -1: no disk-full fault
int g_fired = 0;
}  // namespace

void arm(Op op, int nth, bool persistent) {
    Armed& a = g_armed[static_cast<size_t>(op)];
    a.countdown = nth;
    a.persistent = persistent;
    a.tripped = false;
}

void armDiskFull(int64_t bytes) { g_diskLeft = bytes < 0 ? 0 : bytes; }

void disarm() {
    g_armed = {};
    g_diskLeft = -1;
    g_fired = 0;
}

int fired() { return g_fired; }

bool shouldFail(Op op) {
    Armed& a = g_armed[static_cast<size_t>(op)];
    if (a.tripped && a.persistent) {
        ++g_fired;
        return true;
    }
    if (a.countdown <= 0) return false;
    if (--a.countdown == 0) {
        a.tripped = true;
        ++g_fired;
        return true;
    }
    return false;
}

int64_t allowWrite(int64_t n) {
    if (g_diskLeft < 0) return n;
    int64_t allowed = std::min(n, g_diskLeft);
    g_diskLeft -= allowed;
    if (allowed < n) ++g_fired;
    return allowed;
}
}  // namespace fault

using fault::Op;
using fault::shouldFail;

FileHandle openFile(const std::string& path, OpenMode mode) {
    if (shouldFail(mode == OpenMode::Read ? Op::Open : Op::Create)) return kNoFile;
    return os::openFile(path, mode);
}

int64_t readFile(FileHandle h, void* buf, size_t n) { return os::readFile(h, buf, n); }

int64_t writeFile(FileHandle h, const void* buf, size_t n) {
    if (shouldFail(Op::Write)) return -1;
    int64_t allowed = fault::allowWrite(static_cast<int64_t>(n));
    if (allowed == 0 && n > 0) return 0;
    int64_t w = os::writeFile(h, buf, static_cast<size_t>(allowed));
    return w;
}

bool seekFile(FileHandle h, int64_t offset) {
    if (offset < 0) return false;
    return os::seekFile(h, offset);
}

int64_t fileSize(FileHandle h) { return os::fileSize(h); }

bool truncateFile(FileHandle h, int64_t size) { return os::truncateFile(h, size); }

bool closeFile(FileHandle h) {
    bool injected = shouldFail(Op::Close);
    bool ok = os::closeFile(h);  // the handle is released either way
    return ok && !injected;
}

bool deleteFile(const std::string& path) {
    if (shouldFail(Op::Delete)) return false;
    return os::deleteFile(path);
}

bool moveFile(const std::string& from, const std::string& to) {
    if (shouldFail(Op::Move)) return false;
    return os::moveFile(from, to);
}

bool replaceFile(const std::string& from, const std::string& to) {
    if (shouldFail(Op::Move)) return false;
    return os::replaceFile(from, to);
}

bool fileExists(const std::string& path) { return os::fileExists(path); }
bool sameFile(const std::string& a, const std::string& b) { return os::sameFile(a, b); }
bool directoryExists(const std::string& path) { return os::directoryExists(path); }
bool makeDirectory(const std::string& path) { return os::makeDirectory(path); }
bool changeDirectory(const std::string& path) { return os::changeDirectory(path); }

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
    FileHandle in = openFile(from, OpenMode::Read);
    if (in == kNoFile) return CopyResult::SourceMissing;
    FileHandle out = openFile(to, OpenMode::Create);
    if (out == kNoFile) {
        os::closeFile(in);
        return CopyResult::TargetFailed;
    }
    int64_t size = os::fileSize(in);
    bool ok = size >= 0 && !shouldFail(Op::Write) && fault::allowWrite(size) == size &&
              os::copyFileData(in, out) >= 0;
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
bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return os::postWindowMessage(window, message, wParam, lParam);
}
void releaseFreeMemory() { os::releaseFreeMemory(); }
std::string systemPath(const std::string& path) { return os::systemPath(path); }

}  // namespace brem::plat
