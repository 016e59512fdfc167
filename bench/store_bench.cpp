// Store throughput as a host sees it:
//   store_bench import DIR COUNT SIZE   imports COUNT mails of about SIZE bytes
//                                       through IMPMAIL (spool and store in DIR)
//   store_bench read DIR MEGABYTES      reads an area file of that size back
//                                       through READMESSAGE chunk by chunk
// Each prints "bytes seconds MB/s"; the script beside it times cat on the
// same bytes in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "brem32.h"

namespace {

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string mailText(std::mt19937& rng, size_t size, int n) {
    static const char* words[] = {"modem", "line", "news", "batch", "spool", "hello", "the", "a", "and", "mail"};
    std::string m = "From: Writer " + std::to_string(n) + " <w" + std::to_string(n) +
                    "@hub.example>\nDate: Tue, 7 Oct 1997 06:01:58 -0400\nMessage-ID: <" + std::to_string(n) +
                    "@hub.example>\nSubject: bench message " + std::to_string(n) + "\n\n";
    size_t col = 0;
    while (m.size() < size) {
        const char* w = words[rng() % 10];
        m += w;
        col += std::strlen(w) + 1;
        if (col > 66) {
            m += '\n';
            col = 0;
        } else {
            m += ' ';
        }
    }
    m += '\n';
    return m;
}

int importBench(const std::string& dir, int count, size_t size) {
    std::string spool = dir + "/spool", store = dir + "/store";
    std::string mk = "mkdir -p '" + spool + "' '" + store + "'";
    if (std::system(mk.c_str()) != 0) return 1;
    std::mt19937 rng(7);
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%05d", i);
        // X.hubC<seq> and D.hubA<seq> map to 0C<seq>.X and 0A<seq>.D
        std::string x = std::string("U uucp hub\nF D.hubA") + seq + "\nC rmail reader@mybox\n";
        writeFile(spool + "/0C" + seq + ".X", x);
        std::string m = mailText(rng, size, i);
        total += m.size();
        writeFile(spool + "/0A" + seq + ".D", m);
    }
    double t0 = now();
    int imported = 0;
    for (;;) {
        std::vector<char> sp(spool.size() + 4, '\0'), st(store.size() + 4, '\0');
        std::memcpy(sp.data(), spool.data(), spool.size());
        std::memcpy(st.data(), store.data(), store.size());
        if (IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0) != 0) break;
        ++imported;
    }
    double t = now() - t0;
    if (imported != count) {
        std::fprintf(stderr, "imported %d of %d\n", imported, count);
        return 1;
    }
    std::printf("%zu %.3f %.1f\n", total, t, total / t / 1e6);
    return 0;
}

int readBench(const std::string& dir, int megabytes) {
    std::string path = dir + "/area1.txt";
    std::mt19937 rng(11);
    std::string area = "\n";
    area.reserve(static_cast<size_t>(megabytes) * 1000000 + 100);
    int n = 0;
    while (area.size() < static_cast<size_t>(megabytes) * 1000000) area += mailText(rng, 3000, n++);
    writeFile(path, area);
    int32_t length = static_cast<int32_t>(area.size() - 1);
    std::vector<char> text(32302), err(512);
    double t0 = now();
    int32_t start = 1, left = length;
    size_t out = 0;
    for (;;) {
        int32_t r = READMESSAGE(dir.c_str(), 1, start, left, text.data(), err.data());
        if (r < 0) {
            std::fprintf(stderr, "READMESSAGE: %s\n", err.data());
            return 1;
        }
        out += std::strlen(text.data());
        if (r > left) break;
        start += r;
        left -= r;
    }
    double t = now() - t0;
    std::printf("%d %.3f %.1f\n", length, t, length / t / 1e6);
    return out > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "import") == 0) return importBench(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc >= 4 && std::strcmp(argv[1], "read") == 0) return readBench(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: store_bench import DIR COUNT SIZE | read DIR MEGABYTES\n");
    return 2;
}
