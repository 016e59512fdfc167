// Times one IMPNEWS call over a spool holding one plain news job, as a host
// makes it: bench_news_file SPOOL STORE. Prints the seconds taken.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_news_file SPOOL STORE\n");
        return 2;
    }
    std::vector<char> spool(std::strlen(argv[1]) + 8, '\0'), store(std::strlen(argv[2]) + 8, '\0');
    std::memcpy(spool.data(), argv[1], std::strlen(argv[1]));
    std::memcpy(store.data(), argv[2], std::strlen(argv[2]));
    auto t0 = std::chrono::steady_clock::now();
    int32_t r = IMPNEWS(spool.data(), store.data(), "hub", "mybox", 0, 0);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != 0) {
        std::fprintf(stderr, "IMPNEWS returned %d\n", r);
        return 1;
    }
    std::printf("%.3f\n", s);
    return 0;
}
