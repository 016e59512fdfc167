// Runs DECODE_ISO or WRITEQUOTED over one file, as a host calls them, so that
// the benchmark scripts can time the whole process beside its peer's.
//   bench_charset decode IN OUT | quote IN OUT
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "decode") != 0 && std::strcmp(argv[1], "quote") != 0)) {
        std::fprintf(stderr, "usage: bench_charset decode|quote IN OUT\n");
        return 2;
    }
    std::vector<char> msg(std::strlen(argv[2]) + std::strlen(argv[3]) + 128);
    int32_t r = std::strcmp(argv[1], "decode") == 0 ? DECODE_ISO(argv[2], argv[3], msg.data())
                                                     : WRITEQUOTED(argv[2], argv[3], msg.data(), nullptr);
    if (r != 0) std::fprintf(stderr, "%s", msg.data());
    return r == 0 ? 0 : 1;
}
