// Import and read-back as a host drives them, built for both systems (the
// benchmark script also cross-builds it against brem32.dll and runs it under
// Wine). Paths are relative to the current directory so that both builds
// take them alike.
//   import_bench mail DIR COUNT SIZE   COUNT mails of about SIZE bytes waiting
//                                      in DIR/spool, imported one IMPMAIL call
//                                      each into DIR/store
//   import_bench news DIR COUNT SIZE   COUNT plain news batches of one article
//                                      of about SIZE bytes waiting, filed one
//                                      IMPNEWS call each into five areas
//   import_bench read DIR MEGABYTES    an area file of that size read back
//                                      through READMESSAGE chunk by chunk
// Prints "bytes seconds" of the timed part alone.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "brem32.h"
#include "mail_text.h"

namespace {

std::vector<char> buffer(const std::string& dir) {
    std::vector<char> b(dir.begin(), dir.end());
    b.resize(dir.size() + 8, '\0');
    return b;
}

int mail(const std::string& dir, int count, size_t size) {
    std::string spool = dir + "/spool", store = dir + "/store";
    std::filesystem::create_directories(spool);
    std::filesystem::create_directories(store);
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%06d", i);
        // D.hubA<seq> is held as 0A<seq>.D: the site name goes, seven
        // characters stay, and digits give the case digit 0.
        std::string x = std::string("U uucp hub\nF D.hubA") + seq + "\nC rmail reader@mybox\n";
        put(spool + "/0C" + seq + ".X", x);
        std::string m = mailText(size, i);
        total += m.size();
        put(spool + "/0A" + seq + ".D", m);
    }
    double t0 = now();
    int imported = 0;
    for (;;) {
        std::vector<char> sp = buffer(spool), st = buffer(store);
        if (IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0) != 0) break;
        ++imported;
    }
    double t = now() - t0;
    if (imported != count) {
        std::fprintf(stderr, "imported %d of %d\n", imported, count);
        return 1;
    }
    std::printf("%zu %.4f\n", total, t);
    return 0;
}

int news(const std::string& dir, int count, size_t size) {
    std::string spool = dir + "/spool", store = dir + "/store";
    std::filesystem::create_directories(spool);
    std::filesystem::create_directories(store);
    put(store + "/area.dat", "bench.g1\n1\nbench.g2\n2\nbench.g3\n3\nbench.g4\n4\nbench.g5\n5\n");
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%06d", i);
        put(spool + "/0C" + seq + ".X", std::string("U news hub\nF D.hubA") + seq + "\nC rnews\n");
        std::string m = mailText(size, i);
        m.insert(m.find('\n') + 1, "Newsgroups: bench.g" + std::to_string(1 + i % 5) + "\n");
        std::string batch = "#! rnews " + std::to_string(m.size()) + "\n" + m;
        total += batch.size();
        put(spool + "/0A" + seq + ".D", batch);
    }
    double t0 = now();
    int filed = 0;
    for (;;) {
        std::vector<char> sp = buffer(spool), st = buffer(store);
        if (IMPNEWS(sp.data(), st.data(), "hub", "mybox", 0, 0) != 0) break;
        ++filed;
    }
    double t = now() - t0;
    if (filed != count) {
        std::fprintf(stderr, "filed %d of %d\n", filed, count);
        return 1;
    }
    std::printf("%zu %.4f\n", total, t);
    return 0;
}

int read(const std::string& dir, int megabytes) {
    std::filesystem::create_directories(dir);
    // Written a mail at a time, so that the process's peak memory is that of
    // the reads alone.
    std::string path = dir + "/area1.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    size_t want = static_cast<size_t>(megabytes) * 1000000, size = 1;
    if (!f || std::fputc('\n', f) == EOF) {
        std::perror(path.c_str());
        return 1;
    }
    for (int n = 0; size < want; ++n) {
        std::string m = mailText(3000, n);
        if (std::fwrite(m.data(), 1, m.size(), f) != m.size()) {
            std::perror(path.c_str());
            return 1;
        }
        size += m.size();
    }
    if (std::fclose(f) != 0) return 1;
    int32_t length = static_cast<int32_t>(size - 1);
    std::vector<char> text(32302), err(512);
    double t0 = now();
    int32_t start = 1, left = length;
    for (;;) {
        int32_t r = READMESSAGE(dir.c_str(), 1, start, left, text.data(), err.data());
        if (r < 0) {
            std::fprintf(stderr, "READMESSAGE: %s\n", err.data());
            return 1;
        }
        if (r > left) break;
        start += r;
        left -= r;
    }
    std::printf("%d %.4f\n", length, now() - t0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "mail") == 0) return mail(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "news") == 0) return news(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 4 && std::strcmp(argv[1], "read") == 0) return read(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: import_bench mail|news DIR COUNT SIZE | read DIR MEGABYTES\n");
    return 2;
}
