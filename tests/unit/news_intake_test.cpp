// How news import takes a job in: the execute file read as mail import reads
// it, and the batch taken for what its first line says it is, whatever bit
// count the host passed. What counts is what is on disk afterwards: every
// article filed once, or the job still waiting; never a batch lost.
#include <gtest/gtest.h>

#include <string>

#include "brem32.h"
#include "inbound/execute_file.h"
#include "inbound/news_import.h"
#include "support/test_support.h"

using namespace brem;

namespace {

std::string article(int i) {
    return "From: ann\nNewsgroups: rec.arts\nSubject: article " + std::to_string(i) + "\nMessage-ID: <" +
           std::to_string(i) + "@x>\n\nbody " + std::to_string(i) + "\n";
}
std::string rnews(const std::string& a) { return "#! rnews " + std::to_string(a.size()) + "\n" + a; }

struct NewsSpool {
    test::ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    NewsSpool() { test::writeFile(store + "/area.dat", "rec.arts\n3\n"); }
    void put(const std::string& name, const std::string& bytes) { test::writeFile(spool + "/" + name, bytes); }
    int32_t import(int32_t bits) {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return IMPNEWS(sp.data(), st.data(), "newshost", "mybox", 0, bits);
    }
    std::string area() const { return test::readFile(store + "/area3.txt"); }
    std::vector<std::string> files() const { return test::listDir(spool); }
    std::string compressed(const std::string& plain, int bits) const {
        test::writeFile(root.file("plain"), plain);
        EXPECT_EQ(test::runCommand("compress -f -c -b " + std::to_string(bits) + " < '" + root.file("plain") +
                                   "' > '" + root.file("plain.Z") + "'"),
                  0);
        return "#! cunbatch\n" + test::readFile(root.file("plain.Z"));
    }
};

using Files = std::vector<std::string>;

}  // namespace

TEST(NewsIntake, CommandLineWithSmallLettersIsANewsJob) {
    NewsSpool s;
    s.put("2C00f7.X", "U news newshost\nf D.newshostA1234\r\nc rnews\n");
    s.put("0A1234.D", rnews(article(1)));
    EXPECT_EQ(s.import(0), 0);
    EXPECT_EQ(s.area(), "\n" + article(1));
    EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "Header.Msg"}));
}

// A batch says on its first line what it is; the host's bit count only
// decides for data files that say neither.
TEST(NewsIntake, EachBatchIsTakenForWhatItIs) {
    for (int32_t bits : {0, 16}) {
        NewsSpool s;
        s.put("0C0005.X", "F D.newshostN0005\nC rnews\n");
        s.put("0N0005.D", rnews(article(1)) + rnews(article(2)));
        s.put("0C0006.X", "F D.newshostN0006\nC rnews\n");
        s.put("0N0006.D", s.compressed(rnews(article(3)) + rnews(article(4)), 12));
        EXPECT_EQ(s.import(bits), 0) << bits;
        EXPECT_EQ(s.import(bits), 0) << bits;
        EXPECT_EQ(s.import(bits), 1) << bits;
        EXPECT_EQ(s.area(), "\n" + article(1) + article(2) + article(3) + article(4)) << bits;
        // Both jobs are out of the spool; only the working files stay.
        EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "$7b60051.z", "Header.Msg"})) << bits;
    }
}

// Set aside whole into bad/, where it holds back no later job.
TEST(NewsIntake, AnUnreadableCompressedBatchIsNeverLost) {
    NewsSpool s;
    s.put("0C0006.X", "F D.newshostN0006\nC rnews\n");
    const std::string data = "#! cunbatch\n" + std::string(40, '\xff');
    s.put("0N0006.D", data);
    s.put("0C0007.X", "F D.newshostN0007\nC rnews\n");
    s.put("0N0007.D", rnews(article(1)));
    EXPECT_EQ(s.import(0), -1);
    EXPECT_EQ(test::readFile(s.spool + "/bad/0N0006.D"), data);
    EXPECT_EQ(test::readFile(s.spool + "/bad/0C0006.X"), "F D.newshostN0006\nC rnews\n");
    EXPECT_FALSE(test::exists(s.store + "/area3.txt"));
    EXPECT_EQ(s.import(0), 0);
    EXPECT_EQ(s.area(), "\n" + article(1));
}

// brem's report of the jobs left reads a job through the importers' own
// reader and intake choice: a news job's F line is cut where news import
// cuts it, and a data file that is no batch is passed over only where the
// import would pass it over (compressed intake), never with a plain one.
TEST(NewsIntake, TheReportOfAJobLeftSeesWhatTheImportSees) {
    NewsSpool s;
    const std::string longName = "D.newshost" + std::string(40, 'q') + "A1234";
    s.put("news.X", "F " + longName + "\nC rnews\n");
    s.put("mail.X", "F " + longName + "\nC rmail ann\n");
    inbound::ExecuteJob job;
    inbound::JobCommand kind = inbound::JobCommand::Other;
    std::string why;
    ASSERT_EQ(inbound::ReadAnyExecuteFile(s.spool + "/news.X", job, kind, why), inbound::ExecuteRead::Ok);
    EXPECT_EQ(kind, inbound::JobCommand::News);
    EXPECT_EQ(job.dataName, longName.substr(0, inbound::kNewsExecuteLimits.dataNameChars));
    ASSERT_EQ(inbound::ReadAnyExecuteFile(s.spool + "/mail.X", job, kind, why), inbound::ExecuteRead::Ok);
    EXPECT_EQ(kind, inbound::JobCommand::Mail);
    EXPECT_EQ(job.dataName, longName);

    s.put("junk.D", "no batch at all\n");
    s.put("plain.D", rnews(article(1)));
    EXPECT_TRUE(inbound::ChooseNewsIntake(s.spool + "/junk.D", 12).passedOver());
    EXPECT_FALSE(inbound::ChooseNewsIntake(s.spool + "/junk.D", 0).passedOver());
    EXPECT_FALSE(inbound::ChooseNewsIntake(s.spool + "/plain.D", 12).compressed);
}
