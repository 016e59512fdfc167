// The stand-in dial's own thread, which reports the progress events. The
// Windows cross build has no std::thread, so each system's threads are used;
// the build chooses the file. One dial thread at a time.
#pragma once

void startDialThread(void (*run)(void*), void* arg);
// Waits for the thread started last, if any.
void joinDialThread();
