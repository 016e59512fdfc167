// Mail import and read-back through the DLL's exported names.
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using ImpMail = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t);
using Reader = int32_t(__stdcall*)(const char*, int32_t, int32_t, int32_t, char*, char*);

void importAndReadBack() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    writeFile(spool + "\\0C1235.X", "U uucp hub\nF D.hubA1234\nI D.hubA1234\nC rmail hub!reader\n");
    writeFile(spool + "\\0A1234.D", "From: writer\nSubject: hello\n\nhi\n");
    writeFile(spool + "\\0C0009.X", "F D.hubN0009\nC rnews\n");
    writeFile(store + "\\mailarea.txt", std::string(100, '.'));

    auto impmail = fn<ImpMail>("IMPMAIL");
    auto readMessage = fn<Reader>("READMESSAGE");
    auto extract = fn<Reader>("_EXTRACTMESSAGE@24");
    if (!impmail || !readMessage || !extract) return;

    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(impmail(sp.data(), st.data(), "hub", "mybox", 0), 0);
    WT_EQ(std::string(sp.data()), spool + "\\");
    WT_EQ(impmail(sp.data(), st.data(), "hub", "mybox", 0), -1);

    WT_EQ(readFile(store + "\\mail.hdr"),
          std::string("To: hub!reader\r\nFrom: writer\r\nDate: \r\nMessage-ID: <0>\r\nSubject: hello\r\nNO CC\r\n"
                      "100\r\n132\r\n"));
    WT_EQ(listDir(spool), std::vector<std::string>{"0C0009.X"});

    std::vector<char> text(32302), err(512);
    WT_EQ(readMessage(store.c_str(), 0, 100, 32, text.data(), err.data()), 33);
    WT_EQ(std::string(text.data()), std::string("From: writer\r\nSubject: hello\r\n\r\nhi\r\n"));
    WT_EQ(extract(store.c_str(), 0, 100, 32, text.data(), err.data()), 4);
    WT_EQ(std::string(text.data()), std::string("hi\r\n"));
    WT_EQ(readMessage(store.c_str(), 3, 1, 1, text.data(), err.data()), -1);
    WT_EQ(std::string(err.data()), std::string("Cannot open area file \r\n"));
}

void firstMailIntoEmptyArea() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    writeFile(spool + "\\0C1.X", "F D.hubA1\nC rmail a@b\n");
    writeFile(spool + "\\0A1.D", "Subject: s\n\nbody\n");
    auto impmail = fn<ImpMail>("IMPMAIL");
    auto readNews = fn<Reader>("READNEWS");
    auto readMapi = fn<Reader>("READMAPIMSG");
    if (!impmail || !readNews || !readMapi) return;
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(impmail(sp.data(), st.data(), "hub", "mybox", 0), 0);
    WT_EQ(readFile(store + "\\mailarea.txt"), std::string("\nSubject: s\n\nbody\n"));
    std::vector<char> text(32302), err(512);
    WT_EQ(readNews(store.c_str(), 0, 1, 17, text.data(), err.data()), 18);
    WT_EQ(std::string(text.data()), std::string("Subject: s\r\n\r\nbody\r\n"));
    writeFile(store + "\\rmail.z", "out\n");
    WT_EQ(readMapi(store.c_str(), 0, 0, 4, text.data(), err.data()), 5);
    WT_EQ(std::string(text.data()), std::string("out\r\n"));
    // The log's lines end in CR LF on disk, as on every system.
    std::string log = readFile(store + "\\mail.log");
    WT_CHECK(log.find("0\tmailarea.txt file is not there or 0 length\r\n") != std::string::npos);
}

Register r1("mail: import and read back", importAndReadBack);
Register r2("mail: first mail into an empty area", firstMailIntoEmptyArea);

}  // namespace
