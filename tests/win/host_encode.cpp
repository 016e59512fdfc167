// MIME attachments and the UU coder through the DLL's exported names.
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using MimeDecode = int32_t(__stdcall*)(const char*, const char*);
using MimeEncode = int32_t(__stdcall*)(const char*, const char*, const char*);
using UuEncode = int32_t(__stdcall*)(const char*, const char*, const char*, const char*, int32_t);

void mimeRoundTrip() {
    auto encode = fn<MimeEncode>("MIMEENCODE");
    auto decode = fn<MimeDecode>("MIMEDECODE");
    if (!encode || !decode) return;
    std::string dir = scratchDir();
    std::string bytes("a\0b\r\n\x1a\xff tail", 12);
    writeFile(dir + "\\in.bin", bytes);
    WT_EQ(encode((dir + "\\in.bin").c_str(), (dir + "\\in.mime").c_str(), "in.bin"), 0);
    std::string mime = readFile(dir + "\\in.mime");
    WT_EQ(mime, std::string("Content-Type: application/octet-stream; charset=us-ascii; name=\"in.bin\"\n"
                            "Content-Disposition: attachment; filename=\"in.bin\"\n"
                            "Content-transfer-encoding: base64\n\nYQBiDQoa/yB0YWls\n"));
    // The message as a Windows mailer stores it: CR LF line ends.
    writeFile(dir + "\\msg.txt", "Subject: x\r\nContent-Type: application/octet-stream; name=\"in.bin\"\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\nYQBiDQoa/yB0YWls\r\n\r\n");
    WT_EQ(decode((dir + "\\msg.txt").c_str(), (dir + "\\out.bin").c_str()), 0);
    WT_EQ(readFile(dir + "\\out.bin"), bytes);
    WT_EQ(decode((dir + "\\missing.txt").c_str(), (dir + "\\out2.bin").c_str()), -1);
    WT_CHECK(!exists(dir + "\\out2.bin"));
}

void mimeWorkFileInCurrentDirectory() {
    auto decode = fn<MimeDecode>("MIMEDECODE");
    if (!decode) return;
    std::string dir = scratchDir();
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    SetCurrentDirectoryA(dir.c_str());
    writeFile(dir + "\\$$$$$$$$.$$$", "prepared");
    writeFile(dir + "\\msg.txt", "Subject: no name\n\nQUJD\n");
    // No part names an attachment: the working file takes the output's place.
    WT_EQ(decode("msg.txt", "out.bin"), 0);
    SetCurrentDirectoryA(old);
    WT_EQ(readFile(dir + "\\out.bin"), std::string("prepared"));
    WT_CHECK(!exists(dir + "\\$$$$$$$$.$$$"));
}

void uuBothWays() {
    auto uu = fn<UuEncode>("_UUENCODE@20");
    if (!uu) return;
    std::string dir = scratchDir();
    std::string data;
    for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
    writeFile(dir + "\\data.bin", data);
    WT_EQ(uu((dir + "\\data.bin").c_str(), "", "data.bin", dir.c_str(), 1), 0);
    // 1000 bytes are 23 lines: 13 in the first part, the rest in the second.
    WT_EQ(readFile(dir + "\\ncode.dat"), std::string("2\r\n"));
    std::string first = readFile(dir + "\\data.enc");
    WT_CHECK(first.compare(0, 50, "UUencode version 0.1 (Windows)\nbegin 644 data.bin\n") == 0);
    WT_CHECK(readFile(dir + "\\data.en2").compare(0, 26, "part 2\nbegin 644 data.bin\n") == 0);
    WT_EQ(uu((dir + "\\data.enc").c_str(), (dir + "\\copy.bin").c_str(), "", dir.c_str(), 0), 0);
    WT_EQ(readFile(dir + "\\copy.bin"), data);
}

Register r1("encode: MIME attachment both ways", mimeRoundTrip);
Register r2("encode: MIME working file in the current directory", mimeWorkFileInCurrentDirectory);
Register r3("encode: UU coder both ways with parts", uuBothWays);

}  // namespace
