// Spool files held open by another process, as a virus scanner or a viewer
// holds them: a short hold is waited out, a long one fails the call cleanly
// and the next call after it imports the message once.
#include <cstdio>

#include "host.h"

using namespace wintest;

namespace {

using ImpMail = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t);

// A second process holding `path` without sharing for `ms` milliseconds;
// returns once it holds the file.
class Holder {
public:
    Holder(const std::string& path, int ms) {
        std::string event = "brem-held-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        std::string cmd = "holdfile.exe \"" + path + "\" " + std::to_string(ms) + " " + event;
        STARTUPINFOA si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            process_ = pi.hProcess;
            HANDLE both[] = {ready, process_};
            holding_ = WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
        WT_CHECK(holding_);
    }
    ~Holder() { release(); }
    // Waits for the hold to end on its own.
    void release() {
        if (!process_) return;
        WaitForSingleObject(process_, 30000);
        CloseHandle(process_);
        process_ = nullptr;
    }

private:
    static int count_;
    HANDLE process_ = nullptr;
    bool holding_ = false;
};
int Holder::count_ = 0;

struct Site {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    Site() {
        writeFile(spool + "\\0C1235.X", "U uucp hub\nF D.hubA1234\nI D.hubA1234\nC rmail hub!reader\n");
        writeFile(spool + "\\0A1234.D", "From: writer\nSubject: held\n\nhi\n");
    }
    int32_t importOnce() {
        auto impmail = fn<ImpMail>("IMPMAIL");
        if (!impmail) return -2;
        std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
        return impmail(sp.data(), st.data(), "hub", "mybox", 0);
    }
    int records() const {
        std::string hdr = readFile(store + "\\mail.hdr");
        int lines = 0;
        for (size_t p = 0; (p = hdr.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
        return lines / 8;
    }
};

void shortHoldIsWaitedOut() {
    Site s;
    DWORD t0 = GetTickCount();
    {
        Holder h(s.spool + "\\0A1234.D", 300);
        WT_EQ(s.importOnce(), 0);
    }
    WT_EQ(s.records(), 1);
    WT_EQ(listDir(s.spool), std::vector<std::string>{});
    WT_EQ(readFile(s.store + "\\mailarea.txt"), std::string("\nFrom: writer\nSubject: held\n\nhi\n"));
    WT_CHECK(GetTickCount() - t0 < 10000);
}

void longHoldFailsCleanly() {
    Site s;
    for (const char* held : {"0A1234.D", "0C1235.X"}) {
        DWORD t0 = GetTickCount();
        Holder h(s.spool + "\\" + held, 6000);
        WT_EQ(s.importOnce(), -1);
        // Given up well before the hold ends, with nothing stored.
        DWORD spent = GetTickCount() - t0;
        WT_CHECK(spent >= 900 && spent < 4500);
        WT_EQ(s.records(), 0);
        WT_EQ(listDir(s.spool), (std::vector<std::string>{"0A1234.D", "0C1235.X"}));
        h.release();
    }
    // Once the file is free the job goes in, once.
    WT_EQ(s.importOnce(), 0);
    WT_EQ(s.importOnce(), -1);
    WT_EQ(s.records(), 1);
    WT_EQ(listDir(s.spool), std::vector<std::string>{});
}

Register r1("held: a spool file held for a moment is waited for", shortHoldIsWaitedOut);
Register r2("held: a spool file held too long fails the call, nothing lost", longHoldFailsCleanly);

}  // namespace
