// Nothing lost on the news side: IMPNEWS, plain and compressed, run once for
// every failure point the platform seam can inject. After each run, and after
// a clean follow-up, every article is either in its area with the complete
// record the host read from Header.Msg (offsets reading back exactly the
// article), or its job still waits in the spool for the next call; no area
// holds bytes that no record points to.
#include <gtest/gtest.h>

#include <filesystem>
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

namespace {

struct Article {
    std::string id;     // its Message-ID line without the line end: identifies its record
    int32_t area;       // where area.dat sends it; 0: nowhere, never filed
    std::string bytes;  // as the batch holds it
};

struct NewsJob {
    std::string executeName, dataName;
    std::vector<Article> articles;
    std::string batch() const {
        std::string b;
        for (const Article& a : articles) b += "#! rnews " + std::to_string(a.bytes.size()) + "\n" + a.bytes;
        return b;
    }
};

const char* const kAreaDat = "rec.arts\n3\ncomp.lang\n4\nalt.misc\n7\n";

Article article(const std::string& id, const std::string& group, int32_t area, const std::string& body) {
    return Article{"Message-ID: <" + id + ">", area,
                   "From: " + id + "@example.org\nNewsgroups: " + group + "\nSubject: about " + id +
                       "\nDate: 1 Jan 1997\nMessage-ID: <" + id + ">\nLines: 1\n\n" + body};
}

// The batch as it arrives compressed, made by the system's compress once.
std::string compressedData(const std::string& batch) {
    static std::map<std::string, std::string> made;
    auto it = made.find(batch);
    if (it != made.end()) return it->second;
    test::ScratchDir dir;
    test::writeFile(dir.file("b"), batch);
    EXPECT_EQ(test::runCommand("compress -f -c -b 16 < '" + dir.file("b") + "' > '" + dir.file("b.Z") + "'"), 0);
    std::string data = "#! cunbatch\n" + test::readFile(dir.file("b.Z"));
    made[batch] = data;
    return data;
}

struct NewsSite {
    test::FaultScratch root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    int32_t bits = 0;
    int32_t verbosity = 5;
    std::vector<NewsJob> jobs;
    std::vector<std::string> others;  // spool files of other jobs: they stay
    // What the host read from Header.Msg after each filed batch.
    std::vector<std::pair<int32_t, test::IndexRecord>> records;
    std::vector<std::string> problems;

    void put(const NewsJob& j) {
        test::writeFile(spool + "/" + j.executeName,
                        "U news newshost\nF D.newshostN" + j.dataName.substr(2, 4) + "\nC rnews\n");
        test::writeFile(spool + "/" + j.dataName, bits > 0 ? compressedData(j.batch()) : j.batch());
    }
    int32_t call() {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return IMPNEWS(sp.data(), st.data(), "newshost", "mybox", verbosity, bits);
    }
    // The host's loop: call until the result is not 0, reading Header.Msg
    // after each filed batch.
    void hostLoop() {
        for (size_t i = 0; i < jobs.size() + 3; ++i) {
            int32_t r = call();
            if (r != 0) return;
            std::vector<test::IndexRecord> got;
            std::string why;
            if (!test::parseIndex(test::readFile(spool + "/Header.Msg"), test::kHeaderMsg, got, why)) {
                problems.push_back("after a filed batch: " + why);
                continue;
            }
            for (test::IndexRecord& rec : got) {
                int32_t area = std::atoi(rec.lines[0].c_str());
                records.emplace_back(area, std::move(rec));
            }
        }
        problems.push_back("IMPNEWS never reported the spool done");
    }
};

void checkNewsSite(NewsSite& s, FaultPhase phase) {
    for (const std::string& p : s.problems) ADD_FAILURE() << p;
    s.problems.clear();

    std::map<std::string, const Article*> byId;
    for (const NewsJob& j : s.jobs) {
        for (const Article& a : j.articles) byId[a.id] = &a;
    }
    std::set<std::string> stored;
    std::map<int32_t, std::vector<const test::IndexRecord*>> perArea;
    std::string storeHost = test::toHost(s.store), why;
    for (const auto& [area, r] : s.records) {
        auto it = byId.find(r.lines[3]);
        if (it == byId.end()) {
            ADD_FAILURE() << "a record of no known article: " << r.lines[3];
            continue;
        }
        EXPECT_EQ(area, it->second->area) << r.lines[3];
        EXPECT_TRUE(stored.insert(r.lines[3]).second) << "filed twice: " << r.lines[3];
        EXPECT_TRUE(test::readsBackAs(storeHost, area, static_cast<int32_t>(r.start),
                                      static_cast<int32_t>(r.end - r.start), it->second->bytes, why))
            << r.lines[3] << ": " << why;
        perArea[area].push_back(&r);
    }
    // Each area holds its recorded articles one after the other from offset 1
    // and nothing after them.
    for (int32_t area : {3, 4, 7}) {
        int64_t size = test::fileSize(s.store + "/area" + std::to_string(area) + ".txt");
        const auto& recs = perArea[area];
        if (recs.empty()) {
            EXPECT_LE(size, 1) << "area " << area << " holds bytes no record points to";
            continue;
        }
        for (size_t i = 0; i < recs.size(); ++i) {
            EXPECT_EQ(recs[i]->start, i == 0 ? 1 : recs[i - 1]->end) << "area " << area << " record " << i + 1;
        }
        EXPECT_EQ(size, recs.back()->end) << "area " << area << " holds an unindexed fragment";
    }

    for (const NewsJob& j : s.jobs) {
        size_t in = 0, fileable = 0;
        for (const Article& a : j.articles) {
            if (a.area < 1) continue;
            ++fileable;
            in += stored.count(a.id);
        }
        bool execute = test::exists(s.spool + "/" + j.executeName);
        bool data = test::exists(s.spool + "/" + j.dataName);
        if (in == fileable) {
            EXPECT_FALSE(execute) << j.executeName << " is filed and still queued";
        } else {
            EXPECT_EQ(in, 0u) << j.executeName << ": part of the batch is filed";
            EXPECT_TRUE(execute && data) << j.executeName << " is neither filed nor queued";
            EXPECT_NE(phase, FaultPhase::AfterCleanRun) << j.executeName << " was not filed by the clean run";
        }
    }
    for (const std::string& name : s.others) EXPECT_TRUE(test::exists(s.spool + "/" + name)) << name;
}

NewsJob newsJob(int n, std::vector<Article> articles) {
    char num[8];
    std::snprintf(num, sizeof num, "%04d", n);
    return NewsJob{std::string("0C") + num + ".X", std::string("0N") + num + ".D", std::move(articles)};
}

test::FaultSweep<NewsSite> newsSweep(const std::string& name, int32_t bits) {
    test::FaultSweep<NewsSite> sw;
    sw.operation = name;
    // Every byte count up to here, then growing steps: a compressed sweep
    // starts the compressor in every run.
    sw.denseDiskBytes = bits > 0 ? 48 : 256;
    sw.prepare = [bits](NewsSite& s) {
        test::writeFile(s.store + "/area.dat", kAreaDat);
        // An area that already holds an article from an earlier batch.
        NewsJob earlier = newsJob(1, {article("old", "comp.lang", 4, "filed before\n")});
        s.jobs = {earlier};
        s.put(earlier);
        s.verbosity = 0;
        s.hostLoop();
        s.bits = bits;
        s.verbosity = 5;  // every log line: more writes and flushes between the store's
        std::string big;
        for (int i = 0; big.size() < 3000; ++i) big += "line " + std::to_string(i) + " of a longer article\n";
        s.jobs.push_back(newsJob(2, {article("a1", "rec.arts", 3, "hello\n"),
                                     article("a2", "comp.lang,talk.other", 4, big),
                                     article("skip", "talk.other", 0, "no area\n"),
                                     article("a3", "rec.arts.movies", 3, std::string("odd \xff\x1a\r\n\0.\n", 12))}));
        s.jobs.push_back(newsJob(3, {article("b1", "alt.misc", 7, "one\n"), article("b2", "rec.arts", 3, "two\n")}));
        // The compressor runs for every compressed job of every run: one
        // job is enough there.
        if (bits > 0) s.jobs.pop_back();
        for (size_t i = 1; i < s.jobs.size(); ++i) s.put(s.jobs[i]);
        test::writeFile(s.spool + "/0C0009.X", "F D.hubA0009\nC rmail someone\n");
        test::writeFile(s.spool + "/0A0009.D", "Subject: mail\n\nx\n");
        s.others = {"0C0009.X", "0A0009.D"};
    };
    sw.run = [](NewsSite& s) { s.hostLoop(); };
    sw.check = checkNewsSite;
    return sw;
}

void report(const test::FaultCoverage& cov, bool compressed) {
    for (FaultKind k : {FaultKind::Open, FaultKind::Create, FaultKind::Write, FaultKind::Flush, FaultKind::Close,
                        FaultKind::Delete, FaultKind::Move, FaultKind::DiskFull}) {
        EXPECT_GT(cov.points[static_cast<size_t>(k)], 0) << test::faultKindName(k);
    }
    if (compressed) {
        EXPECT_GT(cov.points[static_cast<size_t>(FaultKind::ProcessStart)], 0);
    }
}

}  // namespace

TEST(FaultSweep, NewsImportOfPlainBatches) { report(test::sweepFaults(newsSweep("IMPNEWS plain", 0)), false); }

TEST(FaultSweep, NewsImportOfCompressedBatches) {
    ASSERT_TRUE(test::exists(test::binDir() + "/zorpack"));
    report(test::sweepFaults(newsSweep("IMPNEWS compressed", 16)), true);
}

// Findings of the sweeps, each kept as a plain case.

// A batch that fails part way is taken back whole and its job waits in the
// spool: filed again later, each article is in the store once.
TEST(NewsImportFaults, ABatchThatFailsPartWayIsTakenBackAndItsJobWaits) {
    NewsSite s;
    test::writeFile(s.store + "/area.dat", kAreaDat);
    s.jobs = {newsJob(2, {article("a1", "rec.arts", 3, "first\n"), article("a2", "comp.lang", 4, "second\n")})};
    s.put(s.jobs[0]);
    // The second article's area cannot be opened: the first is filed already.
    s.root.subdir("store/area4.txt");
    EXPECT_EQ(s.call(), -1);
    EXPECT_LE(test::fileSize(s.store + "/area3.txt"), 0);
    EXPECT_EQ(test::readFile(s.spool + "/Header.Msg"), "");
    EXPECT_TRUE(test::exists(s.spool + "/0C0002.X"));
    EXPECT_TRUE(test::exists(s.spool + "/0N0002.D"));
    std::filesystem::remove(s.store + "/area4.txt");
    s.hostLoop();
    checkNewsSite(s, FaultPhase::AfterCleanRun);
}

// Without area.dat no article can be filed: the job waits until there is one.
TEST(NewsImportFaults, ABatchWithoutAnAreaMapWaits) {
    for (int32_t bits : {0, 16}) {
        NewsSite s;
        s.bits = bits;
        s.jobs = {newsJob(2, {article("a1", "rec.arts", 3, "first\n")})};
        s.put(s.jobs[0]);
        EXPECT_EQ(s.call(), 1);
        EXPECT_TRUE(test::exists(s.spool + "/0C0002.X"));
        EXPECT_TRUE(test::exists(s.spool + "/0N0002.D"));
        test::writeFile(s.store + "/area.dat", kAreaDat);
        s.hostLoop();
        checkNewsSite(s, FaultPhase::AfterCleanRun);
    }
}

// The execute file is what makes the next call take a job again: while it
// cannot be deleted the filing is taken back, so the batch is filed once.
TEST(NewsImportFaults, AnExecuteFileThatCannotBeDeletedTakesTheFilingBack) {
    NewsSite s;
    test::writeFile(s.store + "/area.dat", kAreaDat);
    s.jobs = {newsJob(2, {article("a1", "rec.arts", 3, "first\n")})};
    s.put(s.jobs[0]);
    plat::fault::arm(plat::fault::Op::Delete, 4);  // Header.Msg, "$7b60051", "$7b60051.int", then the job's
    EXPECT_EQ(s.call(), -1);
    plat::fault::disarm();
    EXPECT_LE(test::fileSize(s.store + "/area3.txt"), 0);
    EXPECT_NE(test::readFile(s.store + "/news.log").find("Cannot delete "), std::string::npos);
    s.hostLoop();
    checkNewsSite(s, FaultPhase::AfterCleanRun);
}
