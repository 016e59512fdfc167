// The dial-up notice receiver on POSIX: notices arrive through the exported
// PostMessageA on the remote access service's thread. This file is linked only
// into programs that open a receiver, so the library and the tests keep their
// own PostMessageA or none.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/notices.h"

namespace brem::plat {

namespace {

struct Receiver {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Notice> queue;
    uint32_t message = 0;
};

Receiver& receiver() {
    static Receiver r;
    return r;
}

}  // namespace

uintptr_t openNoticeReceiver(uint32_t message) {
    std::lock_guard<std::mutex> lock(receiver().mutex);
    receiver().message = message;
    return 1;  // any non-zero handle: this process receives every notice
}

bool nextNotice(Notice* out, uint32_t timeoutMs) {
    Receiver& r = receiver();
    std::unique_lock<std::mutex> lock(r.mutex);
    if (!r.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !r.queue.empty(); })) {
        return false;
    }
    *out = r.queue.front();
    r.queue.pop_front();
    return true;
}

}  // namespace brem::plat

extern "C" __attribute__((visibility("default"))) int PostMessageA(void* /*window*/, uint32_t message,
                                                                   uintptr_t wParam, intptr_t lParam) {
    brem::plat::Receiver& r = brem::plat::receiver();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.message == 0 || message != r.message) return 1;
    r.queue.push_back({static_cast<int32_t>(wParam), static_cast<int32_t>(lParam)});
    r.arrived.notify_all();
    return 1;
}
