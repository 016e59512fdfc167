#include <windows.h>

#include "ras_thread.h"

namespace {

struct Worker {
    HANDLE thread = nullptr;
    void (*run)(void*) = nullptr;
    void* arg = nullptr;
    // No waiting at unload: the loader lock is held then.
} g_worker;

DWORD WINAPI threadMain(void*) {
    g_worker.run(g_worker.arg);
    return 0;
}

}  // namespace

void startDialThread(void (*run)(void*), void* arg) {
    g_worker.run = run;
    g_worker.arg = arg;
    g_worker.thread = CreateThread(nullptr, 0, threadMain, nullptr, 0, nullptr);
}

void joinDialThread() {
    if (!g_worker.thread) return;
    WaitForSingleObject(g_worker.thread, INFINITE);
    CloseHandle(g_worker.thread);
    g_worker.thread = nullptr;
}
