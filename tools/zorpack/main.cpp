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
// file under the target's name. The temporary name is removed and made
// afresh, never written through what stands there, and the input must be a
// regular file reached by its own name: a link or a FIFO is refused.
//
// An expansion stops when its output passes a limit far above what real news
// batches expand to (text compresses two to five times): 100 times the
// compressed size, at least 16 MiB, at most 1 GiB. A stream that expands
// further (a few kilobytes of zeros expand to gigabytes) fails with exit
// status 3 and leaves nothing behind; -L sets another limit. Files are reached through the library's
// platform layer, as the library names them: `\` separates directories and
// names are found whatever their letter case (a peer's PATH.Z expands as
// PATH.z), on every system.
#include <algorithm>
#include <cstdint>
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
    "  -L BYTES  when expanding, stop and fail (exit status 3) once the output\n"
    "            passes BYTES; 0 for no limit (default: 100 times the input,\n"
    "            at least 16 MiB, at most 1 GiB)\n"
    "  --version print the version\n";

// What the exit status of a run that does not go on is.
constexpr int kGoOn = -1;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr int kPassedLimit = 3;

// The default limit of an expansion: far above a real batch, far below what
// fills a disk.
constexpr int64_t kExpansionFactor = 100;
constexpr int64_t kLeastLimit = int64_t{16} << 20;
constexpr int64_t kMostLimit = int64_t{1} << 30;

struct Options {
    bool decompress = false;
    bool force = false;
    bool toStdout = false;
    int bits = zorpack::kMaxBits;
    int64_t limit = -1;  // -1: the default, from the input's size; 0: none
    std::vector<std::string> paths;
};

// Passes bytes on to another sink until their count passes a limit (0: none);
// then fails, and says so.
class LimitSink : public zorpack::Sink {
public:
    LimitSink(zorpack::Sink& to, int64_t limit) : to_(to), limit_(limit) {}
    bool write(const unsigned char* buf, size_t n) override {
        written_ += static_cast<int64_t>(n);
        if (limit_ > 0 && written_ > limit_) {
            passed_ = true;
            return false;
        }
        return to_.write(buf, n);
    }
    bool passed() const { return passed_; }

private:
    zorpack::Sink& to_;
    int64_t limit_;
    int64_t written_ = 0;
    bool passed_ = false;
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

// The value of -L, from the rest of its argument or the next one.
int takeLimit(const std::string& rest, int argc, char** argv, int* i, Options* o) {
    std::string v = rest;
    if (v.empty()) {
        if (*i + 1 >= argc) {
            std::fprintf(stderr, "zorpack: -L needs a number of bytes\n%s", kUsage);
            return kUsageError;
        }
        v = argv[++*i];
    }
    char* end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < 0) {
        std::fprintf(stderr, "zorpack: -L %s: the limit must be a number of bytes, 0 for none\n", v.c_str());
        return kUsageError;
    }
    o->limit = n;
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
            case 'L': return takeLimit(a.substr(j + 1), argc, argv, i, o);
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

// How far an expansion of `input` may grow.
int64_t expansionLimit(const Options& o, brem::plat::Stream& in) {
    if (o.limit >= 0) return o.limit;
    const int64_t size = in.size();
    return std::min(kMostLimit, std::max(kLeastLimit, size < 0 ? 0 : size * kExpansionFactor));
}

// Runs the coder from the open input into `sink`; a limited expansion that
// passes its limit sets *passed.
zorpack::Status code(const Options& o, brem::plat::Stream& in, zorpack::Sink& sink, bool* passed) {
    StreamSource src(in);
    if (!o.decompress) return zorpack::compress(src, sink, o.bits);
    LimitSink limited(sink, expansionLimit(o, in));
    zorpack::Status st = zorpack::expand(src, limited);
    *passed = limited.passed();
    return st;
}

int passedLimit(const Options& o, brem::plat::Stream& in, const std::string& input) {
    std::fprintf(stderr, "zorpack: %s: expands past the limit of %lld bytes (-L sets another)\n", input.c_str(),
                 static_cast<long long>(expansionLimit(o, in)));
    return kPassedLimit;
}

int toStandardOutput(const Options& o, brem::plat::Stream& in, const std::string& input) {
    StdoutSink sink;
    bool passed = false;
    zorpack::Status st = code(o, in, sink, &passed);
    if (passed) return passedLimit(o, in, input);
    if (st == zorpack::Status::WriteError) return fail("stdout: " + std::string(zorpack::describe(st)));
    if (st != zorpack::Status::Ok) return fail(input + ": " + zorpack::describe(st));
    return 0;
}

// Writes the result beside the target and puts it in place when whole.
int toTarget(const Options& o, brem::plat::Stream& in, const std::string& input, const std::string& target) {
    std::string temp = target + ".zp~";
    // Made afresh: whatever stands under the temporary name (a link above
    // all) is removed, never written through.
    brem::plat::deleteFile(temp);
    brem::plat::Stream out;
    if (!out.open(temp, "wbx")) return fail(temp + ": cannot be created");
    StreamSink sink(out);
    bool passed = false;
    zorpack::Status st = code(o, in, sink, &passed);
    if (!out.close() && st == zorpack::Status::Ok) st = zorpack::Status::WriteError;
    if (passed) {
        brem::plat::deleteFile(temp);
        return passedLimit(o, in, input);
    }
    in.close();
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
    switch (in.openUntrusted(input)) {
        case brem::plat::Untrusted::Opened: break;
        case brem::plat::Untrusted::Link: return fail(input + ": is a link (only a regular file is taken)");
        case brem::plat::Untrusted::NotAFile: return fail(input + ": is not a regular file");
        default: return fail(input + ": cannot be opened");
    }
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
