// zorpack: the compressor of news batches.
//
//   zorpack -fk -b N PATH   compresses PATH into PATH.z (PATH stays)
//   zorpack -d -b N PATH    expands PATH.z into PATH (PATH.z stays)
//   zorpack -c ...          writes the result to standard output instead
//
// The format is that of Unix compress (".Z"), so batches from news peers
// expand and what zorpack writes expands with uncompress or gzip -d. The
// result is written to a temporary file beside the target and renamed into
// place only when it is complete, so a failed run never leaves a partial
// file under the target's name. `\` separates directories on every system,
// as in the command lines of the library.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "lzw.h"

namespace {

const char* kUsage =
    "usage: zorpack [-d] [-f] [-k] [-c] [-b BITS] PATH\n"
    "  without -d: compresses PATH into PATH.z\n"
    "  -d        expands PATH.z into PATH\n"
    "  -b BITS   largest code size, 9 to 16 (default 16); when expanding, the\n"
    "            stream's own header decides and BITS is only checked\n"
    "  -f        replace an existing target\n"
    "  -k        keep the input (zorpack always does)\n"
    "  -c        write to standard output, create no file\n";

class FileSource : public zorpack::Source {
public:
    explicit FileSource(std::FILE* f) : f_(f) {}
    long read(unsigned char* buf, size_t n) override {
        size_t got = std::fread(buf, 1, n, f_);
        if (got == 0 && std::ferror(f_)) return -1;
        return static_cast<long>(got);
    }

private:
    std::FILE* f_;
};

class FileSink : public zorpack::Sink {
public:
    explicit FileSink(std::FILE* f) : f_(f) {}
    bool write(const unsigned char* buf, size_t n) override { return std::fwrite(buf, 1, n, f_) == n; }

private:
    std::FILE* f_;
};

std::string nativePath(std::string p) {
#if !defined(_WIN32)
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
#endif
    return p;
}

bool exists(const std::string& p) {
#if defined(_WIN32)
    return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
#endif
}

// Puts the finished temporary file in place of the target.
bool replace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

int fail(const std::string& what) {
    std::fprintf(stderr, "zorpack: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool decompress = false, force = false, toStdout = false;
    int bits = zorpack::kMaxBits;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a.size() < 2 || a[0] != '-') {
            paths.push_back(a);
            continue;
        }
        for (size_t j = 1; j < a.size(); ++j) {
            char o = a[j];
            if (o == 'd') {
                decompress = true;
            } else if (o == 'f') {
                force = true;
            } else if (o == 'k') {
                // The input is always kept.
            } else if (o == 'c') {
                toStdout = true;
            } else if (o == 'b') {
                std::string v = a.substr(j + 1);
                if (v.empty()) {
                    if (i + 1 >= argc) {
                        std::fprintf(stderr, "zorpack: -b needs a number of bits (9 to 16)\n%s", kUsage);
                        return 2;
                    }
                    v = argv[++i];
                }
                char* end = nullptr;
                long n = std::strtol(v.c_str(), &end, 10);
                if (v.empty() || *end != '\0' || n < zorpack::kMinBits || n > zorpack::kMaxBits) {
                    std::fprintf(stderr, "zorpack: -b %s: the number of bits must be 9 to 16\n", v.c_str());
                    return 2;
                }
                bits = static_cast<int>(n);
                break;
            } else {
                std::fprintf(stderr, "zorpack: unknown option -%c\n%s", o, kUsage);
                return 2;
            }
        }
    }
    if (paths.size() != 1) {
        std::fprintf(stderr, "zorpack: give exactly one PATH\n%s", kUsage);
        return 2;
    }

    std::string path = nativePath(paths[0]);
    std::string input = decompress ? path + ".z" : path;
    std::string target = decompress ? path : path + ".z";
#if !defined(_WIN32)
    // A peer's batch may arrive as PATH.Z.
    if (decompress && !exists(input) && exists(path + ".Z")) input = path + ".Z";
#endif

    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) return fail(input + ": " + std::strerror(errno));
    if (!toStdout && !force && exists(target)) {
        std::fclose(in);
        return fail(target + ": already exists (-f replaces it)");
    }

    std::string temp = target + ".zp~";
    std::FILE* out;
    if (toStdout) {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        out = stdout;
    } else {
        out = std::fopen(temp.c_str(), "wb");
        if (!out) {
            std::fclose(in);
            return fail(temp + ": " + std::strerror(errno));
        }
    }

    FileSource src(in);
    FileSink sink(out);
    zorpack::Status st = decompress ? zorpack::expand(src, sink) : zorpack::compress(src, sink, bits);
    std::fclose(in);
    bool closed = toStdout ? std::fflush(stdout) == 0 : std::fclose(out) == 0;
    if (st == zorpack::Status::Ok && !closed) st = zorpack::Status::WriteError;
    if (st != zorpack::Status::Ok) {
        if (!toStdout) std::remove(temp.c_str());
        const std::string& who = st == zorpack::Status::WriteError ? (toStdout ? std::string("stdout") : temp) : input;
        return fail(who + ": " + zorpack::describe(st));
    }
    if (!toStdout && !replace(temp, target)) {
        int e = errno;
        std::remove(temp.c_str());
        return fail(target + ": cannot put the result in place: " + std::strerror(e));
    }
    return 0;
}
