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
// file under the target's name. Files are reached through the library's
// platform layer, as the library names them: `\` separates directories and
// names are found whatever their letter case (a peer's PATH.Z expands as
// PATH.z), on every system.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lzw.h"
#include "platform/platform.h"
#include "platform/stream.h"

namespace {

const char* kUsage =
    "usage: zorpack [-d] [-f] [-k] [-c] [-b BITS] PATH\n"
    "  without -d: compresses PATH into PATH.z\n"
    "  -d        expands PATH.z into PATH\n"
    "  -b BITS   largest code size, 9 to 16 (default 16); when expanding, the\n"
    "            stream's own header decides and BITS is only checked\n"
    "  -f        replace an existing target\n"
    "  -k        keep the input (zorpack always does)\n"
    "  -c        write to standard output, create no file\n"
    "  --version print the version\n";

// What the exit status of a run that does not go on is.
constexpr int kGoOn = -1;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

struct Options {
    bool decompress = false;
    bool force = false;
    bool toStdout = false;
    int bits = zorpack::kMaxBits;
    std::vector<std::string> paths;
};

class StreamSource : public zorpack::Source {
public:
    explicit StreamSource(brem::plat::Stream& s) : s_(s) {}
    long read(unsigned char* buf, size_t n) override {
        size_t got = s_.read(buf, n);
        if (got == 0 && s_.readError()) return -1;
        return static_cast<long>(got);
    }

private:
    brem::plat::Stream& s_;
};

class StreamSink : public zorpack::Sink {
public:
    explicit StreamSink(brem::plat::Stream& s) : s_(s) {}
    bool write(const unsigned char* buf, size_t n) override { return s_.write(buf, n); }

private:
    brem::plat::Stream& s_;
};

// Standard output, bytes unchanged; the coder hands over whole blocks.
class StdoutSink : public zorpack::Sink {
public:
    bool write(const unsigned char* buf, size_t n) override {
        brem::plat::FileHandle h = brem::plat::standardOutput();
        while (n > 0) {
            int64_t w = brem::plat::writeFile(h, buf, n);
            if (w <= 0) return false;
            buf += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
};

int fail(const std::string& what) {
    std::fprintf(stderr, "zorpack: %s\n", what.c_str());
    return kFailed;
}

// The value of -b, from the rest of its argument or the next one.
int takeBits(const std::string& rest, int argc, char** argv, int* i, Options* o) {
    std::string v = rest;
    if (v.empty()) {
        if (*i + 1 >= argc) {
            std::fprintf(stderr, "zorpack: -b needs a number of bits (9 to 16)\n%s", kUsage);
            return kUsageError;
        }
        v = argv[++*i];
    }
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < zorpack::kMinBits || n > zorpack::kMaxBits) {
        std::fprintf(stderr, "zorpack: -b %s: the number of bits must be 9 to 16\n", v.c_str());
        return kUsageError;
    }
    o->bits = static_cast<int>(n);
    return kGoOn;
}

// One argument of flags ("-fk", "-b16"); kGoOn or the exit status.
int takeFlags(const std::string& a, int argc, char** argv, int* i, Options* o) {
    for (size_t j = 1; j < a.size(); ++j) {
        switch (a[j]) {
            case 'd': o->decompress = true; break;
            case 'f': o->force = true; break;
            case 'k': break;  // the input is always kept
            case 'c': o->toStdout = true; break;
            case 'b': return takeBits(a.substr(j + 1), argc, argv, i, o);
            default:
                std::fprintf(stderr, "zorpack: unknown option -%c\n%s", a[j], kUsage);
                return kUsageError;
        }
    }
    return kGoOn;
}

int parseArguments(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version" || a == "-V") {
            std::printf("zorpack %s\n", ZORPACK_VERSION);
            return 0;
        }
        if (a.size() < 2 || a[0] != '-') {
            o->paths.push_back(a);
            continue;
        }
        int r = takeFlags(a, argc, argv, &i, o);
        if (r != kGoOn) return r;
    }
    if (o->paths.size() != 1) {
        std::fprintf(stderr, "zorpack: give exactly one PATH\n%s", kUsage);
        return kUsageError;
    }
    return kGoOn;
}

// Runs the coder from the open input into `sink`.
zorpack::Status code(const Options& o, brem::plat::Stream& in, zorpack::Sink& sink) {
    StreamSource src(in);
    return o.decompress ? zorpack::expand(src, sink) : zorpack::compress(src, sink, o.bits);
}

int toStandardOutput(const Options& o, brem::plat::Stream& in, const std::string& input) {
    StdoutSink sink;
    zorpack::Status st = code(o, in, sink);
    if (st == zorpack::Status::WriteError) return fail("stdout: " + std::string(zorpack::describe(st)));
    if (st != zorpack::Status::Ok) return fail(input + ": " + zorpack::describe(st));
    return 0;
}

// Writes the result beside the target and puts it in place when whole.
int toTarget(const Options& o, brem::plat::Stream& in, const std::string& input, const std::string& target) {
    std::string temp = target + ".zp~";
    brem::plat::Stream out;
    if (!out.open(temp, "wb")) return fail(temp + ": cannot be created");
    StreamSink sink(out);
    zorpack::Status st = code(o, in, sink);
    in.close();
    if (!out.close() && st == zorpack::Status::Ok) st = zorpack::Status::WriteError;
    if (st != zorpack::Status::Ok) {
        brem::plat::deleteFile(temp);
        return fail((st == zorpack::Status::WriteError ? temp : input) + ": " + zorpack::describe(st));
    }
    if (!brem::plat::replaceFile(temp, target)) {
        brem::plat::deleteFile(temp);
        return fail(target + ": cannot put the result in place");
    }
    return 0;
}

int run(const Options& o) {
    const std::string& path = o.paths[0];
    std::string input = o.decompress ? path + ".z" : path;
    std::string target = o.decompress ? path : path + ".z";
    brem::plat::Stream in;
    if (!in.open(input, "rb")) return fail(input + ": cannot be opened");
    if (o.toStdout) return toStandardOutput(o, in, input);
    if (!o.force && brem::plat::fileExists(target)) return fail(target + ": already exists (-f replaces it)");
    return toTarget(o, in, input, target);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int r = parseArguments(argc, argv, &o);
    return r == kGoOn ? run(o) : r;
}
