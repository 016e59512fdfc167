// Filing a staged news batch: where each article goes, what its record
// holds, and what is left after a failure.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "inbound/header_line.h"
#include "inbound/news_filing.h"
#include "log/log.h"
#include "platform/fault.h"
#include "store/undo.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

namespace {

struct Filing {
    ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    void areaDat(const std::string& text) { test::writeFile(store + "/area.dat", text); }
    void batch(const std::string& text) { test::writeFile(spool + "/$7b60051.int", text); }
    int32_t file(int32_t verbosity = 0) {
        ActivityLog log;
        log.open(test::toHost(store) + "\\news.log", verbosity);
        store::UndoLog undo(&log);
        const int32_t r = inbound::FileNewsBatch(log, undo, test::toHost(spool) + "\\", test::toHost(store) + "\\");
        if (r == 0) undo.commit();
        return r;
    }
    std::string area(int n) const { return test::readFile(store + "/area" + std::to_string(n) + ".txt"); }
    std::string hdr() const { return test::readFile(spool + "/Header.Msg"); }
    std::string log() const { return test::readFile(store + "/news.log"); }
};

// The example article: 93 bytes.
const std::string kArticle =
    "From: ann\nNewsgroups: rec.arts\nSubject: hi\nDate: 1 Jan 1997\nMessage-ID: (a1)\nLines: 1\n\nhello\n";

std::string rnews(const std::string& article) { return "#! rnews " + std::to_string(article.size()) + "\n" + article; }

std::string article(const std::string& headers, const std::string& body = "body\n") { return headers + "\n" + body; }

}  // namespace

TEST(NewsFiling, FilesTheExampleBatchAfterTheLeadingLineFeed) {
    Filing f;
    ASSERT_EQ(kArticle.size(), 93u);
    f.areaDat("rec.arts\n3\n");
    std::string second = article("From: bob\nNewsgroups: rec.arts\n", std::string(50 - 32, 'x'));
    ASSERT_EQ(second.size(), 50u);
    f.batch(rnews(kArticle) + rnews(second));

    EXPECT_EQ(f.file(), 0);
    EXPECT_EQ(f.area(3), "\n" + kArticle + second);
    EXPECT_EQ(f.hdr(),
              "3\r\nFrom: ann\r\nDate: 1 Jan 1997\r\nMessage-ID: (a1)\r\nSubject: hi\r\nMessage-ID: (a1)\r\n"
              "Lines: 1\r\n1\r\n94\r\n"
              "3\r\nFrom: bob\r\nDate: \r\nMessage-ID: \r\nSubject: \r\nMessage-ID: \r\nLines: \r\n94\r\n144\r\n");
    EXPECT_NE(f.log().find("\tFound end of file\r\n"), std::string::npos);
}

TEST(NewsFiling, AreaDatFirstEntryOccurringInTheLineDecides) {
    Filing f;
    // A CR LF name keeps its CR and never matches; upper case does not match
    // lower; a 0 entry does not end the search; rec.arts takes its subgroups.
    f.areaDat("comp.misc\r\n9\nREC.ARTS\n8\nrec.arts.movies\n0\nrec.arts\n3\nrec.arts.movies\n4\nalt.x\n5\n");
    f.batch(rnews(article("Newsgroups: rec.arts.movies\nSubject: a\n")) +
            rnews(article("Newsgroups: comp.misc\nSubject: b\n")) +
            rnews(article("Newsgroups: alt.y,comp.misc,alt.x\nSubject: c\n")));
    EXPECT_EQ(f.file(8), 0);
    EXPECT_NE(f.area(3).find("Subject: a"), std::string::npos);
    EXPECT_FALSE(test::exists(f.store + "/area4.txt"));
    EXPECT_FALSE(test::exists(f.store + "/area9.txt"));
    EXPECT_NE(f.area(5).find("Subject: c"), std::string::npos);
    std::string log = f.log();
    EXPECT_NE(log.find("Message could not be found an area :\r\n Newsgroups: comp.misc\r\n\r\n"), std::string::npos);
    EXPECT_NE(log.find("areaname = rec.arts\r\n \r\n"), std::string::npos);
    EXPECT_NE(log.find("rec Grp Name: Newsgroups: comp.misc\r\n - Actual REC.ARTS\r\n"), std::string::npos);

    // An empty name line matches every article.
    Filing g;
    g.areaDat("\n7\n");
    g.batch(rnews(article("Newsgroups: anything\n")));
    EXPECT_EQ(g.file(), 0);
    EXPECT_EQ(g.area(7), "\n" + article("Newsgroups: anything\n"));
}

TEST(NewsFiling, NoArticleTakesHeadersOrAreaFromTheOneBefore) {
    Filing f;
    f.areaDat("rec.arts\n3\n");
    std::string longSubject = "Subject: " + std::string(400, 's') + "\n";
    std::string longRefs = "References: " + std::string(700, 'r') + "\n";  // read in two pieces
    f.batch(rnews(kArticle) + rnews(article("From: zed\nSubject: no groups\n")) +
            rnews(article("Newsgroups: rec.arts\n" + longSubject + longRefs)));
    EXPECT_EQ(f.file(), 0);
    std::string expectedSubject = "Subject: " + std::string(198 - 9, 's') + "\r\n";
    std::string expectedRefs = "References: " + std::string(498 - 12, 'r') + "\r\n";
    EXPECT_EQ(f.hdr().substr(f.hdr().find("\r\n94\r\n") + 6),
              "3\r\nFrom: \r\nDate: \r\nMessage-ID: \r\n" + expectedSubject + expectedRefs + "Lines: \r\n94\r\n" +
                  std::to_string(94 + article("Newsgroups: rec.arts\n" + longSubject + longRefs).size()) + "\r\n");
    EXPECT_EQ(f.area(3).find("no groups"), std::string::npos);
    EXPECT_NE(f.log().find("Message could not be found an area :\r\n Newsgroups: \r\n\r\n"), std::string::npos);
}

TEST(NewsFiling, KeepsOnlyWholeHeaderNamesInAnyCase) {
    Filing f;
    f.areaDat("rec.arts\n3\n");
    // Names that share a kept header's first letter or most of its name are
    // not that header; a kept name matches in any case, the last of a repeated
    // header wins, and a value ends at a NUL.
    std::string headers = std::string("FROM: Ann\nfollowup-to: poster\nnewsgroups: rec.arts\nSender: s\n") +
                          "Summary: not the subject\nDistribution: world\nMessage-Type: x\nmessage-id: <m1>\n" +
                          "Reference: one\nLines:5\nDate: d1\nDATE: d2\nRe: no\nN\n" +
                          std::string("Subject: a\0b\n", 13) + "\xc6rom: high byte\n";
    std::string a = article(headers);
    f.batch(rnews(a) + rnews(article("newsGROUPS: rec.arts\nreferences: <r0>\nlines: 2\n")));
    EXPECT_EQ(f.file(), 0);
    std::string end = std::to_string(1 + a.size());
    EXPECT_EQ(f.hdr(), "3\r\nFROM: Ann\r\nDATE: d2\r\nmessage-id: <m1>\r\nSubject: a\r\nmessage-id: <m1>\r\n"
                       "Lines: \r\n1\r\n" + end + "\r\n"
                       "3\r\nFrom: \r\nDate: \r\nMessage-ID: \r\nSubject: \r\nreferences: <r0>\r\nlines: 2\r\n" +
                           end + "\r\n" + std::to_string(1 + a.size() + 53) + "\r\n");
}

TEST(NewsFiling, HeaderNamesFoldOnlyAsciiLetters) {
    // As the C runtime's tolower in the "C" locale: '@' is not '`', nor 0xC1 0xE1.
    for (int a = 0; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            const char prefix[2] = {static_cast<char>(b), '\0'};
            bool same = std::tolower(a) == std::tolower(b);
            ASSERT_EQ(inbound::startsNoCase(std::string(1, static_cast<char>(a)), prefix), same) << a << " " << b;
        }
    }
}

TEST(NewsFiling, SkipsStrayLinesAndCopiesEveryByteValue) {
    Filing f;
    f.areaDat("rec.arts\n3\n");
    std::string binary = article("Newsgroups: rec.arts\n", std::string("\xff\x00\x1a\r\n", 5));
    // A negative count is an empty article; a count past the end of the
    // batch takes what there is; a header scan stops at the article's end.
    std::string noBlank = "Newsgroups: rec.arts\nSubject: cut";
    f.batch("stray line\n" + rnews(binary) + "another stray\n#! rnews -5\n" + "#! rnews 33\n" + noBlank +
            "\nSubject: next\n" + "#! rnews 500\n" + kArticle);
    EXPECT_EQ(f.file(), 0);
    std::string expected = "\n" + binary + noBlank + kArticle;
    EXPECT_EQ(f.area(3), expected);
    std::string hdr = f.hdr();
    EXPECT_NE(hdr.find("Subject: cut\r\n"), std::string::npos);
    EXPECT_EQ(hdr.find("Subject: next"), std::string::npos);
    EXPECT_NE(hdr.find(std::to_string(expected.size()) + "\r\n"), std::string::npos);
}

TEST(NewsFiling, EmptyBatchMissingAreaDatAndMissingStage) {
    Filing f;
    f.batch("");
    EXPECT_EQ(f.file(), 0);
    EXPECT_FALSE(test::exists(f.spool + "/Header.Msg"));

    // Without area.dat the batch stops at the first Newsgroups line.
    Filing g;
    g.batch(rnews(kArticle));
    EXPECT_EQ(g.file(), 1);
    EXPECT_NE(g.log().find("\tCannot open area file.\r\n"), std::string::npos);
    EXPECT_FALSE(test::exists(g.spool + "/Header.Msg"));

    Filing h;
    EXPECT_EQ(h.file(), -1);
    EXPECT_NE(h.log().find("\tCannot open .int file!\r\n"), std::string::npos);
}

TEST(NewsFiling, AWriteFailureLeavesNoFragmentAndNoPartialRecord) {
    using plat::fault::Op;
    const std::string record = "3\r\nFrom: ann\r\nDate: 1 Jan 1997\r\nMessage-ID: (a1)\r\nSubject: hi\r\n"
                               "Message-ID: (a1)\r\nLines: 1\r\n";
    // Every write, flush and close in turn: whatever fails, the articles
    // left in the area are exactly those the records point to.
    int failures = 0;
    for (Op op : {Op::Write, Op::Flush, Op::Close}) {
        for (int nth = 1;; ++nth) {
            Filing f;
            f.areaDat("rec.arts\n3\n");
            f.batch(rnews(kArticle) + rnews(kArticle) + rnews(kArticle));
            plat::fault::disarm();
            plat::fault::arm(op, nth);
            int32_t r = f.file();
            bool fired = plat::fault::fired() > 0;
            plat::fault::disarm();
            if (!fired) break;
            std::string hdr = f.hdr(), area = f.area(3), expectedHdr, expectedArea;
            size_t k = 0;
            while (hdr.size() > expectedHdr.size()) {
                expectedHdr += record + std::to_string(1 + 93 * k) + "\r\n" + std::to_string(94 + 93 * k) + "\r\n";
                expectedArea += (k == 0 ? "\n" : "") + kArticle;
                ++k;
            }
            EXPECT_EQ(hdr, expectedHdr) << nth;
            EXPECT_EQ(area, expectedArea) << nth;
            if (r != 0) {
                ++failures;
                EXPECT_EQ(r, -1);
                std::string log = f.log();
                EXPECT_TRUE(log.find("Cannot write") != std::string::npos ||
                            log.find("Cannot open area file!") != std::string::npos)
                    << log << static_cast<int>(op) << " " << nth;
            } else {
                EXPECT_EQ(k, 3u);  // the fault hit the log alone
            }
        }
    }
    EXPECT_GE(failures, 4);
}

TEST(NewsFiling, ParsesCountsAsTheBatchWritesThem) {
    EXPECT_EQ(inbound::ParseDecimal("  234\n"), 234);
    EXPECT_EQ(inbound::ParseDecimal("12abc"), 12);
    EXPECT_EQ(inbound::ParseDecimal("x"), 0);
    EXPECT_EQ(inbound::ParseDecimal("-7"), -7);
    EXPECT_EQ(inbound::ParseDecimal("99999999999"), 2147483647);
}

TEST(NewsFiling, LargeArticlesCrossEveryBufferWhole) {
    Filing f;
    f.areaDat("rec.arts\n3\nalt.big\n4\n");
    std::string body;
    for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>((i * 31) ^ (i >> 9)));
    std::string big = article("Newsgroups: alt.big\n", body);
    f.batch(rnews(kArticle) + rnews(big) + rnews(kArticle) + rnews(big));
    EXPECT_EQ(f.file(), 0);
    EXPECT_TRUE(f.area(4) == "\n" + big + big);
    EXPECT_EQ(f.area(3), "\n" + kArticle + kArticle);
    std::string end = std::to_string(1 + 2 * big.size());
    EXPECT_NE(f.hdr().find("\r\n" + std::to_string(1 + big.size()) + "\r\n" + end + "\r\n"), std::string::npos);
}

TEST(NewsFiling, ABatchForManyAreasFilesEachArticleWhereItsRecordSays) {
    Filing f;
    std::string map, batch;
    for (int a = 1; a <= 90; ++a) map += "grp.n" + std::to_string(1000 + a) + "\n" + std::to_string(a) + "\n";
    f.areaDat(map);
    std::vector<std::string> articles;
    for (int i = 0; i < 400; ++i) {
        int a = 1 + (i * 37) % 90;
        articles.push_back(article("Newsgroups: grp.n" + std::to_string(1000 + a) + "\nSubject: " +
                                   std::to_string(i) + "\n"));
        batch += rnews(articles.back());
    }
    f.batch(batch);
    EXPECT_EQ(f.file(), 0);
    // Every record's range holds its own article.
    std::string hdr = f.hdr();
    size_t pos = 0;
    for (int i = 0; i < 400; ++i) {
        std::vector<std::string> lines;
        for (int k = 0; k < 9; ++k) {
            size_t e = hdr.find("\r\n", pos);
            ASSERT_NE(e, std::string::npos);
            lines.push_back(hdr.substr(pos, e - pos));
            pos = e + 2;
        }
        int area = std::stoi(lines[0]), start = std::stoi(lines[7]), end = std::stoi(lines[8]);
        EXPECT_EQ(area, 1 + (i * 37) % 90);
        EXPECT_EQ(f.area(area).substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), articles[i]);
    }
    EXPECT_EQ(pos, hdr.size());
}
