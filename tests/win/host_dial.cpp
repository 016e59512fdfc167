// The dial-up exports under Wine. Which remote access library the process
// gets is chosen from outside, by a DLL override, and named in BREM_RAS:
// "standin" (the stand-in rasapi32.dll beside this program) or "disabled"
// (none at all). Without BREM_RAS these cases have nothing to check.
#include <cstdlib>
#include <cstring>

#include "../dial/ras_standin.h"
#include "brem32.h"
#include "host.h"

using namespace wintest;

namespace {

using DialFn = int32_t(__stdcall*)(const brem_window_t*, int32_t, const char*, const char*, const char*, int32_t);
using HangUpFn = int32_t(__stdcall*)();
using StatusFn = int32_t(__stdcall*)(int32_t*, int32_t*);

constexpr UINT kProgress = 1025;
constexpr uint32_t kConnected = 0x2000;

bool mode(const char* wanted) {
    char value[32] = "";
    GetEnvironmentVariableA("BREM_RAS", value, sizeof value);
    if (std::strcmp(value, wanted) == 0) return true;
    std::printf("  (skipped: BREM_RAS is not \"%s\")\n", wanted);
    return false;
}

struct Notice {
    WPARAM state;
    LPARAM error;
    DWORD thread;  // the thread whose window procedure saw it
};
std::vector<Notice> g_notices;

LRESULT CALLBACK windowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProgress) {
        g_notices.push_back({wParam, lParam, GetCurrentThreadId()});
        return 0;
    }
    return DefWindowProcA(w, message, wParam, lParam);
}

// A message-only window of this thread, as a host's main window would be.
HWND noticeWindow() {
    static HWND window = nullptr;
    if (!window) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "wintestDial";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
    }
    return window;
}

// Handles this thread's messages until a notice matches (or 5 s pass).
template <typename Pred>
bool pumpUntil(Pred done) {
    DWORD until = GetTickCount() + 5000;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (done()) return true;
        DWORD now = GetTickCount();
        if (static_cast<int32_t>(until - now) <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
    }
}

StandInLog* standIn() {
    HMODULE ras = GetModuleHandleA("rasapi32.dll");
    auto get = ras ? reinterpret_cast<StandInLog*(__stdcall*)()>(
                         reinterpret_cast<void*>(GetProcAddress(ras, "StandInGetLog")))
                   : nullptr;
    WT_CHECK(get != nullptr);
    static StandInLog none{};
    return get ? get() : &none;
}

brem_window_t windowValue() { return static_cast<brem_window_t>(reinterpret_cast<uintptr_t>(noticeWindow())); }

// Runs first: nothing has been dialled in this process yet.
void statusBeforeAnyDial() {
    if (!mode("standin")) return;
    auto status = fn<StatusFn>("BremGetConnectStatus");
    if (!status) return;
    int32_t error = 0, state = 0;
    WT_EQ(status(&error, &state), 6);
    WT_CHECK(standIn()->lastStatus == nullptr);
    WT_EQ(standIn()->statusSize, 160u);
}

void progressReachesTheWindow() {
    if (!mode("standin")) return;
    auto dial = fn<DialFn>("BREMDIAL");
    auto status = fn<StatusFn>("BremGetConnectStatus");
    if (!dial || !status) return;
    g_notices.clear();
    brem_window_t window = windowValue();
    WT_EQ(dial(&window, 0, "Office", "reader", "s3cret", 0), 0);
    StandInLog* log = standIn();
    WT_EQ(log->recordSize, 1052u);
    WT_EQ(std::string(log->entry), "Office");
    WT_EQ(std::string(log->phone), "");
    WT_EQ(std::string(log->callback), "");
    WT_EQ(std::string(log->user), "reader");
    WT_EQ(std::string(log->password), "s3cret");
    WT_EQ(std::string(log->domain), "*");
    WT_CHECK(log->extensionsNull && log->phonebookNull && log->handleWasEmpty);

    WT_CHECK(pumpUntil([] { return !g_notices.empty() && g_notices.back().state == kConnected; }));
    std::vector<WPARAM> states;
    for (const Notice& n : g_notices) {
        states.push_back(n.state);
        WT_EQ(n.error, 0);
        WT_EQ(n.thread, GetCurrentThreadId());
    }
    WT_CHECK((states == std::vector<WPARAM>{0, 1, 2, 3, 4, 5, 14, kConnected}));

    int32_t error = -1, state = -1;
    WT_EQ(status(&error, &state), 0);
    WT_EQ(state, static_cast<int32_t>(kConnected));
    WT_EQ(error, 0);
}

void failuresAndOverlongNames() {
    if (!mode("standin")) return;
    auto dial = fn<DialFn>("BREMDIAL");
    if (!dial) return;
    g_notices.clear();
    brem_window_t window = windowValue();
    WT_EQ(dial(&window, 0, STANDIN_ENTRY_BUSY, "", "", 0), 676);
    WT_EQ(dial(&window, 0, STANDIN_ENTRY_NO_ANSWER, "", "", 0), 0);
    WT_CHECK(pumpUntil([] { return !g_notices.empty() && g_notices.back().error != 0; }));
    if (!g_notices.empty()) WT_EQ(g_notices.back().error, 678);

    int32_t dials = standIn()->dials;
    std::string tooLong(257, 'x');
    WT_EQ(dial(&window, 0, tooLong.c_str(), "", "", 0), 87);
    WT_EQ(dial(&window, 0, "Office", "", tooLong.c_str(), 0), 87);
    WT_EQ(standIn()->dials, dials);
}

void hangUpTakesThreeSeconds() {
    if (!mode("standin")) return;
    auto dial = fn<DialFn>("BREMDIAL");
    auto hangUp = fn<HangUpFn>("BREMHANGUP");
    if (!dial || !hangUp) return;
    g_notices.clear();
    brem_window_t window = windowValue();
    WT_EQ(dial(&window, 0, "Office", "", "", 0), 0);
    pumpUntil([] { return !g_notices.empty() && g_notices.back().state == kConnected; });
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    WT_EQ(hangUp(), 0);
    QueryPerformanceCounter(&after);
    double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("  hang-up took %.1f ms\n", ms);
    WT_CHECK(ms >= 3000.0);
    WT_CHECK(standIn()->lastHangUp == STANDIN_HANDLE);
}

void withoutRemoteAccess() {
    if (!mode("disabled")) return;
    auto dial = fn<DialFn>("BREMDIAL");
    auto hangUp = fn<HangUpFn>("BREMHANGUP");
    auto status = fn<StatusFn>("BremGetConnectStatus");
    if (!dial || !hangUp || !status) return;
    brem_window_t window = windowValue();
    int32_t error = 0, state = 0;
    // Every call tries to load the library again, and fails again.
    for (int round = 0; round < 2; ++round) {
        WT_EQ(dial(&window, 0, "Office", "", "", 0), -1000);
        WT_EQ(status(&error, &state), -1000);
        DWORD before = GetTickCount();
        WT_EQ(hangUp(), -1000);
        WT_CHECK(GetTickCount() - before < 1000);
    }
    WT_CHECK(GetModuleHandleA("rasapi32.dll") == nullptr);
}

Register r1("dial_standin_status_before_any_dial", statusBeforeAnyDial);
Register r2("dial_standin_progress_reaches_the_window", progressReachesTheWindow);
Register r3("dial_standin_failures_and_overlong_names", failuresAndOverlongNames);
Register r4("dial_standin_hangup_takes_three_seconds", hangUpTakesThreeSeconds);
Register r5("dial_without_remote_access", withoutRemoteAccess);

}  // namespace
