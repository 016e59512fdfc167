// The UU coder: the exact encoded lines, part files and their names, the
// count file, the overwrite question, decoding with repairs and alphabets,
// and the lines it prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "brem32.h"
#include "encode/uu.h"
#include "platform/fault.h"
#include "support/test_support.h"

using brem::test::ScratchDir;
namespace test = brem::test;
namespace fault = brem::plat::fault;
using brem::encode::UuCode;

namespace {

struct Recorder : brem::encode::UuConsole {
    std::string stdout_, stderr_, answers;
    void out(const std::string& t) override { stdout_ += t; }
    void err(const std::string& t) override { stderr_ += t; }
    int readChar() override {
        if (answers.empty()) return -1;
        int c = static_cast<unsigned char>(answers[0]);
        answers.erase(0, 1);
        return c;
    }
    bool said(const std::string& text) const { return stdout_.find(text) != std::string::npos; }
};

// Runs the coder in a scratch directory, which is also the current one: a
// decoded file without an output path lands there.
struct Coder {
    ScratchDir dir;
    Recorder con;
    std::string old;
    Coder() {
        char buf[4096];
        old = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir.path().c_str()), 0);
    }
    ~Coder() { (void)!chdir(old.c_str()); }
    std::string path(const std::string& name) const { return dir.file(name); }
    // A path as the coder shows it: it works on lower-cased paths.
    std::string shown(const std::string& name) const {
        std::string p = path(name);
        for (char& ch : p) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return p;
    }
    void run(const std::string& in, const std::string& out = "", const std::string& name = "", int32_t parts = 0) {
        con.stdout_.clear();
        UuCode(path(in), out.empty() ? "" : path(out), name, dir.path(), parts, con);
    }
    std::string read(const std::string& name) const { return test::readFile(path(name)); }
    void write(const std::string& name, const std::string& bytes) const { test::writeFile(path(name), bytes); }
};

std::string bytesOf(size_t n, int seed = 1) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + static_cast<size_t>(seed)) ^ (i >> 5));
    return s;
}

}  // namespace

TEST(UuEncode, ExactLinesCountFileAndProgress) {
    Coder c;
    c.write("abc.txt", "abc");
    c.run("abc.txt", "", "abc.txt");
    EXPECT_EQ(c.read("abc.enc"),
              "UUencode version 0.1 (Windows)\nbegin 644 abc.txt\n#86)C\n`\nend\n3 bytes\nencoded into 1 file(s)\n");
    EXPECT_EQ(c.read("ncode.dat"), "1\r\n");
    EXPECT_EQ(c.con.stdout_, "\nabc.txt --- UUencode ---> " + c.shown("abc.enc") + "\n");

    // 45 bytes: one full line, 'M' and 60 characters; no begin name: the
    // input's file name stands in the begin line.
    c.write("full.bin", std::string(45, '\xff'));
    c.run("full.bin");
    EXPECT_EQ(c.read("full.enc"), "UUencode version 0.1 (Windows)\nbegin 644 full.bin\nM" + std::string(60, '_') +
                                      "\n`\nend\n45 bytes\nencoded into 1 file(s)\n");
    // An output path given with another extension gets .enc.
    c.run("abc.txt", "report.doc", "x");
    EXPECT_TRUE(test::exists(c.path("report.enc")));
    EXPECT_FALSE(test::exists(c.path("report.doc")));
}

TEST(UuEncode, PartFilesAndTheirNames) {
    Coder c;
    // 13 data lines a part with part size 1; 12 parts and a bit.
    std::string data = bytesOf(45 * 13 * 11 + 100);
    c.write("big.dat", data);
    c.run("big.dat", "", "big.dat", 1);
    EXPECT_EQ(c.read("ncode.dat"), "12\r\n");
    std::vector<std::string> expect = {"big.dat", "big.e10", "big.e11", "big.e12", "big.en2", "big.en3", "big.en4",
                                       "big.en5", "big.en6", "big.en7", "big.en8", "big.en9", "big.enc", "ncode.dat"};
    EXPECT_EQ(test::listDir(c.dir.path()), expect);
    std::string second = c.read("big.en2");
    EXPECT_EQ(second.substr(0, 25), "part 2\nbegin 644 big.dat\n");
    EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 2 + 13);
    EXPECT_TRUE(c.con.said("        --- UUencode ---> " + c.shown("big.en2") + "\n"));
    // Decoding follows the parts back to the whole.
    c.run("big.enc", "copy.dat");
    EXPECT_EQ(c.read("copy.dat"), data);
    EXPECT_TRUE(c.con.said(c.shown("big.e12") + " --- UUdecode --->\n"));

    // Data that end exactly at a part boundary: the next part holds only its
    // opening lines and the closing ones.
    Coder e;
    e.write("x.dat", bytesOf(45 * 13));
    e.run("x.dat", "", "x", 1);
    EXPECT_EQ(e.read("x.en2"), "part 2\nbegin 644 x\n`\nend\n585 bytes\nencoded into 2 file(s)\n");
}

TEST(UuEncode, NeverReusesAPartName) {
    Coder c;
    c.write("h.dat", bytesOf(45 * 13 * 99 + 1));
    c.run("h.dat", "", "h", 1);
    EXPECT_TRUE(c.con.said("Wexo Windows error: more than 99 part files needed for " + c.shown("h.dat") + ".\n"));
    EXPECT_TRUE(test::exists(c.path("h.e99")));
    // The first part keeps what it was given; no count is left for parts
    // that do not hold the whole file.
    EXPECT_EQ(c.read("h.enc").substr(0, 31), "UUencode version 0.1 (Windows)\n");
    EXPECT_FALSE(test::exists(c.path("ncode.dat")));
    EXPECT_EQ(test::listDir(c.dir.path()).size(), 100u);
}

TEST(UuEncode, OverwriteQuestion) {
    Coder c;
    c.write("a.txt", "abc");
    c.write("a.enc", "old");
    c.con.answers = "xn";
    c.run("a.txt");
    EXPECT_EQ(c.con.stderr_, c.shown("a.enc") + " already exists, overwrite (Y/N)? ");
    EXPECT_EQ(c.con.stdout_, "Wexo Windows error: " + c.shown("a.enc") + " not overwritten.\n");
    EXPECT_EQ(c.read("a.enc"), "old");
    c.con.answers = "y";
    c.run("a.txt");
    EXPECT_NE(c.read("a.enc"), "old");
    // The end of standard input answers yes.
    c.write("a.enc", "old");
    c.run("a.txt");
    EXPECT_NE(c.read("a.enc"), "old");
}

TEST(UuEncode, WriteFailuresAreReported) {
    Coder c;
    c.write("w.dat", bytesOf(100000));
    c.write("ncode.dat", "7\r\n");
    fault::armDiskFull(3000);
    c.run("w.dat");
    fault::disarm();
    EXPECT_TRUE(c.con.said("error: write error on output file.\n"));
    // No count is written for a cut output.
    EXPECT_EQ(c.read("ncode.dat"), "7\r\n");
    Coder d;
    d.run("missing.txt");
    EXPECT_EQ(d.con.stdout_, "Wexo Windows error: cannot open input file " + d.shown("missing.txt") + ".\n");
}

TEST(UuDecode, DirectionFromTheExtension) {
    Coder c;
    std::string enc = "begin 644 out.bin\nM" + std::string(60, '!') + "\n`\nend\n";
    c.write("data.uue", enc);
    c.run("data.uue");
    EXPECT_EQ(c.read("out.bin").size(), 45u);
    c.write("DATA.ENC", enc);
    c.run("DATA.ENC", "one.bin");
    EXPECT_EQ(c.read("one.bin").size(), 45u);
    c.run("data", "two.bin");  // no extension: data.enc, found case-blind
    EXPECT_EQ(c.read("two.bin").size(), 45u);
    c.write("plain.txt", "abc");
    c.run("plain.txt");
    EXPECT_TRUE(test::exists(c.path("plain.enc")));
}

TEST(UuDecode, CrLfAndMessages) {
    Coder c;
    std::string data = bytesOf(100);
    c.write("d.dat", data);
    c.run("d.dat", "", "d.bin");
    std::string enc = c.read("d.enc"), crlf;
    for (char ch : enc) {
        if (ch == '\n') crlf += '\r';
        crlf += ch;
    }
    c.write("crlf.enc", crlf);
    c.run("crlf.enc", "d.out");
    EXPECT_EQ(c.read("d.out"), data);
    EXPECT_EQ(c.con.stdout_, "Wexo Windows warning: " + c.shown("crlf.enc") + " specified outfile as d.bin.\n\n" +
                                 c.shown("crlf.enc") + " --- UUdecode ---> " + c.shown("d.out") + " \n");
    // A first data line shorter than 45 bytes: the method is not recognised,
    // and the bytes decode all the same.
    c.write("short.enc", "begin 644 s\n#86)C\n`\nend\n");
    c.run("short.enc", "s.out");
    EXPECT_EQ(c.read("s.out"), "abc");
    EXPECT_TRUE(c.con.said("Wexo Windows " + c.shown("short.enc") + " (2) error: unknown encoding method.\n"));
    // Output and input the same.
    c.run("short.enc", "short.enc");
    EXPECT_TRUE(c.con.said("error: input and output filename must differ.\n"));
    c.write("empty.enc", "no begin here\n");
    c.run("empty.enc");
    EXPECT_TRUE(c.con.said("error: nothing to decode in file " + c.shown("empty.enc") + ".\n"));
}

TEST(UuDecode, Repairs) {
    Coder c;
    std::string data = bytesOf(135);
    c.write("r.dat", data);
    c.run("r.dat", "", "r");
    std::string enc = c.read("r.enc");
    size_t second = enc.find("\nM", enc.find("\nM") + 1) + 1;  // the second data line

    // A full line broken in two by a stray line break is glued.
    std::string glued = enc;
    glued.insert(second + 20, "\n");
    c.write("g.enc", glued);
    c.run("g.enc", "g.out");
    EXPECT_EQ(c.read("g.out"), data);
    EXPECT_TRUE(c.con.said(c.shown("g.enc") + " (4) warning: unexpected line break - glued.\n"));

    // Stray bytes are skipped.
    std::string stray = enc;
    stray.insert(second + 10, "\x01");
    stray.insert(second + 30, "\x7f");
    c.write("s.enc", stray);
    c.run("s.enc", "s.out");
    EXPECT_EQ(c.read("s.out"), data);
    EXPECT_TRUE(c.con.said("warning: skipped illegal character 0x1.\n"));
    EXPECT_TRUE(c.con.said("warning: skipped illegal character '\x7f'.\n"));

    // Extra characters at the end of a full line.
    std::string extra = enc;
    extra.insert(second + 61, "MM");
    c.write("e.enc", extra);
    c.run("e.enc", "e.out");
    EXPECT_EQ(c.read("e.out"), data);
    EXPECT_TRUE(c.con.said("warning: end of line expected.\n"));

    // A short line cut shorter is completed with zero values; what was read
    // past its end is the next line's and is still decoded as such.
    c.write("t.dat", data.substr(0, 100));
    c.run("t.dat", "", "t");
    std::string cut = c.read("t.enc");
    size_t last = cut.find("\n*") + 1;  // the line of the last 10 bytes
    cut.erase(last + 12, 5);  // 11 of 16 characters left
    c.write("c.enc", cut);
    c.run("c.enc", "c.out");
    std::string out = c.read("c.out");
    ASSERT_EQ(out.size(), 100u);
    EXPECT_EQ(out.substr(0, 98), data.substr(0, 98));
    EXPECT_TRUE(c.con.said("warning: unexpected end of line.\n"));
    EXPECT_FALSE(c.con.said("end line not found"));
    EXPECT_FALSE(c.con.said("file size different"));
}

TEST(UuDecode, MissingEndLooksForTheNextPart) {
    Coder c;
    c.write("x.enc", "begin 644 x\nM" + std::string(60, '!') + "\n");
    c.run("x.enc", "x.out");
    EXPECT_EQ(c.read("x.out").size(), 45u);
    EXPECT_TRUE(c.con.said(c.shown("x.en2") + " --- UUdecode --->\nWexo Windows error: cannot open input file " +
                           c.shown("x.en2") + ".\n"));
    // A second part without its begin line: its first data line is taken.
    c.write("x.en2", "part 2\nM" + std::string(60, '!') + "\n#86)C\n`\nend\n93 bytes\n");
    std::string firstPart = c.read("x.out");
    c.run("x.enc", "x.out");
    EXPECT_EQ(c.read("x.out"), firstPart + firstPart + "abc");
    EXPECT_TRUE(c.con.said("warning: line starting with 'M' found before \"begin\".\n"));
    EXPECT_FALSE(c.con.said("size different"));
    // End line checks.
    c.write("y.enc", "begin 644 y\n#86)C\n`\nfin\n");
    c.run("y.enc", "y.out");
    EXPECT_TRUE(c.con.said("warning: end line not found.\n"));
    c.write("z.enc", "begin 644 z\n#86)C\n`\nend\n4 bytes\n");
    c.run("z.enc", "z.out");
    EXPECT_TRUE(c.con.said("Wexo Windows warning: file size different.\n"));
}

TEST(UuDecode, AlphabetsFromTheInput) {
    // XX: "+-0-9A-Za-z", the full line 'h'.
    const std::string xx = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string data = bytesOf(50);
    auto xxLine = [&](const std::string& bytes) {
        std::string l(1, xx[bytes.size()]);
        for (size_t i = 0; i < bytes.size(); i += 3) {
            unsigned b0 = static_cast<unsigned char>(bytes[i]);
            unsigned b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            unsigned b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
            l += xx[b0 >> 2];
            l += xx[((b0 << 4) | (b1 >> 4)) & 63];
            l += xx[((b1 << 2) | (b2 >> 6)) & 63];
            l += xx[b2 & 63];
        }
        return l + "\n";
    };
    std::string body = "begin 644 x.bin\n" + xxLine(data.substr(0, 45)) + xxLine(data.substr(45)) + "+\nend\n";
    Coder c;
    c.write("t.xxe", "table\n" + xx.substr(0, 32) + "\n" + xx.substr(32) + "\n" + body);
    c.run("t.xxe");
    EXPECT_EQ(c.read("x.bin"), data);
    EXPECT_FALSE(c.con.said("error"));
    c.write("m.xxe", "charmap " + xx + "\n" + body);
    c.run("m.xxe", "m.bin");
    EXPECT_EQ(c.read("m.bin"), data);
    // A character twice in the table keeps its first place.
    std::string dup = xx;
    dup[63] = '+';
    c.write("d.xxe", "table\n" + dup.substr(0, 32) + "\n" + dup.substr(32) + "\n" + body);
    c.run("d.xxe", "d.bin");
    EXPECT_TRUE(c.con.said("error: character + already defined in table.\n"));
    // An alphabet with bytes above 0x7f cannot be the line format's: plain UU
    // is used instead.
    std::string high = xx;
    high[10] = '\xe9';
    c.write("h.xxe", "table\n" + high.substr(0, 32) + "\n" + high.substr(32) + "\nbegin 644 h\n#86)C\n`\nend\n");
    c.run("h.xxe", "h.bin");
    EXPECT_TRUE(c.con.said("error: unknown encoding method.\n"));
    EXPECT_EQ(c.read("h.bin"), "abc");
}

TEST(UuDecode, BeginNameIsTakenAsAFileNameOnly) {
    Coder c;
    c.write("p.enc", "begin 644 ..\\..\\evil.txt\n#86)C\n`\nend\n");
    c.run("p.enc");
    EXPECT_EQ(c.read("evil.txt"), "abc");
}

TEST(UuExport, AlwaysReturnsZero) {
    ScratchDir d;
    EXPECT_EQ(UUENCODE(d.file("nothing.txt").c_str(), "", "", d.path().c_str(), 0), 0);
    EXPECT_EQ(UUENCODE(nullptr, nullptr, nullptr, nullptr, 0), 0);
}
