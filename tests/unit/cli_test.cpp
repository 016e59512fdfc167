// brem as a script drives it: listings as JSON, exit statuses, options.
#include <gtest/gtest.h>

#include <string>

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
              "assert d[0]['from'] == 'From: J\\u00e9r\\u00f4me <j@hub>', d[0]['from']\n"
              "assert d[0]['subject'] == 'Subject: Caf\\u00e9 \\u20ac \"q\"', d[0]['subject']\n"
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
