// Imports over a spool that the host's transfer changes between calls. The
// importers keep a listing of the spool from call to call; these cases make
// sure that never hides a job that arrived, hands out one that is gone, or
// answers "no job" without a fresh look.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "brem32.h"
#include "inbound/spool_queue.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

namespace {

struct Spool {
    ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    Spool() { inbound::resetSpoolQueues(); }
    // A mail job for `who` whose execute file sorts by `seq`.
    void mail(const std::string& seq, const std::string& who) {
        test::writeFile(spool + "/0C" + seq + ".X", "F D.hubA" + seq + "\nC rmail " + who + "@mybox\n");
        test::writeFile(spool + "/0A" + seq + ".D", "From: " + who + "\n\nhi\n");
    }
    void news(const std::string& seq, const std::string& group) {
        std::string article = "From: ann\nNewsgroups: " + group + "\n\nhello\n";
        test::writeFile(spool + "/0C" + seq + ".X", "F D.hubA" + seq + "\nC rnews\n");
        test::writeFile(spool + "/0A" + seq + ".D", "#! rnews " + std::to_string(article.size()) + "\n" + article);
    }
    void remove(const std::string& name) { std::remove((spool + "/" + name).c_str()); }
    int32_t impmail() {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool)), st = test::hostBuffer(test::toHost(store));
        return IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0);
    }
    int32_t impnews() {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool)), st = test::hostBuffer(test::toHost(store));
        return IMPNEWS(sp.data(), st.data(), "hub", "mybox", 0, 0);
    }
    // The recipients of mail.hdr's records, in order.
    std::string recipients() const {
        std::string hdr = test::readFile(store + "/mail.hdr"), out;
        for (size_t at = hdr.find("To: "); at != std::string::npos; at = hdr.find("To: ", at + 1)) {
            out += hdr.substr(at + 4, hdr.find('@', at) - at - 4) + " ";
        }
        return out;
    }
};

}  // namespace

TEST(SpoolQueue, MailImportFollowsTheTransferBetweenCalls) {
    Spool s;
    s.mail("00002", "b");
    s.mail("00004", "d");
    s.mail("00006", "f");
    s.news("00005", "rec.arts");
    EXPECT_EQ(s.impmail(), 0);  // b
    // The transfer takes one job back and leaves one that sorts first.
    s.remove("0C00006.X");
    s.remove("0A00006.D");
    s.mail("00001", "a");
    EXPECT_EQ(s.impmail(), 0);  // d, still waiting in the kept list
    EXPECT_EQ(s.impmail(), 0);  // a: the list is used up, the spool listed again
    EXPECT_EQ(s.impmail(), -1);
    EXPECT_EQ(s.impmail(), -1);
    // A job that arrives after "no job" is found by the next call.
    s.mail("00003", "c");
    EXPECT_EQ(s.impmail(), 0);
    EXPECT_EQ(s.impmail(), -1);

    EXPECT_EQ(s.recipients(), "b d a c ");
    EXPECT_EQ(test::listDir(s.spool), (std::vector<std::string>{"0A00005.D", "0C00005.X"}));
    EXPECT_EQ(test::readFile(s.store + "/mailarea.txt"), "\nFrom: b\n\nhi\nFrom: d\n\nhi\nFrom: a\n\nhi\nFrom: c\n\nhi\n");
}

TEST(SpoolQueue, NewsAndMailImportsShareOneSpool) {
    Spool s;
    test::writeFile(s.store + "/area.dat", "rec.arts\n3\ncomp.os\n4\n");
    s.news("00001", "rec.arts");
    s.mail("00002", "m");
    s.news("00003", "comp.os");
    s.news("00004", "rec.arts");
    EXPECT_EQ(s.impnews(), 0);  // 00001
    EXPECT_EQ(s.impmail(), 0);  // the mail between the news jobs
    // The host drops a waiting news job; another arrives, sorting last.
    s.remove("0C00003.X");
    s.news("00009", "comp.os");
    EXPECT_EQ(s.impnews(), 0);  // 00004
    EXPECT_EQ(s.impnews(), 0);  // 00009
    EXPECT_EQ(s.impnews(), 1);
    EXPECT_EQ(s.impmail(), -1);

    EXPECT_EQ(test::readFile(s.store + "/area3.txt").size(), 2 * std::string("From: ann\nNewsgroups: rec.arts\n\nhello\n").size() + 1);
    EXPECT_EQ(test::fileSize(s.store + "/area4.txt"), 1 + static_cast<int64_t>(std::string("From: ann\nNewsgroups: comp.os\n\nhello\n").size()));
    // The dropped job's data file stays where the host left it.
    EXPECT_TRUE(test::exists(s.spool + "/0A00003.D"));
}

// Names resolve case-blind whoever made the last change, the library or
// others.
TEST(SpoolQueue, CaseBlindNamesFollowChangesFromEitherSide) {
    ScratchDir d;
    std::string host = test::toHost(d.path()) + "\\";
    test::writeFile(d.file("Job.X"), "1");
    EXPECT_TRUE(plat::fileExists(host + "JOB.x"));
    EXPECT_FALSE(plat::fileExists(host + "other.x"));
    ASSERT_EQ(std::rename(d.file("Job.X").c_str(), d.file("Other.X").c_str()), 0);
    EXPECT_FALSE(plat::fileExists(host + "JOB.x"));
    EXPECT_TRUE(plat::fileExists(host + "OTHER.x"));
    EXPECT_TRUE(plat::moveFile(host + "other.x", host + "Third.X"));
    EXPECT_TRUE(plat::fileExists(host + "THIRD.x"));
    EXPECT_TRUE(plat::deleteFile(host + "third.X"));
    EXPECT_FALSE(plat::fileExists(host + "Third.X"));
    EXPECT_EQ(test::listDir(d.path()), std::vector<std::string>{});
}
