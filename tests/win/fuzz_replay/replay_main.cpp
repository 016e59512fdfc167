// Replays a fuzz target's corpus through the Windows build: the target's
// LLVMFuzzerTestOneInput is linked with the core and the Win32 platform layer
// and called once for every input, as libFuzzer would, so that a crash or a
// hang only the Win32 layer or the Windows C runtime shows is caught.
//   fuzz_replay_<target>.exe [--input-seconds N] FILE-OR-DIRECTORY...
// A directory stands for its files, in name order. The exit status is 0 when
// every input ran through; otherwise the input is named on stderr: a failed
// check (abort), an exception such as an access violation, or an input that
// ran longer than N seconds (default 20).
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
#ifdef BREM_REPLAY_HAS_INITIALIZE
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
#endif

namespace {

// The input being run, for the handlers that report a failure.
char g_current[MAX_PATH * 2] = "(none)";
volatile LONG g_running = 0;       // 1 while an input runs
volatile DWORD g_startedAt = 0;    // its GetTickCount() at the start
DWORD g_limitMs = 20000;

void reportAndDie(const char* what) {
    std::fprintf(stderr, "replay: %s on input %s\n", what, g_current);
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
}

void onAbort(int) { reportAndDie("failed check or abort"); }

LONG WINAPI onException(EXCEPTION_POINTERS* info) {
    char what[64];
    std::snprintf(what, sizeof what, "exception 0x%08lx",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    reportAndDie(what);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Watches the input being run: one that takes longer than the limit counts
// as a hang, and the process ends naming it rather than waiting for the
// test's own timeout.
DWORD WINAPI watchdog(void*) {
    for (;;) {
        Sleep(200);
        if (g_running && GetTickCount() - g_startedAt > g_limitMs) reportAndDie("hang");
    }
}

bool readFile(const std::string& path, std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    bytes.clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// The inputs an argument stands for: itself, or a directory's plain files.
bool collect(const std::string& arg, std::vector<std::string>& inputs) {
    DWORD attrs = GetFileAttributesA(arg.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        inputs.push_back(arg);
        return true;
    }
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((arg + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) inputs.push_back(arg + "\\" + name);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(onException);
    std::signal(SIGABRT, onAbort);
#ifdef BREM_REPLAY_HAS_INITIALIZE
    LLVMFuzzerInitialize(&argc, &argv);
#endif
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--input-seconds" && i + 1 < argc) {
            g_limitMs = static_cast<DWORD>(std::atoi(argv[++i])) * 1000;
            continue;
        }
        if (!collect(arg, inputs)) {
            std::fprintf(stderr, "replay: cannot read %s\n", arg.c_str());
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }
    HANDLE dog = CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
    if (!dog) return 2;

    const DWORD began = GetTickCount();
    DWORD slowest = 0;
    std::string slowestName;
    size_t totalBytes = 0;
    std::string bytes;
    for (const std::string& input : inputs) {
        if (!readFile(input, bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
            return 2;
        }
        std::snprintf(g_current, sizeof g_current, "%s", input.c_str());
        // As libFuzzer does: a buffer of the input's own size, never a null
        // pointer, even for an empty input.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
        std::memcpy(copy.get(), bytes.data(), bytes.size());
        g_startedAt = GetTickCount();
        InterlockedExchange(&g_running, 1);
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
        InterlockedExchange(&g_running, 0);
        DWORD took = GetTickCount() - g_startedAt;
        if (took >= slowest) {
            slowest = took;
            slowestName = input;
        }
        totalBytes += bytes.size();
    }
    std::printf("replay: %u inputs (%u bytes) in %lu ms; slowest %lu ms (%s)\n", static_cast<unsigned>(inputs.size()),
                static_cast<unsigned>(totalBytes), static_cast<unsigned long>(GetTickCount() - began),
                static_cast<unsigned long>(slowest), slowestName.c_str());
    // The watchdog is not joined: the process's end stops it, after the
    // targets' exit handlers have removed their scratch directories.
    return 0;
}
