// Power cuts at every step of IMPMAIL, IMPNEWS (plain and compressed),
// EXPMAIL, EXPNEWS and WRITEMESSAGE (support/crashsim.h builds the states).
// In every state each mail, batch and outgoing message is whole where it came
// from or where it went (twice is allowed, nowhere is not), the counter is
// not behind a job it would write over, and brem check finds nothing but
// notes; then the host's next calls, as after a restart, finish the work and
// the same holds with everything delivered.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "brem32.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"
#include "support/crashsim.h"
#include "support/store_check.h"
#include "support/test_support.h"

// brem's own entry point, built into this test so that brem check runs on
// every state without starting a process.
int brem_main(int argc, char** argv);

namespace brem {
namespace {

using test::CrashState;

struct Site {
    test::ScratchDir root{test::ScratchDir::Place::InMemory};
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    std::vector<char> spoolBuffer() const { return test::hostBuffer(test::toHost(spool)); }
    std::vector<char> storeBuffer() const { return test::hostBuffer(test::toHost(store)); }
    std::string in(const std::string& dir, const std::string& name) const { return test::readFile(dir + "/" + name); }
};

// Lays a simulated state (paths below `from`) down in `to`, emptied first.
void layDown(const CrashState& state, const std::string& from, const Site& to) {
    for (const std::string& dir : {to.spool, to.store}) {
        for (const auto& e : std::filesystem::directory_iterator(dir)) std::filesystem::remove_all(e.path());
    }
    for (const auto& [path, bytes] : state) test::writeFile(to.root.path() + path.substr(from.size()), bytes);
}

// brem check of the site; "" when it finds no damage, else its report.
std::string bremCheck(const Site& s) {
    const std::string out = s.root.file("check.json");
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::close(fd);
    std::vector<std::string> args{"brem", "check", s.store, "--spool", s.spool, "--json"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    const int status = brem_main(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    return status == 0 ? std::string() : "brem check found damage: " + test::readFile(out);
}

// The whole records of an index file (CR LF lines, `lines` to a record) and
// what follows them.
struct Record {
    std::vector<std::string> lines;
    int64_t start = 0, end = 0;
};
std::vector<Record> wholeRecords(const std::string& bytes, size_t lines, std::string* tail) {
    std::vector<Record> out;
    size_t pos = 0;
    for (;;) {
        Record r;
        size_t p = pos;
        while (r.lines.size() < lines) {
            size_t eol = bytes.find("\r\n", p);
            if (eol == std::string::npos) break;
            r.lines.push_back(bytes.substr(p, eol - p));
            p = eol + 2;
        }
        if (r.lines.size() < lines) break;
        r.start = std::atoll(r.lines[lines - 2].c_str());
        r.end = std::atoll(r.lines[lines - 1].c_str());
        out.push_back(std::move(r));
        pos = p;
    }
    *tail = bytes.substr(pos);
    return out;
}

// The bytes a record points to; "" with `why` set when they are not there.
bool rangeOf(const Record& r, const std::string& area, std::string* bytes) {
    if (r.start < 1 || r.end < r.start || r.end > static_cast<int64_t>(area.size())) return false;
    *bytes = area.substr(static_cast<size_t>(r.start), static_cast<size_t>(r.end - r.start));
    return true;
}

// The simulation of one call: `prepare` fills a site, `call` is recorded,
// `holds` judges a state (`returned`: the call had returned; `finished`: the
// host's next calls have run) and `finish` makes those calls. Stops at the
// first state that breaks; reports the points and states covered.
struct CrashCase {
    std::string operation;
    std::function<void(Site&)> prepare;
    std::function<void(Site&)> call;
    std::function<std::string(const Site&, bool returned, bool finished)> holds;
    std::function<void(Site&)> finish;
    // The host's next calls are made on every state, or on every nth where
    // they start a process (the compressor) each time; always on the states
    // of the last point.
    size_t finishEvery = 1;
};

void simulate(const CrashCase& c) {
    Site recorded;
    c.prepare(recorded);
    Site crashed;
    const std::string root = recorded.root.path();
    size_t seen = 0;
    test::CrashCoverage cov = test::simulateCrashes(
        root, [&] { c.call(recorded); },
        [&](const CrashState& state, size_t point, size_t last) {
            std::string where = c.operation + ": power cut at point " + std::to_string(point) + " of " +
                                std::to_string(last);
            ++seen;
            for (bool finished : {false, true}) {
                if (finished && point != last && seen % c.finishEvery != 0) break;
                if (!finished) {
                    layDown(state, root, crashed);
                } else {
                    c.finish(crashed);
                }
                std::string broken = c.holds(crashed, point == last, finished);
                if (broken.empty()) broken = bremCheck(crashed);
                if (!broken.empty()) {
                    std::string files;
                    for (const auto& [path, bytes] : state) {
                        files += "\n  " + path.substr(root.size()) + " (" + std::to_string(bytes.size()) + " bytes)";
                    }
                    ADD_FAILURE() << where << (finished ? ", then the host's next calls" : "") << ": " << broken
                                  << "\nstate:" << files;
                    return false;
                }
            }
            return true;
        });
    std::printf("[ crash    ] %s: %zu points, %zu crash states checked\n", c.operation.c_str(), cov.points, cov.states);
    std::string key = "crash_states_" + c.operation;
    for (char& ch : key) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    ::testing::Test::RecordProperty(key, static_cast<int>(cov.states));
    EXPECT_GT(cov.states, cov.points);
}

// ---- mail import ----

const std::vector<test::MailJob> kMails = {
    {"0C0001.X", "0A0001.D", "ann@mybox", "From: hub\nSubject: first\n\nearlier mail\n"},
    {"0C0002.X", "0A0002.D", "bob@mybox", "From: carol\nSubject: the one\nDate: now\n\nbody line\nand more\n"},
    {"0C0003.X", "0A0003.D", "dan@mybox", "From: eve\nSubject: waits\n\nthird\n"},
};

void putMail(const Site& s, const test::MailJob& m) {
    test::writeFile(s.spool + "/" + m.executeName, m.executeText());
    test::writeFile(s.spool + "/" + m.dataName, m.data);
}

int32_t importMail(const Site& s) {
    std::vector<char> sp = s.spoolBuffer(), st = s.storeBuffer();
    return IMPMAIL(sp.data(), st.data(), "hub", "mybox", 5);
}

std::string mailHolds(const Site& s, bool finished) {
    std::string tail;
    const std::vector<Record> recs = wholeRecords(s.in(s.store, "mail.hdr"), 8, &tail);
    const std::string area = s.in(s.store, "mailarea.txt");
    if (finished && !tail.empty()) return "mail.hdr ends in a part of a record";
    std::vector<bool> stored(kMails.size(), false);
    for (size_t k = 0; k < recs.size(); ++k) {
        std::string bytes;
        bool known = false;
        for (size_t m = 0; m < kMails.size(); ++m) {
            if (recs[k].lines[0] != "To: " + kMails[m].recipient) continue;
            known = rangeOf(recs[k], area, &bytes) && bytes == kMails[m].data;
            stored[m] = stored[m] || known;
        }
        if (!known) return "record " + std::to_string(k + 1) + " of mail.hdr does not point to its mail";
    }
    for (size_t m = 0; m < kMails.size(); ++m) {
        const test::MailJob& j = kMails[m];
        const bool waiting = test::exists(s.spool + "/" + j.executeName) &&
                             s.in(s.spool, j.executeName) == j.executeText() &&
                             test::exists(s.spool + "/" + j.dataName) && s.in(s.spool, j.dataName) == j.data;
        if (!stored[m] && !waiting) return "the mail to " + j.recipient + " is lost";
        if (finished && !stored[m]) return "the mail to " + j.recipient + " was not imported";
    }
    return std::string();
}

CrashCase mailCase(const char* name, bool earlierMail) {
    return {name,
            [earlierMail](Site& s) {
                if (earlierMail) {
                    putMail(s, kMails[0]);
                    ASSERT_EQ(importMail(s), 0);
                    for (size_t m = 1; m < kMails.size(); ++m) putMail(s, kMails[m]);
                } else {
                    for (const test::MailJob& m : kMails) putMail(s, m);
                }
            },
            [](Site& s) { ASSERT_EQ(importMail(s), 0); },
            [](const Site& s, bool, bool finished) { return mailHolds(s, finished); },
            [](Site& s) {
                for (int i = 0; i < 10 && importMail(s) == 0; ++i) {
                }
            }};
}

TEST(PowerCut, MailImportIntoAStoreWithMail) { simulate(mailCase("IMPMAIL", true)); }
TEST(PowerCut, MailImportIntoAnEmptyStore) { simulate(mailCase("IMPMAIL into an empty store", false)); }

// ---- news import ----

const std::vector<std::pair<std::string, std::string>> kArticles = {  // Message-ID line, article
    {"Message-ID: <old@peer>", "From: ann\nNewsgroups: rec.arts\nSubject: before\nMessage-ID: <old@peer>\n\nold\n"},
    {"Message-ID: <one@peer>",
     "From: bo\nNewsgroups: rec.arts\nSubject: one\nDate: 1 Jan 1997\nMessage-ID: <one@peer>\nLines: 1\n\nfirst\n"},
    {"Message-ID: <two@peer>",
     "From: cy\nNewsgroups: rec.arts.x\nSubject: two\nMessage-ID: <two@peer>\nLines: 2\n\nsecond\nline\n"},
};

std::string rnews(const std::string& article) { return "#! rnews " + std::to_string(article.size()) + "\n" + article; }

const char* const kNewsExecute = "U news newshost\nF D.newshostN0007\nI D.newshostN0007\nC rnews\n";

int32_t importNews(const Site& s, int32_t bits) {
    std::vector<char> sp = s.spoolBuffer(), st = s.storeBuffer();
    return IMPNEWS(sp.data(), st.data(), "newshost", "mybox", 5, bits);
}

std::string newsHolds(const Site& s, const std::string& data, bool finished) {
    std::string tail;
    const std::vector<Record> recs = wholeRecords(s.in(s.spool, "Header.Msg"), 9, &tail);
    const std::string area = s.in(s.store, "area3.txt");
    if (finished && !tail.empty()) return "Header.Msg ends in a part of a record";
    std::vector<bool> filed(kArticles.size(), false);
    for (size_t k = 0; k < recs.size(); ++k) {
        std::string bytes;
        bool known = false;
        for (size_t a = 0; a < kArticles.size(); ++a) {
            if (recs[k].lines[3] != kArticles[a].first) continue;
            known = rangeOf(recs[k], area, &bytes) && bytes == kArticles[a].second;
            filed[a] = filed[a] || known;
        }
        if (!known) return "record " + std::to_string(k + 1) + " of Header.Msg does not point to its article";
    }
    const bool waiting = s.in(s.spool, "0C0007.X") == kNewsExecute && test::exists(s.spool + "/0N0007.D") &&
                         s.in(s.spool, "0N0007.D") == data;
    const bool batchFiled = filed[1] && filed[2];
    if (!batchFiled && !waiting) return "the batch is lost";
    if (finished && !batchFiled) return "the batch was not filed";
    return std::string();
}

CrashCase newsCase(const char* name, bool compressed) {
    auto data = std::make_shared<std::string>(rnews(kArticles[1].second) + rnews(kArticles[2].second));
    const int32_t bits = compressed ? 16 : 0;
    CrashCase c{name,
            [data, compressed](Site& s) {
                test::writeFile(s.store + "/area.dat", "rec.arts\n3\n");
                test::writeFile(s.spool + "/0C0007.X", kNewsExecute);
                test::writeFile(s.spool + "/0N0007.D", rnews(kArticles[0].second));
                ASSERT_EQ(importNews(s, 0), 0);  // an earlier batch: its Header.Msg and area file
                if (compressed) {
                    test::ScratchDir work;
                    test::writeFile(work.file("plain"), *data);
                    ASSERT_EQ(test::runCommand("compress -f -c -b 16 < '" + work.file("plain") + "' > '" +
                                               work.file("plain.Z") + "'"),
                              0);
                    *data = "#! cunbatch\n" + test::readFile(work.file("plain.Z"));
                }
                test::writeFile(s.spool + "/0C0007.X", kNewsExecute);
                test::writeFile(s.spool + "/0N0007.D", *data);
            },
            [bits](Site& s) { ASSERT_EQ(importNews(s, bits), 0); },
            [data](const Site& s, bool, bool finished) { return newsHolds(s, *data, finished); },
            [bits](Site& s) {
                for (int i = 0; i < 10 && importNews(s, bits) == 0; ++i) {
                }
            }};
    c.finishEvery = compressed ? 16 : 1;
    return c;
}

TEST(PowerCut, NewsImportPlain) { simulate(newsCase("IMPNEWS plain", false)); }
TEST(PowerCut, NewsImportCompressed) { simulate(newsCase("IMPNEWS compressed", true)); }

// ---- exports ----

std::string counterBytes(int32_t n) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return b;
}

const std::string kOutgoing = "From: me@mybox\nTo: you@hub\nSubject: out\n\nsent once\n";
const std::string kOldJob = "the message of job 0041, not yet sent\n";

// The job numbered `n` as export writes it, whole.
bool wholeJob(const Site& s, int32_t n, outbound::JobKind kind) {
    const std::string nnnn = outbound::JobFileName(n, "");
    const std::string recipient = kind == outbound::JobKind::Mail ? "you@hub" : "";
    return s.in(s.spool, nnnn + "CMD") == outbound::CommandFileText(n, "mybox", kind) &&
           s.in(s.spool, nnnn + "XQT") == outbound::ExecuteFileText(n, "mybox", kind, recipient) &&
           test::exists(s.spool + "/" + nnnn + "DAT") && s.in(s.spool, nnnn + "DAT") == kOutgoing;
}

std::string exportHolds(const Site& s, outbound::JobKind kind, const char* source, bool finished) {
    const std::string counter = s.in(s.store, "export.dat");
    if (counter.size() != 4) return "export.dat holds " + std::to_string(counter.size()) + " bytes";
    int32_t c = 0;
    for (int i = 3; i >= 0; --i) c = (c << 8) | static_cast<unsigned char>(counter[static_cast<size_t>(i)]);
    if (c < 41) return "the counter went back to " + std::to_string(c);
    if (s.in(s.spool, "0041.DAT") != kOldJob) return "job 0041 was written over";
    const bool waiting = test::exists(s.spool + "/" + source) && s.in(s.spool, source) == kOutgoing;
    if (finished) {
        if (waiting || !wholeJob(s, c, kind)) return "the message did not go out as job " + std::to_string(c);
        return std::string();
    }
    if (!waiting && !wholeJob(s, 42, kind)) return "the outgoing message is lost";
    if (!waiting && c < 42) return "the counter is behind job 0042, which holds the only copy";
    return std::string();
}

int32_t exportOne(const Site& s, outbound::JobKind kind) {
    if (kind == outbound::JobKind::Mail) {
        return EXPMAIL(test::toHost(s.spool).c_str(), test::toHost(s.store).c_str(), "you@hub", "mybox",
                       "me@mybox", 5);
    }
    std::vector<char> sp = s.spoolBuffer(), st = s.storeBuffer();
    return EXPNEWS(sp.data(), st.data(), "mybox", 1, 5, 0);
}

CrashCase exportCase(const char* name, outbound::JobKind kind) {
    const char* source = kind == outbound::JobKind::Mail ? "rmail.z" : "rnews.z";
    return {name,
            [source](Site& s) {
                test::writeFile(s.store + "/export.dat", counterBytes(41));
                test::writeFile(s.spool + "/0041.CMD", "S 0041.DAT D.mybox0041 daemon - 0041.DAT 0666\r\n");
                test::writeFile(s.spool + "/0041.XQT", "U Daemon mybox\nZ\nF D.mybox0041\n");
                test::writeFile(s.spool + "/0041.DAT", kOldJob);
                test::writeFile(s.spool + "/" + source, kOutgoing);
            },
            [kind](Site& s) { ASSERT_EQ(exportOne(s, kind), 0); },
            [kind, source](const Site& s, bool, bool finished) { return exportHolds(s, kind, source, finished); },
            [kind, source](Site& s) {
                // The host was not told the message went: it exports it again.
                if (test::exists(s.spool + "/" + source)) exportOne(s, kind);
            }};
}

TEST(PowerCut, MailExport) { simulate(exportCase("EXPMAIL", outbound::JobKind::Mail)); }
TEST(PowerCut, NewsExport) { simulate(exportCase("EXPNEWS", outbound::JobKind::News)); }

// ---- writing a message ----

TEST(PowerCut, WriteMessageIntoAnEmptyStore) {
    const std::string text = "Dear host,\r\nthis draft is deleted once stored.\r\n";
    const std::string stored = "\nDear host,\nthis draft is deleted once stored.\n";
    simulate({"WRITEMESSAGE",
              [](Site&) {},
              [&](Site& s) {
                  int32_t start = 0, length = 0;
                  char err[512] = "";
                  ASSERT_EQ(WRITEMESSAGE(test::toHost(s.store).c_str(), 0, &start, &length, text.c_str(), err), 0);
                  ASSERT_EQ(start, 1);
                  ASSERT_EQ(length, static_cast<int32_t>(stored.size() - 1));
              },
              [&](const Site& s, bool returned, bool) -> std::string {
                  const std::string area = s.in(s.store, "mailarea.txt");
                  if (returned && area != stored) return "the message reported stored is not on the disk";
                  if (stored.compare(0, area.size(), area) != 0) return "mailarea.txt holds other bytes";
                  return std::string();
              },
              [](Site&) {}});
}

}  // namespace
}  // namespace brem
