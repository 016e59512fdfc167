// Without a remote access library every dial-up export answers -1000, and a
// library that turns up later is loaded by the next call. The loader's
// search path (LD_LIBRARY_PATH) names a directory that starts out empty.
// A library without one of the functions answers -1000 for that one only.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "brem32.h"

namespace fs = std::filesystem;

extern "C" __attribute__((visibility("default"))) int PostMessageA(void*, uint32_t, uintptr_t, intptr_t) {
    return 1;
}

TEST(DialWithoutRemoteAccess, AnswersMinus1000ForWhatIsMissingAndLoadsALateLibrary) {
    fs::path dir = RAS_LATE_DIR;
    fs::create_directories(dir);
    fs::remove(dir / "rasapi32.dll");

    uint32_t window = 1;
    int32_t error = 5, state = 5;
    EXPECT_EQ(BREMDIAL(&window, 0, "Office", "", "", 0), -1000);
    EXPECT_EQ(BremGetConnectStatus(&error, &state), -1000);
    EXPECT_EQ(error, 5);  // nothing stored
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(BREMHANGUP(), -1000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));

    // The library that turns up lacks RasHangUpA: the other two work, the
    // hang-up still answers -1000 at once.
    fs::copy_file(RAS_STANDIN_PATH, dir / "rasapi32.dll");
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 6);  // loaded: the empty handle is rejected
    fs::remove(dir / "rasapi32.dll");
    before = std::chrono::steady_clock::now();
    EXPECT_EQ(BREMHANGUP(), -1000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    // Loaded for good: the file is no longer needed.
    EXPECT_EQ(BREMDIAL(&window, 0, "busy", "", "", 0), 676);
}
