// Makes the inputs of the news benchmarks, the same bytes on every run:
//   bench_news_gen text BYTES OUT          text-like lines of words
//   bench_news_gen batch ARTICLES AREAS BYTES SPOOL STORE
//       a plain news job (0C0001.X, 0A0001.D) of ARTICLES articles of about
//       BYTES in all, spread over AREAS groups, and the store's area.dat
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Rng {
    unsigned long long s = 0x9E3779B97F4A7C15ull;
    unsigned next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<unsigned>(s >> 11);
    }
};

// A vocabulary whose common words come up far more often than rare ones, as
// in news text.
struct Words {
    std::vector<std::string> list;
    Rng rng;
    Words() {
        for (int i = 0; i < 5000; ++i) {
            std::string w;
            unsigned len = 2 + rng.next() % 9;
            for (unsigned k = 0; k < len; ++k) w.push_back(static_cast<char>('a' + rng.next() % 26));
            list.push_back(w);
        }
    }
    const std::string& pick() {
        unsigned r = rng.next() % 5000;
        return list[(r * r) / 5000];
    }
    std::string line() {
        std::string l;
        while (l.size() < 60) l += pick() + " ";
        l.back() = '\n';
        return l;
    }
};

bool writeAll(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    Words words;
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "text" && argc == 4) {
        size_t n = std::strtoull(argv[2], nullptr, 10);
        FILE* f = std::fopen(argv[3], "wb");
        if (!f) return 1;
        std::string chunk;
        size_t done = 0;
        while (done < n) {
            chunk.clear();
            while (chunk.size() < (1 << 20)) chunk += words.line();
            if (chunk.size() > n - done) chunk.resize(n - done);
            std::fwrite(chunk.data(), 1, chunk.size(), f);
            done += chunk.size();
        }
        return std::fclose(f) == 0 ? 0 : 1;
    }
    if (mode == "batch" && argc == 7) {
        int articles = std::atoi(argv[2]);
        int areas = std::atoi(argv[3]);
        size_t bytes = std::strtoull(argv[4], nullptr, 10);
        std::string spool = argv[5], store = argv[6];
        std::string map;
        char name[32];
        for (int a = 1; a <= areas; ++a) {
            std::snprintf(name, sizeof name, "bench.g%02d", a);
            map += std::string(name) + "\n" + std::to_string(a) + "\n";
        }
        std::string batch;
        batch.reserve(bytes + bytes / 10);
        size_t bodyBytes = bytes / static_cast<size_t>(articles);
        for (int i = 0; i < articles; ++i) {
            std::snprintf(name, sizeof name, "bench.g%02d", 1 + i % areas);
            std::string a = "From: writer" + std::to_string(i % 97) + "@peer.example\nNewsgroups: " + name +
                            "\nSubject: " + words.line() + "Date: 7 Oct 1997 07:12:00 GMT\nMessage-ID: <" +
                            std::to_string(i) + "@peer.example>\nLines: 40\n\n";
            while (a.size() < bodyBytes) a += words.line();
            batch += "#! rnews " + std::to_string(a.size()) + "\n" + a;
        }
        bool ok = writeAll(store + "/area.dat", map) &&
                  writeAll(spool + "/0C0001.X", "U news hub\nF D.hubA0001\nI D.hubA0001\nC rnews\n") &&
                  writeAll(spool + "/0A0001.D", batch);
        return ok ? 0 : 1;
    }
    std::fprintf(stderr, "usage: bench_news_gen text BYTES OUT | batch ARTICLES AREAS BYTES SPOOL STORE\n");
    return 2;
}
