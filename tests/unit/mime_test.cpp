// MIME attachments through MIMEENCODE and MIMEDECODE: the exact encoded
// form, the sections of a message, the name rule and the working file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "brem32.h"
#include "platform/fault.h"
#include "support/test_support.h"

using brem::test::ScratchDir;
namespace test = brem::test;
namespace fault = brem::plat::fault;

namespace {

const char* kWork = "$$$$$$$$.$$$";

std::string header(const std::string& name) {
    return "Content-Type: application/octet-stream; charset=us-ascii; name=\"" + name +
           "\"\nContent-Disposition: attachment; filename=\"" + name + "\"\nContent-transfer-encoding: base64\n\n";
}

// Base64 by the bit accumulator, one character at a time: an independent
// account of the form the encoder must produce.
std::string reference(const std::string& bytes) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string chars;
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
        acc = (acc << 8) | c;
        bits += 8;
        while (bits >= 6) chars.push_back(a[(acc >> (bits -= 6)) & 63]);
    }
    if (bits == 2) chars += std::string(1, a[(acc << 4) & 63]) + "==";
    if (bits == 4) chars += std::string(1, a[(acc << 2) & 63]) + "=";
    std::string out;
    for (size_t i = 0; i < chars.size(); i += 60) out += chars.substr(i, 60) + "\n";
    return out;
}

// Runs in a scratch directory as the current one, for the working file.
struct InScratch {
    ScratchDir dir;
    std::string old;
    InScratch() {
        char buf[4096];
        old = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir.path().c_str()), 0);
    }
    ~InScratch() { (void)!chdir(old.c_str()); }
    int32_t decode(const std::string& message, const char* out = "out.bin") {
        test::writeFile("msg.txt", message);
        return MIMEDECODE("msg.txt", out);
    }
};

const char* kSinglePart =
    "From: a\nContent-Type: application/octet-stream; name=\"a.bin\"\nContent-Transfer-Encoding: base64\n\n"
    "aGVsbG8gd29ybGQ=\n\n";

}  // namespace

TEST(MimeEncode, ExactFormFromZeroTo46Bytes) {
    ScratchDir d;
    std::string bytes;
    for (int n = 0; n <= 46; ++n) {
        test::writeFile(d.file("in"), bytes);
        ASSERT_EQ(MIMEENCODE(d.file("in").c_str(), d.file("out").c_str(), "x.bin"), 0);
        EXPECT_EQ(test::readFile(d.file("out")), header("x.bin") + reference(bytes)) << n << " bytes";
        bytes.push_back(static_cast<char>(0xF1 - 37 * n));
    }
    test::writeFile(d.file("in"), "abc");
    MIMEENCODE(d.file("in").c_str(), d.file("out").c_str(), "say \"hi\"");
    EXPECT_EQ(test::readFile(d.file("out")), header("say \"hi\"") + "YWJj\n");
    // 44 bytes fill one line exactly, its pad included.
    test::writeFile(d.file("in"), std::string(44, 'z'));
    MIMEENCODE(d.file("in").c_str(), d.file("out").c_str(), "x");
    std::string body = test::readFile(d.file("out")).substr(header("x").size());
    EXPECT_EQ(body.size(), 61u);
    EXPECT_EQ(body.substr(58), "o=\n");
}

TEST(MimeEncode, LargeInputRoundTripsThroughTheDecoder) {
    ScratchDir d;
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>((i * 131) ^ (i >> 7)));
    test::writeFile(d.file("in"), bytes);
    ASSERT_EQ(MIMEENCODE(d.file("in").c_str(), d.file("mime").c_str(), "big"), 0);
    EXPECT_EQ(test::readFile(d.file("mime")), header("big") + reference(bytes));
    test::writeFile(d.file("msg"), "Subject: s\n" + test::readFile(d.file("mime")));
    ASSERT_EQ(MIMEDECODE(d.file("msg").c_str(), d.file("back").c_str()), 0);
    EXPECT_EQ(test::readFile(d.file("back")), bytes);
}

TEST(MimeEncode, FailuresLeaveNoOutput) {
    ScratchDir d;
    EXPECT_EQ(MIMEENCODE(d.file("missing").c_str(), d.file("out").c_str(), "x"), -1);
    EXPECT_FALSE(test::exists(d.file("out")));
    test::writeFile(d.file("in"), std::string(100000, 'q'));
    EXPECT_EQ(MIMEENCODE(d.file("in").c_str(), d.file("nodir/out").c_str(), "x"), -1);
    // A full disk is a failure, and the cut body is not left behind.
    fault::armDiskFull(5000);
    EXPECT_EQ(MIMEENCODE(d.file("in").c_str(), d.file("out").c_str(), "x"), -1);
    fault::disarm();
    EXPECT_FALSE(test::exists(d.file("out")));
    EXPECT_EQ(test::readFile(d.file("in")), std::string(100000, 'q'));
}

TEST(MimeDecode, SinglePartNamedAttachment) {
    InScratch s;
    test::writeFile(kWork, "work");
    EXPECT_EQ(s.decode(kSinglePart), 0);
    EXPECT_EQ(test::readFile("out.bin"), "hello world");
    EXPECT_EQ(test::readFile(kWork), "work");  // untouched
    // When the name is the output itself, the output gives way to the
    // working file at the end.
    std::string unpadded = kSinglePart;
    unpadded.replace(unpadded.find("aGVsbG8gd29ybGQ="), 16, "aGVsbG8gd29y");
    EXPECT_EQ(s.decode(unpadded, "a.bin"), 0);
    EXPECT_EQ(test::readFile("a.bin"), "work");
    EXPECT_FALSE(test::exists(kWork));
}

TEST(MimeDecode, PadAndInvalidBytesEndTheBody) {
    InScratch s;
    EXPECT_EQ(s.decode("Content-Type: x; name=q\n\nQQ==\nQkJC\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), "A");
    EXPECT_EQ(s.decode("Content-Type: x; name=q\n\nQUJD\nRE*FRg\nR0hJ\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), "ABCD");
    // Text mode: CR LF reads as LF and 0x1A ends the input.
    EXPECT_EQ(s.decode("Content-Type: x; name=q\r\n\r\nQUJD\r\nREVG\r\n\x1aR0hJ\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), "ABCDEF");
}

TEST(MimeDecode, MultipartTakesOnlyTheFirstBase64Attachment) {
    InScratch s;
    const char* msg =
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"XX\"\n\n--XX\n"
        "Content-Type: text/plain\nContent-Transfer-Encoding: 7bit\n\nHello\nthere\n\n--XX\n"
        "Content-Type: application/octet-stream; name=\"first.bin\"\nContent-Transfer-Encoding: base64\n\n"
        "Zmlyc3Q=\n\n--XX\n"
        "Content-Type: application/octet-stream; name=\"second.bin\"\nContent-Transfer-Encoding: base64\n\n"
        "c2Vjb25k\n\n--XX--\n";
    EXPECT_EQ(s.decode(msg), 0);
    EXPECT_EQ(test::readFile("out.bin"), "first");
    // Without a transfer encoding, a line of letters is taken for base64 and
    // ends the first section: the attachment after it is not written.
    EXPECT_EQ(s.decode("Content-Type: text/plain; name=notes\n\nHelloBob\n\nContent-Type: x; name=z\nContent-Transfer-Encoding: base64\n\n"
                       "Zmlyc3Q=\n"),
              0);
    EXPECT_EQ(test::readFile("out.bin"), std::string("\x1d\xe9\x65\xa0\x1a\x1b", 6));
}

TEST(MimeDecode, LongLinesArriveInPieces) {
    InScratch s;
    std::string plain(300, '\0');
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 11 + 3);
    std::string b64 = reference(plain);
    std::string oneLine;
    for (char c : b64) if (c != '\n') oneLine.push_back(c);
    EXPECT_EQ(s.decode("Content-Type: x; name=q\nContent-Transfer-Encoding: base64\n\n" + oneLine + "\n\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), plain);
    // The second 79-byte piece begins with a blank: the body ends there.
    std::string line = std::string(79, 'A') + " AAAA\n";
    EXPECT_EQ(s.decode("Content-Type: x; name=q\n\n" + line), 0);
    EXPECT_EQ(test::readFile("out.bin").size(), 59u);
}

// The message is read in blocks: the text-mode rules hold across their
// edges. CR LF line ends throughout, and the byte count is chosen so that a
// CR falls on the last byte of the first 64 KB block; a 0x1A after the body
// ends the input, so the base64 behind it is never read.
TEST(MimeDecode, BlocksOfTextModeInput) {
    InScratch s;
    std::string plain(120000, '\0');
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>((i * 131) ^ (i >> 7));
    std::string head = "Content-Type: x; name=q\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    std::string body;
    std::string b64 = reference(plain);
    for (size_t i = 0; i < b64.size(); ++i) body += b64[i] == '\n' ? std::string("\r\n") : std::string(1, b64[i]);
    // Body lines are 60 characters and CR LF: the 901st CR lands on the last
    // byte of the first block when the body starts at 65535 - 60 - 62 * 900.
    const size_t bodyAt = 65535 - 60 - 62 * 900;
    std::string message = "X-Pad: " + std::string(bodyAt - head.size() - 9, '-') + "\r\n" + head + body;
    ASSERT_EQ(message[65535], '\r');
    EXPECT_EQ(s.decode(message + "\r\n\x1a" + "QUJD\r\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), plain);
}

TEST(MimeDecode, UnseenNamesKeepTheWorkingFileRule) {
    InScratch s;
    // A TAB after the colon ends the examination: the name is not seen.
    test::writeFile(kWork, "work");
    EXPECT_EQ(s.decode("Content-Type:\tx; name=a.bin\n\nQUJD\n\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), "work");
    // A name on a folded line is not seen either; with no working file the
    // output is removed.
    EXPECT_EQ(s.decode("Content-Type: x;\n name=a.bin\n\nQUJD\n\n"), 0);
    EXPECT_FALSE(test::exists("out.bin"));
    // "Content" is taken for Content-Type.
    EXPECT_EQ(s.decode("Content: x; name=a.bin\n\nQUJD\n\n"), 0);
    EXPECT_EQ(test::readFile("out.bin"), "ABC");
    // An empty message: one empty section, the output is given up.
    test::writeFile(kWork, "work");
    EXPECT_EQ(s.decode(""), 0);
    EXPECT_EQ(test::readFile("out.bin"), "work");
}

TEST(MimeDecode, LaterPartNamingTheGivenUpOutputFails) {
    InScratch s;
    const char* msg = "Subject: s\n\nQUJD\n\nContent-Type: x; name=out.bin\n\nREVG\n\n";
    EXPECT_EQ(s.decode(msg), -1);
    EXPECT_EQ(test::readFile("out.bin"), "ABC");
}

TEST(MimeDecode, TheWholeOutputPathIsCompared) {
    InScratch s;
    // A `name` without a value compares the output path itself, cut at its
    // first delimiter: here more than 79 characters, every one a word
    // character, so the whole path is the name and the output gives way.
    std::string dir = std::string(90, 'd');
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    std::string out = dir + "/a.bin";
    test::writeFile(kWork, "work");
    EXPECT_EQ(s.decode("Content-Type: x; name\n\nQUJD\n\n", out.c_str()), 0);
    EXPECT_EQ(test::readFile(out), "work");
    // Cut at the '_', the path names another file: the output stays.
    out = dir + "/a_b.bin";
    test::writeFile(kWork, "work");
    EXPECT_EQ(s.decode("Content-Type: x; name\n\nQUJD\n\n", out.c_str()), 0);
    EXPECT_EQ(test::readFile(out), "ABC");
}

TEST(MimeDecode, OpenAndWriteFailures) {
    InScratch s;
    EXPECT_EQ(MIMEDECODE("missing.txt", "out.bin"), -1);
    EXPECT_FALSE(test::exists("out.bin"));
    test::writeFile("msg.txt", kSinglePart);
    EXPECT_EQ(MIMEDECODE("msg.txt", "nodir/out.bin"), -1);
    fault::arm(fault::Op::Write, 1, true);
    EXPECT_EQ(MIMEDECODE("msg.txt", "out.bin"), -1);
    fault::disarm();
    EXPECT_FALSE(test::exists("out.bin"));
    EXPECT_EQ(test::readFile("msg.txt"), kSinglePart);
}

TEST(MimeSafety, AnOutputNamingTheInputIsRefusedAndTheInputKept) {
    brem::test::ScratchDir d;
    std::string msg = "Content-Type: application/octet-stream; name=\"x\"\nContent-Transfer-Encoding: base64\n\nQUJD\n";
    brem::test::writeFile(d.file("m.txt"), msg);
    std::string in = d.hostPath() + "\\m.txt";
    std::string sameByOtherName = d.hostPath() + "\\.\\M.TXT";
    EXPECT_EQ(MIMEDECODE(in.c_str(), sameByOtherName.c_str()), -1);
    EXPECT_EQ(brem::test::readFile(d.file("m.txt")), msg);
    EXPECT_EQ(MIMEENCODE(in.c_str(), sameByOtherName.c_str(), "x"), -1);
    EXPECT_EQ(brem::test::readFile(d.file("m.txt")), msg);
}
