#include <gtest/gtest.h>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

TEST(WindowsNames, WildcardsMatchWithoutRegardToCase) {
    struct Row {
        const char* pattern;
        const char* name;
        bool match;
    } rows[] = {
        {"*.x", "0C1235.X", true},   {"*.x", "0c1235.x", true},     {"*.x", "0C1235.XQ", false},
        {"*.x", "X", false},         {"*.*", "noext", true},        {"a?c", "ABC", true},
        {"a?c", "ac", false},        {"*", "", true},               {"*.D", "V.D", true},
        {"*a*b", "xxaxxbxb", true},  {"rnews.*", "rnews", true},    {"*.x", ".x", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.pattern) + " ~ " + r.name);
        EXPECT_EQ(plat::wildcardMatch(r.pattern, r.name), r.match);
    }
}

TEST(WindowsNames, PlainNamesAreNoDeviceAndReachThemselves) {
    for (const char* refused : {"AUX.X", "Com1 .D", "Com1..D", "AUX.aBcD.D", "Con  .D", "nul", "COM0.x", "lpt9",
                                "CONIN$.x", "conout$", "COM\xB9.x", "job.X.", "job.X ", "..", "a\\b", "c:x"}) {
        EXPECT_FALSE(plat::isPlainName(refused)) << refused;
    }
    for (const char* plain : {"0A0001.D", "AUXX.D", "COM10.X", "COMA.X", "CONSOLE.x", "xCON.x", ".profile"}) {
        EXPECT_TRUE(plat::isPlainName(plain)) << plain;
    }
}

TEST(WindowsNames, SplitsOnEitherSeparator) {
    EXPECT_EQ(plat::directoryOf("C:\\spool\\\\0A.X"), "C:\\spool\\");
    EXPECT_EQ(plat::leafOf("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(plat::directoryOf("name"), "");
    bool rooted = false;
    EXPECT_EQ(plat::splitPath("\\a\\\\b/c", &rooted), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(rooted);
}

TEST(PosixFiles, BackslashPathsAndNamesAreFoundWithoutRegardToCase) {
    ScratchDir d;
    std::string sub = d.subdir("Spool");
    test::writeFile(sub + "/0C1235.X", "x");
    test::writeFile(sub + "/0a1234.d", "d");
    test::writeFile(sub + "/other.txt", "t");

    std::vector<std::string> found = plat::findFiles(d.hostPath() + "\\spool\\\\*.x");
    EXPECT_EQ(found, std::vector<std::string>{"0C1235.X"});

    plat::Stream s;
    ASSERT_TRUE(s.open(d.hostPath() + "\\SPOOL\\0A1234.D", "rb"));
    EXPECT_EQ(s.get(), 'd');
    s.close();

    // A new file keeps the letter case it was given, in the directory found.
    ASSERT_TRUE(s.open(d.hostPath() + "\\SPOOL\\New.Txt", "wb"));
    ASSERT_TRUE(s.close());
    EXPECT_TRUE(test::exists(sub + "/New.Txt"));
    EXPECT_TRUE(plat::deleteFile(d.hostPath() + "\\spool\\NEW.TXT"));
    EXPECT_FALSE(test::exists(sub + "/New.Txt"));
}

TEST(PosixFiles, AReadTakesTheExactNameBeforeAnyOtherCaseAndNeverADirectory) {
    ScratchDir d;
    std::string sub = d.subdir("Spool");
    test::writeFile(sub + "/AREA1.TXT", "upper");
    test::writeFile(sub + "/area1.txt", "lower");
    plat::Stream s;
    ASSERT_TRUE(s.open(d.hostPath() + "\\Spool\\area1.txt", "rb"));
    EXPECT_EQ(s.get(), 'l');
    ASSERT_TRUE(s.open(d.hostPath() + "\\Spool\\AREA1.TXT", "rb"));
    EXPECT_EQ(s.get(), 'u');
    EXPECT_FALSE(s.open(d.hostPath() + "\\Spool", "rb"));
    EXPECT_FALSE(s.open(d.hostPath() + "\\SPOOL\\Area2.txt", "rb"));
}

TEST(PosixFiles, MoveNeverReplacesAnExistingFile) {
    ScratchDir d;
    test::writeFile(d.file("a"), "A");
    test::writeFile(d.file("b"), "B");
    EXPECT_FALSE(plat::moveFile(d.file("a"), d.file("b")));
    EXPECT_EQ(test::readFile(d.file("b")), "B");
    EXPECT_TRUE(plat::moveFile(d.file("a"), d.file("c")));
    EXPECT_FALSE(test::exists(d.file("a")));
    EXPECT_EQ(test::readFile(d.file("c")), "A");
}

TEST(PosixFiles, ReplaceSwapsContentsInOneStepAndNeedsItsSource) {
    ScratchDir d;
    test::writeFile(d.file("counter"), "old!");
    test::writeFile(d.file("counter.new"), "new!");
    EXPECT_TRUE(plat::replaceFile(d.hostPath() + "\\COUNTER.NEW", d.hostPath() + "\\counter"));
    EXPECT_EQ(test::readFile(d.file("counter")), "new!");
    EXPECT_FALSE(test::exists(d.file("counter.new")));
    EXPECT_FALSE(plat::replaceFile(d.file("counter.new"), d.file("counter")));
    EXPECT_EQ(test::readFile(d.file("counter")), "new!");
}

TEST(Streams, TextAppendWritesCrLfAndTextReadTakesItBack) {
    ScratchDir d;
    plat::Stream s;
    ASSERT_TRUE(s.open(d.file("log"), "at"));
    s.print("one\ntwo %d\n", 2);
    ASSERT_TRUE(s.close());
    ASSERT_TRUE(s.open(d.file("log"), "at"));
    s.write("three\n");
    ASSERT_TRUE(s.close());
    EXPECT_EQ(test::readFile(d.file("log")), "one\r\ntwo 2\r\nthree\r\n");

    test::writeFile(d.file("t"), std::string("a\r\nb\rc\r\n\x1a" "after"));
    ASSERT_TRUE(s.open(d.file("t"), "r"));
    std::string got;
    for (int c; (c = s.get()) >= 0;) got.push_back(static_cast<char>(c));
    EXPECT_EQ(got, "a\nb\rc\n");  // CR LF -> LF, a lone CR kept, 0x1A ends the input
}

TEST(Streams, TextAppendKeepsEachCrLfWholeAcrossBufferEnds) {
    // A small buffer puts every line feed at every position in the buffer,
    // the last free byte included.
    ScratchDir d;
    std::string in, expected;
    for (int i = 0; i < 40; ++i) {
        std::string line(static_cast<size_t>(i % 9), static_cast<char>('a' + i % 26));
        in += line + "\n";
        expected += line + "\r\n";
    }
    plat::Stream s;
    ASSERT_TRUE(s.open(d.file("t"), "at", 7));
    for (size_t at = 0; at < in.size(); at += 5) ASSERT_TRUE(s.write(in.substr(at, 5)));
    ASSERT_TRUE(s.close());
    EXPECT_EQ(test::readFile(d.file("t")), expected);
}

TEST(Streams, BinaryModesKeepEveryByteAndSizeComesFromTheFileSystem) {
    ScratchDir d;
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    plat::Stream s;
    ASSERT_TRUE(s.open(d.file("b"), "wb"));
    s.write(all);
    EXPECT_EQ(s.size(), 256);
    ASSERT_TRUE(s.close());
    ASSERT_TRUE(s.open(d.file("b"), "ab"));
    s.put('\n');
    ASSERT_TRUE(s.close());
    ASSERT_TRUE(s.open(d.file("b"), "rb"));
    EXPECT_EQ(s.size(), 257);
    std::string back(300, '\0');
    back.resize(s.read(back.data(), back.size()));
    EXPECT_EQ(back, all + "\n");
    ASSERT_TRUE(s.seek(255));
    EXPECT_EQ(s.get(), 255);
    EXPECT_FALSE(s.seek(-1));
}

TEST(Streams, GetLineReadsPiecesAsFgetsDoes) {
    ScratchDir d;
    test::writeFile(d.file("l"), "abcdef\nxy\n\nz");
    plat::Stream s;
    ASSERT_TRUE(s.open(d.file("l"), "rb"));
    std::string line;
    std::vector<std::string> pieces;
    while (s.getLine(line, 4)) pieces.push_back(line);
    EXPECT_EQ(pieces, (std::vector<std::string>{"abcd", "ef\n", "xy\n", "\n", "z"}));
}

TEST(Faults, TheNthOperationOfAKindFailsOnce) {
    ScratchDir d;
    plat::fault::arm(plat::fault::Op::Create, 2);
    plat::Stream s;
    EXPECT_TRUE(s.open(d.file("1"), "wb"));
    s.close();
    EXPECT_FALSE(s.open(d.file("2"), "wb"));
    EXPECT_TRUE(s.open(d.file("3"), "wb"));
    s.close();
    EXPECT_EQ(plat::fault::fired(), 1);
    plat::fault::disarm();

    plat::fault::armDiskFull(5);
    ASSERT_TRUE(s.open(d.file("4"), "wb"));
    s.write("0123456789");
    EXPECT_FALSE(s.close());
    EXPECT_EQ(test::readFile(d.file("4")), "01234");
    plat::fault::disarm();
}
