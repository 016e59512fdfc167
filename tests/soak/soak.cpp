// The soak run: many messages of random sizes and contents pushed through the
// library as a host pushes them, and every one read back by its record and
// compared byte for byte, then all of them once more at the end, so that no
// later append disturbs an earlier message.
//
//   soak [--mails N] [--seed S] [--batch B] [--dir D]
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

struct Phase {
    const char* option;  // --<option> N: how many of the phase's items
    int64_t defaultCount;
    void (*run)(SoakContext&, int64_t);
};

const Phase kPhases[] = {
    {"mails", 2000, soakMail},
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
