// Mail import through IMPMAIL: the record, the store, the spool afterwards and
// the log lines.
#include <gtest/gtest.h>

#include <string>

#include "brem32.h"
#include "platform/fault.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;
using brem::test::hasLine;
using brem::test::logMessages;

namespace {

struct Site {
    ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    void job(const std::string& xName, const std::string& xText, const std::string& dName, const std::string& data) {
        test::writeFile(spool + "/" + xName, xText);
        if (!dName.empty()) test::writeFile(spool + "/" + dName, data);
    }
    int32_t import(int32_t verbosity = 0, const char* first = "hub", const char* second = "mybox") {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return IMPMAIL(sp.data(), st.data(), first, second, verbosity);
    }
    std::string hdr() const { return test::readFile(store + "/mail.hdr"); }
    std::string area() const { return test::readFile(store + "/mailarea.txt"); }
    std::string log() const { return test::readFile(store + "/mail.log"); }
};

const char* kExecute = "U uucp hub\nF D.hubA1234\nI D.hubA1234\nC rmail hub!reader\n";
const char* kMessage = "From: writer\nSubject: hello\n\nhi\n";

}  // namespace

TEST(MailImport, ImportsTheWorkedExample) {
    Site s;
    test::writeFile(s.store + "/mailarea.txt", std::string(100, '.'));
    s.job("0C1235.X", kExecute, "0A1234.D", kMessage);
    ASSERT_EQ(std::string(kMessage).size(), 32u);

    EXPECT_EQ(s.import(), 0);
    EXPECT_EQ(s.area(), std::string(100, '.') + kMessage);
    EXPECT_EQ(s.hdr(),
              "To: hub!reader\r\nFrom: writer\r\nDate: \r\nMessage-ID: <0>\r\nSubject: hello\r\nNO CC\r\n100\r\n132\r\n");
    EXPECT_EQ(test::listDir(s.spool), std::vector<std::string>{});
    std::vector<std::string> msgs = logMessages(s.log());
    EXPECT_EQ(msgs, (std::vector<std::string>{
                        "1\tDid not find a valid ID, no @ in address - Result To: hub!reader\r\n.\r\n",
                        "1\tReceived Msg To: hub!reader\r\n\r\n From: writer\r\n\r\n"}));
    EXPECT_EQ(s.import(), -1);
}

TEST(MailImport, FirstMailIntoAnEmptyAreaIsReadBackWhole) {
    Site s;
    s.job("0C1235.X", kExecute, "0A1234.D", kMessage);
    ASSERT_EQ(s.import(), 0);
    EXPECT_EQ(s.area(), std::string("\n") + kMessage);
    EXPECT_NE(s.hdr().find("\r\n1\r\n33\r\n"), std::string::npos);
    EXPECT_NE(s.log().find("0\tmailarea.txt file is not there or 0 length\r\n"), std::string::npos);

    std::vector<char> text(32302), err(256);
    int32_t r = READMESSAGE(test::toHost(s.store).c_str(), 0, 1, 32, text.data(), err.data());
    EXPECT_EQ(r, 33);
    EXPECT_EQ(std::string(text.data()), "From: writer\r\nSubject: hello\r\n\r\nhi\r\n");
}

TEST(MailImport, SkipsNewsJobsAndTakesMailInOrder) {
    Site s;
    s.job("0C0001.X", "F D.hubN0001\nC rnews\n", "0N0001.D", "#! rnews 3\nabc");
    s.job("0C0002.X", "F D.hubA0002\nC rmail a@b\n", "0A0002.D", "Subject: one\n\n1\n");
    s.job("0C0003.X", "F D.hubA0003\nc RMAIL c@d\n", "0A0003.D", "Subject: two\n\n22\n");
    EXPECT_EQ(s.import(), 0);
    EXPECT_EQ(s.import(), 0);
    EXPECT_EQ(s.import(), -1);
    EXPECT_EQ(test::listDir(s.spool), (std::vector<std::string>{"0C0001.X", "0N0001.D"}));
    std::string hdr = s.hdr();
    EXPECT_EQ(hdr,
              "To: a@b\r\nFrom: \r\nDate: \r\nMessage-ID: <0>\r\nSubject: one\r\nNO CC\r\n1\r\n17\r\n"
              "To: c@d\r\nFrom: \r\nDate: \r\nMessage-ID: <0>\r\nSubject: two\r\nNO CC\r\n17\r\n34\r\n");
}

TEST(MailImport, HeaderSlotsMatchWithoutRegardToCaseAndLastOneWins) {
    Site s;
    std::string msg =
        "From someone Tue Oct 7 1997\nFROM: First <f@x>\nfrom: Second <s@x>\nSUBJECT: Big\n"
        "message-identifier: <id@x>\nDate: Tue, 7 Oct 1997\nCc: c1@x\nX-Other: y\n\nSubject: not a header\n";
    s.job("0C1.X", "F D.hubA1\nC rmail r@x\n", "0A1.D", msg);
    ASSERT_EQ(s.import(), 0);
    EXPECT_EQ(s.hdr(), "To: r@x\r\nfrom: Second <s@x>\r\nDate: Tue, 7 Oct 1997\r\nmessage-identifier: <id@x>\r\n"
                       "SUBJECT: Big\r\nCc: c1@x\r\n1\r\n" +
                           std::to_string(1 + msg.size()) + "\r\n");
}

TEST(MailImport, LongHeaderLinesAreCutAndKeepTheirLineEnd) {
    Site s;
    std::string subject = "Subject: " + std::string(500, 's') + "\n";
    std::string date = "Date: " + std::string(300, 'd');  // no LF: the header ends at the end of the file
    s.job("0C1.X", "F D.hubA1\nC rmail r@x\n", "0A1.D", subject + date);
    ASSERT_EQ(s.import(), 0);
    std::string hdr = s.hdr();
    EXPECT_NE(hdr.find("Subject: " + std::string(189, 's') + "\r\n"), std::string::npos);
    EXPECT_NE(hdr.find("Date: " + std::string(92, 'd') + "\r\n"), std::string::npos);
    // Eight lines, whatever the headers were.
    size_t lines = 0;
    for (size_t p = 0; (p = hdr.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 8u);
}

TEST(MailImport, FindsTheDataFileUnderTheFallbackName) {
    Site s;
    // No F line: the mapping fails and the execute file's own name with D is tried.
    s.job("0A7777.X", "C rmail r@x\n", "0A7777.D", "Subject: s\n\nb\n");
    ASSERT_EQ(s.import(), 0);
    EXPECT_NE(s.log().find("1\treturn value 0 \r\n"), std::string::npos);
    EXPECT_TRUE(test::listDir(s.spool).empty());
}

TEST(MailImport, MissingDataFileLeavesTheJobAndReportsBothPaths) {
    Site s;
    s.job("0C1235.X", kExecute, "", "");
    EXPECT_EQ(s.import(), -1);
    EXPECT_EQ(test::listDir(s.spool), std::vector<std::string>{"0C1235.X"});
    std::string log = s.log();
    EXPECT_NE(log.find("0\tCannot open (" + test::toHost(s.spool) + "\\0A1234.D)"), std::string::npos);
    EXPECT_NE(log.find("0\tCannot open (" + test::toHost(s.spool) + "\\0C1235.D)"), std::string::npos);
}

TEST(MailImport, VerbosityDecidesWhichLinesAreWritten) {
    Site s;
    s.job("0C1235.X", kExecute, "0A1234.D", kMessage);
    s.import(5);
    std::string log = s.log();
    for (const char* want : {"Looking for ", "Inbound mail found", "5\tlooking for 0C1235.X \r\n", "4\tprocessing ",
                             "5\tFound end of file", "5\tDeleting "}) {
        EXPECT_NE(log.find(want), std::string::npos) << want;
    }
    Site quiet;
    quiet.job("0C1235.X", kExecute, "0A1234.D", kMessage);
    quiet.import(4);
    EXPECT_EQ(quiet.log().find("5\t"), std::string::npos);
    EXPECT_NE(quiet.log().find("4\tprocessing"), std::string::npos);
    EXPECT_EQ(quiet.import(3), -1);
    EXPECT_NE(quiet.log().find("No inbound mail found"), std::string::npos);
}

TEST(MailImport, StampsEveryLine) {
    Site s;
    s.job("0C1235.X", kExecute, "0A1234.D", kMessage);
    s.import(0);
    std::string log = s.log();
    // "YYYY-MM-DD HH:MM:SS.00\t"
    ASSERT_GE(log.size(), 23u);
    EXPECT_EQ(log[4], '-');
    EXPECT_EQ(log[10], ' ');
    EXPECT_EQ(log.substr(19, 4), ".00\t");
}

TEST(MailImport, AppendsOneBackslashToTheCallersBuffersPerCall) {
    Site s;
    std::string host = test::toHost(s.spool);
    std::vector<char> sp = test::hostBuffer(host);
    std::vector<char> st = test::hostBuffer(test::toHost(s.store));
    IMPMAIL(sp.data(), st.data(), "a", "b", 0);
    IMPMAIL(sp.data(), st.data(), "a", "b", 0);
    EXPECT_EQ(std::string(sp.data()), host + "\\\\");
}

TEST(MailImport, AFailedStoreWriteKeepsTheJobAndLeavesNoFragment) {
    using plat::fault::Op;
    for (Op op : {Op::Create, Op::Write, Op::Flush, Op::Close}) {
        for (int nth = 1; nth <= 6; ++nth) {
            SCOPED_TRACE(std::to_string(static_cast<int>(op)) + "/" + std::to_string(nth));
            Site s;
            test::writeFile(s.store + "/mailarea.txt", "old\n");
            s.job("0C1235.X", kExecute, "0A1234.D", kMessage);
            plat::fault::arm(op, nth);
            int32_t r = s.import();
            bool fired = plat::fault::fired() > 0;
            plat::fault::disarm();
            std::string hdr = s.hdr();
            size_t lines = 0;
            for (size_t p = 0; (p = hdr.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
            if (r == 0) {
                EXPECT_EQ(lines, 8u);
                EXPECT_EQ(s.area(), std::string("old\n") + kMessage);
                continue;
            }
            // Failed: nothing half-written, both spool files still there; the
            // next clean call takes the mail.
            EXPECT_TRUE(fired);
            EXPECT_EQ(lines, 0u);
            EXPECT_EQ(s.area(), "old\n");
            EXPECT_EQ(test::listDir(s.spool), (std::vector<std::string>{"0A1234.D", "0C1235.X"}));
            EXPECT_EQ(s.import(), 0);
            EXPECT_EQ(s.area(), std::string("old\n") + kMessage);
        }
    }
}
