// The Windows test host's small framework: checks, a registry of cases, the
// loaded library and scratch directories.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

struct Case {
    const char* name;
    void (*run)();
};

// Registers a case at start-up: static wintest::Register r("name", fn);
struct Register {
    Register(const char* name, void (*run)());
};

// Records a failed check (file and line) without stopping the case.
void fail(const char* file, int line, const std::string& what);

#define WT_CHECK(cond)                                                 \
    do {                                                               \
        if (!(cond)) ::wintest::fail(__FILE__, __LINE__, #cond);       \
    } while (0)
#define WT_EQ(a, b)                                                                              \
    do {                                                                                         \
        if (!((a) == (b))) ::wintest::fail(__FILE__, __LINE__, #a " == " #b);                    \
    } while (0)

// The library under test, loaded once.
HMODULE library();
// GetProcAddress by the exported name; records a failure when missing.
FARPROC symbol(const char* exportedName);

template <typename F>
F fn(const char* exportedName) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(symbol(exportedName)));
}

// A new empty directory under the temporary directory (backslash form,
// without a trailing backslash).
std::string scratchDir();
std::string subdir(const std::string& parent, const char* name);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
std::vector<std::string> listDir(const std::string& dir);  // sorted names of files
// The directory of the shared test data (argument 1 of the host).
const std::string& dataDir();

// Runs a command line hidden and waits (up to 120 s); its exit status, or -1.
int runAndWait(std::string commandLine);

// A writable directory buffer for the importers.
std::vector<char> dirBuffer(const std::string& dir);

}  // namespace wintest
