// The soak run: many messages of random sizes and contents pushed through the
// library as a host pushes them, and every one read back by its record and
// compared byte for byte, then all of them once more at the end, so that no
// later append disturbs an earlier message.
//
//   soak [--mails N] [--news-batches N] [--exports N] [--seed S] [--batch B] [--dir D]
//
// The defaults are the small run of the test suite; the full run is
//   soak --mails 100000 --news-batches 100 --exports 20000
//
// Each phase is a function over the shared context and one count option; a
// phase runs when its count is above 0. A phase for another operation is one
// more entry in kPhases.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "brem32.h"
#include "support/store_check.h"
#include "support/test_support.h"

using namespace brem;

namespace {

struct SoakContext {
    std::map<std::string, int64_t> counts;  // per phase option
    uint32_t seed = 1;
    int64_t batch = 200;
    std::string root;   // the working directory
    std::mt19937_64 rng;
    int64_t failures = 0;

    void fail(const std::string& what) {
        if (++failures <= 20) std::fprintf(stderr, "soak: %s\n", what.c_str());
    }
    uint64_t below(uint64_t n) { return n == 0 ? 0 : rng() % n; }
    std::string dir(const std::string& name) {
        std::string p = root + "/" + name;
        std::string cmd = "mkdir -p '" + p + "'";
        if (std::system(cmd.c_str()) != 0) fail("cannot make " + p);
        return p;
    }
};

uint64_t fnv(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

// A message as a mail transfer might bring it: usually header lines, an empty
// line and a body of text; sometimes raw bytes of every value; sizes mostly
// small, some past a reader's chunk, a few large.
std::string randomMessage(SoakContext& c) {
    uint64_t pick = c.below(100);
    size_t size = pick < 70 ? c.below(2000) : pick < 95 ? 2000 + c.below(38000) : 40000 + c.below(60000);
    std::string m;
    if (c.below(10) < 8) {
        static const char* const names[] = {"From: ", "Subject: ", "Date: ", "Message-ID: ", "Cc: ", "X-Other: "};
        for (uint64_t i = c.below(8); i > 0; --i) {
            m += names[c.below(6)];
            for (uint64_t k = c.below(120); k > 0; --k) m.push_back(static_cast<char>(32 + c.below(95)));
            m += "\n";
        }
        m += "\n";
        while (m.size() < size) {
            uint64_t kind = c.below(20);
            if (kind == 0) {
                m.push_back(static_cast<char>(c.below(256)));
            } else if (kind < 4) {
                m += "\n";
            } else if (kind == 4) {
                m += "\r\n";
            } else {
                m.push_back(static_cast<char>('a' + c.below(26)));
                if (c.below(6) == 0) m.push_back(' ');
            }
        }
    } else {
        while (m.size() < size) m.push_back(static_cast<char>(c.below(256)));
    }
    return m;
}

int64_t readRecordsFrom(const std::string& path, int64_t offset, std::vector<test::MailRecord>& records,
                        std::string& why) {
    std::ifstream f(path, std::ios::binary);
    f.seekg(offset);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!test::parseMailHdr(bytes, records, why)) return -1;
    return offset + static_cast<int64_t>(bytes.size());
}

int32_t importOnce(const std::string& spool, const std::string& store) {
    std::vector<char> sp = test::hostBuffer(test::toHost(spool));
    std::vector<char> st = test::hostBuffer(test::toHost(store));
    return IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0);
}

// Mail import: batches of jobs into the spool, the host's loop of IMPMAIL
// calls, then each new record read back against its message.
void soakMail(SoakContext& c, int64_t total) {
    std::string spool = c.dir("mail-spool"), store = c.dir("mail-store");
    std::string storeHost = test::toHost(store);
    std::map<std::string, std::pair<int64_t, uint64_t>> stored;  // To line -> length, hash
    int64_t hdrOffset = 0, lastEnd = 0, next = 0;
    while (next < total) {
        std::map<std::string, std::string> pending;  // To line -> message
        int64_t n = std::min<int64_t>(c.batch, total - next);
        for (int64_t i = 0; i < n; ++i, ++next) {
            char num[16];
            std::snprintf(num, sizeof num, "%06lld", static_cast<long long>(next));
            std::string to = "soak" + std::to_string(next) + "@example.org";
            std::string msg = randomMessage(c);
            test::writeFile(spool + "/0C" + num + ".X", std::string("U uucp hub\nF D.hubA") + num +
                                                             "\nC rmail " + to + "\n");
            test::writeFile(spool + "/0A" + num + ".D", msg);
            pending["To: " + to] = std::move(msg);
        }
        int64_t imported = 0;
        while (importOnce(spool, store) == 0) ++imported;
        if (imported != n) c.fail("imported " + std::to_string(imported) + " of " + std::to_string(n));

        std::vector<test::MailRecord> records;
        std::string why;
        hdrOffset = readRecordsFrom(store + "/mail.hdr", hdrOffset, records, why);
        if (hdrOffset < 0) {
            c.fail(why);
            return;
        }
        for (const test::MailRecord& r : records) {
            if (r.start != (lastEnd == 0 ? 1 : lastEnd)) c.fail("record not contiguous: " + r.lines[0]);
            lastEnd = r.end;
            auto it = pending.find(r.lines[0]);
            if (it == pending.end()) {
                c.fail("record of no pending message: " + r.lines[0]);
                continue;
            }
            if (!test::readsBackAs(storeHost, 0, static_cast<int32_t>(r.start), static_cast<int32_t>(r.end - r.start),
                                   it->second, why)) {
                c.fail(r.lines[0] + ": " + why);
            }
            stored[r.lines[0]] = {static_cast<int64_t>(it->second.size()), fnv(it->second)};
            pending.erase(it);
        }
        for (const auto& p : pending) c.fail("not imported: " + p.first);
        if (!test::listDir(spool).empty()) c.fail("the spool is not empty after a batch");
        if (isatty(2)) {
            std::fprintf(stderr, "soak: mail %lld of %lld\r", static_cast<long long>(next),
                         static_cast<long long>(total));
        }
    }
    if (isatty(2)) std::fprintf(stderr, "\n");

    // Every message once more, now that the area holds all of them.
    std::vector<test::MailRecord> all;
    std::string why;
    if (readRecordsFrom(store + "/mail.hdr", 0, all, why) < 0) {
        c.fail(why);
        return;
    }
    if (static_cast<int64_t>(all.size()) != total) c.fail("mail.hdr holds " + std::to_string(all.size()) + " records");
    if (test::fileSize(store + "/mailarea.txt") != lastEnd) c.fail("mailarea.txt holds more than its records");
    std::string back;
    for (const test::MailRecord& r : all) {
        auto it = stored.find(r.lines[0]);
        if (it == stored.end()) continue;
        if (!test::readStoredBytes(storeHost, 0, static_cast<int32_t>(r.start), static_cast<int32_t>(r.end - r.start),
                                   back, why)) {
            c.fail(r.lines[0] + ": " + why);
        } else if (static_cast<int64_t>(back.size()) != it->second.first || fnv(back) != it->second.second) {
            c.fail(r.lines[0] + " changed after later imports");
        }
    }
    std::printf("soak: mail import: %lld messages, %lld area bytes, every one read back twice\n",
                static_cast<long long>(total), static_cast<long long>(lastEnd));
}

// News import: batches of random sizes and contents, articles for several
// areas (and some for none) through area.dat, some batches compressed by
// zorpack when it is there; after every filed batch each record of
// Header.Msg is read back against its article, and at the end every article
// once more.
struct FiledArticle {
    int32_t area;
    int64_t start, end;
    uint64_t hash;
};

std::string zorpackPath() {
    std::string p = test::binDir() + "/zorpack";
    return test::exists(p) ? p : std::string();
}

void soakNews(SoakContext& c, int64_t batches) {
    std::string spool = c.dir("news-spool"), store = c.dir("news-store"), work = c.dir("news-work");
    std::string storeHost = test::toHost(store);
    static const char* const groups[] = {"comp.os", "rec.food", "sci.math", "alt.test", "misc.kids", "news.admin"};
    std::string areaDat;
    for (int g = 0; g < 6; ++g) areaDat += std::string(groups[g]) + "\n" + std::to_string(11 + g) + "\n";
    test::writeFile(store + "/area.dat", areaDat);
    const std::string zorpack = zorpackPath();
    std::map<std::string, FiledArticle> filed;  // Message-ID line -> where it lies
    std::map<int32_t, int64_t> areaEnd;
    int64_t articles = 0, skipped = 0, compressedBatches = 0, bytes = 0;
    for (int64_t b = 0; b < batches; ++b) {
        std::map<std::string, std::pair<int32_t, std::string>> pending;  // id -> area, article
        std::string batch;
        uint64_t count = 1 + (c.below(4) == 0 ? c.below(400) : c.below(60));
        for (uint64_t i = 0; i < count; ++i) {
            std::string id = "<soak." + std::to_string(b) + "." + std::to_string(i) + "@example.org>";
            int g = static_cast<int>(c.below(7));  // 6: a group no entry names
            std::string article = "From: poster" + std::to_string(i) + "@example.org\nNewsgroups: " +
                                  (g < 6 ? std::string(groups[g]) : std::string("talk.nowhere")) +
                                  (c.below(3) == 0 ? ",other.group" : "") + "\nMessage-ID: " + id + "\n\n" +
                                  randomMessage(c);  // all of it body, whatever header lines it holds
            if (c.below(20) == 0) batch += "stray line between articles\n";
            batch += "#! rnews " + std::to_string(article.size()) + "\n" + article;
            if (g < 6) {
                pending["Message-ID: " + id] = {11 + g, std::move(article)};
            } else {
                ++skipped;
            }
        }
        int32_t bits = 0;
        std::string data = batch;
        if (!zorpack.empty() && c.below(4) == 0) {
            bits = 16;
            test::writeFile(work + "/rnews", batch);
            std::string cmd = "'" + zorpack + "' -fk -b 16 '" + work + "/rnews'";
            if (test::runCommand(cmd) != 0) c.fail("zorpack could not compress batch " + std::to_string(b));
            data = "#! cunbatch\n" + test::readFile(work + "/rnews.z");
            ++compressedBatches;
        }
        char num[16];
        std::snprintf(num, sizeof num, "%04lld", static_cast<long long>(b % 10000));
        test::writeFile(spool + "/0C" + num + ".X", std::string("U news hub\nF D.hubN") + num + "\nC rnews\n");
        test::writeFile(spool + "/0N" + num + ".D", data);

        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        int32_t r = IMPNEWS(sp.data(), st.data(), "hub", "mybox", 0, bits);
        if (r != 0) c.fail("IMPNEWS gave " + std::to_string(r) + " for batch " + std::to_string(b));
        std::vector<test::IndexRecord> records;
        std::string why;
        if (!test::parseIndex(test::readFile(spool + "/Header.Msg"), test::kHeaderMsg, records, why)) {
            c.fail("batch " + std::to_string(b) + ": " + why);
            continue;
        }
        for (const test::IndexRecord& rec : records) {
            int32_t area = std::atoi(rec.lines[0].c_str());
            auto it = pending.find(rec.lines[3]);
            if (it == pending.end()) {
                c.fail("record of no pending article: " + rec.lines[3]);
                continue;
            }
            if (area != it->second.first) c.fail(rec.lines[3] + " filed in area " + rec.lines[0]);
            int64_t& end = areaEnd[area];
            if (rec.start != (end == 0 ? 1 : end)) c.fail("record not contiguous in its area: " + rec.lines[3]);
            end = rec.end;
            if (!test::readsBackAs(storeHost, area, static_cast<int32_t>(rec.start),
                                   static_cast<int32_t>(rec.end - rec.start), it->second.second, why)) {
                c.fail(rec.lines[3] + ": " + why);
            }
            filed[rec.lines[3]] = {area, rec.start, rec.end, fnv(it->second.second)};
            bytes += rec.end - rec.start;
            ++articles;
            pending.erase(it);
        }
        for (const auto& p : pending) c.fail("not filed: " + p.first);
        sp = test::hostBuffer(test::toHost(spool));
        st = test::hostBuffer(test::toHost(store));
        if (IMPNEWS(sp.data(), st.data(), "hub", "mybox", 0, bits) != 1) c.fail("a job left after its batch");
        if (isatty(2)) {
            std::fprintf(stderr, "soak: news batch %lld of %lld\r", static_cast<long long>(b + 1),
                         static_cast<long long>(batches));
        }
    }
    if (isatty(2)) std::fprintf(stderr, "\n");

    // Every article once more, now that the areas hold all of them.
    std::string back, why;
    for (const auto& [id, f] : filed) {
        if (!test::readStoredBytes(storeHost, f.area, static_cast<int32_t>(f.start),
                                   static_cast<int32_t>(f.end - f.start), back, why)) {
            c.fail(id + ": " + why);
        } else if (fnv(back) != f.hash) {
            c.fail(id + " changed after later batches");
        }
    }
    for (const auto& [area, end] : areaEnd) {
        if (test::fileSize(store + "/area" + std::to_string(area) + ".txt") != end) {
            c.fail("area " + std::to_string(area) + " holds more than its records");
        }
    }
    std::printf("soak: news import: %lld batches (%lld compressed), %lld articles filed (%lld bytes) and %lld for no "
                "area, every one read back twice\n",
                static_cast<long long>(batches), static_cast<long long>(compressedBatches),
                static_cast<long long>(articles), static_cast<long long>(bytes), static_cast<long long>(skipped));
}

// Export: mail and news jobs mixed, a few news batches compressed, the
// counter started so that the run goes through the wrap from 9999 to 1 (a
// run of 20000 twice). After each export the three job files and export.dat
// are checked, and the job is taken away as the transfer would take it.
std::string le32(int32_t n) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<char>((static_cast<uint32_t>(n) >> (8 * i)) & 0xFF);
    return b;
}

void soakExports(SoakContext& c, int64_t total) {
    std::string spool = c.dir("export-spool"), store = c.dir("export-store");
    const std::string zorpack = zorpackPath();
    int32_t last = static_cast<int32_t>(9999 - std::min<int64_t>(total / 2, 1000));
    test::writeFile(store + "/export.dat", le32(last));
    int64_t mails = 0, news = 0, compressed = 0, wraps = 0;
    char k[16];
    for (int64_t i = 0; i < total; ++i) {
        int32_t n = last >= 9999 ? 1 : last + 1;
        std::snprintf(k, sizeof k, "%04d", n);
        std::string msg = randomMessage(c);
        bool mail = c.below(2) == 0;
        int32_t bits = !mail && !zorpack.empty() && c.below(100) == 0 ? 16 : 0;
        std::string recipient = "rcpt" + std::to_string(i) + "@example.org";
        int32_t r;
        if (mail) {
            test::writeFile(spool + "/rmail.z", msg);
            r = EXPMAIL(test::toHost(spool).c_str(), test::toHost(store).c_str(), recipient.c_str(), "mybox", "me", 0);
            ++mails;
        } else {
            test::writeFile(spool + (bits ? "/rnews" : "/rnews.z"), msg);
            std::vector<char> sp = test::hostBuffer(test::toHost(spool));
            std::vector<char> st = test::hostBuffer(test::toHost(store));
            r = EXPNEWS(sp.data(), st.data(), "mybox", 1, 0, bits);
            ++news;
            compressed += bits ? 1 : 0;
        }
        std::string what = std::string(mail ? "mail" : "news") + " export " + std::to_string(i) + " (job " + k + ")";
        if (r != 0) c.fail(what + " gave " + std::to_string(r));
        if (test::readFile(store + "/export.dat") != le32(n)) c.fail(what + ": export.dat does not hold its number");
        const char* user = mail ? "daemon" : "news";
        std::string cmd = std::string("S ") + k + ".DAT D.mybox" + k + " " + user + " - " + k + ".DAT 0666\r\nS " + k +
                          ".XQT X.mybox" + k + " " + user + " - " + k + ".XQT 0666\r\n";
        std::string xqt = std::string(mail ? "U Daemon mybox\nZ\n" : "U news mybox\nZ\n") + "F D.mybox" + k +
                          "\nI D.mybox" + k + "\n" + (mail ? "C rmail " + recipient + "\n" : std::string("C rnews\n"));
        std::string base = spool + "/" + k;
        if (test::readFile(base + ".CMD") != cmd) c.fail(what + ": wrong command file");
        if (test::readFile(base + ".XQT") != xqt) c.fail(what + ": wrong execute file");
        std::string dat = test::readFile(base + ".DAT");
        if (bits ? dat.compare(0, 12, "#! cunbatch\n") != 0 || dat.size() <= 12 : dat != msg) {
            c.fail(what + ": wrong data file");
        }
        // The transfer takes the job; a compressed batch leaves the host's rnews.
        for (const char* ext : {".CMD", ".XQT", ".DAT"}) std::remove((base + ext).c_str());
        if (bits) std::remove((spool + "/rnews").c_str());
        if (!test::listDir(spool).empty()) c.fail(what + ": the spool is not empty after the job went");
        if (n == 1 && last == 9999) ++wraps;
        last = n;
        if (isatty(2) && i % 100 == 0) {
            std::fprintf(stderr, "soak: export %lld of %lld\r", static_cast<long long>(i), static_cast<long long>(total));
        }
    }
    if (isatty(2)) std::fprintf(stderr, "\n");
    if (total >= 20000 && wraps < 2) c.fail("the exports went through " + std::to_string(wraps) + " wraps");
    std::printf("soak: export: %lld jobs (%lld mail, %lld news of which %lld compressed), %lld wraps of the "
                "number, every job and export.dat checked\n",
                static_cast<long long>(total), static_cast<long long>(mails), static_cast<long long>(news),
                static_cast<long long>(compressed), static_cast<long long>(wraps));
}

struct Phase {
    const char* option;  // --<option> N: how many of the phase's items
    int64_t defaultCount;
    void (*run)(SoakContext&, int64_t);
};

const Phase kPhases[] = {
    {"mails", 2000, soakMail},
    {"news-batches", 6, soakNews},
    {"exports", 600, soakExports},
};

int usage() {
    std::fprintf(stderr, "usage: soak [--seed S] [--batch B] [--dir D]");
    for (const Phase& p : kPhases) std::fprintf(stderr, " [--%s N]", p.option);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    SoakContext c;
    for (const Phase& p : kPhases) c.counts[p.option] = p.defaultCount;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || i + 1 >= argc) return usage();
        std::string v = argv[++i];
        char* end = nullptr;
        long long n = std::strtoll(v.c_str(), &end, 10);
        if (a == "--dir") {
            dir = v;
        } else if (*end != '\0' || n < 0) {
            return usage();
        } else if (a == "--seed") {
            c.seed = static_cast<uint32_t>(n);
        } else if (a == "--batch") {
            c.batch = n < 1 ? 1 : n;
        } else if (c.counts.count(a.substr(2))) {
            c.counts[a.substr(2)] = n;
        } else {
            return usage();
        }
    }
    c.rng.seed(c.seed);
    test::ScratchDir scratch;
    c.root = dir.empty() ? scratch.path() : dir;
    for (const Phase& p : kPhases) {
        if (c.counts[p.option] > 0) p.run(c, c.counts[p.option]);
    }
    if (c.failures) {
        std::fprintf(stderr, "soak: %lld failures (seed %u)\n", static_cast<long long>(c.failures), c.seed);
        return 1;
    }
    std::printf("soak: passed (seed %u)\n", c.seed);
    return 0;
}
