// Mail and news export through EXPMAIL and EXPNEWS: the job files byte for
// byte, the shared counter, and what is left on disk when a job fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "inbound/spool_name.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;
using brem::test::hasLine;
using brem::test::logMessages;
namespace fault = brem::plat::fault;

namespace {

std::string counterBytes(int32_t n) {
    uint32_t u = static_cast<uint32_t>(n);
    std::string b;
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    return b;
}

struct Site {
    ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    ~Site() { fault::disarm(); }

    std::string spoolHost() const { return test::toHost(spool); }
    void counter(const std::string& bytes) { test::writeFile(store + "/export.dat", bytes); }
    std::string counter() const { return test::readFile(store + "/export.dat"); }
    std::string inSpool(const std::string& name) const { return test::readFile(spool + "/" + name); }
    std::vector<std::string> spoolFiles() const { return test::listDir(spool); }

    int32_t mail(const std::string& message, int32_t verbosity = 0, const char* to = "someone") {
        if (!message.empty()) test::writeFile(spool + "/rmail.z", message);
        std::string sp = test::toHost(spool), st = test::toHost(store);
        return EXPMAIL(sp.c_str(), st.c_str(), to, "mybox", "me", verbosity);
    }
    int32_t news(int32_t messages = 2, int32_t bits = 0, int32_t verbosity = 0) {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return EXPNEWS(sp.data(), st.data(), "mybox", messages, verbosity, bits);
    }
    std::string mailLog() const { return test::readFile(store + "/mail.log"); }
    std::string newsLog() const { return test::readFile(store + "/news.log"); }
};

const std::string kMessage = "From: me\nTo: someone\nSubject: hi\n\nhello\n";
const std::string kBatch = "#! rnews 14\nSubject: one\n\n#! rnews 15\nSubject: two\n\n";

std::string mailCommandFile(const char* nnnn) {
    std::string n = nnnn;
    return "S " + n + ".DAT D.mybox" + n + " daemon - " + n + ".DAT 0666\r\n" + "S " + n + ".XQT X.mybox" + n +
           " daemon - " + n + ".XQT 0666\r\n";
}

std::string mailExecuteFile(const char* nnnn, const char* to = "someone") {
    std::string n = nnnn;
    return "U Daemon mybox\nZ\nF D.mybox" + n + "\nI D.mybox" + n + "\nC rmail " + to + "\n";
}

bool haveCompressor() { return test::exists(test::binDir() + "/zorpack"); }

}  // namespace

TEST(MailExport, FirstJobEverIsWrittenByteForByte) {
    Site s;
    std::string sp = s.spoolHost(), st = test::toHost(s.store);
    std::string spBefore = sp, stBefore = st;
    test::writeFile(s.spool + "/rmail.z", kMessage);
    ASSERT_EQ(EXPMAIL(sp.c_str(), st.c_str(), "someone", "mybox", "me", 2), 0);
    EXPECT_EQ(sp, spBefore);
    EXPECT_EQ(st, stBefore);

    EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT"}));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.CMD"), "S 0001.DAT D.mybox0001 daemon - 0001.DAT 0666\r\n"
                                     "S 0001.XQT X.mybox0001 daemon - 0001.XQT 0666\r\n"));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.XQT"), "U Daemon mybox\nZ\nF D.mybox0001\nI D.mybox0001\nC rmail someone\n"));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.DAT"), kMessage));
    EXPECT_EQ(s.counter(), counterBytes(1));
    EXPECT_EQ(logMessages(s.mailLog()), (std::vector<std::string>{"Cannot open export.dat (mail)\r\n",
                                                                  "Exporting message to someone from me\r\n"}));

    // At verbosity 1 the export line is left out.
    ASSERT_EQ(s.mail(kMessage, 1, "other@host"), 0);
    EXPECT_TRUE(test::sameBytes(s.inSpool("0002.XQT"), mailExecuteFile("0002", "other@host")));
    EXPECT_EQ(logMessages(s.mailLog()).size(), 2u);
}

TEST(NewsExport, PlainBatchIsCopiedAsItIs) {
    Site s;
    s.counter(counterBytes(41));
    test::writeFile(s.spool + "/rnews.z", kBatch);
    std::vector<char> sp = test::hostBuffer(s.spoolHost());
    std::vector<char> st = test::hostBuffer(test::toHost(s.store));
    ASSERT_EQ(EXPNEWS(sp.data(), st.data(), "mybox", 0, 0, 0), 0);
    EXPECT_EQ(std::string(sp.data()), s.spoolHost() + "\\");
    EXPECT_EQ(std::string(st.data()), test::toHost(s.store) + "\\");

    EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{"0042.CMD", "0042.DAT", "0042.XQT"}));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0042.CMD"), "S 0042.DAT D.mybox0042 news - 0042.DAT 0666\r\n"
                                     "S 0042.XQT X.mybox0042 news - 0042.XQT 0666\r\n"));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0042.XQT"), "U news mybox\nZ\nF D.mybox0042\nI D.mybox0042\nC rnews\n"));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0042.DAT"), kBatch));
    EXPECT_EQ(s.counter(), counterBytes(42));
    // The count is only reported, even when it does not match the batch.
    EXPECT_EQ(logMessages(s.newsLog()),
              (std::vector<std::string>{"News export started\r\n", "Exported 0 messages\r\n",
                                        "News export complete\r\n"}));
}

TEST(SequenceCounter, DrawsTheNextNumberAndWrapsAfter9999) {
    struct Case {
        const char* what;
        std::string stored;  // "-" for no file
        const char* job;
        bool logged;
    };
    const Case cases[] = {
        {"missing", "-", "0001", true},
        {"41", counterBytes(41), "0042", false},
        {"258, both low bytes used", counterBytes(258), "0259", false},
        {"9998", counterBytes(9998), "9999", false},
        {"9999", counterBytes(9999), "0001", false},
        {"above 9999", counterBytes(70000), "0001", false},
        {"0", counterBytes(0), "0001", false},
        {"negative", counterBytes(-7), "0001", false},
        {"empty", "", "0001", false},
        {"three bytes", std::string("\x05\0\0", 3), "0001", false},
        {"longer than four bytes", counterBytes(7) + "junk", "0008", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Site s;
        if (c.stored != "-") s.counter(c.stored);
        ASSERT_EQ(s.mail(kMessage), 0);
        std::string n = c.job;
        EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{n + ".CMD", n + ".DAT", n + ".XQT"}));
        EXPECT_TRUE(test::sameBytes(s.inSpool(n + ".CMD"), mailCommandFile(c.job)));
        EXPECT_EQ(s.counter(), counterBytes(std::stoi(n)));
        EXPECT_EQ(hasLine(s.mailLog(), "Cannot open export.dat (mail)\r\n"), c.logged);
    }
}

TEST(SequenceCounter, MailAndNewsDrawFromOneSequence) {
    Site s;
    ASSERT_EQ(s.mail(kMessage), 0);
    test::writeFile(s.spool + "/rnews.z", kBatch);
    ASSERT_EQ(s.news(), 0);
    EXPECT_FALSE(hasLine(s.newsLog(), "Cannot open export.dat (news)\r\n"));
    ASSERT_EQ(s.mail(kMessage), 0);
    EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT", "0002.CMD", "0002.DAT",
                                                        "0002.XQT", "0003.CMD", "0003.DAT", "0003.XQT"}));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0002.DAT"), kBatch));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0003.XQT"), mailExecuteFile("0003")));
    EXPECT_EQ(s.counter(), counterBytes(3));
}

TEST(MailExport, MissingMessageIsAFailureThatLeavesNoJob) {
    Site s;
    s.counter(counterBytes(5));
    EXPECT_EQ(s.mail(""), -1);
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{});
    EXPECT_EQ(s.counter(), counterBytes(5));
    EXPECT_TRUE(hasLine(s.mailLog(), "Cannot open " + s.spoolHost() + "\\rmail.z\r\n")) << s.mailLog();
}

TEST(MailExport, ReusedNumberSendsTheNewMessageNotTheOldOne) {
    Site s;
    s.counter(counterBytes(9999));
    test::writeFile(s.spool + "/0001.CMD", "old command\r\n");
    test::writeFile(s.spool + "/0001.XQT", "old execute\n");
    test::writeFile(s.spool + "/0001.DAT", "the old message, already sent\n");
    ASSERT_EQ(s.mail(kMessage), 0);
    EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT"}));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.CMD"), mailCommandFile("0001")));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.XQT"), mailExecuteFile("0001")));
    EXPECT_TRUE(test::sameBytes(s.inSpool("0001.DAT"), kMessage));
    EXPECT_EQ(s.counter(), counterBytes(1));
}

// Every file of the job that cannot be written ends the export: the message
// stays in rmail.z, no job file is left, the counter keeps its number.
TEST(MailExport, FileThatCannotBeWrittenTakesTheJobBack) {
    struct Case {
        fault::Op op;
        int nth;
        const char* logged;
    };
    // Files are created in the order mail.log, .XQT, .DAT, .CMD, export.dat,
    // and reach the disk in the order .XQT, .DAT, .CMD, the spool's names,
    // export.dat, the store's names, mail.log.
    const Case cases[] = {
        {fault::Op::Create, 2, "Cannot open .xqt\r\n"},
        {fault::Op::Create, 3, "Cannot open 0006.DAT\r\n"},
        {fault::Op::Create, 4, "Cannot open .cmd\r\n"},
        {fault::Op::Write, 1, "Cannot write .xqt\r\n"},
        {fault::Op::Write, 2, "Cannot write 0006.DAT\r\n"},
        {fault::Op::Write, 3, "Cannot write .cmd\r\n"},
        {fault::Op::Close, 2, "Cannot write .xqt\r\n"},
        {fault::Op::Sync, 2, "Cannot write 0006.DAT\r\n"},
        {fault::Op::Sync, 4, "Cannot write the spool directory "},
        {fault::Op::Create, 5, "Cannot open export.dat to write (mail)\r\n"},
        {fault::Op::Write, 4, "Cannot write export.dat (mail)\r\n"},
        {fault::Op::Sync, 5, "Cannot write export.dat (mail)\r\n"},
        {fault::Op::Sync, 6, "Cannot write the directory of "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        Site s;
        s.counter(counterBytes(5));
        test::writeFile(s.spool + "/rmail.z", kMessage);
        fault::arm(c.op, c.nth);
        EXPECT_EQ(s.mail(""), -1);
        EXPECT_EQ(fault::fired(), 1);
        fault::disarm();
        EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rmail.z"});
        EXPECT_TRUE(test::sameBytes(s.inSpool("rmail.z"), kMessage));
        const bool named = c.op == fault::Op::Sync && c.nth == 6;  // the counter is saved, the job taken back
        if (!named) {
            EXPECT_EQ(s.counter(), counterBytes(5));
        }
        EXPECT_NE(s.mailLog().find(c.logged), std::string::npos) << s.mailLog();
    }
}

// A job taken back after all three files are written loses its command file
// first: a transfer looking meanwhile never finds a command whose data is
// gone.
TEST(MailExport, AJobTakenBackLosesItsCommandFileFirst) {
    Site s;
    test::writeFile(s.spool + "/rmail.z", kMessage);
    std::vector<std::string> deleted;
    fault::record(
        [](const fault::ChangeEvent& e, void* to) {
            if (e.what == fault::Change::Delete) {
                static_cast<std::vector<std::string>*>(to)->push_back(e.path.substr(e.path.size() - 4));
            }
        },
        &deleted);
    fault::arm(fault::Op::Create, 5);  // export.dat, once the job is whole
    EXPECT_EQ(s.mail(""), -1);
    fault::disarm();
    fault::record(nullptr, nullptr);
    EXPECT_EQ(deleted, (std::vector<std::string>{".CMD", ".DAT", ".XQT"}));
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rmail.z"});
}

TEST(MailExport, NoLogNoJob) {
    Site s;
    test::writeFile(s.spool + "/rmail.z", kMessage);
    fault::arm(fault::Op::Create, 1);
    EXPECT_EQ(s.mail(""), -1);
    fault::disarm();
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rmail.z"});
    EXPECT_FALSE(test::exists(s.store + "/export.dat"));
}

TEST(NewsExport, MissingBatchIsAFailureThatLeavesNoJob) {
    Site s;
    s.counter(counterBytes(12));
    EXPECT_EQ(s.news(), -1);
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{});
    EXPECT_EQ(s.counter(), counterBytes(12));
    EXPECT_EQ(logMessages(s.newsLog()),
              (std::vector<std::string>{"News export started\r\n",
                                        "Cannot open compressed file " + s.spoolHost() + "\\rnews.z\r\n"}));
}

TEST(NewsExport, FileThatCannotBeWrittenTakesTheJobBack) {
    struct Case {
        fault::Op op;
        int nth;
        const char* logged;
    };
    // Files are created in the order news.log, .XQT, .DAT, .CMD, export.dat
    // and reach the disk in the order .XQT, .DAT, .CMD, news.log, export.dat.
    const Case cases[] = {
        {fault::Op::Create, 2, "Cannot open .xqt\r\n"},
        {fault::Op::Create, 3, "Cannot open 0013.DAT\r\n"},
        {fault::Op::Create, 4, "Cannot open .cmd\r\n"},
        {fault::Op::Write, 1, "Cannot write .xqt\r\n"},
        {fault::Op::Write, 2, "Cannot write 0013.DAT\r\n"},
        {fault::Op::Write, 3, "Cannot write .cmd\r\n"},
        {fault::Op::Close, 4, "Cannot write 0013.DAT\r\n"},
        {fault::Op::Sync, 2, "Cannot write 0013.DAT\r\n"},
        {fault::Op::Create, 5, "Cannot open export.dat to write\r\n"},
        {fault::Op::Write, 5, "Cannot write export.dat\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        Site s;
        s.counter(counterBytes(12));
        test::writeFile(s.spool + "/rnews.z", kBatch);
        fault::arm(c.op, c.nth);
        EXPECT_EQ(s.news(), -1);
        EXPECT_EQ(fault::fired(), 1);
        fault::disarm();
        EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rnews.z"});
        EXPECT_TRUE(test::sameBytes(s.inSpool("rnews.z"), kBatch));
        EXPECT_EQ(s.counter(), counterBytes(12));
        EXPECT_TRUE(hasLine(s.newsLog(), c.logged)) << s.newsLog();
        EXPECT_FALSE(hasLine(s.newsLog(), "News export complete\r\n"));
    }

    // A disk that fills while the batch is copied.
    Site s;
    test::writeFile(s.spool + "/rnews.z", kBatch);
    std::string xqt = "U news mybox\nZ\nF D.mybox0001\nI D.mybox0001\nC rnews\n";
    fault::armDiskFull(static_cast<int64_t>(xqt.size() + 5));
    EXPECT_EQ(s.news(), -1);
    fault::disarm();
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rnews.z"});
    EXPECT_FALSE(test::exists(s.store + "/export.dat"));
}

TEST(NewsExport, CompressorThatCannotStartLeavesTheSpoolAlone) {
    Site s;
    test::writeFile(s.spool + "/rnews", kBatch);
    fault::arm(fault::Op::ProcessStart, 1);
    EXPECT_EQ(s.news(2, 16), -1);
    fault::disarm();
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{"rnews"});
    std::vector<std::string> msgs = logMessages(s.newsLog());
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], "News export started\r\n");
    EXPECT_EQ(msgs[1], "unable to execute Winexec, zorpack.exe -fk  -b 16 " + s.spoolHost() + "\\rnews\r\n");
}

TEST(NewsExport, CompressedBatchExpandsWithUncompress) {
    if (!haveCompressor()) GTEST_SKIP() << "no zorpack in " << test::binDir();
    std::string batch;
    for (int i = 0; i < 200; ++i) {
        std::string article = "Newsgroups: local.test\nSubject: article " + std::to_string(i) + "\n\nbody " +
                              std::string(static_cast<size_t>(i % 37), 'x') + "\n";
        batch += "#! rnews " + std::to_string(article.size()) + "\n" + article;
    }
    for (int bits : {12, 16}) {
        SCOPED_TRACE(bits);
        Site s;
        test::writeFile(s.spool + "/rnews", batch);
        test::writeFile(s.spool + "/rnews.z", "a stale batch from an earlier run");
        ASSERT_EQ(s.news(200, bits, 8), 0) << s.newsLog();
        EXPECT_EQ(s.spoolFiles(), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT", "rnews"}));
        std::string dat = s.inSpool("0001.DAT");
        ASSERT_EQ(dat.substr(0, 12), "#! cunbatch\n");
        test::writeFile(s.root.file("stream.Z"), dat.substr(12));
        std::string cmd = "uncompress -c < '" + s.root.file("stream.Z") + "' > '" + s.root.file("expanded") + "'";
        ASSERT_EQ(test::runCommand(cmd), 0);
        EXPECT_TRUE(test::sameBytes(test::readFile(s.root.file("expanded")), batch));
        EXPECT_TRUE(test::sameBytes(s.inSpool("rnews"), batch));
        EXPECT_TRUE(hasLine(s.newsLog(), "about to compress \r\n"));
        EXPECT_TRUE(hasLine(s.newsLog(), "Exported 200 messages\r\n"));
    }
}

TEST(NewsExport, FailedCompressionNeverSendsAStaleBatch) {
    if (!haveCompressor()) GTEST_SKIP() << "no zorpack in " << test::binDir();
    Site s;
    s.counter(counterBytes(3));
    test::writeFile(s.spool + "/rnews.z", "a stale batch from an earlier run");
    EXPECT_EQ(s.news(2, 16), -1);  // no "rnews" to compress
    EXPECT_EQ(s.spoolFiles(), std::vector<std::string>{});
    EXPECT_EQ(s.counter(), counterBytes(3));
    EXPECT_NE(s.newsLog().find("\tThe compressor failed with exit status "), std::string::npos) << s.newsLog();
    EXPECT_TRUE(hasLine(s.newsLog(), "Cannot open compressed file " + s.spoolHost() + "\\rnews.z\r\n"));
}

// What a peer does with a compressed news job: its transfer keeps the data
// and execute files under local spool names, and news import expands and
// files the batch. News import is taken from the built library by name, as a
// host would, so that this check runs wherever the library has it.
TEST(NewsExport, CompressedJobIsFiledByNewsImportAtThePeer) {
    if (!haveCompressor()) GTEST_SKIP() << "no zorpack in " << test::binDir();
    using ImpNews = int32_t (*)(char*, char*, const char*, const char*, int32_t, int32_t);
    void* lib = plat::loadLibrary(test::binDir() + "/libbrem32.so");
    auto impnews = lib ? reinterpret_cast<ImpNews>(plat::librarySymbol(lib, "IMPNEWS")) : nullptr;
    if (!impnews) GTEST_SKIP() << "no IMPNEWS in " << test::binDir() << "/libbrem32.so";

    std::vector<std::string> articles;
    std::string batch;
    for (int i = 0; i < 3; ++i) {
        articles.push_back("From: me@mybox\nNewsgroups: local.test\nSubject: article " + std::to_string(i) +
                           "\nMessage-ID: <" + std::to_string(i) + "@mybox>\n\nbody " + std::to_string(i) + "\n");
        batch += "#! rnews " + std::to_string(articles.back().size()) + "\n" + articles.back();
    }
    Site s;
    test::writeFile(s.spool + "/rnews", batch);
    ASSERT_EQ(s.news(3, 16), 0) << s.newsLog();

    ScratchDir peer;
    std::string inbound = peer.subdir("spool"), store = peer.subdir("store");
    std::string dataName, executeName;
    ASSERT_EQ(inbound::MakeSpoolName(dataName, "D.mybox0001", "mybox", "peer"), 1);
    ASSERT_EQ(inbound::MakeSpoolName(executeName, "X.mybox0001", "mybox", "peer"), 1);
    test::writeFile(inbound + "/" + dataName, s.inSpool("0001.DAT"));
    test::writeFile(inbound + "/" + executeName, s.inSpool("0001.XQT"));
    test::writeFile(store + "/area.dat", "local.test\n5\n");

    std::vector<char> sp = test::hostBuffer(test::toHost(inbound));
    std::vector<char> st = test::hostBuffer(test::toHost(store));
    ASSERT_EQ(impnews(sp.data(), st.data(), "mybox", "peer", 0, 16), 0) << test::readFile(store + "/news.log");
    EXPECT_TRUE(test::sameBytes(test::readFile(store + "/area5.txt"), "\n" + articles[0] + articles[1] + articles[2]));
    std::string index = test::readFile(inbound + "/Header.Msg");
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(index.find("Subject: article " + std::to_string(i) + "\r\n"), std::string::npos) << index;
    }
}
