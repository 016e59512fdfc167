// Nothing lost: every operation that moves messages between the spool and the
// store is run once for every failure point the platform seam can inject, and
// after each run, and after a clean follow-up, the spool and the store must
// agree: each message is in the store exactly once with its whole record, or
// still in the spool where the next call takes it; the results tell the truth.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "brem32.h"
#include "platform/fault.h"
#include "support/faultsim.h"
#include "support/store_check.h"
#include "support/test_support.h"

using namespace brem;
using test::FaultKind;
using test::FaultPhase;
using test::MailJob;

namespace {

int64_t countLines(const std::string& s) {
    int64_t n = 0;
    for (size_t p = 0; (p = s.find("\r\n", p)) != std::string::npos; p += 2) ++n;
    return n;
}

// A spool and a store, with the mail jobs put into the spool and what the
// host saw while it imported them.
struct MailSite {
    test::FaultScratch root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    std::vector<MailJob> earlier;  // imported before any fault was armed
    std::vector<MailJob> jobs;     // waiting in the spool
    std::vector<std::string> others;  // spool files that are no mail job and must stay
    int32_t verbosity = 0;
    std::vector<std::string> problems;

    std::string hdrPath() const { return store + "/mail.hdr"; }
    void put(const MailJob& j) {
        test::writeFile(spool + "/" + j.executeName, j.executeText());
        test::writeFile(spool + "/" + j.dataName, j.data);
    }
    int32_t call() {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return IMPMAIL(sp.data(), st.data(), "hub", "mybox", verbosity);
    }
    // The host's loop: call until nothing is left. Each success must add
    // exactly one record, each failure none.
    void hostLoop() {
        for (size_t i = 0; i < jobs.size() + earlier.size() + 3; ++i) {
            int64_t before = countLines(test::readFile(hdrPath()));
            int32_t r = call();
            int64_t after = countLines(test::readFile(hdrPath()));
            if (r == 0 && after != before + 8) problems.push_back("a success added no whole record");
            if (r != 0 && after != before) problems.push_back("a failure left record lines behind");
            if (r != 0) return;
        }
        problems.push_back("IMPMAIL never reported the spool empty");
    }
};

void checkMailSite(MailSite& s, FaultPhase phase) {
    for (const std::string& p : s.problems) ADD_FAILURE() << p;
    s.problems.clear();

    std::vector<test::MailRecord> records;
    std::string why;
    ASSERT_TRUE(test::parseMailHdr(test::readFile(s.hdrPath()), records, why)) << why;

    // The area holds the indexed messages and nothing after them.
    int64_t areaSize = test::fileSize(s.store + "/mailarea.txt");
    int64_t indexedEnd = records.empty() ? 0 : records.back().end;
    EXPECT_EQ(areaSize < 0 ? 0 : areaSize, indexedEnd) << "an unindexed fragment, or a record past the end";
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].start, i == 0 ? 1 : records[i - 1].end) << "record " << i + 1;
    }

    std::map<std::string, const MailJob*> byTo;
    for (const MailJob& j : s.earlier) byTo["To: " + j.recipient] = &j;
    for (const MailJob& j : s.jobs) byTo["To: " + j.recipient] = &j;
    std::set<std::string> stored;
    std::string storeHost = test::toHost(s.store);
    for (const test::MailRecord& r : records) {
        auto it = byTo.find(r.lines[0]);
        if (it == byTo.end()) {
            ADD_FAILURE() << "a record of no known message: " << r.lines[0];
            continue;
        }
        EXPECT_TRUE(stored.insert(r.lines[0]).second) << "imported twice: " << r.lines[0];
        EXPECT_TRUE(test::readsBackAs(storeHost, 0, static_cast<int32_t>(r.start),
                                      static_cast<int32_t>(r.end - r.start), it->second->data, why))
            << r.lines[0] << ": " << why;
    }

    for (const MailJob& j : s.earlier) EXPECT_TRUE(stored.count("To: " + j.recipient)) << "lost " << j.recipient;
    for (const MailJob& j : s.jobs) {
        bool inStore = stored.count("To: " + j.recipient) > 0;
        bool execute = test::exists(s.spool + "/" + j.executeName);
        bool data = test::exists(s.spool + "/" + j.dataName);
        if (inStore) {
            // Taken: its execute file must be gone, or the next call takes it again.
            EXPECT_FALSE(execute) << j.recipient << " is stored and still queued";
        } else {
            EXPECT_TRUE(execute && data) << j.recipient << " is neither stored nor queued";
            EXPECT_NE(phase, FaultPhase::AfterCleanRun) << j.recipient << " was not imported by the clean run";
        }
    }
    for (const std::string& name : s.others) EXPECT_TRUE(test::exists(s.spool + "/" + name)) << name;
}

MailJob mailJob(int n, const std::string& data) {
    char num[8];
    std::snprintf(num, sizeof num, "%04d", n);
    return MailJob{std::string("0C") + num + ".X", std::string("0A") + num + ".D",
                   "user" + std::to_string(n) + "@example.org", data};
}

test::FaultSweep<MailSite> mailSweep(const std::string& name) {
    test::FaultSweep<MailSite> sw;
    sw.operation = name;
    sw.run = [](MailSite& s) { s.hostLoop(); };
    sw.check = checkMailSite;
    return sw;
}

void report(const test::FaultCoverage& cov) {
    EXPECT_GT(cov.total(), 0);
    // A sweep that found no failure point of a kind the operation uses would
    // prove nothing.
    for (FaultKind k : {FaultKind::Open, FaultKind::Create, FaultKind::Write, FaultKind::Flush, FaultKind::Close,
                        FaultKind::Delete, FaultKind::DiskFull}) {
        EXPECT_GT(cov.points[static_cast<size_t>(k)], 0) << test::faultKindName(k);
    }
}

}  // namespace

TEST(FaultSweep, MailImportIntoAnEmptyStore) {
    auto sw = mailSweep("IMPMAIL into an empty store");
    sw.prepare = [](MailSite& s) {
        s.verbosity = 5;  // every log line: more writes and flushes between the store's
        s.jobs = {mailJob(1, "From: a@x\nSubject: first\n\nhello\n"),
                  mailJob(2, "Subject: second\nCc: c@x\n\nbody\nof two lines\n"),
                  mailJob(3, "no header at all, no line end")};
        for (const MailJob& j : s.jobs) s.put(j);
        // A job without an F line: its data file is found under the execute
        // file's own name.
        MailJob fallback = mailJob(5, "Subject: fallback\n\nx\n");
        fallback.dataName = "0C0005.D";
        test::writeFile(s.spool + "/0C0005.X", "C rmail " + fallback.recipient + "\n");
        test::writeFile(s.spool + "/0C0005.D", fallback.data);
        s.jobs.push_back(fallback);
        test::writeFile(s.spool + "/0C0009.X", "F D.hubN0009\nC rnews\n");
        test::writeFile(s.spool + "/0N0009.D", "#! rnews 1\nx");
        s.others = {"0C0009.X", "0N0009.D"};
    };
    report(test::sweepFaults(sw));
}

TEST(FaultSweep, MailImportIntoAFilledStoreWithALargeMessage) {
    auto sw = mailSweep("IMPMAIL into a filled store");
    sw.denseDiskBytes = 512;  // then growing steps through the large message
    sw.prepare = [](MailSite& s) {
        s.earlier = {mailJob(1, "Subject: old\n\nold one\n"), mailJob(2, "Subject: old too\n\n\n")};
        for (const MailJob& j : s.earlier) s.put(j);
        while (s.call() == 0) {
        }
        std::string big = "From: big@x\nSubject: big\n\n";
        for (int i = 0; big.size() < 70000; ++i) big += "line " + std::to_string(i) + " of the big one\n";
        std::string odd("Subject: odd bytes\r\n\r\n\0\x1a\xff\r\n\r\r\n", 31);
        s.jobs = {mailJob(3, big), mailJob(4, odd)};
        for (const MailJob& j : s.jobs) s.put(j);
    };
    report(test::sweepFaults(sw));
}

// Findings of the sweeps, each kept as a plain case.

// The execute file is what makes the next call take a job again: when it
// cannot be deleted after the message went into the store, the import is
// taken back, so that the job is imported once and not twice.
TEST(MailImportFaults, AnExecuteFileThatCannotBeDeletedLeavesTheJobQueuedAndTheStoreUntouched) {
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        MailSite s;
        s.jobs = {mailJob(1, "Subject: one\n\n1\n")};
        s.put(s.jobs[0]);
        test::writeFile(s.store + "/mailarea.txt", "");
        plat::fault::arm(plat::fault::Op::Delete, 1, persistent);
        EXPECT_EQ(s.call(), -1);
        plat::fault::disarm();
        EXPECT_EQ(test::readFile(s.hdrPath()), "");
        EXPECT_EQ(test::fileSize(s.store + "/mailarea.txt"), 0);
        EXPECT_EQ(test::listDir(s.spool), (std::vector<std::string>{"0A0001.D", "0C0001.X"}));
        EXPECT_NE(test::readFile(s.store + "/mail.log").find("0\tCannot delete ("), std::string::npos);

        EXPECT_EQ(s.call(), 0);
        EXPECT_EQ(s.call(), -1);
        checkMailSite(s, FaultPhase::AfterCleanRun);
    }
}

// A data file that cannot be deleted once its execute file is gone is never
// taken again: the import stands and the call reports it.
TEST(MailImportFaults, ADataFileThatCannotBeDeletedLeavesTheImportStanding) {
    MailSite s;
    s.jobs = {mailJob(1, "Subject: one\n\n1\n")};
    s.put(s.jobs[0]);
    plat::fault::arm(plat::fault::Op::Delete, 2);
    EXPECT_EQ(s.call(), 0);
    plat::fault::disarm();
    EXPECT_EQ(test::listDir(s.spool), std::vector<std::string>{"0A0001.D"});
    EXPECT_EQ(s.call(), -1);
    checkMailSite(s, FaultPhase::AfterCleanRun);
}

// A hostile execute file cannot make the import read, store or delete a file
// outside the spool.
TEST(MailImportFaults, ADataFileNameLeadingOutOfTheSpoolIsNotFollowed) {
    MailSite s;
    test::writeFile(s.root.path() + "/.D", "Subject: private\n\nnot for the store\n");
    s.root.subdir("spool/0");  // lets the name resolve on this system too
    test::writeFile(s.spool + "/0C0001.X", "F D.\\..\\..\\\nC rmail r@x\n");
    EXPECT_EQ(s.call(), -1);
    EXPECT_EQ(test::readFile(s.root.path() + "/.D"), "Subject: private\n\nnot for the store\n");
    EXPECT_EQ(test::readFile(s.hdrPath()), "");
    EXPECT_TRUE(test::exists(s.spool + "/bad/0C0001.X"));
}
