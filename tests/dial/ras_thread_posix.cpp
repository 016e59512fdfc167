#include <pthread.h>

#include "ras_thread.h"

namespace {

struct Worker {
    pthread_t thread{};
    bool running = false;
    void (*run)(void*) = nullptr;
    void* arg = nullptr;
    void join() {
        if (running) pthread_join(thread, nullptr);
        running = false;
    }
    ~Worker() { join(); }
} g_worker;

void* threadMain(void*) {
    g_worker.run(g_worker.arg);
    return nullptr;
}

}  // namespace

void startDialThread(void (*run)(void*), void* arg) {
    g_worker.run = run;
    g_worker.arg = arg;
    g_worker.running = pthread_create(&g_worker.thread, nullptr, threadMain, nullptr) == 0;
}

void joinDialThread() { g_worker.join(); }
