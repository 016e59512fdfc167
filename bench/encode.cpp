// Times one content-encoding export on files, as a host calls it.
//   bench_encode mimeencode IN OUT | mimedecode IN OUT | uu IN OUT
// Prints the seconds the call took.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "brem32.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_encode mimeencode|mimedecode|uu IN OUT\n");
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    int32_t r = 0;
    if (std::strcmp(argv[1], "mimeencode") == 0) r = MIMEENCODE(argv[2], argv[3], "bench.bin");
    else if (std::strcmp(argv[1], "mimedecode") == 0) r = MIMEDECODE(argv[2], argv[3]);
    else if (std::strcmp(argv[1], "uu") == 0) r = UUENCODE(argv[2], argv[3], "bench.bin", ".", 0);
    else return 2;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "%.3f\n", s);
    return r == 0 ? 0 : 1;
}
