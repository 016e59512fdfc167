// The dial-up exports against the stand-in remote access library, found
// through LD_LIBRARY_PATH. Each test runs in a process of its own, so each
// starts with nothing loaded and no connection.
#include <dlfcn.h>
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "brem32.h"
#include "dial/dial.h"
#include "ras_standin.h"

namespace {

struct Posted {
    uintptr_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool fromOtherThread;
};

std::mutex g_mutex;
std::condition_variable g_arrived;
std::vector<Posted> g_posted;
pthread_t g_mainThread = pthread_self();

// Waits until a notice with the given state has arrived (or 5 s have passed)
// and returns everything posted so far.
std::vector<Posted> waitForState(uint32_t state) {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_arrived.wait_for(lock, std::chrono::seconds(5), [&] {
        for (const Posted& p : g_posted)
            if (p.wParam == state) return true;
        return false;
    });
    return g_posted;
}

StandInLog& standIn() {
    void* lib = dlopen("rasapi32.dll", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(lib, nullptr) << "the stand-in is not loaded";
    auto get = reinterpret_cast<StandInLog* (*)()>(dlsym(lib, "StandInGetLog"));
    static StandInLog none{};
    return get ? *get() : none;
}

constexpr uint32_t kWindow = 0x1234;
constexpr uint32_t kConnected = 0x2000;

// Every test starts as in a process that has not dialled yet, so that the
// tests also pass when run one after another in one process.
class FreshStart : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        brem::dial::ResetForTests();
        std::lock_guard<std::mutex> lock(g_mutex);
        g_posted.clear();
        if (void* lib = dlopen("rasapi32.dll", RTLD_NOW | RTLD_NOLOAD)) {
            auto get = reinterpret_cast<StandInLog* (*)()>(dlsym(lib, "StandInGetLog"));
            if (get) *get() = StandInLog{};
            dlclose(lib);
        }
    }
};
const bool g_freshStart = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStart);
    return true;
}();

}  // namespace

// The host's window system, as the library looks it up in this process.
extern "C" __attribute__((visibility("default"))) int PostMessageA(void* window, uint32_t message, uintptr_t wParam,
                                                                   intptr_t lParam) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_posted.push_back({reinterpret_cast<uintptr_t>(window), message, wParam, lParam,
                        !pthread_equal(pthread_self(), g_mainThread)});
    g_arrived.notify_all();
    return 1;
}

TEST(Dial, HandsOverTheRecordAndPostsEveryEventToTheHostWindow) {
    uint32_t window = kWindow;
    ASSERT_EQ(BREMDIAL(&window, 0, "Office", "reader", "s3cret", 0), 0);

    StandInLog& log = standIn();
    EXPECT_EQ(log.recordSize, 1052u);
    EXPECT_STREQ(log.entry, "Office");
    EXPECT_STREQ(log.phone, "");
    EXPECT_STREQ(log.callback, "");
    EXPECT_STREQ(log.user, "reader");
    EXPECT_STREQ(log.password, "s3cret");
    EXPECT_STREQ(log.domain, "*");
    EXPECT_TRUE(log.extensionsNull);
    EXPECT_TRUE(log.phonebookNull);
    EXPECT_EQ(log.notifierType, 0u);
    EXPECT_TRUE(log.handleWasEmpty);

    std::vector<Posted> posted = waitForState(kConnected);
    std::vector<uintptr_t> states;
    for (const Posted& p : posted) {
        EXPECT_EQ(p.window, kWindow);
        EXPECT_EQ(p.message, 1025u);
        EXPECT_EQ(p.lParam, 0);
        EXPECT_TRUE(p.fromOtherThread);
        states.push_back(p.wParam);
    }
    EXPECT_EQ(states, (std::vector<uintptr_t>{0, 1, 2, 3, 4, 5, 14, kConnected}));

    int32_t error = -1, state = -1;
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 0);
    EXPECT_EQ(standIn().lastStatus, STANDIN_HANDLE);
    EXPECT_EQ(standIn().statusSize, 160u);
    EXPECT_EQ(state, static_cast<int32_t>(kConnected));
    EXPECT_EQ(error, 0);
}

TEST(Dial, FailuresComeBackUnchanged) {
    uint32_t window = kWindow;
    // Refused at once: the service's code is the result, nothing is posted.
    EXPECT_EQ(BREMDIAL(&window, 0, STANDIN_ENTRY_BUSY, "", "", 0), 676);

    // Failing later: reported through the notices only.
    ASSERT_EQ(BREMDIAL(&window, 0, STANDIN_ENTRY_NO_ANSWER, "", "", 0), 0);
    std::vector<Posted> posted = waitForState(2);
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        g_arrived.wait_for(lock, std::chrono::seconds(5), [] { return !g_posted.empty() && g_posted.back().lParam; });
        posted = g_posted;
    }
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted.back().wParam, 2u);
    EXPECT_EQ(posted.back().lParam, 678);
    int32_t error = 0, state = 0;
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 0);
    EXPECT_EQ(error, 678);
    EXPECT_EQ(state, 2);
}

TEST(Dial, StatusBeforeAnyDialPassesTheEmptyHandle) {
    int32_t error = 0, state = 0;
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 6);
    EXPECT_EQ(standIn().lastStatus, nullptr);
    EXPECT_EQ(BremGetConnectStatus(nullptr, &state), 87);
}

TEST(Dial, StringsThatDoNotFitDialNothing) {
    uint32_t window = kWindow;
    std::string longest(256, 'n'), tooLong(257, 'n');
    ASSERT_EQ(BREMDIAL(&window, 0, longest.c_str(), longest.c_str(), longest.c_str(), 0), 0);
    EXPECT_EQ(standIn().entry, longest);
    EXPECT_EQ(standIn().password, longest);
    waitForState(kConnected);

    EXPECT_EQ(BREMDIAL(&window, 0, tooLong.c_str(), "", "", 0), 87);
    EXPECT_EQ(BREMDIAL(&window, 0, "Office", tooLong.c_str(), "", 0), 87);
    EXPECT_EQ(BREMDIAL(&window, 0, "Office", "", tooLong.c_str(), 0), 87);
    EXPECT_EQ(BREMDIAL(nullptr, 0, "Office", "", "", 0), 87);
    EXPECT_EQ(BREMDIAL(&window, 0, "Office", nullptr, "", 0), 87);
    EXPECT_EQ(standIn().dials, 1);

    // The connection that was dialled is still the one status and hang-up see.
    int32_t error = 0, state = 0;
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 0);
    EXPECT_EQ(state, static_cast<int32_t>(kConnected));
}

TEST(Dial, HangUpWaitsForTheLineAndTheNextDialStartsAfresh) {
    uint32_t window = kWindow;
    ASSERT_EQ(BREMDIAL(&window, 0, "Office", "", "", 0), 0);
    waitForState(kConnected);

    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(BREMHANGUP(), 0);
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, std::chrono::milliseconds(3000));
    EXPECT_EQ(standIn().lastHangUp, STANDIN_HANDLE);

    // The handle outlives the hang-up, and a new dial hands the service an
    // empty one, as it requires.
    int32_t error = 0, state = 0;
    EXPECT_EQ(BremGetConnectStatus(&error, &state), 0);
    EXPECT_EQ(state, 0x2001);
    EXPECT_EQ(BREMDIAL(&window, 0, "Office", "", "", 0), 0);
    EXPECT_TRUE(standIn().handleWasEmpty);
    waitForState(kConnected);
}
