// Nothing lost on the way out: EXPMAIL and EXPNEWS (plain and compressed) run
// once for every failure point the platform seam can inject. After each call
// the counter export.dat is never ahead of the job files: a success leaves
// the three complete files of the number it saved, a failure leaves no job
// file, the counter as it was and the host's message or batch in place for
// another try.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brem32.h"
#include "platform/fault.h"
#include "support/faultsim.h"
#include "support/test_support.h"

using namespace brem;
using test::FaultKind;
using test::FaultPhase;

namespace {

enum class Kind { Mail, News };

std::string num4(int32_t n) {
    char b[16];
    std::snprintf(b, sizeof b, "%04d", n);
    return b;
}

// What the three files of job `n` must hold.
std::string commandText(int32_t n, Kind kind) {
    const char* user = kind == Kind::Mail ? "daemon" : "news";
    std::string k = num4(n);
    return "S " + k + ".DAT D.mybox" + k + " " + user + " - " + k + ".DAT 0666\r\nS " + k + ".XQT X.mybox" + k + " " +
           user + " - " + k + ".XQT 0666\r\n";
}
std::string executeText(int32_t n, Kind kind, const std::string& recipient) {
    std::string k = num4(n);
    return (kind == Kind::Mail ? "U Daemon mybox\nZ\n" : "U news mybox\nZ\n") + std::string("F D.mybox") + k +
           "\nI D.mybox" + k + "\n" + (kind == Kind::Mail ? "C rmail " + recipient + "\n" : "C rnews\n");
}

// The batch as the compressor packs it, made by the same program once.
std::string packed(const std::string& batch) {
    static std::string lastIn, lastOut;
    if (batch == lastIn) return lastOut;
    test::ScratchDir dir;
    test::writeFile(dir.file("rnews"), batch);
    EXPECT_EQ(test::runCommand("'" + test::binDir() + "/zorpack' -fk -b 16 '" + dir.file("rnews") + "'"), 0);
    lastIn = batch;
    lastOut = test::readFile(dir.file("rnews.z"));
    return lastOut;
}

int32_t nextNumber(int32_t last) { return last < 0 || last >= 9999 ? 1 : last + 1; }

struct ExportSite {
    test::FaultScratch root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    std::string sent = root.subdir("sent");  // where the transfer takes the jobs
    Kind kind = Kind::Mail;
    int32_t bits = 0;
    std::vector<std::string> messages;  // exported in order, one a call
    std::vector<int32_t> expect;        // the numbers they must get
    size_t next = 0;                    // the first not exported yet
    bool staged = false;                // the host's input for messages[next] is in the spool
    std::vector<int32_t> numbers;       // the number each exported message got
    std::vector<std::string> problems;

    std::string counterPath() const { return store + "/export.dat"; }
    std::string inputName() const { return kind == Kind::Mail ? "rmail.z" : bits > 0 ? "rnews" : "rnews.z"; }
    std::string recipient(size_t i) const { return "user" + std::to_string(i) + "@example.org"; }

    int32_t call() {
        if (kind == Kind::Mail) {
            return EXPMAIL(test::toHost(spool).c_str(), test::toHost(store).c_str(), recipient(next).c_str(), "mybox",
                           "me@mybox", 5);
        }
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return EXPNEWS(sp.data(), st.data(), "mybox", 3, 8, bits);
    }

    // The counter as saved, -1 when there is none; a file of another size
    // than four bytes is a problem.
    int32_t counter() {
        std::string c = test::readFile(counterPath());
        if (!test::exists(counterPath())) return -1;
        if (c.size() != 4) {
            problems.push_back("export.dat holds " + std::to_string(c.size()) + " bytes");
            return -2;
        }
        uint32_t u = 0;
        for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(c[static_cast<size_t>(i)]);
        return static_cast<int32_t>(u);
    }

    // The spool holds the host's input and nothing the export left behind.
    void checkSpoolClean(const char* when) {
        for (const std::string& name : test::listDir(spool)) {
            bool input = name == inputName() || (kind == Kind::News && bits > 0 && name == "rnews.z") ||
                         (kind == Kind::News && bits > 0 && name == "rnews");
            if (!input) problems.push_back(std::string(when) + ": " + name + " left in the spool");
        }
    }

    // The host's loop: the next message into the spool, EXPMAIL or EXPNEWS,
    // the job handed to the transfer; it stops at the first failure.
    void hostLoop() {
        while (next < messages.size()) {
            if (!staged) {
                test::writeFile(spool + "/" + inputName(), messages[next]);
                staged = true;
            }
            std::string counterBefore = test::readFile(counterPath());
            int32_t before = counter();
            int32_t r = call();
            int32_t n = nextNumber(before);
            std::string k = spool + "/" + num4(n);
            if (r != 0) {
                if (test::readFile(counterPath()) != counterBefore) problems.push_back("a failure moved the counter");
                for (const char* ext : {".CMD", ".XQT", ".DAT"}) {
                    if (test::exists(k + ext)) problems.push_back("a failure left " + num4(n) + ext);
                }
                if (test::readFile(spool + "/" + inputName()) != messages[next]) {
                    problems.push_back("a failure did not leave the host's " + inputName() + " in place");
                }
                checkSpoolClean("after a failure");
                return;
            }
            if (counter() != n) problems.push_back("the counter does not name the job just written");
            if (test::readFile(k + ".CMD") != commandText(n, kind)) problems.push_back(num4(n) + ".CMD is wrong");
            if (test::readFile(k + ".XQT") != executeText(n, kind, recipient(next))) {
                problems.push_back(num4(n) + ".XQT is wrong");
            }
            std::string data = kind == Kind::News && bits > 0 ? "#! cunbatch\n" + packed(messages[next]) : messages[next];
            if (test::readFile(k + ".DAT") != data) problems.push_back(num4(n) + ".DAT is not the message");
            for (const char* ext : {".CMD", ".XQT", ".DAT"}) {
                std::error_code ec;
                std::filesystem::rename(k + ext, sent + "/" + std::to_string(next) + ext, ec);
            }
            if (kind == Kind::News && bits > 0) std::filesystem::remove(spool + "/rnews");
            checkSpoolClean("after a success");
            numbers.push_back(n);
            staged = false;
            ++next;
        }
    }
};

void checkExportSite(ExportSite& s, FaultPhase phase) {
    for (const std::string& p : s.problems) ADD_FAILURE() << p;
    s.problems.clear();
    if (phase == FaultPhase::AfterCleanRun) {
        EXPECT_EQ(s.next, s.messages.size()) << "the clean run did not export every message";
        EXPECT_EQ(s.numbers, s.expect);
    }
}

test::FaultSweep<ExportSite> exportSweep(const std::string& name, Kind kind, int32_t bits) {
    test::FaultSweep<ExportSite> sw;
    sw.operation = name;
    // Every byte count up to here, then growing steps: a compressed sweep
    // starts the compressor in every run.
    sw.denseDiskBytes = bits > 0 ? 48 : 160;
    sw.prepare = [kind, bits](ExportSite& s) {
        s.kind = kind;
        s.bits = bits;
        test::writeFile(s.counterPath(), std::string("\x0e\x27\0\0", 4));  // 9998
        if (kind == Kind::Mail) {
            s.messages = {"From: me@mybox\nSubject: one\n\nfirst\n", "Subject: two\n\n" + std::string(300, 'x') + "\n"};
        } else {
            std::string a = "Newsgroups: rec.arts\nSubject: one\n\nfirst\n";
            std::string b = "Newsgroups: rec.arts\nSubject: two\n\n" + std::string(300, 'y') + "\n";
            s.messages = {"#! rnews " + std::to_string(a.size()) + "\n" + a,
                          "#! rnews " + std::to_string(b.size()) + "\n" + b + "#! rnews " +
                              std::to_string(a.size()) + "\n" + a};
        }
        // Two exports from 9998: the second wraps to 1. The compressor runs
        // in every export: one export there, the one that wraps.
        s.expect = {9999, 1};
        if (kind == Kind::News && bits > 0) {
            s.messages.erase(s.messages.begin());
            s.expect = {1};
            test::writeFile(s.counterPath(), std::string("\x0f\x27\0\0", 4));  // 9999
        }
    };
    sw.run = [](ExportSite& s) { s.hostLoop(); };
    sw.check = checkExportSite;
    return sw;
}

// A sweep that found no failure point of a kind the operation uses would
// prove nothing.
void report(const test::FaultCoverage& cov, std::vector<FaultKind> used) {
    for (FaultKind k : {FaultKind::Open, FaultKind::Create, FaultKind::Write, FaultKind::Close, FaultKind::DiskFull}) {
        used.push_back(k);
    }
    for (FaultKind k : used) EXPECT_GT(cov.points[static_cast<size_t>(k)], 0) << test::faultKindName(k);
}

}  // namespace

TEST(FaultSweep, MailExport) { report(test::sweepFaults(exportSweep("EXPMAIL", Kind::Mail, 0)), {FaultKind::Move}); }

TEST(FaultSweep, NewsExportPlain) { report(test::sweepFaults(exportSweep("EXPNEWS plain", Kind::News, 0)), {FaultKind::Delete}); }

TEST(FaultSweep, NewsExportCompressed) {
    ASSERT_TRUE(test::exists(test::binDir() + "/zorpack"));
    report(test::sweepFaults(exportSweep("EXPNEWS compressed", Kind::News, 16)),
           {FaultKind::Delete, FaultKind::ProcessStart});
}

// Findings of the sweeps, each kept as a plain case.

// A counter that is there but cannot be read is no first export: numbering
// again from 1 would write over jobs still waiting in the spool.
TEST(ExportFaults, ACounterThatCannotBeReadStopsTheExport) {
    for (Kind kind : {Kind::Mail, Kind::News}) {
        ExportSite s;
        s.kind = kind;
        s.messages = {"Subject: one\n\nfirst\n"};
        s.expect = {42};
        std::string counter("\x29\0\0\0", 4);  // 41
        test::writeFile(s.counterPath(), counter);
        plat::fault::arm(plat::fault::Op::Open, 1);
        s.hostLoop();
        plat::fault::disarm();
        EXPECT_EQ(s.next, 0u);
        EXPECT_EQ(test::readFile(s.counterPath()), counter);
        s.hostLoop();
        checkExportSite(s, FaultPhase::AfterCleanRun);
    }
}

// A counter whose new number cannot be written (a full disk from some write
// on) keeps the number it had: never an empty file that restarts at 1.
TEST(ExportFaults, ACounterThatCannotBeSavedKeepsItsNumber) {
    for (int n = 1; n < 40; ++n) {
        SCOPED_TRACE("writes fail from the " + std::to_string(n) + "th");
        ExportSite s;
        s.messages = {"Subject: one\n\nfirst\n"};
        s.expect = {42};
        test::writeFile(s.counterPath(), std::string("\x29\0\0\0", 4));
        plat::fault::arm(plat::fault::Op::Write, n, true);
        s.hostLoop();
        bool fired = plat::fault::fired() > 0;
        plat::fault::disarm();
        EXPECT_EQ(test::fileSize(s.counterPath()), 4);
        checkExportSite(s, FaultPhase::AfterFault);
        s.hostLoop();
        checkExportSite(s, FaultPhase::AfterCleanRun);
        if (!fired) break;
    }
}
