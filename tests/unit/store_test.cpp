// The store's append rule and the four readers, through the exported names.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <string>
#include <vector>

#include "brem32.h"
#include "store/store.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

namespace {

// Appends bytes to an area file through the shared append rule.
std::pair<int32_t, int32_t> append(const std::string& path, const std::string& bytes) {
    store::UndoLog undo;
    store::Append a;
    EXPECT_EQ(a.begin(path, static_cast<int64_t>(bytes.size()), undo), store::Append::Status::Ok);
    a.out().write(bytes);
    int32_t end = 0;
    EXPECT_EQ(a.finish(&end), store::Append::Status::Ok);
    EXPECT_TRUE(a.close());
    undo.commit();
    return {a.start(), end - a.start()};
}

struct ReadResult {
    int32_t result;
    std::string text;
    std::string error;
};

using ReaderFn = int32_t(BREM_API*)(const char*, int32_t, int32_t, int32_t, char*, char*);

ReadResult readWith(ReaderFn fn, const std::string& dir, int32_t area, int32_t start, int32_t length) {
    // Exactly the room the host is told to give, so that a reader writing
    // past it shows under the sanitizers.
    std::vector<char> text(fn == READNEWS ? 32002 : 32302, '\x7f');
    text.back() = '\0';
    std::vector<char> err(512, '\0');
    ReadResult r;
    r.result = fn(dir.c_str(), area, start, length, text.data(), err.data());
    r.text = std::string(text.data(), std::strlen(text.data()));
    r.error = err.data();
    return r;
}

}  // namespace

TEST(AppendRule, FirstAppendToAnEmptyAreaLeadsWithOneLf) {
    ScratchDir d;
    std::string path = d.file("area7.txt");
    auto [start, length] = append(path, "A\nB\n");
    EXPECT_EQ(start, 1);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(test::readFile(path), "\nA\nB\n");

    ReadResult r = readWith(READMESSAGE, d.hostPath(), 7, 1, 4);
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.text, "A\r\nB\r\n");

    auto [start2, length2] = append(path, "C\n");
    EXPECT_EQ(start2, 5);
    EXPECT_EQ(length2, 2);

    // An empty text into an empty file: one LF, start 1, length 0.
    auto [s3, l3] = append(d.file("area8.txt"), "");
    EXPECT_EQ(s3, 1);
    EXPECT_EQ(l3, 0);
    EXPECT_EQ(test::readFile(d.file("area8.txt")), "\n");
}

TEST(AppendRule, ExistingFileStartsAtItsSizeAndRollbackLeavesNoFragment) {
    ScratchDir d;
    std::string path = d.file("mailarea.txt");
    test::writeFile(path, std::string(100, 'x'));
    {
        store::UndoLog undo;
        store::Append a;
        ASSERT_EQ(a.begin(path, 3, undo), store::Append::Status::Ok);
        EXPECT_EQ(a.start(), 100);
        a.out().write("abc");
    }
    EXPECT_EQ(test::fileSize(path), 100);
}

TEST(AppendRule, RefusesToGrowPastTheLargestAddress) {
    ScratchDir d;
    store::UndoLog undo;
    store::Append a;
    EXPECT_EQ(a.begin(d.file("a.txt"), int64_t{1} << 31, undo), store::Append::Status::TooLarge);
}

TEST(Readers, AreaNumbersNameTheirFiles) {
    ScratchDir d;
    test::writeFile(d.file("mailarea.txt"), "mail\n");
    test::writeFile(d.file("rmail.z"), "out!\n");
    test::writeFile(d.file("temparea.dat"), "temp\n");
    test::writeFile(d.file("area12.txt"), "a12!\n");
    test::writeFile(d.file("area-3.txt"), "neg!\n");
    EXPECT_EQ(readWith(READMESSAGE, d.hostPath(), 0, 0, 4).text, "mail");
    EXPECT_EQ(readWith(READMAPIMSG, d.hostPath(), 0, 0, 4).text, "out!");
    EXPECT_EQ(readWith(READNEWS, d.hostPath(), -50, 0, 4).text, "temp");
    EXPECT_EQ(readWith(READMAPIMSG, d.hostPath(), 12, 0, 4).text, "a12!");
    EXPECT_EQ(readWith(READMESSAGE, d.hostPath(), -3, 0, 4).text, "neg!");
}

TEST(Readers, FailuresGiveTheirTexts) {
    ScratchDir d;
    test::writeFile(d.file("mailarea.txt"), "abc");
    ReadResult r = readWith(READMESSAGE, d.hostPath(), 9, 1, 1);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "Cannot open area file \r\n");
    r = readWith(EXTRACTMESSAGE, d.hostPath(), 7, 1, 1);
    EXPECT_EQ(r.error, "Cannot open area file (mailarea.txt)\r\n");
    r = readWith(READNEWS, d.hostPath(), 0, -1, 1);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "Attempt to Seek beyond EOF\r\n");
    r = readWith(READMESSAGE, d.hostPath(), 0, 10, 1);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "Unexpected End Of File");
    r = readWith(READMESSAGE, d.hostPath(), 0, 1, 5);  // runs out after "bc": still terminated
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.text, "bc");
    r = readWith(READMESSAGE, d.hostPath(), 0, 1, 0);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(readWith(READMESSAGE, d.hostPath(), 0, 1, -5).result, 1);
}

TEST(Readers, ChunkLimitsDifferBetweenMessageAndNews) {
    ScratchDir d;
    test::writeFile(d.file("area1.txt"), std::string(40000, 'q'));
    ReadResult m = readWith(READMESSAGE, d.hostPath(), 1, 0, 40000);
    EXPECT_EQ(m.result, 32300);
    EXPECT_EQ(m.text.size(), 32300u);
    ReadResult n = readWith(READNEWS, d.hostPath(), 1, 0, 40000);
    EXPECT_EQ(n.result, 32000);
    EXPECT_EQ(n.text.size(), 32000u);

    // Words: READMESSAGE runs on to the first blank at or past 32000.
    std::string words;
    while (words.size() < 40000) words += "abcdefg ";
    test::writeFile(d.file("area2.txt"), words);
    m = readWith(READMESSAGE, d.hostPath(), 2, 0, 40000);
    EXPECT_EQ(m.result, 32000);
    EXPECT_EQ(m.text.back(), ' ');

    // A line of 31999 bytes and its LF: the LF brings the count to 32001.
    test::writeFile(d.file("area3.txt"), std::string(31999, 'z') + "\n" + std::string(100, 'y'));
    m = readWith(READMESSAGE, d.hostPath(), 3, 0, 32100);
    EXPECT_EQ(m.result, 32000);
    EXPECT_EQ(m.text.size(), 32001u);
    n = readWith(READNEWS, d.hostPath(), 3, 0, 32100);
    EXPECT_EQ(n.result, 32000);
}

TEST(Readers, ChunksReassembleToTheStoredBytes) {
    ScratchDir d;
    std::string msg;
    for (int i = 0; msg.size() < 100000; ++i) {
        msg += "line " + std::to_string(i) + " with \xff and \r stored\n";
    }
    test::writeFile(d.file("mailarea.txt"), "\n" + msg);
    std::string expect;
    for (char c : msg) {
        if (c == '\n') expect.push_back('\r');
        expect.push_back(c);
    }
    for (ReaderFn fn : {READMESSAGE, READNEWS}) {
        std::string got;
        int32_t start = 1, length = static_cast<int32_t>(msg.size());
        for (int guard = 0; guard < 100; ++guard) {
            ReadResult r = readWith(fn, d.hostPath(), 0, start, length);
            ASSERT_GT(r.result, 0);
            got += r.text;
            if (r.result == length + 1) break;
            start += r.result;
            length -= r.result;
        }
        EXPECT_TRUE(test::sameBytes(got, expect));
    }
}

TEST(Readers, ExtractMessageSkipsTheHeader) {
    ScratchDir d;
    test::writeFile(d.file("mailarea.txt"), "\nSubject: x\n\nHello\n");
    ReadResult r = readWith(EXTRACTMESSAGE, d.hostPath(), 0, 1, 18);
    EXPECT_EQ(r.result, 7);
    EXPECT_EQ(r.text, "Hello\r\n");
    r = readWith(EXTRACTMESSAGE, d.hostPath(), 0, 1, 12);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.text, "");

    // A header line of exactly 199 bytes is read as a full piece and a piece
    // holding its LF alone, which ends the header there.
    std::string longLine = std::string(199, 'h') + "\n";
    test::writeFile(d.file("area4.txt"), longLine + "X: y\n\nbody\n");
    r = readWith(EXTRACTMESSAGE, d.hostPath(), 4, 0, static_cast<int32_t>(longLine.size()) + 5);
    EXPECT_EQ(r.result, 6);
    EXPECT_EQ(r.text, "X: y\r\n");

    // No empty line before the end: the skip stops at the end of the file.
    test::writeFile(d.file("area5.txt"), "A: b\nC: d\n");
    r = readWith(EXTRACTMESSAGE, d.hostPath(), 5, 0, 30);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "Unexpected End Of File");
}

namespace {
// The chunk rule byte by byte, as the store has always applied it.
int32_t referenceChunk(const std::string& file, int32_t start, int32_t length, int32_t soft, int32_t hard,
                       std::string* text) {
    text->clear();
    int32_t count = 0;
    for (int32_t i = 0; i < length; ++i) {
        size_t at = static_cast<size_t>(start) + static_cast<size_t>(i);
        if (at >= file.size()) return -1;
        char c = file[at];
        if (c == '\n') {
            text->push_back('\r');
            ++count;
        }
        text->push_back(c);
        ++count;
        if (count >= soft && (c == ' ' || c == '\n')) return i + 1;
        if (count >= hard) return i + 1;
    }
    return length + 1;
}
}  // namespace

TEST(Readers, ChunksMatchTheByteRuleOnVariedText) {
    ScratchDir d;
    std::mt19937 rng(42);
    // Texts from all line ends to none, blanks dense to absent.
    for (int density : {1, 2, 7, 40, 500, 100000}) {
        std::string file;
        while (file.size() < 90000) {
            unsigned r = rng() % static_cast<unsigned>(density + 2);
            file.push_back(r == 0 ? '\n' : r == 1 ? ' ' : static_cast<char>('a' + rng() % 26));
        }
        test::writeFile(d.file("area9.txt"), file);
        for (int trial = 0; trial < 20; ++trial) {
            int32_t start = static_cast<int32_t>(rng() % 1000);
            int32_t length = static_cast<int32_t>(rng() % 80000);
            for (auto [fn, soft, hard] : {std::tuple<ReaderFn, int32_t, int32_t>{READMESSAGE, 32000, 32300},
                                          {READNEWS, 32000, 32000}}) {
                SCOPED_TRACE(std::to_string(density) + " " + std::to_string(start) + "+" + std::to_string(length));
                std::string want;
                int32_t expect = referenceChunk(file, start, length, soft, hard, &want);
                ReadResult got = readWith(fn, d.hostPath(), 9, start, length);
                ASSERT_EQ(got.result, expect);
                ASSERT_TRUE(test::sameBytes(got.text, want));
            }
        }
    }
}
