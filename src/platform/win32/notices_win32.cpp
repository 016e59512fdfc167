// The dial-up notice receiver on Windows: a message-only window of the
// calling thread; its messages are handled while the caller waits, so the
// notices arrive on the thread that dialled, as in any host.
#include <windows.h>

#include <chrono>
#include <deque>

#include "platform/notices.h"

namespace brem::plat {

namespace {

struct Receiver {
    std::deque<Notice> queue;
    UINT message = 0;
};

Receiver& receiver() {
    static Receiver r;
    return r;
}

LRESULT CALLBACK receiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Receiver& r = receiver();
    if (r.message != 0 && message == r.message) {
        r.queue.push_back({static_cast<int32_t>(wParam), static_cast<int32_t>(lParam)});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

uintptr_t openNoticeReceiver(uint32_t message) {
    receiver().message = message;
    WNDCLASSA wc{};
    wc.lpfnWndProc = receiverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "bremDialNotices";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    return reinterpret_cast<uintptr_t>(w);
}

bool nextNotice(Notice* out, uint32_t timeoutMs) {
    Receiver& r = receiver();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (!r.queue.empty()) {
            *out = r.queue.front();
            r.queue.pop_front();
            return true;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

}  // namespace brem::plat
