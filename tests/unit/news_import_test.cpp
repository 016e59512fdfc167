// News import through IMPNEWS: the job stages, both intakes (the compressed
// one through zorpack, with batches made by the real compress), the results
// and what each failure leaves in the spool.
#include <gtest/gtest.h>

#include <string>

#include "brem32.h"
#include "platform/fault.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

namespace {

const std::string kArticle =
    "From: ann\nNewsgroups: rec.arts\nSubject: hi\nDate: 1 Jan 1997\nMessage-ID: (a1)\nLines: 1\n\nhello\n";
const std::string kRecord =
    "3\r\nFrom: ann\r\nDate: 1 Jan 1997\r\nMessage-ID: (a1)\r\nSubject: hi\r\nMessage-ID: (a1)\r\nLines: 1\r\n";

std::string rnews(const std::string& article) { return "#! rnews " + std::to_string(article.size()) + "\n" + article; }

std::string execute(const std::string& dataName, const char* command = "C rnews") {
    return "U news newshost\nF " + dataName + "\nI " + dataName + "\n" + command + "\n";
}

struct Spool {
    ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    std::vector<char> sp = test::hostBuffer(test::toHost(spool));
    std::vector<char> st = test::hostBuffer(test::toHost(store));

    Spool() { test::writeFile(store + "/area.dat", "rec.arts\n3\n"); }
    void put(const std::string& name, const std::string& bytes) { test::writeFile(spool + "/" + name, bytes); }
    int32_t import(int32_t bits = 0, int32_t verbosity = 0) {
        return IMPNEWS(sp.data(), st.data(), "newshost", "mybox", verbosity, bits);
    }
    std::vector<std::string> files() const { return test::listDir(spool); }
    std::string log() const { return test::readFile(store + "/news.log"); }
    bool logged(const std::string& line) const { return log().find("\t" + line) != std::string::npos; }
    std::string compressed(const std::string& plain, int bits) const {
        test::writeFile(root.file("plain"), plain);
        std::string cmd = "compress -f -c -b " + std::to_string(bits) + " < '" + root.file("plain") + "' > '" +
                          root.file("plain.Z") + "'";
        EXPECT_EQ(test::runCommand(cmd), 0);
        return "#! cunbatch\n" + test::readFile(root.file("plain.Z"));
    }
};

using Files = std::vector<std::string>;

}  // namespace

TEST(NewsImport, PlainJobIsFiledAndTheNextCallFindsNothing) {
    Spool s;
    s.put("2C00f7.X", execute("D.newshostA1234"));
    s.put("0A1234.D", rnews(kArticle));
    EXPECT_EQ(s.import(), 0);
    EXPECT_EQ(std::string(s.sp.data()), test::toHost(s.spool) + "\\");
    EXPECT_EQ(std::string(s.st.data()), test::toHost(s.store) + "\\");
    EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "Header.Msg"}));
    EXPECT_EQ(test::readFile(s.spool + "/Header.Msg"), kRecord + "1\r\n94\r\n");
    EXPECT_EQ(test::readFile(s.store + "/area3.txt"), "\n" + kArticle);
    EXPECT_TRUE(s.logged("News import started \r\n"));
    EXPECT_TRUE(s.logged("Found end of file\r\n"));

    std::string log = s.log();
    EXPECT_EQ(s.import(), 1);
    EXPECT_EQ(s.log(), log);
}

TEST(NewsImport, OneBatchPerCallAndOtherJobsStay) {
    Spool s;
    s.put("0C0001.X", "F D.hubA0001\nC rmail someone\n");
    s.put("0A0001.D", "From: x\n\nmail\n");
    s.put("0C0002.X", execute("D.newshostN0002"));
    s.put("0N0002.D", rnews(kArticle));
    s.put("0C0003.X", execute("D.newshostN0003"));
    std::string second = "Newsgroups: rec.arts\nSubject: two\n\nb\n";
    s.put("0N0003.D", "stray\n" + rnews(second));

    EXPECT_EQ(s.import(0, 3), 0);
    EXPECT_EQ(test::readFile(s.spool + "/Header.Msg"), kRecord + "1\r\n94\r\n");
    EXPECT_EQ(s.import(0, 3), 0);
    std::string hdr = test::readFile(s.spool + "/Header.Msg");
    EXPECT_EQ(hdr.find("From: ann"), std::string::npos);
    EXPECT_NE(hdr.find("Subject: two\r\nMessage-ID: \r\nLines: \r\n94\r\n"), std::string::npos);
    EXPECT_EQ(s.import(0, 3), 1);
    // The mail job is passed over every time; its visit removed Header.Msg.
    EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "0A0001.D", "0C0001.X"}));
    EXPECT_TRUE(s.logged("Not a news file.\r\n"));
    EXPECT_TRUE(s.logged("processing 0N0003.D\r\n"));
}

TEST(NewsImport, CompressedBatchesFromRealCompressAreExpandedAndFiled) {
    std::string batch;
    for (int i = 0; i < 400; ++i) {
        batch += rnews("Newsgroups: rec.arts\nSubject: article " + std::to_string(i) + "\n\n" +
                       std::string(static_cast<size_t>(i % 97) * 13, static_cast<char>('a' + i % 26)) + "\n");
    }
    for (int bits : {12, 16}) {
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", s.compressed(batch, bits));
        EXPECT_EQ(s.import(bits, 4), 0) << s.log();
        EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "$7b60051.z", "Header.Msg"}));
        std::string area = test::readFile(s.store + "/area3.txt");
        EXPECT_NE(area.find("Subject: article 399\n"), std::string::npos);
        EXPECT_EQ(test::readFile(s.spool + "/$7b60051"), batch);
        std::string bitsText = std::to_string(bits);
        EXPECT_TRUE(s.logged("DeCompressing file with " + bitsText + " Bits\r\n"));
        EXPECT_TRUE(s.logged("executing zorpack.exe -d -b " + bitsText + " " + test::toHost(s.spool) + "\\$7b60051\r\n"));
        EXPECT_TRUE(s.logged("DeCompression complete\r\n"));
        EXPECT_EQ(s.import(bits), 1);
    }
}

TEST(NewsImport, CompressedIntakeFailures) {
    {  // A data file that is no batch at all is passed over, files untouched.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", "stray\n" + rnews(kArticle));
        EXPECT_EQ(s.import(16, 3), 1);
        EXPECT_EQ(s.files(), (Files{"$7b60051.z", "0C0005.X", "0N0005.D"}));
        EXPECT_TRUE(s.logged("Not a news file.\r\n"));
    }
    {  // The data file is missing: the job waits.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        EXPECT_EQ(s.import(16), 1);
        EXPECT_EQ(s.files(), (Files{"0C0005.X"}));
        EXPECT_TRUE(s.logged("Cannot open (" + test::toHost(s.spool) + "\\0N0005.D)\r\n"));
    }
    {  // A corrupt stream: the expansion fails and the job is set aside whole.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        std::string data = s.compressed(rnews(kArticle) + rnews(kArticle), 16);
        data[20] = static_cast<char>(0xff);
        data[21] = static_cast<char>(0xff);
        s.put("0N0005.D", data);
        EXPECT_EQ(s.import(16), -1);
        EXPECT_EQ(s.files(), (Files{"$7b60051.z", "bad"}));
        EXPECT_EQ(test::listDir(s.spool + "/bad"), (Files{"0C0005.X", "0N0005.D"}));
        EXPECT_TRUE(s.logged("Cannot open input after decompress!\r\n"));
        EXPECT_TRUE(s.logged("The compressor failed with exit status 1\r\n"));
        EXPECT_FALSE(test::exists(s.store + "/area3.txt"));
    }
    {  // The compressor cannot be started: the job waits for the next call.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", s.compressed(rnews(kArticle), 16));
        plat::fault::arm(plat::fault::Op::ProcessStart, 1);
        EXPECT_EQ(s.import(16), -1);
        plat::fault::disarm();
        EXPECT_TRUE(s.logged("unable to execute Winexec, zorpack.exe -d -b 16 " + test::toHost(s.spool) +
                             "\\$7b60051\r\n"));
        EXPECT_EQ(s.files(), (Files{"$7b60051.z", "0C0005.X", "0N0005.D"}));
        EXPECT_EQ(s.import(16), 0);
        EXPECT_EQ(test::readFile(s.store + "/area3.txt"), "\n" + kArticle);
    }
}

TEST(NewsImport, PlainIntakeNeverOrphansABatch) {
    {  // The data file is missing: the execute file stays.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        EXPECT_EQ(s.import(), 1);
        EXPECT_EQ(s.files(), (Files{"0C0005.X"}));
        EXPECT_TRUE(s.logged("Cannot find news data file (" + test::toHost(s.spool) + "\\0N0005.D)\r\n"));
    }
    {  // Staging cannot be renamed: both files stay, and a later call files the job.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", rnews(kArticle));
        plat::fault::arm(plat::fault::Op::Move, 1);
        EXPECT_EQ(s.import(), -1);
        plat::fault::disarm();
        EXPECT_EQ(s.files(), (Files{"0C0005.X", "0N0005.D"}));
        EXPECT_EQ(s.import(), 0);
        EXPECT_EQ(test::readFile(s.store + "/area3.txt"), "\n" + kArticle);
    }
    {  // Staging cannot be written: the batch goes back under its name.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", rnews(kArticle));
        plat::fault::arm(plat::fault::Op::Write, 2);  // the first is the log's
        EXPECT_EQ(s.import(), -1);
        plat::fault::disarm();
        EXPECT_EQ(s.files(), (Files{"0C0005.X", "0N0005.D"}));
        EXPECT_TRUE(s.logged("Cannot write " + test::toHost(s.spool) + "\\$7b60051.tmp\r\n"));
        EXPECT_EQ(s.import(), 0);
    }
}

TEST(NewsImport, JobStartFailures) {
    {  // Header.Msg that cannot be deleted stops the scan before anything.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", rnews(kArticle));
        s.put("Header.Msg", "old");
        plat::fault::arm(plat::fault::Op::Delete, 1);
        EXPECT_EQ(s.import(), -1);
        plat::fault::disarm();
        EXPECT_TRUE(s.logged("access denied\r\n"));
        EXPECT_EQ(s.files(), (Files{"0C0005.X", "0N0005.D", "Header.Msg"}));
    }
    {  // The execute file cannot be opened.
        Spool s;
        s.put("0C0005.X", execute("D.newshostN0005"));
        plat::fault::arm(plat::fault::Op::Open, 1);
        EXPECT_EQ(s.import(), -1);
        plat::fault::disarm();
        EXPECT_TRUE(s.logged("Cannot open " + test::toHost(s.spool) + "\\0C0005.X\r\n"));
    }
    {  // Without a log the job goes on; an empty spool logs nothing.
        Spool s;
        EXPECT_EQ(s.import(), 1);
        EXPECT_FALSE(test::exists(s.store + "/news.log"));
        test::runCommand("mkdir '" + s.store + "/news.log'");
        s.put("0C0005.X", execute("D.newshostN0005"));
        s.put("0N0005.D", rnews(kArticle));
        EXPECT_EQ(s.import(), 0);
        EXPECT_EQ(test::readFile(s.store + "/area3.txt"), "\n" + kArticle);
    }
}
