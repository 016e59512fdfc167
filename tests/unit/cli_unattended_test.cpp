// brem run unattended, as cron runs it, on copies of the demo spool: what a
// run leaves on disk when the command line, the spool or another run gets in
// its way.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

using namespace brem::test;

namespace {

std::string bremCmd() { return binDir() + "/brem"; }
const std::string kSites = " --neighbour hubsite --local-site mybox";

// The demo spool (four mail jobs, a plain news job 0C0005.X and a compressed
// one 0C0006.X) and its area map.
void copyDemo(const std::string& spool, const std::string& store) {
    std::string demo = dataFile("../../demo");
    ASSERT_EQ(runCommand("cp " + demo + "/spool/* " + spool + "/ && cp " + demo + "/store/area.dat " + store + "/"), 0);
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

int checkJson(const ScratchDir& d, const std::string& json, const std::string& asserts) {
    writeFile(d.file("check.py"),
              "import json,sys\nd = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))\n" + asserts);
    return runCommand("python3 " + d.file("check.py") + " " + json);
}

}  // namespace

TEST(BremUnattended, ACompressedImportFilesThePlainBatchOrLeavesItWaitingAndSaysWhy) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store"), out = d.file("out.json");
    copyDemo(spool, store);
    int status = runCommand(bremCmd() + " cycle " + spool + " " + store + kSites + " --bits 16 --json > " + out +
                            " 2> " + d.file("err"));
    EXPECT_EQ(count(readFile(store + "/area3.txt"), "Message-ID: <3441"), 2u);
    const std::string plainArticle = "Message-ID: <61d0a1$k2@other.example>";
    if (exists(spool + "/0C0005.X")) {
        // Passed over: both files wait, and the run says which job and why.
        EXPECT_TRUE(exists(spool + "/0N0005.D"));
        EXPECT_EQ(status, 3);
        EXPECT_EQ(checkJson(d, out,
                            "assert d['ok'] and d['mails'] == 4 and d['articles'] == 2, d\n"
                            "l = d['left']\n"
                            "assert [(j['execute_file'], j['data_file'], j['kind']) for j in l] == "
                            "[('0C0005.X', '0N0005.D', 'news')], l\n"
                            "assert 'plain batch' in l[0]['why'], l\n"),
                  0);
        EXPECT_NE(readFile(d.file("err")).find("0C0005.X"), std::string::npos);
        EXPECT_EQ(count(readFile(store + "/area5.txt"), plainArticle), 0u);
    } else {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(checkJson(d, out, "assert d['ok'] and d['articles'] == 3 and d['left'] == [], d\n"), 0);
    }
    // The plain run after it takes whatever waits; each article is filed once.
    EXPECT_EQ(runCommand(bremCmd() + " cycle " + spool + " " + store + kSites + " --quiet"), 0);
    EXPECT_EQ(count(readFile(store + "/area5.txt"), plainArticle), 1u);
    EXPECT_FALSE(exists(spool + "/0C0005.X"));
}

// Expects news import to expand a "#! cunbatch" batch even without --bits.
TEST(BremUnattended, APlainImportNeverLosesACompressedBatch) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    copyDemo(spool, store);
    int status = runCommand(bremCmd() + " cycle " + spool + " " + store + kSites + " --quiet 2>/dev/null");
    bool waiting = exists(spool + "/0C0006.X") && exists(spool + "/0N0006.D");
    std::string area3 = readFile(store + "/area3.txt");
    bool filed = count(area3, "Message-ID: <3441a2@peer.example>") == 1 &&
                 count(area3, "Message-ID: <3441b7@peer.example>") == 1;
    EXPECT_TRUE(waiting || filed) << "the compressed batch is neither filed nor waiting";
    EXPECT_EQ(status, waiting ? 3 : 0);
    EXPECT_EQ(count(readFile(store + "/area5.txt"), "Message-ID: <61d0a1$k2@other.example>"), 1u);
}

TEST(BremUnattended, MissingDirectoriesAndDataFilesAreFailuresOrWorkLeft) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store"), err = d.file("err");
    copyDemo(spool, store);
    // A directory that is not there fails before the library is called:
    // nothing in the store, nothing taken from the spool.
    EXPECT_EQ(runCommand(bremCmd() + " import-mail " + d.file("nospool") + " " + store + " >/dev/null 2>" + err), 1);
    EXPECT_NE(readFile(err).find(d.file("nospool")), std::string::npos);
    EXPECT_EQ(runCommand(bremCmd() + " cycle " + spool + " " + d.file("nostore") + kSites + " >/dev/null 2>" + err), 1);
    EXPECT_NE(readFile(err).find(d.file("nostore")), std::string::npos);
    EXPECT_EQ(listDir(store).size(), 1u);
    EXPECT_EQ(listDir(spool).size(), 12u);

    // A mail job whose data file is missing stays, listed; the others are taken.
    std::remove((spool + "/0A0002.D").c_str());
    std::string out = d.file("out.json");
    EXPECT_EQ(runCommand(bremCmd() + " import-mail " + spool + " " + store + kSites + " --json > " + out + " 2>" + err),
              3);
    EXPECT_EQ(checkJson(d, out,
                        "assert not d['ok'] and d['status'] == 3 and d['mails'] == 3 and len(d['mail']) == 3, d\n"
                        "assert [(j['execute_file'], j['data_file'], j['kind']) for j in d['left']] == "
                        "[('0C0002.X', '0A0002.D', 'mail')], d['left']\n"
                        "assert d['left'][0]['why'].startswith('no data file'), d['left']\n"
                        "m = d['mail'][2]\n"
                        "assert m['date'] is None and m['cc'] is None and m['subject'] == 'Quota', m\n"),
              0);
    EXPECT_NE(readFile(err).find("0C0002.X  0A0002.D  mail: no data file"), std::string::npos);
    EXPECT_TRUE(exists(spool + "/0C0002.X"));
    EXPECT_EQ(count(readFile(store + "/mail.hdr"), "To: "), 3u);
}

TEST(BremUnattended, OneRunAtATimeAndNothingTakenTwice) {
    namespace plat = brem::plat;
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store"), err = d.file("err");
    copyDemo(spool, store);
    ASSERT_EQ(runCommand("rm " + spool + "/0C0005.X " + spool + "/0C0006.X " + spool + "/0N000*"), 0);
    // The area file's first append begins with a line feed, so that the
    // first message starts at 1.
    std::string mailBytes = "\n" + readFile(spool + "/0A0001.D") + readFile(spool + "/0A0002.D") +
                            readFile(spool + "/0A0003.D") + readFile(spool + "/0A0004.D");

    // Another program holds the store's lock: the run gives up at once,
    // naming the store, and touches nothing.
    plat::FileHandle held = plat::kNoFile;
    ASSERT_EQ(plat::tryLockFile(store + "/brem.lck", &held, nullptr), plat::LockResult::Locked);
    EXPECT_EQ(runCommand(bremCmd() + " cycle " + spool + " " + store + kSites + " --quiet 2>" + err), 4);
    EXPECT_NE(readFile(err).find(store), std::string::npos);
    EXPECT_FALSE(exists(store + "/mailarea.txt"));
    EXPECT_FALSE(exists(store + "/mail.log"));

    // With --wait it waits for the lock and then does the work.
    std::string status = d.file("status");
    ASSERT_EQ(runCommand("(" + bremCmd() + " cycle " + spool + " " + store + kSites + " --quiet --wait 20 " +
                         ">/dev/null 2>&1; echo $? > " + status + ") &"),
              0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_TRUE(exists(spool + "/0C0001.X"));
    plat::unlockFile(held);
    for (int i = 0; i < 200 && readFile(status).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(readFile(status), "0\n");
    EXPECT_EQ(readFile(store + "/mailarea.txt"), mailBytes);

    // Two runs started together on a fresh copy: each mail is taken once.
    ScratchDir d2;
    std::string spool2 = d2.subdir("spool"), store2 = d2.subdir("store");
    copyDemo(spool2, store2);
    ASSERT_EQ(runCommand("rm " + spool2 + "/0C0005.X " + spool2 + "/0C0006.X " + spool2 + "/0N000*"), 0);
    std::string run = bremCmd() + " cycle " + spool2 + " " + store2 + kSites + " --quiet --wait 20";
    ASSERT_EQ(runCommand("(" + run + "; echo $? > " + d2.file("s1") + ") & (" + run + "; echo $? > " + d2.file("s2") +
                         ") & wait"),
              0);
    EXPECT_EQ(readFile(d2.file("s1")), "0\n");
    EXPECT_EQ(readFile(d2.file("s2")), "0\n");
    EXPECT_EQ(readFile(store2 + "/mailarea.txt"), mailBytes);
    EXPECT_EQ(count(readFile(store2 + "/mail.hdr"), "To: "), 4u);
}

TEST(BremUnattended, AWaitingOutgoingMessageOrBatchIsSentFirstNeverOverwritten) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store"), err = d.file("err");
    const std::string waiting = "To: old@far\nSubject: left by a failed export\n\nfirst\n";
    const std::string fresh = "To: new@far\nSubject: new\n\nsecond\n";
    writeFile(spool + "/rmail.z", waiting);
    writeFile(d.file("new.txt"), fresh);
    std::string exportMail = bremCmd() + " export-mail " + spool + " " + store + " --local-site mybox --quiet ";
    EXPECT_EQ(runCommand(exportMail + "--to new@far " + d.file("new.txt") + " 2>" + err), 1);
    EXPECT_EQ(readFile(spool + "/rmail.z"), waiting);
    EXPECT_EQ(listDir(spool).size(), 1u);
    EXPECT_NE(readFile(err).find("--send-waiting old@far"), std::string::npos);

    EXPECT_EQ(runCommand(exportMail + "--to new@far --send-waiting old@far " + d.file("new.txt") + " 2>" + err), 0);
    EXPECT_EQ(readFile(err), "");
    EXPECT_EQ(readFile(spool + "/0001.DAT"), waiting);
    EXPECT_NE(readFile(spool + "/0001.XQT").find("C rmail old@far"), std::string::npos);
    EXPECT_EQ(readFile(spool + "/0002.DAT"), fresh);
    EXPECT_FALSE(exists(spool + "/rmail.z"));

    // A plain batch left in rnews.z goes the same way.
    const std::string batch = "#! rnews 5\nhello";
    writeFile(spool + "/rnews.z", batch);
    std::string exportNews = bremCmd() + " export-news " + spool + " " + store + " --local-site mybox --quiet ";
    EXPECT_EQ(runCommand(exportNews + d.file("new.txt") + " 2>/dev/null"), 1);
    EXPECT_EQ(readFile(spool + "/rnews.z"), batch);
    EXPECT_FALSE(exists(spool + "/0003.DAT"));
    EXPECT_EQ(runCommand(exportNews + "--send-waiting " + d.file("new.txt")), 0);
    EXPECT_EQ(readFile(spool + "/0003.DAT"), batch);
    EXPECT_EQ(readFile(spool + "/0004.DAT"), "#! rnews " + std::to_string(fresh.size()) + "\n" + fresh);
    EXPECT_FALSE(exists(spool + "/rnews.z"));
}

TEST(BremUnattended, CronHearsNothingWhenAllWentWellAndWhatIsWrongOtherwise) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store"), out = d.file("out");
    copyDemo(spool, store);
    ASSERT_EQ(runCommand("rm " + spool + "/0C0006.X " + spool + "/0N0006.D"), 0);
    EXPECT_EQ(runCommand(bremCmd() + " cycle " + spool + " " + store + kSites + " --quiet > " + out + " 2>&1"), 0);
    EXPECT_EQ(readFile(out), "");
    struct Case {
        std::string args, says;
    };
    const Case cases[] = {
        {" cycle " + spool, "STORE is missing"},
        {" cycle " + spool + " " + store + " --bits abc", "'abc' is not a whole number"},
        {" cycle " + spool + " " + store + " --bits 99", "0 for plain batches, or 9 to 16"},
        {" import-news " + spool + " " + store + " --bits 8", "0 for plain batches, or 9 to 16"},
        {" export-mail " + spool + " " + store + " --local-site mybox", "--to RECIPIENT is missing"},
        {" cycle " + spool + " " + store + " --wait -1", "--wait: -1 is out of range"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runCommand(bremCmd() + c.args + " > " + out + " 2>&1 </dev/null"), 2) << c.args;
        EXPECT_NE(readFile(out).find(c.says), std::string::npos) << c.args << ": " << readFile(out);
    }
    EXPECT_EQ(runCommand(bremCmd() + " --version > " + out), 0);
    EXPECT_EQ(readFile(out).rfind("brem ", 0), 0u);
}
