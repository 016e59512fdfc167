// The host's writers: addresses, CR dropping, line wrapping, copies into a
// directory or its hold directory, error texts, and what a failed write
// leaves behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"
#include "platform/fault.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;
using brem::test::toHost;

namespace {

struct Written {
    int32_t result;
    int32_t start;
    int32_t length;
    std::string error;
};

using WriterFn = int32_t(BREM_API*)(const char*, int32_t, int32_t*, int32_t*, const char*, char*);

Written write(WriterFn fn, const std::string& dir, int32_t area, const std::string& text) {
    Written w{0, -7, -7, ""};
    std::vector<char> err(dir.size() + 256, '\0');
    w.result = fn(dir.c_str(), area, &w.start, &w.length, text.c_str(), err.data());
    w.error = err.data();
    return w;
}

Written writeUucp(const std::string& path, const std::string& text) {
    Written w{0, -7, -7, ""};
    std::vector<char> err(path.size() + 256, '\0');
    w.result = WRITEUUCP(path.c_str(), &w.start, &w.length, text.c_str(), err.data());
    w.error = err.data();
    return w;
}

std::string readBack(const std::string& dir, int32_t area, int32_t start, int32_t length) {
    std::vector<char> text(32302), err(512);
    int32_t r = READMESSAGE(dir.c_str(), area, start, length, text.data(), err.data());
    return r == length + 1 ? std::string(text.data()) : "<failed: " + std::string(err.data()) + ">";
}

struct FaultGuard {
    ~FaultGuard() { plat::fault::disarm(); }
};

}  // namespace

TEST(WriteMessage, AddressesFollowTheAppendRuleAndReadBackWhole) {
    ScratchDir d;
    const std::string dir = d.hostPath();
    Written w = write(WRITEMESSAGE, dir, 3, "Hi\r\n");
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.start, 1);
    EXPECT_EQ(w.length, 3);
    EXPECT_EQ(test::readFile(d.file("area3.txt")), "\nHi\n");
    EXPECT_EQ(readBack(dir, 3, w.start, w.length), "Hi\r\n");

    test::writeFile(d.file("mailarea.txt"), std::string(100, '.'));
    w = write(WRITEMESSAGE, dir, 0, "Hi\r\n");
    EXPECT_EQ(w.start, 100);
    EXPECT_EQ(w.length, 3);
    EXPECT_EQ(test::fileSize(d.file("mailarea.txt")), 103);

    // Area -50 is written as area-50.txt, not the temporary area.
    EXPECT_EQ(write(WRITEMESSAGE, dir, -50, "t").result, 0);
    EXPECT_EQ(test::readFile(d.file("area-50.txt")), "\nt");
    EXPECT_FALSE(test::exists(d.file("temparea.dat")));
}

TEST(WriteMessage, EveryCrIsDroppedWhereverItStands) {
    ScratchDir d;
    Written w = write(WRITEMESSAGE, d.hostPath(), 1, "a\rb\r\n\r\rc\r");
    EXPECT_EQ(w.length, 4);
    EXPECT_EQ(test::readFile(d.file("area1.txt")), "\nab\nc");
    w = writeUucp(toHost(d.file("out.txt")), "x\r\ny\r\n");
    EXPECT_EQ(test::readFile(d.file("out.txt")), "x\ny\n");
}

TEST(WriteMessage, FormBreaksAfterTheFirstBlankPastColumnEighty) {
    ScratchDir d;
    const std::string dir = d.hostPath();
    const std::string x85(85, 'x'), x10(10, 'x');
    Written w = write(WRITEMFORM, dir, 1, x85 + " " + x10);
    EXPECT_EQ(test::readFile(d.file("area1.txt")), "\n" + x85 + " \n" + x10);
    EXPECT_EQ(w.length, 85 + 2 + 10);  // the inserted LF is counted

    // A blank at position 80 stays inside the line; at 81 it ends it.
    write(WRITEMFORM, dir, 2, std::string(79, 'a') + " b\r\n" + std::string(80, 'c') + " d");
    EXPECT_EQ(test::readFile(d.file("area2.txt")),
              "\n" + std::string(79, 'a') + " b\n" + std::string(80, 'c') + " \nd");

    // The CR of the host's text counts toward the column though it is dropped,
    // and the count starts again after every LF, inserted or not.
    write(WRITEMFORM, dir, 3, std::string(79, 'e') + "\r " + std::string(100, 'f') + " g");
    EXPECT_EQ(test::readFile(d.file("area3.txt")), "\n" + std::string(79, 'e') + " \n" + std::string(100, 'f') + " \ng");

    write(WRITEMFORM, dir, 4, std::string(200, 'z'));
    EXPECT_EQ(test::readFile(d.file("area4.txt")), "\n" + std::string(200, 'z'));
    // WRITEMESSAGE never wraps.
    write(WRITEMESSAGE, dir, 5, x85 + " " + x10);
    EXPECT_EQ(test::readFile(d.file("area5.txt")), "\n" + x85 + " " + x10);
}

TEST(WriteUucp, AddsNoByteOfItsOwnToTheHostsFile) {
    ScratchDir d;
    const std::string path = toHost(d.file("rnews"));
    Written w = writeUucp(path, "#! rnews 5\r\n");
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.start, 1);
    EXPECT_EQ(w.length, 10);
    EXPECT_EQ(test::readFile(d.file("rnews")), "#! rnews 5\n");
    w = writeUucp(path, "more\r\n");
    EXPECT_EQ(w.start, 11);
    EXPECT_EQ(w.length, 5);
    w = writeUucp(toHost(d.file("empty")), "");
    EXPECT_EQ(w.start, 1);
    EXPECT_EQ(w.length, 0);
}

TEST(WriteMessage, OpenFailuresNameThePathAndLeaveTheReplyAlone) {
    ScratchDir d;
    const std::string dir = d.hostPath() + "\\missing";
    Written w = write(WRITEMESSAGE, dir, 0, "x");
    EXPECT_EQ(w.result, -1);
    EXPECT_EQ(w.error, "Cannot open file " + dir + "\\mailarea.txt");
    EXPECT_EQ(w.start, -7);
    EXPECT_EQ(w.length, -7);
    w = write(WRITEMFORM, dir, 12, "x");
    EXPECT_EQ(w.error, "Cannot open file " + dir + "\\area12.txt");
    w = writeUucp(dir + "\\out", "x");
    EXPECT_EQ(w.result, -1);
    EXPECT_EQ(w.error, "Cannot open file " + dir + "\\out");
}

TEST(WriteMessage, AFailedWriteLeavesTheFileAsItWas) {
    FaultGuard guard;
    ScratchDir d;
    const std::string dir = d.hostPath();
    test::writeFile(d.file("mailarea.txt"), std::string(100, '.'));
    struct Case {
        const char* what;
        void (*arm)();
    } cases[] = {
        {"disk full", [] { plat::fault::armDiskFull(1); }},
        {"flush", [] { plat::fault::arm(plat::fault::Op::Flush, 1); }},
        {"close", [] { plat::fault::arm(plat::fault::Op::Close, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arm();
        Written w = write(WRITEMESSAGE, dir, 0, "Hello\r\n");
        bool fired = plat::fault::fired() > 0;
        plat::fault::disarm();
        EXPECT_TRUE(fired);
        EXPECT_EQ(w.result, -1);
        EXPECT_EQ(w.error, "Cannot write file " + dir + "\\mailarea.txt");
        EXPECT_EQ(test::fileSize(d.file("mailarea.txt")), 100);

        c.arm();
        w = writeUucp(dir + "\\up", "Hello\r\n");
        plat::fault::disarm();
        EXPECT_EQ(w.result, -1);
        EXPECT_EQ(test::fileSize(d.file("up")), 0);
    }
    // The append after the failures lands where the failed ones would have.
    Written w = write(WRITEMESSAGE, dir, 0, "ok");
    EXPECT_EQ(w.start, 100);
}

namespace {

struct Copied {
    int32_t result;
    std::string error;
};

Copied genuucp(const std::string& dir, const std::string& src, const std::string& name, const std::string& prefix,
               int32_t hold) {
    std::vector<char> err(src.size() + 256, '\0');
    Copied c{GENUUCP(dir.c_str(), src.c_str(), name.c_str(), prefix.c_str(), err.data(), hold), ""};
    c.error = err.data();
    return c;
}

Copied attach(const std::string& dir, const std::string& src, const std::string& name, int32_t hold) {
    std::vector<char> err(src.size() + 256, '\0');
    Copied c{FILEATTACH(dir.c_str(), src.c_str(), name.c_str(), err.data(), hold), ""};
    c.error = err.data();
    return c;
}

}  // namespace

TEST(CopyIntoDirectory, HoldReplacesAndOtherFlagsAppend) {
    ScratchDir d;
    const std::string dir = d.hostPath();
    test::writeFile(d.file("src1"), "one\r\n\x1a\xff");
    test::writeFile(d.file("src2"), "two\n");
    const std::string s1 = toHost(d.file("src1")), s2 = toHost(d.file("src2"));

    EXPECT_EQ(genuucp(dir, s1, "job", "P1:", 1).result, 0);
    EXPECT_EQ(genuucp(dir, s2, "job", "P2:", 1).result, 0);
    EXPECT_EQ(test::readFile(d.file("hold/job")), "P2:two\n");

    EXPECT_EQ(genuucp(dir, s1, "job", "P1:", 0).result, 0);
    EXPECT_EQ(genuucp(dir, s2, "job", "P2:", 2).result, 0);
    EXPECT_EQ(test::readFile(d.file("job")), "P1:one\r\n\x1a\xffP2:two\n");

    EXPECT_EQ(attach(dir, s1, "att", 1).result, 0);
    EXPECT_EQ(attach(dir, s1, "att", 1).result, 0);
    EXPECT_EQ(test::readFile(d.file("hold/att")), "one\r\n\x1a\xff");
    EXPECT_EQ(attach(dir, s2, "att", 0).result, 0);
    EXPECT_EQ(attach(dir, s2, "att", 0).result, 0);
    EXPECT_EQ(test::readFile(d.file("att")), "two\ntwo\n");

    // An empty prefix copies the source alone; an empty source gives the prefix alone.
    test::writeFile(d.file("empty"), "");
    EXPECT_EQ(genuucp(dir, toHost(d.file("empty")), "p", "only", 1).result, 0);
    EXPECT_EQ(test::readFile(d.file("hold/p")), "only");
    EXPECT_EQ(genuucp(dir, s2, "q", "", 1).result, 0);
    EXPECT_EQ(test::readFile(d.file("hold/q")), "two\n");
    EXPECT_EQ(test::readFile(d.file("src1")), "one\r\n\x1a\xff");  // sources stay
}

TEST(CopyIntoDirectory, ErrorTexts) {
    ScratchDir d;
    d.subdir("out");
    const std::string dir = d.hostPath() + "\\out";
    const std::string missing = d.hostPath() + "\\nosuch";
    Copied c = genuucp(dir, missing, "t", "p", 1);
    EXPECT_EQ(c.result, -1);
    EXPECT_EQ(c.error, "Cannot open file \r\n" + missing);
    EXPECT_TRUE(test::exists(d.file("out/hold")));  // the directory is made first
    EXPECT_TRUE(test::listDir(d.file("out/hold")).empty());
    c = attach(dir, missing, "t", 0);
    EXPECT_EQ(c.result, -1);
    EXPECT_EQ(c.error, "Cannot open file " + missing);

    // A target that cannot be opened: a directory stands in its place.
    test::writeFile(d.file("src"), "s");
    d.subdir("out/hold/busy");
    c = attach(dir, toHost(d.file("src")), "busy", 1);
    EXPECT_EQ(c.result, -1);
    EXPECT_EQ(c.error, "Cannot open temp file \r\n");
    c = genuucp(d.hostPath() + "\\a\\b", toHost(d.file("src")), "t", "p", 0);  // parent missing
    EXPECT_EQ(c.error, "Cannot open temp file \r\n");
}

TEST(CopyIntoDirectory, AFreshTargetThatIsTheSourceIsRefused) {
    ScratchDir d;
    d.subdir("hold");
    test::writeFile(d.file("hold/letter"), "keep me");
    Copied c = attach(d.hostPath(), d.hostPath() + "\\HOLD\\Letter", "letter", 1);
    EXPECT_EQ(c.result, -1);
    EXPECT_EQ(c.error, "Cannot open temp file \r\n");
    EXPECT_EQ(test::readFile(d.file("hold/letter")), "keep me");
    // Appending a file to itself copies it once, by its length before.
    EXPECT_EQ(attach(d.hostPath() + "\\hold", d.hostPath() + "\\hold\\letter", "letter", 0).result, 0);
    EXPECT_EQ(test::readFile(d.file("hold/letter")), "keep mekeep me");
}

TEST(CopyIntoDirectory, AFailedCopyLeavesNoPartBehind) {
    FaultGuard guard;
    ScratchDir d;
    const std::string dir = d.hostPath();
    test::writeFile(d.file("src"), std::string(200000, 's'));
    test::writeFile(d.file("job"), "earlier");
    d.subdir("hold");
    test::writeFile(d.file("hold/job"), "old");

    plat::fault::armDiskFull(1000);
    Copied c = genuucp(dir, toHost(d.file("src")), "job", "prefix", 0);
    plat::fault::disarm();
    EXPECT_EQ(c.result, -1);
    EXPECT_EQ(c.error, "Cannot write temp file \r\n");
    EXPECT_EQ(test::readFile(d.file("job")), "earlier");

    plat::fault::arm(plat::fault::Op::Close, 1);  // the target's close (the source closes later)
    c = attach(dir, toHost(d.file("src")), "job", 1);
    plat::fault::disarm();
    EXPECT_EQ(c.result, -1);
    EXPECT_FALSE(test::exists(d.file("hold/job")));
    EXPECT_EQ(test::fileSize(d.file("src")), 200000);
}

TEST(WriteMessage, RefusesToTakeAFilePastTheLargestAddress) {
    ScratchDir d;
    const std::string dir = d.hostPath();
    // Sparse files just short of 2^31 - 1 bytes.
    for (const char* name : {"area9.txt", "big"}) {
        ASSERT_EQ(truncate(d.file(name).c_str(), 0), -1);  // missing
        test::writeFile(d.file(name), "");
        ASSERT_EQ(truncate(d.file(name).c_str(), 2147483645), 0);
    }
    Written w = write(WRITEMESSAGE, dir, 9, "abc");
    EXPECT_EQ(w.result, -1);
    EXPECT_EQ(w.error, "Cannot write file " + dir + "\\area9.txt: it would grow past 2147483647 bytes");
    EXPECT_EQ(test::fileSize(d.file("area9.txt")), 2147483645);
    w = write(WRITEMESSAGE, dir, 9, "ab");  // exactly up to the largest address
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.start, 2147483645);
    EXPECT_EQ(w.length, 2);
    w = writeUucp(dir + "\\big", "abc");
    EXPECT_EQ(w.error, "Cannot write file " + dir + "\\big: it would grow past 2147483647 bytes");
    EXPECT_EQ(test::fileSize(d.file("big")), 2147483645);
}
