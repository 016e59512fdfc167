// brem check, export-mbox and import-mbox, end to end on stores on disk: an
// mbox reader that this project did not write (Python's mailbox module)
// reads what export-mbox writes, and check finds what was broken on purpose.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

using namespace brem::test;

namespace {

std::string bremTool() { return binDir() + "/brem"; }

// A store imported from mail jobs whose bytes an mbox must carry with care:
// lines beginning "From " and ">From ", a last line without its line end,
// CR LF line ends, a byte 0xFF, and two messages without a Message-ID.
std::string importedStore(const ScratchDir& d) {
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    const std::string messages[] = {
        "From uucp Mon Oct  6 21:14:02 1997\nFrom: Ann <ann@hub>\nDate: Tue, 7 Oct 1997 06:01:58 -0400\n"
        "Message-ID: <1@hub>\nSubject: quoting\n\nFrom here on\n>From there\n>>From afar\nFromage\n",
        "From: bob@hub\nSubject: no id, no end\n\nlast line without its end",
        "From: carl@hub\r\nSubject: crlf\r\n\r\nbody \xff\r\n",
        "Subject: no id either\n\nsecond\n\n\n",
    };
    for (int i = 0; i < 4; ++i) {
        std::string n = std::to_string(i + 1);
        writeFile(spool + "/0C000" + n + ".X", "U uucp hub\nF D.hubA000" + n + "\nC rmail reader@mybox\n");
        writeFile(spool + "/0A000" + n + ".D", messages[i]);
    }
    EXPECT_EQ(runCommand(bremTool() + " import-mail " + spool + " " + store +
                         " --neighbour hub --local-site mybox --quiet >/dev/null"),
              0);
    return store;
}

}  // namespace

TEST(StoreCare, MboxCarriesEveryStoredByteAndComesBackTheSame) {
    ScratchDir d;
    std::string store = importedStore(d);
    std::string mbox = d.file("out.mbox"), again = d.file("again.mbox"), fresh = d.subdir("fresh");
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + mbox + " >/dev/null"), 0);
    std::string script = d.file("read.py");
    writeFile(script, R"(import json, mailbox, re, subprocess, sys
brem, store, path = sys.argv[1:4]
records = json.loads(subprocess.run([brem, 'list-mail', store, '--json'], capture_output=True, check=True).stdout)
box = mailbox.mbox(path)
assert len(box) == len(records) == 4, (len(box), len(records))
for i, rec in enumerate(records):
    read = subprocess.run([brem, 'read', store, '0', str(rec['start']), str(rec['length'])],
                          capture_output=True, check=True).stdout.replace(b'\r\n', b'\n')
    got = re.sub(rb'(?m)^>(>*From )', rb'\1', box.get_bytes(i))
    # The format ends every message in a line end.
    assert got == read or (not read.endswith(b'\n') and got == read + b'\n'), (i, got, read)
assert box[0].get_from() == 'ann@hub Tue Oct  7 10:01:58 1997', box[0].get_from()
assert box[3].get_from().startswith('MAILER-DAEMON Thu Jan  1 00:00:00 1970'), box[3].get_from()
)");
    EXPECT_EQ(runCommand("python3 " + script + " " + bremTool() + " " + store + " " + mbox), 0);

    // Into an empty store and out again: the same mailbox. A second run finds
    // every message there already, by Message-ID or, without one, by its bytes.
    ASSERT_EQ(runCommand(bremTool() + " import-mbox " + mbox + " " + fresh + " >/dev/null"), 0);
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + fresh + " " + again + " >/dev/null"), 0);
    EXPECT_EQ(readFile(again), readFile(mbox));
    std::string hdr = readFile(fresh + "/mail.hdr");
    std::string summary = d.file("summary.json");
    ASSERT_EQ(runCommand(bremTool() + " import-mbox " + again + " " + fresh + " --json >" + summary), 0);
    EXPECT_EQ(readFile(summary), "{\"messages\": 4, \"imported\": 0, \"already_in_store\": 4, \"failed\": 0}\n");
    EXPECT_EQ(readFile(fresh + "/mail.hdr"), hdr);
    // brem.lck: the store's run lock, taken by every verb that writes it.
    EXPECT_EQ(listDir(fresh), (std::vector<std::string>{"brem.lck", "mail.hdr", "mail.log", "mailarea.txt"}));
}

TEST(StoreCare, CheckFindsEachDamageAndExportSkipsOnlyTheBrokenRecords) {
    ScratchDir d;
    std::string store = importedStore(d);
    std::string spool = d.path() + "/spool";
    writeFile(store + "/area.dat", "rec.arts\n3\ncomp.x\n5\n");
    EXPECT_EQ(runCommand(bremTool() + " check " + store + " --spool " + spool + " >/dev/null"), 0);

    // The damaged copy: every record kind of fault in mail.hdr, and the
    // other files of the store and the spool broken one way each.
    std::string good = readFile(store + "/mail.hdr");
    std::string area = readFile(store + "/mailarea.txt");
    size_t cut = 0;
    for (int line = 0; line < 16; ++line) cut = good.find('\n', cut) + 1;  // two whole records
    std::string size = std::to_string(area.size());
    std::string rec = "To: a\r\nFrom: b\r\nDate: \r\nMessage-ID: <0>\r\nSubject: s\r\nNO CC\r\n";
    writeFile(store + "/mail.hdr", good.substr(0, cut) +
                                       "To: x\r\nFrom: y\r\nMessage-ID: <0>\r\nSubject: s\r\nNO CC\r\n1\r\n9\r\n" +  // no Date line
                                       rec + "5\r\n" + std::to_string(area.size() + 10) + "\r\n" +               // past the end
                                       rec + "9\r\n3\r\n" +                                                       // backwards
                                       rec + "2\r\n" + size + "\r\n" +                                            // overlaps
                                       "To: z\r\nFrom: q\r\n");                                                   // cut short
    writeFile(store + "/area.dat", "rec.arts\n3\nrec.arts.movies\n4\ncomp.x\r\n5\nrec.arts\nfive\n");
    writeFile(store + "/export.dat", std::string("\x01\x00\x00", 3));
    writeFile(spool + "/0C0009.X", "U uucp hub\nF D.hubA0009\nC rmail r@mybox\n");
    writeFile(spool + "/0A0042.D", "From: lost\n\nhi\n");
    writeFile(spool + "/rmail.z", "From: me\n\nunsent\n");
    writeFile(store + "/area3.txt", "0123456789");
    writeFile(spool + "/Header.Msg", "3\r\nFrom: a\r\nDate: d\r\nMessage-ID: m\r\nSubject: s\r\nMessage-ID: m\r\n"
                                     "Lines: 1\r\n5\r\n20\r\n");

    std::string out = d.file("check.json");
    EXPECT_EQ(runCommand(bremTool() + " check " + store + " --spool " + spool + " --json >" + out), 1);
    std::string script = d.file("findings.py");
    writeFile(script, R"(import json, sys
r = json.load(open(sys.argv[1]))
found = [(f['file'], f.get('record'), f['problem']) for f in r['findings']]
def has(file, text, record=None):
    assert any(f == file and text in p and (record is None or n == record) for f, n, p in found), (file, text, found)
has('mail.hdr', 'line 3 (Date)', 3)
has('mail.hdr', 'runs past the end of mailarea.txt', 4)
has('mail.hdr', 'runs backwards', 5)
has('mail.hdr', 'overlaps record 2', 6)
has('mail.hdr', 'last record is cut short', 7)
has('Header.Msg', 'runs past the end of area3.txt', 1)
has('area.dat', 'holds a CR')
has('area.dat', 'listed twice')
has('area.dat', 'is not a number')
has('area.dat', 'contains the earlier name "rec.arts"')
has('export.dat', '3 bytes, not 4')
has('0C0009.X', 'without its data file')
has('0A0042.D', 'without an execute file')
has('rmail.z', 'not exported')
assert r['mail_records'] == 5 and not r['clean'], r
)");
    EXPECT_EQ(runCommand("python3 " + script + " " + out), 0);

    // The records that can be read go out; the broken ones are reported and
    // the exit status says so.
    std::string mbox = d.file("partial.mbox");
    EXPECT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + mbox + " 2>/dev/null >/dev/null"), 1);
    EXPECT_EQ(runCommand("python3 -c \"import mailbox,sys; n=len(mailbox.mbox(sys.argv[1])); sys.exit(n!=3)\" " + mbox),
              0);
}

// A store written before the mail area began with a line end holds its first
// message from offset 0 under the recorded start 1: the host shows it without
// its first byte. check says so; export-mbox takes the message out whole.
TEST(StoreCare, FirstMessageOfAnOldStoreGoesOutWithItsFirstByte) {
    ScratchDir d;
    std::string store = d.subdir("store"), mbox = d.file("old.mbox");
    writeFile(store + "/mailarea.txt", "From: a@hub\n\nhi\n");
    writeFile(store + "/mail.hdr", "To: r\r\nFrom: a@hub\r\nDate: \r\nMessage-ID: <0>\r\nSubject: s\r\nNO CC\r\n1\r\n16\r\n");
    std::string out = d.file("check.txt");
    EXPECT_EQ(runCommand(bremTool() + " check " + store + " >" + out), 1);
    EXPECT_NE(readFile(out).find("begins at offset 0"), std::string::npos) << readFile(out);
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + mbox + " >/dev/null"), 0);
    EXPECT_EQ(readFile(mbox), "From a@hub Thu Jan  1 00:00:00 1970\nFrom: a@hub\n\nhi\n\n");
}
