#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "progress.h"

using brem::cli::Progress;
using brem::cli::progressText;

namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    int c;
    while ((c = std::fgetc(f)) != EOF) s.push_back(static_cast<char>(c));
    return s;
}

}  // namespace

TEST(ProgressText, CountsPercentAndDetailWithinTheWidth) {
    EXPECT_EQ(progressText("importing mail", 3, -1, "", 80), "importing mail: 3");
    EXPECT_EQ(progressText("filing", 25, 200, "rec.arts", 80), "filing: 25/200 (12%)  rec.arts");
    EXPECT_EQ(progressText("filing", 0, 0, "", 80), "filing: 0/0");
    // The last column stays free, and control bytes of a header never reach
    // the terminal.
    std::string line = progressText("x", 1, -1, std::string(200, 'a'), 40);
    EXPECT_EQ(line.size(), 39u);
    EXPECT_EQ(progressText("x", 1, -1, "a\tb\033[2J", 80), "x: 1  a b [2J");
}

TEST(Progress, WritesNothingWhenTheStreamIsNoTerminal) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        Progress p("importing mail", f);
        EXPECT_FALSE(p.active());
        p.step(1);
        p.step(2, 2, "done");
        p.clear();
    }
    EXPECT_EQ(contents(f), "");
    std::fclose(f);
}

TEST(Progress, RedrawsInPlaceAndErasesWhatItDrew) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        Progress p("jobs", f, true);
        p.step(1, 10, "a long first detail");
        p.step(10, 10);  // the last step is always drawn
        // "jobs: 10/10 (100%)" is shorter than the first line: blanks cover the rest.
        std::string first = "jobs: 1/10 (10%)  a long first detail";
        std::string second = "jobs: 10/10 (100%)";
        EXPECT_EQ(contents(f), "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' ') +
                                   "\r" + second);
    }
    // Going out of scope erased the line.
    std::string all = contents(f);
    EXPECT_EQ(all.substr(all.size() - 20), "\r" + std::string(18, ' ') + "\r");
    std::fclose(f);
}
