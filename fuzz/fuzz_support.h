// What the fuzz targets share: a private working directory on a memory file
// system, in the host's path form, and a check that stops the run loudly.
// Only the standard library is used here: the same targets also replay their
// corpus through the Windows build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace brem::fuzz {

// A property of the library broke: report it and crash, so that libFuzzer
// keeps the input.
#define FUZZ_CHECK(cond)                                                            \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, \
                         __LINE__);                                                 \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

// One directory per process, made on first use and removed at exit: under
// $TMPDIR when set, else on /dev/shm where there is one, else in the
// system's temporary directory (where Windows keeps it).
inline const std::string& workDir() {
    // Never destroyed: the exit handler still needs it.
    static const std::string& dir = *new std::string([] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const char* base = std::getenv("TMPDIR");
        fs::path root;
        if (base && *base && fs::is_directory(base, ec)) {
            root = base;
        } else if (fs::is_directory("/dev/shm", ec)) {
            root = "/dev/shm";
        } else {
            root = fs::temp_directory_path(ec);
            if (ec) root = ".";
        }
        // A name no other process holds: create_directory refuses one that exists.
        std::random_device entropy;
        std::mt19937_64 pick((static_cast<uint64_t>(entropy()) << 32) ^ entropy());
        for (int attempt = 0;; ++attempt) {
            if (attempt == 100) std::abort();
            fs::path p = root / ("brem-fuzz-" + std::to_string(pick() % 1000000000u));
            if (fs::create_directory(p, ec)) {
                std::atexit([] {
                    std::error_code ec;
                    std::filesystem::remove_all(workDir(), ec);
                });
                return p.string();
            }
        }
    }());
    return dir;
}

// A subdirectory of the working directory, made on first use and emptied of
// its files on each later call: cheaper than making it afresh every run.
inline std::string emptiedDir(const std::string& name) {
    std::string p = workDir() + "/" + name;
    std::error_code ec;
    if (!std::filesystem::create_directory(p, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(p, ec)) std::filesystem::remove_all(entry.path(), ec);
    }
    return p;
}

inline std::string readBytes(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buf[16384];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
    return bytes;
}

inline bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Makes `dir` the current directory for the life of the guard, for the
// operations that work on files of the current directory. The fuzzer's own
// paths may be relative, so the old directory comes back after every run.
class InDir {
public:
    explicit InDir(const std::string& dir) {
        std::error_code ec;
        old_ = std::filesystem::current_path(ec);
        if (ec) std::abort();
        std::filesystem::current_path(dir, ec);
        if (ec) std::abort();
    }
    ~InDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        if (ec) std::abort();
    }
    InDir(const InDir&) = delete;
    InDir& operator=(const InDir&) = delete;

private:
    std::filesystem::path old_;
};

inline std::string toHost(std::string p) {
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    return p;
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

}  // namespace brem::fuzz
