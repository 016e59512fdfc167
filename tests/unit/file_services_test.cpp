// Directories made and made current, files renamed, and the file identity
// check that keeps an output from emptying its own input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "brem32.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;
using brem::test::toHost;

TEST(Directories, GendirCreatesOneLevelAndChkdirChangesTheProcesssDirectory) {
    ScratchDir d;
    const std::string sub = d.hostPath() + "\\Sub";
    EXPECT_EQ(GENDIR(sub.c_str()), 0);
    EXPECT_EQ(GENDIR(sub.c_str()), -1);  // exists
    EXPECT_EQ(GENDIR((d.hostPath() + "\\no\\deeper").c_str()), -1);
    EXPECT_EQ(GENDIR(""), -1);

    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    EXPECT_EQ(CHKDIR((d.hostPath() + "\\missing").c_str()), -1);
    char now[4096];
    ASSERT_NE(getcwd(now, sizeof now), nullptr);
    EXPECT_EQ(std::string(now), before);
    EXPECT_EQ(CHKDIR((d.hostPath() + "\\SUB").c_str()), 0);  // found whatever the letter case
    ASSERT_NE(getcwd(now, sizeof now), nullptr);
    EXPECT_EQ(std::string(now), d.file("Sub"));
    ASSERT_EQ(chdir(before), 0);
}

TEST(FileRename, MovesButNeverReplaces) {
    ScratchDir d;
    d.subdir("other");
    test::writeFile(d.file("a"), "A");
    test::writeFile(d.file("b"), "B");
    const std::string a = toHost(d.file("a")), b = toHost(d.file("b"));
    EXPECT_EQ(FILERENAME(a.c_str(), b.c_str()), -1);
    EXPECT_EQ(test::readFile(d.file("a")), "A");
    EXPECT_EQ(test::readFile(d.file("b")), "B");
    const std::string moved = toHost(d.file("other/c"));
    EXPECT_EQ(FILERENAME(a.c_str(), moved.c_str()), 0);
    EXPECT_FALSE(test::exists(d.file("a")));
    EXPECT_EQ(test::readFile(d.file("other/c")), "A");
    EXPECT_EQ(FILERENAME(a.c_str(), b.c_str()), -1);  // gone already
}

TEST(SameFile, ComparesIdentityNotSpelling) {
    ScratchDir d;
    d.subdir("dir");
    test::writeFile(d.file("dir/f"), "x");
    test::writeFile(d.file("dir/g"), "x");
    const std::string f = d.hostPath() + "\\dir\\f";
    EXPECT_TRUE(plat::sameFile(f, d.hostPath() + "\\DIR\\.\\F"));
    EXPECT_TRUE(plat::sameFile(f, d.hostPath() + "\\dir\\..\\dir\\f"));
    ASSERT_EQ(link(d.file("dir/f").c_str(), d.file("hard").c_str()), 0);
    EXPECT_TRUE(plat::sameFile(f, d.hostPath() + "\\hard"));
    EXPECT_FALSE(plat::sameFile(f, d.hostPath() + "\\dir\\g"));
    EXPECT_FALSE(plat::sameFile(f, d.hostPath() + "\\dir\\missing"));
}
