#include <gtest/gtest.h>

#include "inbound/spool_name.h"

using brem::inbound::MakeSpoolName;

TEST(MakeSpoolName, MapsTheTransfersNames) {
    struct Row {
        const char* name;
        int result;
        const char* local;
    } rows[] = {
        {"D.newshostA1234", 1, "0A1234.D"},
        {"X.newshostC00f7", 1, "2C00f7.X"},
        {"D.newshoD0042", 1, "0D0042.D"},       // a partial site match counts
        {"D.otherhostabcde", 1, "Vstabcde.D"},  // neither site matches
        {"D.newshost", 1, "0.D"},
        {"D.myboxQ0001", 1, "0Q0001.D"},  // the second site name
        {"X.abc", 1, "7abc.X"},           // a short tail keeps all of it
        {"D.hub12345", 1, "0ub12345.D"},  // the last seven characters
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string out;
        EXPECT_EQ(MakeSpoolName(out, r.name, "newshost", "mybox"), r.result);
        EXPECT_EQ(out, r.local);
    }
}

TEST(MakeSpoolName, KeepsTheLastSevenCharactersAndTheLongerSiteMatch) {
    std::string out;
    ASSERT_EQ(MakeSpoolName(out, "D.hubsiteLONGNAME99", "hub", "hubsite"), 1);
    EXPECT_EQ(out, "0GNAME99.D");  // "hubsite" (7) beats "hub" (3); 7 characters kept
}

TEST(MakeSpoolName, RefusesOtherNamesAndLeavesTheBufferAlone) {
    for (const char* bad : {"d.newshostA1234", "C.newshostA1", "D-newshost", "D", "", "x.abc"}) {
        SCOPED_TRACE(bad);
        std::string out = "unchanged";
        EXPECT_EQ(MakeSpoolName(out, bad, "newshost", "mybox"), 0);
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(MakeSpoolName, CaseDigitRunsFromZeroToV) {
    std::string out;
    MakeSpoolName(out, "D.xxabcde", "", "");
    EXPECT_EQ(out[0], 'V');  // five lower-case letters: 31
    MakeSpoolName(out, "D.x12345", "", "");
    EXPECT_EQ(out[0], '0');
    MakeSpoolName(out, "D.xA1b2c", "", "");  // A 1 b 2 c -> 00101 = 5
    EXPECT_EQ(out[0], '5');
    MakeSpoolName(out, "D.xaBCDE", "", "");  // a B C D E -> 10000 = 16 -> 'G'
    EXPECT_EQ(out[0], 'G');
}

// A name from a remote site must not map to a path outside the spool.
TEST(MakeSpoolName, RefusesNamesThatWouldLeaveTheSpool) {
    for (std::string bad : {std::string("D.\\..\\..\\"), std::string("D./../../"), std::string("D.hubC:\\x"),
                            std::string("D.hubab\\cd"), std::string("D.hub\0abc", 9)}) {
        std::string out = "unchanged";
        EXPECT_EQ(MakeSpoolName(out, bad, "hub", "mybox"), 0);
        EXPECT_EQ(out, "unchanged");
    }
    // Only the kept seven characters matter.
    std::string out;
    EXPECT_EQ(MakeSpoolName(out, "D.x/y\\z:A1234567", "", ""), 1);
    EXPECT_EQ(out, "01234567.D");
}
