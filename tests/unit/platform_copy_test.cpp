// Whole-file copies through the platform seam.
#include <gtest/gtest.h>

#include <string>

#include "platform/fault.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace brem;

TEST(PlatformCopy, CopiesEveryByteAndReportsEachFailure) {
    test::ScratchDir d;
    std::string big;
    for (int i = 0; i < 3000000; ++i) big.push_back(static_cast<char>(i * 7 + i / 256));
    test::writeFile(d.file("From.bin"), big);
    test::writeFile(d.file("to.bin"), "longer old contents that must go entirely, every byte of them");
    // Host paths: backslashes, names found case-blind.
    std::string host = test::toHost(d.path());
    EXPECT_EQ(plat::copyFile(host + "\\from.BIN", host + "\\to.bin"), plat::CopyResult::Copied);
    EXPECT_TRUE(test::readFile(d.file("to.bin")) == big);

    EXPECT_EQ(plat::copyFile(host + "\\missing", host + "\\x"), plat::CopyResult::SourceMissing);
    EXPECT_FALSE(test::exists(d.file("x")));
    EXPECT_EQ(plat::copyFile(host + "\\from.bin", host + "\\no\\such\\dir"), plat::CopyResult::TargetFailed);
    plat::fault::armDiskFull(1000);
    EXPECT_EQ(plat::copyFile(host + "\\from.bin", host + "\\y"), plat::CopyResult::WriteFailed);
    plat::fault::disarm();
}
