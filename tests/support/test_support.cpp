#include "support/test_support.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace brem::test {

ScratchDir::ScratchDir(Place place) {
    const char* env = std::getenv("TMPDIR");
    std::string base = env && *env ? env : "/tmp";
    if (!(env && *env) && place == Place::InMemory && std::filesystem::is_directory("/dev/shm")) base = "/dev/shm";
    std::string tmpl = base + "/brem-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

ScratchDir::~ScratchDir() {
    if (std::getenv("BREM_KEEP_TEST_DIRS")) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::hostPath() const { return toHost(path_); }

std::string ScratchDir::subdir(const std::string& name) const {
    std::string p = file(name);
    ::mkdir(p.c_str(), 0755);
    return p;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int64_t fileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

int runCommand(const std::string& cmd) {
    int st = std::system(cmd.c_str());
    if (st == -1) return -1;
    return WEXITSTATUS(st);
}

bool posixFileSystem() { return true; }

bool makeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

bool writeExactName(const std::string& dir, const std::string& name, const std::string& bytes) {
    writeFile(dir + "/" + name, bytes);
    return exists(dir + "/" + name);
}

int64_t peakMemory() {
    struct rusage ru;
    if (::getrusage(RUSAGE_SELF, &ru) != 0) return -1;
    return static_cast<int64_t>(ru.ru_maxrss) * 1024;  // kilobytes on Linux
}

}  // namespace brem::test
