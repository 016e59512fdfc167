#include "dial/dial.h"

#include <atomic>
#include <cstring>

#include "brem32.h"
#include "platform/platform.h"

namespace brem::dial {

namespace {

// The remote access service's functions use the calling convention of the
// library's own exports (__stdcall on 32-bit Windows).
using ConnHandle = void*;  // HRASCONN
using RasDialFn = uint32_t(BREM_API*)(void* extensions, const char* phonebook, DialParams* params,
                                           uint32_t notifierType, void* notifier, ConnHandle* connection);
using RasHangUpFn = uint32_t(BREM_API*)(ConnHandle connection);
using RasGetConnectStatusFn = uint32_t(BREM_API*)(ConnHandle connection, ConnStatus* status);

// Everything the library keeps between calls for the dial-up connection, in
// one place. The host makes one call at a time, so only the window handle,
// which the service's own thread reads through the notifier, needs to be
// atomic.
struct Handles {
    void* library = nullptr;  // set once "rasapi32.dll" has loaded
    RasDialFn dial = nullptr;
    RasHangUpFn hangUp = nullptr;
    RasGetConnectStatusFn status = nullptr;
    ConnHandle connection = nullptr;  // of the last dial
    std::atomic<uintptr_t> window{0};  // the host window of the last dial

    // Back to the state of a process that has not dialled yet. The remote
    // access library stays loaded: its notifier may still be running.
    void reset() {
        library = nullptr;
        dial = nullptr;
        hangUp = nullptr;
        status = nullptr;
        connection = nullptr;
        window.store(0);
    }
};
Handles g_handles;

// Loads the library on first need and looks the function up by name. A
// library that cannot be loaded or a function that is missing gives nullptr
// and is tried again on the next call.
template <typename Fn>
Fn resolve(Fn& slot, const char* name) {
    if (!g_handles.library) {
        g_handles.library = plat::loadLibrary("rasapi32.dll");
        if (!g_handles.library) return nullptr;
    }
    if (!slot) slot = reinterpret_cast<Fn>(plat::librarySymbol(g_handles.library, name));
    return slot;
}

// Copies a string into its record field whole; false when it does not fit,
// so that no name or password is ever cut short.
template <std::size_t N>
bool fill(char (&field)[N], const char* text) {
    std::size_t n = std::strlen(text);
    if (n >= N) return false;
    std::memcpy(field, text, n + 1);
    return true;
}

// The dial's notifier (the RasDialFunc kind), called on the service's
// thread: it only hands the event on to the host's window. The service's
// own message number is not passed on.
void BREM_API notify(uint32_t /*message*/, uint32_t state, uint32_t error) {
    plat::postWindowMessage(g_handles.window.load(), kProgressMessage, state, static_cast<intptr_t>(error));
}

}  // namespace

int32_t Dial(const brem_window_t* window, const char* entryName, const char* userName, const char* password) noexcept {
    RasDialFn dial = resolve(g_handles.dial, "RasDialA");
    if (!dial) return kNoRemoteAccess;
    if (!window || !entryName || !userName || !password) return kInvalidParameter;

    DialParams params;
    std::memset(&params, 0, sizeof params);
    params.dwSize = sizeof params;
    // Empty phone and callback numbers: the phonebook entry's own are used.
    if (!fill(params.szEntryName, entryName) || !fill(params.szUserName, userName) ||
        !fill(params.szPassword, password))
        return kInvalidParameter;
    fill(params.szDomain, "*");

    // The service requires an empty handle to start a new connection.
    g_handles.connection = nullptr;
    g_handles.window.store(*window);
    uint32_t result =
        dial(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(&notify), &g_handles.connection);

    // The service has taken its copy; leave no password behind on the stack.
    volatile char* secret = params.szPassword;
    for (std::size_t i = 0; i < sizeof params.szPassword; ++i) secret[i] = 0;
    return static_cast<int32_t>(result);
}

int32_t HangUp() noexcept {
    RasHangUpFn hangUp = resolve(g_handles.hangUp, "RasHangUpA");
    if (!hangUp) return kNoRemoteAccess;
    uint32_t result = hangUp(g_handles.connection);
    // The port needs this long to be released; a dial started sooner fails.
    plat::sleepMs(kHangUpWaitMs);
    return static_cast<int32_t>(result);
}

void ResetForTests() noexcept { g_handles.reset(); }

int32_t GetConnectStatus(int32_t* error, int32_t* state) noexcept {
    RasGetConnectStatusFn status = resolve(g_handles.status, "RasGetConnectStatusA");
    if (!status) return kNoRemoteAccess;
    if (!error || !state) return kInvalidParameter;
    ConnStatus record;
    std::memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    uint32_t result = status(g_handles.connection, &record);
    *error = static_cast<int32_t>(record.dwError);
    *state = static_cast<int32_t>(record.rasconnstate);
    return static_cast<int32_t>(result);
}

}  // namespace brem::dial
