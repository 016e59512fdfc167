#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host.h"

namespace wintest {

namespace {
std::vector<Case>& cases() {
    static std::vector<Case> c;
    return c;
}
int g_failures = 0;
std::string g_data;
HMODULE g_lib = nullptr;
}  // namespace

Register::Register(const char* name, void (*run)()) { cases().push_back({name, run}); }

void fail(const char* file, int line, const std::string& what) {
    ++g_failures;
    std::printf("  FAILED %s:%d: %s\n", file, line, what.c_str());
}

HMODULE library() {
    if (!g_lib) g_lib = LoadLibraryA("brem32.dll");
    return g_lib;
}

FARPROC symbol(const char* exportedName) {
    FARPROC p = library() ? GetProcAddress(library(), exportedName) : nullptr;
    if (!p) fail(__FILE__, __LINE__, std::string("export missing: ") + exportedName);
    return p;
}

std::string scratchDir() {
    char tmp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof tmp, tmp);
    std::string base = n ? std::string(tmp, n) : std::string(".\\");
    static unsigned counter = 0;
    for (;;) {
        std::string p = base + "wintest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        if (CreateDirectoryA(p.c_str(), nullptr)) return p;
    }
}

std::string subdir(const std::string& parent, const char* name) {
    std::string p = parent + "\\" + name;
    CreateDirectoryA(p.c_str(), nullptr);
    return p;
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        fail(__FILE__, __LINE__, "cannot write " + path);
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string readFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

const std::string& dataDir() { return g_data; }

int runAndWait(std::string commandLine) {
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

std::vector<char> dirBuffer(const std::string& dir) {
    std::vector<char> b(dir.size() + 64, '\0');
    std::memcpy(b.data(), dir.data(), dir.size());
    return b;
}

}  // namespace wintest

int main(int argc, char** argv) {
    using namespace wintest;
    if (argc > 1) {
        // The data directory is given as a POSIX path by CTest; Wine maps the
        // root of the Unix file system to drive Z:.
        g_data = argv[1];
        if (!g_data.empty() && g_data[0] == '/') g_data = "Z:" + g_data;
        std::replace(g_data.begin(), g_data.end(), '/', '\\');
    }
    if (!library()) {
        std::printf("cannot load brem32.dll (error %lu)\n", GetLastError());
        std::printf("0 passed, 1 failed\n");
        return 1;
    }
    const char* only = argc > 2 ? argv[2] : nullptr;
    int passed = 0, failed = 0;
    for (const Case& c : cases()) {
        if (only && std::strstr(c.name, only) == nullptr) continue;
        int before = g_failures;
        std::printf("[ RUN ] %s\n", c.name);
        std::fflush(stdout);
        c.run();
        if (g_failures == before) {
            ++passed;
            std::printf("[  OK ] %s\n", c.name);
        } else {
            ++failed;
            std::printf("[FAIL ] %s\n", c.name);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
