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
// UUCP envelopes (one relayed through two sites), lines beginning "From "
// and ">From ", a last line without its line end, CR LF line ends, a byte
// 0xFF, and two messages without a Message-ID.
const std::string kMessages[] = {
    "From uucp Mon Oct  6 21:14:02 1997\nFrom: Ann <ann@hub>\nDate: Tue, 7 Oct 1997 06:01:58 -0400\n"
    "Message-ID: <1@hub>\nSubject: quoting\n\nFrom here on\n>From there\n>>From afar\nFromage\n",
    "From bob Tue Oct  7 10:00:00 1997 remote from hub\n>From bob Tue Oct  7 09:00:00 1997 remote from far\n"
    "From: bob@far\nSubject: no id, no end\n\nlast line without its end",
    "From: carl@hub\r\nSubject: crlf\r\n\r\nbody \xff\r\n",
    "Subject: no id either\n\nsecond\n\n\n",
};

std::string importedStore(const ScratchDir& d) {
    std::string spool = d.subdir("spool"), store = d.subdir("store");
    for (int i = 0; i < 4; ++i) {
        std::string n = std::to_string(i + 1);
        writeFile(spool + "/0C000" + n + ".X", "U uucp hub\nF D.hubA000" + n + "\nC rmail reader@mybox\n");
        writeFile(spool + "/0A000" + n + ".D", kMessages[i]);
    }
    EXPECT_EQ(runCommand(bremTool() + " import-mail " + spool + " " + store +
                         " --neighbour hub --local-site mybox --quiet >/dev/null"),
              0);
    return store;
}

}  // namespace

// Out to a mailbox that holds mail already, back into a new store, out again,
// with CR LF line ends into another store: every reader sees every header,
// the mailbox keeps its mail, owner and mode, and nothing is stored twice.
TEST(StoreCare, MboxRoundTripsKeepEveryMessageAndTheMailboxItGoesTo) {
    ScratchDir d;
    std::string store = importedStore(d);
    std::string mbox = d.file("out.mbox"), again = d.file("again.mbox"), crlf = d.file("crlf.mbox");
    std::string fresh = d.subdir("fresh"), third = d.subdir("third");
    writeFile(mbox, "From old@hub Mon Oct  6 08:00:00 1997\nSubject: kept\n\nalready here\n");
    // A mailbox of another user, in a mail spool's mode (the owner only
    // where the test may give the file away).
    ASSERT_EQ(runCommand("chmod 0640 " + mbox + " && { [ $(id -u) -ne 0 ] || chown nobody " + mbox + "; }"), 0);
    const std::string owner = "stat -c %U:%a " + mbox + " | grep -qx \"$([ $(id -u) -ne 0 ] && id -un || echo nobody):640\"";
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + mbox + " >/dev/null"), 0);
    std::string script = d.file("read.py");
    writeFile(script, R"(import json, mailbox, os, re, stat, subprocess, sys
brem, store, path = sys.argv[1:4]
records = json.loads(subprocess.run([brem, 'list-mail', store, '--json'], capture_output=True, check=True).stdout)
box = mailbox.mbox(path)
assert len(box) == len(records) + 1 == 5, (len(box), len(records))
assert stat.S_IMODE(os.stat(path).st_mode) == 0o640 and not os.path.exists(path + '.lock')
assert [m['Subject'] for m in box] == ['kept', 'quoting', 'no id, no end', 'crlf', 'no id either'], [m['Subject'] for m in box]
for i, rec in enumerate(records):
    read = subprocess.run([brem, 'read', store, '0', str(rec['start']), str(rec['length'])],
                          capture_output=True, check=True).stdout.replace(b'\r\n', b'\n')
    read = re.sub(rb'^From .*\n(>From .*\n)*', b'', read)  # the envelope is the "From " line now
    got = re.sub(rb'(?m)^>(>*From )', rb'\1', box.get_bytes(i + 1))
    # The format ends every message in a line end.
    assert got == read or (not read.endswith(b'\n') and got == read + b'\n'), (i, got, read)
assert box[1].get_from() == 'uucp Mon Oct  6 21:14:02 1997', box[1].get_from()
assert box[2].get_from() == 'hub!far!bob Tue Oct  7 10:00:00 1997', box[2].get_from()
assert box[4].get_from().startswith('MAILER-DAEMON Thu Jan  1 00:00:00 1970'), box[4].get_from()
)");
    EXPECT_EQ(runCommand("python3 " + script + " " + bremTool() + " " + store + " " + mbox), 0);
    EXPECT_EQ(runCommand(owner), 0);

    // Into an empty store and out again: the same messages. The mailbox goes
    // back into the store it came from without a message stored twice, as
    // an envelope, CR LF line ends and the mailbox's own message aside.
    ASSERT_EQ(runCommand(bremTool() + " import-mbox " + mbox + " " + fresh + " >/dev/null"), 0);
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + fresh + " " + again + " --replace >/dev/null"), 0);
    EXPECT_EQ(runCommand("python3 -c \"import mailbox,sys; a,b=(mailbox.mbox(p) for p in sys.argv[1:]); "
                         "sys.exit([a.get_bytes(k).replace(b'\\r\\n',b'\\n') for k in a.keys()] != "
                         "[b.get_bytes(k) for k in b.keys()])\" " + mbox + " " + again),
              0);
    std::string summary = d.file("summary.json");
    ASSERT_EQ(runCommand(bremTool() + " import-mbox " + again + " " + store + " --json >" + summary), 0);
    EXPECT_EQ(readFile(summary), "{\"messages\": 5, \"imported\": 1, \"already_in_store\": 4, \"failed\": 0}\n");

    // The same mailbox with CR LF line ends: the same store, once.
    std::string lf = readFile(again), crlfBytes;
    for (char c : lf) crlfBytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    writeFile(crlf, crlfBytes);
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(runCommand(bremTool() + " import-mbox " + crlf + " " + third + " >/dev/null"), 0);
    }
    EXPECT_EQ(readFile(third + "/mailarea.txt"), readFile(fresh + "/mailarea.txt"));
    EXPECT_EQ(readFile(third + "/mail.hdr"), readFile(fresh + "/mail.hdr"));
    // brem.lck: the store's run lock, taken by every verb that writes it.
    EXPECT_EQ(listDir(third), (std::vector<std::string>{"brem.lck", "mail.hdr", "mail.log", "mailarea.txt"}));

    // mboxo quotes "From " lines alone, and reading it back takes one ">"
    // from ">From " lines alone.
    std::string old = d.file("o.mbox"), oStore = d.subdir("mboxo");
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + old + " --format mboxo >/dev/null"), 0);
    EXPECT_NE(readFile(old).find("\n>From here on\n>From there\n>>From afar\nFromage\n"), std::string::npos);
    ASSERT_EQ(runCommand(bremTool() + " import-mbox " + old + " " + oStore + " --format mboxo >/dev/null"), 0);
    EXPECT_NE(readFile(oStore + "/mailarea.txt").find("\nFrom here on\nFrom there\n>>From afar\n"), std::string::npos);

    // Written anew, the mailbox keeps its owner and mode all the same.
    ASSERT_EQ(runCommand(bremTool() + " export-mbox " + store + " " + mbox + " --replace >/dev/null"), 0);
    EXPECT_EQ(runCommand(owner), 0);
    EXPECT_FALSE(exists(mbox + ".part") || exists(mbox + ".lock"));
}

TEST(StoreCare, CheckFindsEachDamageAndExportSkipsOnlyTheBrokenRecords) {
    ScratchDir d;
    std::string store = importedStore(d);
    std::string spool = d.path() + "/spool";
    // The map's catch-all (an empty name, last) and the data file of a mail
    // in the store, which an import cut off between its two deletions
    // leaves, are no damage.
    writeFile(store + "/area.dat", "rec.arts\n3\ncomp.x\n5\n\n9\n");
    writeFile(spool + "/0A0007.D", kMessages[1]);
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
assert [f['severity'] for f in r['findings'] if f['file'] == '0A0007.D'] == ['note'], r
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

    // cycle removes the copy of a stored mail once a transfer can no longer
    // be writing its job, and nothing else.
    writeFile(store + "/mail.hdr", good);
    ASSERT_EQ(runCommand("touch -d '2 hours ago' " + spool + "/0A0007.D " + spool + "/0A0042.D"), 0);
    EXPECT_EQ(runCommand(bremTool() + " cycle " + spool + " " + store + " --quiet 2>/dev/null"), 3);
    EXPECT_FALSE(exists(spool + "/0A0007.D"));
    EXPECT_TRUE(exists(spool + "/0A0042.D"));
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
