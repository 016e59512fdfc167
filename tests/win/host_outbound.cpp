// Mail and news export through the DLL's exported names: the job files on a
// Windows file system, and a news batch compressed by zorpack.exe.
#include <cstdio>
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using ExpMail = int32_t(__stdcall*)(const char*, const char*, const char*, const char*, const char*, int32_t);
using ExpNews = int32_t(__stdcall*)(char*, char*, const char*, int32_t, int32_t, int32_t);

const char* kBatch = "#! rnews 14\nSubject: one\n\n#! rnews 15\nSubject: two\n\n";

std::string programDir() {
    char buf[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string self(buf, n);
    size_t slash = self.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

void exportMail() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    auto expmail = fn<ExpMail>("EXPMAIL");
    if (!expmail) return;

    const std::string message = "From: me\r\nSubject: hi\r\n\r\nhello\r\n";
    writeFile(spool + "\\rmail.z", message);
    WT_EQ(expmail(spool.c_str(), store.c_str(), "someone", "mybox", "me", 2), 0);
    WT_EQ(listDir(spool), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT"}));
    WT_EQ(readFile(spool + "\\0001.CMD"), std::string("S 0001.DAT D.mybox0001 daemon - 0001.DAT 0666\r\n"
                                                      "S 0001.XQT X.mybox0001 daemon - 0001.XQT 0666\r\n"));
    WT_EQ(readFile(spool + "\\0001.XQT"),
          std::string("U Daemon mybox\nZ\nF D.mybox0001\nI D.mybox0001\nC rmail someone\n"));
    WT_EQ(readFile(spool + "\\0001.DAT"), message);
    WT_EQ(readFile(store + "\\export.dat"), std::string("\x01\0\0\0", 4));
    std::string log = readFile(store + "\\mail.log");
    WT_CHECK(log.find("\tCannot open export.dat (mail)\r\n") != std::string::npos);
    WT_CHECK(log.find("\tExporting message to someone from me\r\n") != std::string::npos);

    // Without a message there is no job, and the number is not used up.
    WT_EQ(expmail(spool.c_str(), store.c_str(), "someone", "mybox", "me", 0), -1);
    WT_EQ(listDir(spool).size(), 3u);
    WT_EQ(readFile(store + "\\export.dat"), std::string("\x01\0\0\0", 4));
}

void exportPlainNews() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    auto expnews = fn<ExpNews>("EXPNEWS");
    if (!expnews) return;
    writeFile(store + "\\export.dat", std::string("\x0f\x27\0\0", 4));  // 9999
    writeFile(spool + "\\rnews.z", kBatch);
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(expnews(sp.data(), st.data(), "mybox", 2, 0, 0), 0);
    WT_EQ(std::string(sp.data()), spool + "\\");
    WT_EQ(listDir(spool), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT"}));
    WT_EQ(readFile(spool + "\\0001.CMD"), std::string("S 0001.DAT D.mybox0001 news - 0001.DAT 0666\r\n"
                                                      "S 0001.XQT X.mybox0001 news - 0001.XQT 0666\r\n"));
    WT_EQ(readFile(spool + "\\0001.XQT"), std::string("U news mybox\nZ\nF D.mybox0001\nI D.mybox0001\nC rnews\n"));
    WT_EQ(readFile(spool + "\\0001.DAT"), std::string(kBatch));
    WT_EQ(readFile(store + "\\export.dat"), std::string("\x01\0\0\0", 4));
}

void exportCompressedNews() {
    std::string zorpack = programDir() + "\\zorpack.exe";
    if (!exists(zorpack)) {
        std::printf("  skipped: no zorpack.exe beside wintest.exe\n");
        return;
    }
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    auto expnews = fn<ExpNews>("EXPNEWS");
    if (!expnews) return;
    std::string batch;
    for (int i = 0; i < 100; ++i) {
        std::string article = "Newsgroups: local.test\nSubject: article " + std::to_string(i) + "\n\nbody\n";
        batch += "#! rnews " + std::to_string(article.size()) + "\n" + article;
    }
    writeFile(spool + "\\rnews", batch);
    writeFile(spool + "\\rnews.z", "a stale batch from an earlier run");
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(expnews(sp.data(), st.data(), "mybox", 100, 8, 16), 0);
    WT_EQ(listDir(spool), (std::vector<std::string>{"0001.CMD", "0001.DAT", "0001.XQT", "rnews"}));
    std::string dat = readFile(spool + "\\0001.DAT");
    WT_EQ(dat.substr(0, 12), std::string("#! cunbatch\n"));
    WT_EQ(dat.substr(12, 3), std::string("\x1f\x9d\x90", 3));  // compress magic, block mode, 16 bits

    // The stream expands to the batch again.
    std::string work = subdir(root, "expand");
    writeFile(work + "\\batch.z", dat.substr(12));
    WT_EQ(runAndWait("\"" + zorpack + "\" -d -b 16 " + work + "\\batch"), 0);
    WT_EQ(readFile(work + "\\batch"), batch);
    std::string log = readFile(store + "\\news.log");
    WT_CHECK(log.find("\tabout to compress \r\n") != std::string::npos);
    WT_CHECK(log.find("\tNews export complete\r\n") != std::string::npos);
}

Register r1("outbound: mail job", exportMail);
Register r2("outbound: plain news job after 9999", exportPlainNews);
Register r3("outbound: compressed news job with zorpack.exe", exportCompressedNews);

}  // namespace
