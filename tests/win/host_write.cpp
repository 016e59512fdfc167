// Writing messages, attaching files and quoted-printable through the DLL's
// exported names.
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using WriteMsg = int32_t(__stdcall*)(const char*, int32_t, int32_t*, int32_t*, const char*, char*);
using WriteUucp = int32_t(__stdcall*)(const char*, int32_t*, int32_t*, const char*, char*);
using Reader = int32_t(__stdcall*)(const char*, int32_t, int32_t, int32_t, char*, char*);
using GenUucp = int32_t(__stdcall*)(const char*, const char*, const char*, const char*, char*, int32_t);
using FileAttach = int32_t(__stdcall*)(const char*, const char*, const char*, char*, int32_t);
using WriteQuoted = int32_t(__stdcall*)(const char*, const char*, char*, const char*);
using DecodeIso = int32_t(__stdcall*)(const char*, const char*, char*);
using OnePath = int32_t(__stdcall*)(const char*);
using TwoPaths = int32_t(__stdcall*)(const char*, const char*);

void writeAndReadBack() {
    std::string store = scratchDir();
    auto writeMessage = fn<WriteMsg>("WRITEMESSAGE");
    auto writeForm = fn<WriteMsg>("WRITEMFORM");
    auto writeUucp = fn<WriteUucp>("WRITEUUCP");
    auto readMessage = fn<Reader>("READMESSAGE");
    if (!writeMessage || !writeForm || !writeUucp || !readMessage) return;

    int32_t start = -7, length = -7;
    std::vector<char> err(512), text(32302);
    WT_EQ(writeMessage(store.c_str(), 0, &start, &length, "Hi\r\n", err.data()), 0);
    WT_EQ(start, 1);
    WT_EQ(length, 3);
    WT_EQ(readFile(store + "\\mailarea.txt"), std::string("\nHi\n"));
    WT_EQ(readMessage(store.c_str(), 0, start, length, text.data(), err.data()), length + 1);
    WT_EQ(std::string(text.data()), std::string("Hi\r\n"));

    writeFile(store + "\\area2.txt", std::string(100, '.'));
    WT_EQ(writeForm(store.c_str(), 2, &start, &length, (std::string(85, 'x') + " y\r\n").c_str(), err.data()), 0);
    WT_EQ(start, 100);
    WT_EQ(length, 89);
    WT_EQ(readFile(store + "\\area2.txt").substr(100), std::string(85, 'x') + " \ny\n");

    WT_EQ(writeUucp((store + "\\rmail.z").c_str(), &start, &length, "From: me\r\n", err.data()), 0);
    WT_EQ(readFile(store + "\\rmail.z"), std::string("From: me\n"));

    std::string missing = store + "\\none";
    WT_EQ(writeMessage(missing.c_str(), 4, &start, &length, "x", err.data()), -1);
    WT_EQ(std::string(err.data()), "Cannot open file " + missing + "\\area4.txt");
}

void attachToHold() {
    std::string root = scratchDir();
    std::string out = subdir(root, "out");
    auto attach = fn<FileAttach>("FILEATTACH");
    auto genuucp = fn<GenUucp>("GENUUCP");
    auto gendir = fn<OnePath>("GENDIR");
    auto chkdir = fn<OnePath>("CHKDIR");
    auto rename = fn<TwoPaths>("FILERENAME");
    if (!attach || !genuucp || !gendir || !chkdir || !rename) return;

    writeFile(root + "\\a.bin", std::string("one\r\n\x1a\xff", 7));
    writeFile(root + "\\b.bin", "two");
    std::vector<char> err(512);
    WT_EQ(attach(out.c_str(), (root + "\\a.bin").c_str(), "att.bin", err.data(), 1), 0);
    WT_EQ(attach(out.c_str(), (root + "\\b.bin").c_str(), "att.bin", err.data(), 1), 0);
    WT_EQ(readFile(out + "\\hold\\att.bin"), std::string("two"));
    WT_EQ(genuucp(out.c_str(), (root + "\\a.bin").c_str(), "job", "P:", err.data(), 0), 0);
    WT_EQ(genuucp(out.c_str(), (root + "\\b.bin").c_str(), "job", "Q:", err.data(), 0), 0);
    WT_EQ(readFile(out + "\\job"), std::string("P:one\r\n\x1a\xffQ:two", 14));
    WT_EQ(attach(out.c_str(), (root + "\\nosuch").c_str(), "x", err.data(), 0), -1);
    WT_EQ(std::string(err.data()), "Cannot open file " + root + "\\nosuch");
    // The source itself as a fresh target is refused, and kept.
    WT_EQ(attach(out.c_str(), (out + "\\HOLD\\att.bin").c_str(), "att.bin", err.data(), 1), -1);
    WT_EQ(readFile(out + "\\hold\\att.bin"), std::string("two"));

    WT_EQ(gendir((root + "\\made").c_str()), 0);
    WT_EQ(gendir((root + "\\made").c_str()), -1);
    WT_EQ(rename((root + "\\a.bin").c_str(), (root + "\\b.bin").c_str()), -1);
    WT_EQ(rename((root + "\\a.bin").c_str(), (root + "\\made\\a.bin").c_str()), 0);
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    WT_EQ(chkdir((root + "\\made").c_str()), 0);
    WT_CHECK(exists("a.bin"));
    WT_EQ(chkdir((root + "\\missing").c_str()), -1);
    SetCurrentDirectoryA(before);
}

void quotedPrintable() {
    std::string root = scratchDir();
    auto writeQuoted = fn<WriteQuoted>("WRITEQUOTED");
    auto decodeIso = fn<DecodeIso>("DECODE_ISO");
    if (!writeQuoted || !decodeIso) return;
    writeFile(root + "\\note.txt", "caf\xE9 = ok \n" + std::string(80, 'x'));
    std::vector<char> err(512);
    WT_EQ(writeQuoted((root + "\\note.txt").c_str(), (root + "\\note.qp").c_str(), err.data(), nullptr), 0);
    WT_EQ(readFile(root + "\\note.qp"),
          "caf=E9 =3D ok =\n\n" + std::string(75, 'x') + "=\n" + std::string(5, 'x'));
    WT_EQ(writeQuoted((root + "\\note.txt").c_str(), (root + "\\NOTE.TXT").c_str(), err.data(), nullptr), -1);
    WT_EQ(std::string(err.data()), "Cannot open out file " + root + "\\NOTE.TXT\r\n");

    WT_EQ(decodeIso((root + "\\note.qp").c_str(), (root + "\\note.850").c_str(), err.data()), 0);
    WT_EQ(std::string(err.data()), std::string("Success"));
    WT_EQ(readFile(root + "\\note.850"), "caf\x82 = ok \n" + std::string(80, 'x'));
    WT_EQ(decodeIso((root + "\\nosuch").c_str(), (root + "\\o").c_str(), err.data()), -2);
    WT_EQ(std::string(err.data()), " Error while opening input-file " + root + "\\nosuch.\n");
}

Register r1("write: messages appended and read back", writeAndReadBack);
Register r2("write: attachments to a hold directory, directories, renames", attachToHold);
Register r3("write: quoted-printable written and decoded", quotedPrintable);

}  // namespace
