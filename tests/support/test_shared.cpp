// The helpers that are the same on every system, shared by the POSIX and the
// Windows test support.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace brem::test {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string toHost(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

std::string dataFile(const std::string& name) { return std::string(BREM_TEST_DATA) + "/" + name; }

std::string binDir() { return BREM_BIN_DIR; }

std::vector<char> hostBuffer(const std::string& dir) {
    std::vector<char> b(dir.size() + 64, '\0');
    std::memcpy(b.data(), dir.data(), dir.size());
    return b;
}

}  // namespace brem::test
