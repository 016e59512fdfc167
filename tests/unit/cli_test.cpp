// brem as a script drives it: listings as JSON, exit statuses, options.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"

using namespace brem::test;

namespace {

std::string bremCommand() { return binDir() + "/brem"; }

// One mail job whose headers carry ISO-8859-1 bytes, as old mail does.
void latin1Spool(const std::string& spool) {
    writeFile(spool + "/0C0001.X", "U uucp hubsite\nF D.hubsiteA0001\nC rmail reader@mybox\n");
    writeFile(spool + "/0A0001.D", "From: J\xe9r\xf4me <j@hub>\nSubject: Caf\xe9 \xe2\x82\xac \"q\"\n\nhi\n");
}

}  // namespace

TEST(BremCli, ListMailJsonIsValidUtf8ForEveryHeaderByte) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    latin1Spool(spool);
    ASSERT_EQ(runCommand(bremCommand() + " import-mail " + spool + " " + store +
                         " --site hubsite --local-site mybox --quiet >/dev/null"),
              0);
    std::string out = d.file("list.json");
    ASSERT_EQ(runCommand(bremCommand() + " list-mail " + store + " --json > " + out), 0);
    // A strict parser reads it; ISO-8859-1 bytes become their characters and
    // UTF-8 already in a header stays as it is.
    std::string check = d.file("check.py");
    writeFile(check,
              "import json,sys\n"
              "d = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))\n"
              "assert len(d) == 1, d\n"
              "assert d[0]['from'] == 'J\\u00e9r\\u00f4me <j@hub>', d[0]['from']\n"
              "assert d[0]['subject'] == 'Caf\\u00e9 \\u20ac \"q\"', d[0]['subject']\n"
              "assert d[0]['raw'][1] == 'From: J\\u00e9r\\u00f4me <j@hub>', d[0]['raw']\n"
              "assert d[0]['start'] == 1 and d[0]['length'] == d[0]['end'] - 1\n");
    EXPECT_EQ(runCommand("python3 " + check + " " + out), 0);
}

TEST(BremCli, ExitStatusesTellUsageFromFailure) {
    ScratchDir d;
    std::string store = d.subdir("store");
    // A misspelt option is a usage error, never taken for a directory.
    EXPECT_EQ(runCommand(bremCommand() + " list-mail " + store + " --jsn 2>/dev/null"), 2);
    EXPECT_EQ(runCommand(bremCommand() + " no-such-verb 2>/dev/null"), 2);
    EXPECT_EQ(runCommand(bremCommand() + " read " + store + " 0 1 x 2>/dev/null"), 2);
    // The library's failure: no mail.hdr, an area that is not there.
    EXPECT_EQ(runCommand(bremCommand() + " list-mail " + store + " 2>/dev/null"), 1);
    EXPECT_EQ(runCommand(bremCommand() + " read " + store + " 7 1 10 2>/dev/null >/dev/null"), 1);
    EXPECT_EQ(runCommand(bremCommand() + " list-mail --help >/dev/null"), 0);
    // A store that cannot take the log is a failure, not an empty spool.
    EXPECT_EQ(runCommand(bremCommand() + " import-mail " + d.subdir("empty") + " " + d.file("missing") +
                         " 2>/dev/null >/dev/null"),
              1);
    EXPECT_EQ(runCommand(bremCommand() + " import-mail " + d.subdir("empty") + " " + store + " >/dev/null"), 0);
    // Options take "--name VALUE" and "--name=VALUE" alike.
    std::string spool = d.subdir("spool");
    latin1Spool(spool);
    EXPECT_EQ(runCommand(bremCommand() + " import-mail " + spool + " " + store +
                         " --site=hubsite --local-site mybox --verbosity=0 --quiet >/dev/null"),
              0);
    EXPECT_EQ(readFile(spool + "/0C0001.X"), "");
}

TEST(BremCli, ProgressStaysOffStandardErrorWhenItIsNoTerminal) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    latin1Spool(spool);
    std::string err = d.file("err.txt");
    ASSERT_EQ(runCommand(bremCommand() + " import-mail " + spool + " " + store +
                         " --site hubsite --local-site mybox 2> " + err + " >/dev/null"),
              0);
    EXPECT_EQ(readFile(err), "");
}

namespace {

// One mail job and one plain news job for the area of rec.arts.
void mailAndNewsSpool(const std::string& spool, const std::string& store) {
    latin1Spool(spool);
    writeFile(spool + "/2C0002.X", "U news hubsite\nF D.hubsiteN0002\nI D.hubsiteN0002\nC rnews\n");
    std::string article = "From: ann\nNewsgroups: rec.arts\nSubject: hi\nMessage-ID: <a1>\n\nhello\n";
    writeFile(spool + "/0N0002.D", "#! rnews " + std::to_string(article.size()) + "\n" + article);
    writeFile(store + "/area.dat", "rec.arts\n3\n");
}

// Runs a Python check over a file of brem's JSON output; 0 when it passes.
int checkJson(const ScratchDir& d, const std::string& json, const std::string& asserts) {
    std::string check = d.file("check.py");
    writeFile(check, "import json,sys\nd = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))\n" + asserts);
    return runCommand("python3 " + check + " " + json);
}

}  // namespace

TEST(BremCli, CycleGivesOneJsonObjectWithBothKindsAndTheCounts) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    mailAndNewsSpool(spool, store);
    std::string out = d.file("cycle.json");
    ASSERT_EQ(runCommand(bremCommand() + " cycle " + spool + " " + store +
                         " --neighbour hubsite --local-site mybox --json > " + out),
              0);
    EXPECT_EQ(checkJson(d, out,
                        "assert d['ok'] is True and d['mails'] == 1 and d['news_batches'] == 1, d\n"
                        "assert d['articles'] == 1 and len(d['news']) == 1 and len(d['mail']) == 1, d\n"
                        "n = d['news'][0]\n"
                        "assert (n['batch'], n['area'], n['start']) == (1, 3, 1), n\n"
                        "assert n['subject'] == 'hi' and n['references'] is None, n\n"
                        "assert n['raw'][5] == 'Message-ID: <a1>', n\n"
                        "assert d['mail'][0]['start'] == 1, d['mail']\n"),
              0);
    // Both jobs are gone, and a second cycle is an empty one, not a failure.
    EXPECT_FALSE(exists(spool + "/0C0001.X"));
    EXPECT_FALSE(exists(spool + "/2C0002.X"));
    ASSERT_EQ(runCommand(bremCommand() + " cycle " + spool + " " + store + " --json > " + out), 0);
    EXPECT_EQ(checkJson(d, out, "assert d == {'ok': True, 'status': 0, 'mails': 0, 'news_batches': 0, 'articles': 0, "
                                "'mail': [], 'news': [], 'removed': [], 'left': []}, d\n"),
              0);
    // A store that cannot take the logs fails the cycle, in the JSON as well.
    std::string noLogs = d.subdir("nologs");
    d.subdir("nologs/mail.log");
    d.subdir("nologs/news.log");
    EXPECT_EQ(runCommand(bremCommand() + " cycle " + spool + " " + noLogs + " --json > " + out + " 2>/dev/null"), 1);
    EXPECT_EQ(checkJson(d, out, "assert d['ok'] is False, d\n"), 0);
}

TEST(BremCli, SiteOptionsMeanTheSameInEveryVerbAndTheOldSpellingStillWorks) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    // The importers: --site is the neighbour's old name; the job is found
    // and mapped all the same.
    mailAndNewsSpool(spool, store);
    EXPECT_EQ(runCommand(bremCommand() + " cycle " + spool + " " + store +
                         " --site hubsite --local-site mybox --quiet >/dev/null"),
              0);
    EXPECT_FALSE(exists(spool + "/0A0001.D"));
    EXPECT_FALSE(exists(spool + "/0N0002.D"));
    // Both spellings at once is ambiguous: a usage error, and nothing taken.
    latin1Spool(spool);
    EXPECT_EQ(runCommand(bremCommand() + " import-mail " + spool + " " + store +
                         " --neighbour hubsite --site other --quiet 2>/dev/null >/dev/null"),
              2);
    EXPECT_TRUE(exists(spool + "/0C0001.X"));

    // The exporters: --local-site is this system, as for the importers; the
    // old --site gives the very same job.
    std::string message = d.file("m.txt");
    writeFile(message, "Subject: x\n\nbody\n");
    std::string json = d.file("job.json");
    ASSERT_EQ(runCommand(bremCommand() + " export-mail " + spool + " " + store +
                         " --to friend@far --local-site mybox --json " + message + " > " + json),
              0);
    EXPECT_EQ(checkJson(d, json, "assert d['job'] == 1 and d['xqt'].endswith('0001.XQT'), d\n"), 0);
    ASSERT_EQ(runCommand(bremCommand() + " export-mail " + spool + " " + store + " --to friend@far --site mybox " +
                         message + " >/dev/null"),
              0);
    EXPECT_EQ(readFile(spool + "/0001.XQT").rfind("U Daemon mybox\nZ\nF D.mybox0001\n", 0), 0u);
    EXPECT_EQ(readFile(spool + "/0002.XQT").rfind("U Daemon mybox\nZ\nF D.mybox0002\n", 0), 0u);
    EXPECT_EQ(runCommand(bremCommand() + " export-news " + spool + " " + store + " --local-site a --site b " +
                         message + " 2>/dev/null"),
              2);
    EXPECT_EQ(runCommand(bremCommand() + " export-news " + spool + " " + store + " " + message + " 2>/dev/null"), 2);
}

TEST(BremCli, NewsListingsAreJsonAndAnEmptySpoolListsNothing) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    mailAndNewsSpool(spool, store);
    std::string imported = d.file("import.json"), listed = d.file("list.json");
    ASSERT_EQ(runCommand(bremCommand() + " import-news " + spool + " " + store +
                         " --neighbour hubsite --local-site mybox --json > " + imported),
              0);
    // The mail job stays for import-mail; the last IMPNEWS call looked at it
    // and so took Header.Msg away: the spool lists no records then.
    EXPECT_TRUE(exists(spool + "/0C0001.X"));
    EXPECT_EQ(checkJson(d, imported, "n = d['news']\nassert len(n) == 1 and n[0]['batch'] == 1 and n[0]['area'] == 3, d\n"), 0);
    ASSERT_EQ(runCommand(bremCommand() + " list-news " + spool + " --json > " + listed), 0);
    EXPECT_EQ(checkJson(d, listed, "assert d == [], d\n"), 0);

    // With the news job alone, Header.Msg stays and lists the batch's
    // records as import-news gave them, without the batch number.
    ScratchDir d2;
    std::string spool2 = d2.subdir("spool"), store2 = d2.subdir("store");
    mailAndNewsSpool(spool2, store2);
    std::remove((spool2 + "/0C0001.X").c_str());
    ASSERT_EQ(runCommand(bremCommand() + " import-news " + spool2 + " " + store2 +
                         " --neighbour hubsite --local-site mybox --json > " + imported),
              0);
    ASSERT_EQ(runCommand(bremCommand() + " list-news " + spool2 + "/Header.Msg --json > " + listed), 0);
    writeFile(d.file("both.py"),
              "import json,sys\n"
              "a = json.load(open(sys.argv[1]))['news']; b = json.load(open(sys.argv[2]))\n"
              "for r in a: del r['batch']\n"
              "assert a == b and len(b) == 1, (a, b)\n");
    EXPECT_EQ(runCommand("python3 " + d.file("both.py") + " " + imported + " " + listed), 0);
    EXPECT_EQ(runCommand(bremCommand() + " list-news " + d.file("no-such-spool") + " 2>/dev/null"), 1);
}

TEST(BremCli, EveryJsonOutputParsesAndFailuresOfInputFilesAreFailures) {
    ScratchDir d;
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    mailAndNewsSpool(spool, store);
    // Every verb that takes --json, each giving what python's parser reads.
    std::string text = d.file("t.txt");
    writeFile(text, "Subject: s\r\n\r\nline\r\n");
    const std::vector<std::string> commands = {
        " import-mail " + spool + " " + store + " --neighbour hubsite --local-site mybox --json",
        " list-mail " + store + " --json",
        " import-news " + spool + " " + store + " --neighbour hubsite --local-site mybox --json",
        " list-news " + spool + "/Header.Msg --json",
        " cycle " + spool + " " + store + " --json",
        " write-message " + store + " 4 " + text + " --json",
        " export-mail " + spool + " " + store + " --to a@b --local-site mybox --json " + text,
        " export-news " + spool + " " + store + " --local-site mybox --json " + text,
    };
    for (const std::string& c : commands) {
        EXPECT_EQ(runCommand(bremCommand() + c + " > " + d.file("out.json")), 0) << c;
        EXPECT_EQ(runCommand("python3 -m json.tool " + d.file("out.json") + " >/dev/null"), 0) << c;
    }
    // An input file brem cannot read is the operation's failure (1), not a
    // wrong command line (2), in every verb.
    std::string missing = d.file("missing");
    EXPECT_EQ(runCommand(bremCommand() + " write-message " + store + " 0 " + missing + " 2>/dev/null"), 1);
    EXPECT_EQ(runCommand(bremCommand() + " attach " + spool + " " + text + " --prefix-file " + missing +
                         " 2>/dev/null"),
              1);
    EXPECT_EQ(runCommand(bremCommand() + " export-mail " + spool + " " + store + " --to a --local-site b " + missing +
                         " 2>/dev/null"),
              1);
    // The UU coder answers 0 whatever happens; brem does not.
    EXPECT_EQ(runCommand(bremCommand() + " uudecode " + missing + " 2>/dev/null >/dev/null"), 1);
    EXPECT_EQ(runCommand(bremCommand() + " uuencode " + missing + ".bin 2>/dev/null >/dev/null"), 1);
    EXPECT_EQ(runCommand(bremCommand() + " check-dir " + store), 0);
    EXPECT_EQ(runCommand(bremCommand() + " check-dir " + missing + " 2>/dev/null"), 1);
}

TEST(BremCli, EveryVerbListedHasItsOwnHelp) {
    ScratchDir d;
    std::string verbs = d.file("verbs.txt");
    ASSERT_EQ(runCommand(bremCommand() + " --help | sed -n '/^verbs:/,/^$/p' | sed -nE 's/^  ([a-z-]+) .*/\\1/p' > " +
                         verbs),
              0);
    std::string list = readFile(verbs);
    size_t count = 0;
    for (size_t pos = 0, nl; (nl = list.find('\n', pos)) != std::string::npos; pos = nl + 1, ++count) {
        std::string verb = list.substr(pos, nl - pos);
        std::string out = d.file("help.txt");
        EXPECT_EQ(runCommand(bremCommand() + " " + verb + " --help > " + out), 0) << verb;
        EXPECT_EQ(readFile(out).rfind("usage: brem " + verb, 0), 0u) << verb;
        EXPECT_EQ(runCommand(bremCommand() + " help " + verb + " > " + d.file("help2.txt")), 0) << verb;
        EXPECT_EQ(readFile(d.file("help2.txt")), readFile(out)) << verb;
    }
    EXPECT_GE(count, 20u);
    EXPECT_EQ(runCommand(bremCommand() + " help no-such-verb 2>/dev/null"), 2);
}
