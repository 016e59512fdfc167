// The host's side of the dial-up notices: a receiver for the window messages
// the library posts while it dials (message 1025, wParam the connection state,
// lParam the error code). Windows gives the receiver a message-only window of
// the calling thread, whose messages are handled while waiting. POSIX has no
// window system: the receiver defines the process's exported PostMessageA,
// which the library looks up by name, and queues what it is given.
//
// For host programs of this project (brem); the library itself never opens a
// receiver. Only one receiver exists per process.
#pragma once

#include <cstdint>

namespace brem::plat {

struct Notice {
    int32_t state;
    int32_t error;
};

// Opens the receiver for `message` and returns the window value to give the
// dial; 0 when no receiver could be made.
uintptr_t openNoticeReceiver(uint32_t message);

// Waits up to `timeoutMs` for the next notice. False when none came in time.
bool nextNotice(Notice* out, uint32_t timeoutMs);

}  // namespace brem::plat
