// The shared test helpers on Windows, for the sweep programs run under Wine:
// the same contract as the POSIX helpers, on the Win32 calls and the C
// runtime. A command line is started without a shell (none is there): the few
// commands the sweeps run are a program, its arguments in single quotes or
// bare, and optional < and > redirections; "compress" and ".../zorpack" are
// this build's zorpack.exe, which is given compress's input by name.
#include <windows.h>
#include <psapi.h>
#include <direct.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

extern "C" char* mkdtemp(char* templ) {
    size_t n = std::strlen(templ);
    if (n < 6 || std::strcmp(templ + n - 6, "XXXXXX") != 0) return nullptr;
    static unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (size_t i = n - 6; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            templ[i] = digits[(seed >> 16) % 36];
        }
        if (CreateDirectoryA(templ, nullptr)) return templ;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

namespace brem::test {

// Where the directory lies is the same for every Place here: Windows has no
// memory file system to prefer.
ScratchDir::ScratchDir(Place) {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/brem-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

namespace {
// Removes a tree by the "\\?\" form of its full path, which also reaches
// the names that Windows reads as devices ("Com1 .X"): std::filesystem
// cannot remove those, and keeps trying.
void removeTree(const std::string& full) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((full + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(full + "\\" + name);
            } else {
                SetFileAttributesA((full + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((full + "\\" + name).c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(full.c_str());
}
}  // namespace

ScratchDir::~ScratchDir() {
    if (std::getenv("BREM_KEEP_TEST_DIRS")) return;
    char full[MAX_PATH + 1];
    DWORD n = GetFullPathNameA(toHost(path_).c_str(), sizeof full, full, nullptr);
    if (n > 0 && n <= MAX_PATH) removeTree("\\\\?\\" + std::string(full, n));
}

std::string ScratchDir::hostPath() const { return toHost(path_); }

std::string ScratchDir::subdir(const std::string& name) const {
    std::string p = file(name);
    CreateDirectoryA(p.c_str(), nullptr);
    return p;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return -1;
    return (static_cast<int64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::strcmp(fd.cFileName, ".") && std::strcmp(fd.cFileName, "..")) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

HANDLE openRedirect(const std::string& path, bool out) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), out ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &sa,
                       out ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int runCommand(const std::string& cmd) {
    std::vector<std::string> words;
    std::string in, out;
    for (size_t i = 0; i < cmd.size();) {
        if (cmd[i] == ' ') {
            ++i;
            continue;
        }
        char redirect = 0;
        if (cmd[i] == '<' || cmd[i] == '>') {
            redirect = cmd[i++];
            while (i < cmd.size() && cmd[i] == ' ') ++i;
        }
        std::string w;
        while (i < cmd.size() && cmd[i] != ' ') {
            if (cmd[i] == '\'') {
                size_t end = cmd.find('\'', i + 1);
                if (end == std::string::npos) return -1;
                w += cmd.substr(i + 1, end - i - 1);
                i = end + 1;
            } else {
                w += cmd[i++];
            }
        }
        if (redirect == '<') {
            in = w;
        } else if (redirect == '>') {
            out = w;
        } else {
            words.push_back(w);
        }
    }
    if (words.empty()) return -1;
    if (words[0] == "compress") {
        // zorpack takes its input by name only.
        words[0] = binDir() + "/zorpack";
        if (!in.empty()) words.push_back(in);
        in.clear();
    }
    if (words[0].size() >= 7 && words[0].compare(words[0].size() - 7, 7, "zorpack") == 0) words[0] += ".exe";

    std::string line;
    for (const std::string& w : words) line += (line.empty() ? "\"" : " \"") + toHost(w) + "\"";
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.empty() ? GetStdHandle(STD_INPUT_HANDLE) : openRedirect(in, false);
    si.hStdOutput = out.empty() ? GetStdHandle(STD_OUTPUT_HANDLE) : openRedirect(out, true);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    BOOL started = si.hStdInput != INVALID_HANDLE_VALUE && si.hStdOutput != INVALID_HANDLE_VALUE &&
                   CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (!in.empty() && si.hStdInput != INVALID_HANDLE_VALUE) CloseHandle(si.hStdInput);
    if (!out.empty() && si.hStdOutput != INVALID_HANDLE_VALUE) CloseHandle(si.hStdOutput);
    if (!started) return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// Windows names hold no '\\', ':' or control bytes, a device name opens the
// device, and there are no FIFOs or permission bits.
bool posixFileSystem() { return false; }

bool makeFifo(const std::string&) { return false; }

bool writeExactName(const std::string& dir, const std::string& name, const std::string& bytes) {
    char full[MAX_PATH + 1];
    DWORD n = GetFullPathNameA(toHost(dir).c_str(), sizeof full, full, nullptr);
    if (n == 0 || n > MAX_PATH) return false;
    const std::string path = "\\\\?\\" + std::string(full, n) + "\\" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(h);
    return ok;
}

int64_t peakMemory() {
    PROCESS_MEMORY_COUNTERS pmc;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) return -1;
    return static_cast<int64_t>(pmc.PeakWorkingSetSize);
}

}  // namespace brem::test
