// What a remote site can plant in the spool that only Windows reads
// differently: names that Windows takes for a device (in a listed name or in
// the local name an F line gives), a FIFO where the news import stages its
// batch (Wine shows Unix FIFOs), and a site name that would add lines to a
// command file. Each is refused or harmless, and no call waits on a device.
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using ImpMail = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t);
using ImpNews = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t, int32_t);
using ExpMail = int32_t(__stdcall*)(const char*, const char*, const char*, const char*, const char*, int32_t);

const std::string kNews = "#! rnews 47\nNewsgroups: rec.test\nSubject: good\n\nbody good\n";

std::string mailJob(const std::string& data) { return "U uucp hub\nF " + data + "\nI " + data + "\nC rmail a@mybox\n"; }
std::string newsJob(const std::string& data) { return "U news hub\nF " + data + "\nI " + data + "\nC rnews\n"; }

// Writes a file under exactly the name given, device names included: the
// "\\?\" form of a full path passes the name to the file system unread.
void writeExact(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::string path = "\\\\?\\" + dir + "\\" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail(__FILE__, __LINE__, "cannot write " + path);
        return;
    }
    DWORD put = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1)) ++n;
    return n;
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names) {
        if (n == name) return true;
    }
    return false;
}

struct Spool {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");

    Spool() { writeFile(store + "\\area.dat", "rec.test\n3\n"); }

    // Calls the importer until it has nothing more (at most 16 calls).
    int32_t mailUntilDone() {
        auto impmail = fn<ImpMail>("IMPMAIL");
        int32_t r = 0;
        for (int i = 0; impmail && i < 16 && r == 0; ++i) {
            std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
            r = impmail(sp.data(), st.data(), "hub", "mybox", 0);
        }
        return r;
    }
    int32_t newsUntilDone(int32_t bits) {
        auto impnews = fn<ImpNews>("IMPNEWS");
        int32_t r = 0;
        for (int i = 0; impnews && i < 16 && r != 1; ++i) {
            std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
            r = impnews(sp.data(), st.data(), "hub", "mybox", 0, bits);
        }
        return r;
    }
    std::string log(const char* name) const { return readFile(store + "\\" + name); }
};

// Spool files whose names Windows reads as a device, each holding a job
// that would import: never opened, named in the log, left where they are;
// the good jobs beside them are imported.
void deviceNamesInTheSpool() {
    Spool s;
    const char* const devices[] = {"AUX.X", "COM1.X", "Com1 .X", "NUL.X", "CONIN$.X", "lpt0.X"};
    for (const char* name : devices) writeExact(s.spool, name, mailJob("D.hubA0001"));
    writeFile(s.spool + "\\0A0001.D", "From: a\n\nSECRET\n");
    writeFile(s.spool + "\\0C0002.X", mailJob("D.hubB0002"));
    writeFile(s.spool + "\\0B0002.D", "From: b\n\nbody mail\n");
    writeFile(s.spool + "\\0C0003.X", newsJob("D.hubC0003"));
    writeFile(s.spool + "\\0C0003.D", kNews);
    WT_EQ(s.mailUntilDone(), -1);
    WT_EQ(s.newsUntilDone(0), 1);

    WT_EQ(count(s.log("mailarea.txt"), "body mail"), 1u);
    WT_EQ(count(s.log("mailarea.txt"), "SECRET"), 0u);
    WT_EQ(count(s.log("area3.txt"), "body good"), 1u);
    const std::vector<std::string> left = listDir(s.spool);
    for (const char* name : devices) {
        WT_CHECK(listed(left, name));
        WT_CHECK(s.log("mail.log").find(std::string("Passed over ") + name + ": not a plain file name") !=
                 std::string::npos);
    }
    WT_CHECK(listed(left, "0A0001.D"));
}

// F lines whose local names become devices once Windows drops trailing
// blanks and dots ("Com1 .D", "Com1..D", "AUX.aBcD.D", "Con  .D"): each job
// is set aside as bad, with either bit count, by mail and by news alike.
void fLinesThatNameDevices() {
    const char* const dataNames[] = {"D.om1 ", "D.om1.", "D.UX.aBcD", "D.on  "};
    for (int32_t bits : {0, 16}) {
        Spool s;
        int n = 0;
        for (const char* data : dataNames) {
            const std::string seq = std::to_string(++n);
            writeFile(s.spool + "\\0M000" + seq + ".X", mailJob(data));
            writeFile(s.spool + "\\0N000" + seq + ".X", newsJob(data));
        }
        writeFile(s.spool + "\\0C0009.X", newsJob("D.hubC0009"));
        writeFile(s.spool + "\\0C0009.D", kNews);
        WT_EQ(s.mailUntilDone(), -1);
        WT_EQ(s.newsUntilDone(bits), 1);
        WT_EQ(count(s.log("area3.txt"), "body good"), 1u);
        WT_EQ(listDir(s.spool + "\\bad"),
              (std::vector<std::string>{"0M0001.X", "0M0002.X", "0M0003.X", "0M0004.X", "0N0001.X", "0N0002.X",
                                        "0N0003.X", "0N0004.X"}));
        for (const std::string& left : listDir(s.spool)) WT_EQ(left[0], '$');  // the news import's working files
    }
}

// The Unix name of a Windows path, from Wine's own kernel32 (empty where
// the host runs on Windows itself).
std::string unixName(const std::string& path) {
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "";
    std::wstring wide(path.begin(), path.end());
    char* name = toUnix(wide.c_str());
    if (!name) return "";
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// Runs a Unix program (Wine starts one named by its Unix path, but reports no
// exit status of it) and waits up to 5 s more for `made` to be listed in `dir`.
bool runUnixFor(const std::string& commandLine, const std::string& dir, const std::string& made) {
    runAndWait(commandLine);
    for (int tries = 0; tries < 50; ++tries) {
        if (listed(listDir(dir), made)) return true;
        Sleep(100);
    }
    return false;
}

// A FIFO planted where the news import copies its batch: the batch is still
// staged and filed, and every later import goes on.
void aFifoWhereTheBatchIsStaged() {
    Spool s;
    const std::string fifo = unixName(s.spool) + "/$7b60051.tmp";
    if (fifo == "/$7b60051.tmp" || !runUnixFor("/usr/bin/mkfifo " + fifo, s.spool, "$7b60051.tmp")) {
        std::printf("  skipped: no FIFO can be made here (Wine only)\n");
        return;
    }
    writeFile(s.spool + "\\0C0001.X", newsJob("D.hubC0001"));
    writeFile(s.spool + "\\0C0001.D", kNews);
    WT_EQ(s.newsUntilDone(0), 1);
    WT_EQ(count(s.log("area3.txt"), "body good"), 1u);
    writeFile(s.spool + "\\0C0002.X", newsJob("D.hubC0002"));
    writeFile(s.spool + "\\0C0002.D", kNews);
    WT_EQ(s.newsUntilDone(0), 1);
    WT_EQ(count(s.log("area3.txt"), "body good"), 2u);
}

// A site name with a line end would add lines to the command file, such as
// one that sends a file of the machine: refused, and nothing is written.
void aSiteNameCannotAddLines() {
    Spool s;
    auto expmail = fn<ExpMail>("EXPMAIL");
    if (!expmail) return;
    writeFile(s.spool + "\\rmail.z", "From: me\r\n\r\nhello\r\n");
    const char* site = "hub0001 daemon - 0001.DAT 0666\r\nS C:\\windows\\win.ini D.leak daemon - C:\\windows\\win.ini "
                       "0666\r\nS 0001.XQT X.hub";
    WT_EQ(expmail(s.spool.c_str(), s.store.c_str(), "someone", site, "me", 0), -1);
    WT_EQ(listDir(s.spool), (std::vector<std::string>{"rmail.z"}));
}

Register r1("hostile: device names in the spool are passed over", deviceNamesInTheSpool);
Register r2("hostile: F lines that name devices make bad jobs", fLinesThatNameDevices);
Register r3("hostile: a FIFO where the batch is staged", aFifoWhereTheBatchIsStaged);
Register r4("hostile: a site name cannot add lines to a command file", aSiteNameCannotAddLines);

}  // namespace
