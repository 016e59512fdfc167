// Times DECODE_ISO and WRITEQUOTED over one file, as a host calls them.
//   bench_charset IN WORKDIR
// Prints one line per run: the operation, the seconds and the MB/s of input.
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "brem32.h"

namespace {

double seconds(const std::chrono::steady_clock::time_point& from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

long long sizeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void report(const char* what, long long bytes, double s) {
    std::printf("%-34s %8.3f s  %8.1f MB/s\n", what, s, bytes / 1e6 / s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_charset IN WORKDIR\n");
        return 2;
    }
    const std::string in = argv[1], work = argv[2];
    const long long bytes = sizeOf(in);
    std::vector<char> msg(in.size() + work.size() + 128);

    auto t = std::chrono::steady_clock::now();
    if (DECODE_ISO(in.c_str(), (work + "/decoded.850").c_str(), msg.data()) != 0) {
        std::fprintf(stderr, "DECODE_ISO: %s", msg.data());
        return 1;
    }
    report("DECODE_ISO (8-bit text)", bytes, seconds(t));

    t = std::chrono::steady_clock::now();
    if (WRITEQUOTED(in.c_str(), (work + "/quoted.qp").c_str(), msg.data(), nullptr) != 0) {
        std::fprintf(stderr, "WRITEQUOTED: %s", msg.data());
        return 1;
    }
    report("WRITEQUOTED", bytes, seconds(t));

    t = std::chrono::steady_clock::now();
    if (DECODE_ISO((work + "/quoted.qp").c_str(), (work + "/quoted.850").c_str(), msg.data()) != 0) {
        std::fprintf(stderr, "DECODE_ISO: %s", msg.data());
        return 1;
    }
    report("DECODE_ISO (its quoted-printable)", bytes, seconds(t));
    return 0;
}
