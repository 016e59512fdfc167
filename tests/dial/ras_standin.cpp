// A stand-in for the remote access library: the three functions the dial-up
// connection uses, with their signatures and record layouts, a dial that
// reports its progress from a thread of its own, and a log of what it was
// given. The records are read by raw offset, independently of the library's
// own definitions, so that a layout mistake shows.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "ras_standin.h"

#include "brem32.h"
#include "ras_thread.h"

// The service's calling convention is the library's own (__stdcall on 32-bit
// Windows). Every function is exported: on Windows the build exports all
// symbols undecorated, elsewhere they have default visibility.
#define RAS_CALL BREM_API
#define RAS_EXPORT extern "C"

namespace {

using Notifier = void(RAS_CALL*)(uint32_t message, uint32_t state, uint32_t error);

constexpr uint32_t kEventMessage = 0xCCCD;  // the service's own message number
constexpr uint32_t kConnected = 0x2000, kDisconnected = 0x2001;

StandInLog g_log;
std::atomic<uint32_t> g_state{0}, g_error{0};
bool g_live = false;

// What the dial's own thread is given.
struct Dialling {
    Notifier notify;
    bool fails;
};
Dialling g_job{};
void runDial(Dialling d);
void runJob(void* job) { runDial(*static_cast<Dialling*>(job)); }

void copyField(char* out, const unsigned char* record, std::size_t offset, std::size_t size) {
    std::size_t n = strnlen(reinterpret_cast<const char*>(record + offset), size);
    std::memcpy(out, record + offset, n);
    out[n] = '\0';
}

void report(Notifier notifier, uint32_t state, uint32_t error) {
    g_state = state;
    g_error = error;
    notifier(kEventMessage, state, error);
}

void runDial(Dialling d) {
    for (uint32_t state : {0u, 1u, 2u}) report(d.notify, state, 0);
    if (d.fails) {
        report(d.notify, 2, 678);  // ERROR_NO_ANSWER
        return;
    }
    for (uint32_t state : {3u, 4u, 5u, 14u}) report(d.notify, state, 0);
    report(d.notify, kConnected, 0);
}

}  // namespace

RAS_EXPORT StandInLog* RAS_CALL StandInGetLog() { return &g_log; }

RAS_EXPORT uint32_t RAS_CALL RasDialA(void* extensions, const char* phonebook, void* params, uint32_t notifierType,
                                      void* notifier, void** connection) {
    joinDialThread();
    const unsigned char* rec = static_cast<const unsigned char*>(params);
    ++g_log.dials;
    std::memcpy(&g_log.recordSize, rec, 4);
    g_log.extensionsNull = extensions == nullptr;
    g_log.phonebookNull = phonebook == nullptr;
    g_log.notifierType = notifierType;
    g_log.handleWasEmpty = *connection == nullptr;
    copyField(g_log.entry, rec, 4, 257);
    copyField(g_log.phone, rec, 261, 129);
    copyField(g_log.callback, rec, 390, 129);
    copyField(g_log.user, rec, 519, 257);
    copyField(g_log.password, rec, 776, 257);
    copyField(g_log.domain, rec, 1033, 16);
    if (g_log.recordSize != 1052) return 632;  // ERROR_INVALID_SIZE
    if (!notifier || notifierType != 0 || *connection != nullptr) return 87;
    if (std::strcmp(g_log.entry, STANDIN_ENTRY_BUSY) == 0) return 676;  // ERROR_LINE_BUSY

    *connection = STANDIN_HANDLE;
    g_live = true;
    g_job = {reinterpret_cast<Notifier>(notifier), std::strcmp(g_log.entry, STANDIN_ENTRY_NO_ANSWER) == 0};
    startDialThread(runJob, &g_job);
    return 0;
}

#if !defined(STANDIN_WITHOUT_HANGUP)  // a library that lacks one function
RAS_EXPORT uint32_t RAS_CALL RasHangUpA(void* connection) {
    joinDialThread();
    ++g_log.hangUps;
    g_log.lastHangUp = connection;
    if (connection != STANDIN_HANDLE || !g_live) return 6;  // ERROR_INVALID_HANDLE
    g_state = kDisconnected;
    g_error = 0;
    return 0;
}
#endif

RAS_EXPORT uint32_t RAS_CALL RasGetConnectStatusA(void* connection, void* status) {
    unsigned char* rec = static_cast<unsigned char*>(status);
    g_log.lastStatus = connection;
    std::memcpy(&g_log.statusSize, rec, 4);
    if (g_log.statusSize != 160) return 632;
    if (connection != STANDIN_HANDLE || !g_live) return 6;
    uint32_t state = g_state, error = g_error;
    std::memcpy(rec + 4, &state, 4);
    std::memcpy(rec + 8, &error, 4);
    std::memcpy(rec + 12, "modem", 6);
    std::memcpy(rec + 29, "Stand-in modem", 15);
    return 0;
}
