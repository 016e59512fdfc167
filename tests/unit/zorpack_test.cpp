// zorpack against the real tools: byte for byte what `compress -b N` writes
// for 10 to 16 bits, expanded by uncompress and gzip -d, expanding what
// compress writes, and clean refusals of bad input and bad command lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "lzw.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;

namespace {

std::string program() { return "'" + test::binDir() + "/zorpack'"; }
std::string q(const std::string& path) { return "'" + path + "'"; }

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xff);
    return s;
}

std::string text(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> words;
    for (int i = 0; i < 2000; ++i) {
        std::string w;
        for (unsigned k = 0, len = 2 + rng() % 8; k < len; ++k) w.push_back(static_cast<char>('a' + rng() % 26));
        words.push_back(w);
    }
    std::string s;
    while (s.size() < n) {
        for (unsigned k = 0, count = 3 + rng() % 10; k < count; ++k) s += words[rng() % words.size()] + " ";
        s += "\n";
    }
    return s;
}

struct Input {
    const char* name;
    std::string bytes;
};

// Inputs that take every path of the coder: an empty table and a full one,
// the wider codes, and (text followed by noise) a falling ratio that clears
// the table.
std::vector<Input> inputs() {
    return {
        {"empty", ""},
        {"one", "x"},
        {"random", randomBytes(300000, 1)},
        {"text", text(1500000, 2)},
        {"runs", std::string(600000, 'a') + std::string(70000, 'b') + "c"},
        {"mixed", text(900000, 3) + randomBytes(400000, 4) + text(200000, 5)},
    };
}

struct Files {
    ScratchDir dir;
    std::string put(const std::string& name, const std::string& bytes) const {
        test::writeFile(dir.file(name), bytes);
        return dir.file(name);
    }
};

}  // namespace

TEST(Zorpack, WritesWhatCompressWritesAndExpandsIt) {
    Files f;
    for (const Input& in : inputs()) {
        std::string path = f.put(in.name, in.bytes);
        for (int bits = 10; bits <= 16; ++bits) {
            std::string b = " -b " + std::to_string(bits) + " ";
            ASSERT_EQ(test::runCommand("compress -f -c" + b + "< " + q(path) + " > " + q(path + ".ref")), 0);
            ASSERT_EQ(test::runCommand(program() + " -c" + b + q(path) + " > " + q(path + ".mine")), 0);
            std::string ref = test::readFile(path + ".ref");
            EXPECT_TRUE(ref == test::readFile(path + ".mine")) << in.name << " at " << bits << " bits";
            // What compress wrote expands again.
            test::writeFile(f.dir.file("x.z"), ref);
            std::remove(f.dir.file("x").c_str());
            ASSERT_EQ(test::runCommand(program() + " -d" + b + q(f.dir.file("x"))), 0);
            EXPECT_TRUE(test::readFile(f.dir.file("x")) == in.bytes) << in.name << " at " << bits << " bits";
        }
    }
}

TEST(Zorpack, EveryCodeSizeRoundTripsAndExpandsWithGzipAndUncompress) {
    Files f;
    for (const Input& in : inputs()) {
        std::string path = f.put(in.name, in.bytes);
        for (int bits = 9; bits <= 16; ++bits) {
            std::string b = std::to_string(bits);
            ASSERT_EQ(test::runCommand(program() + " -fk -b " + b + " " + q(path)), 0);
            EXPECT_TRUE(test::readFile(path) == in.bytes);  // kept
            std::string z = test::readFile(path + ".z");
            test::writeFile(f.dir.file("r.z"), z);
            std::remove(f.dir.file("r").c_str());
            ASSERT_EQ(test::runCommand(program() + " -d -b " + b + " " + q(f.dir.file("r"))), 0);
            EXPECT_TRUE(test::readFile(f.dir.file("r")) == in.bytes) << in.name << " at " << bits << " bits";
            ASSERT_EQ(test::runCommand("gzip -dc < " + q(path + ".z") + " > " + q(path + ".gz")), 0)
                << in.name << " at " << bits;
            EXPECT_TRUE(test::readFile(path + ".gz") == in.bytes) << in.name << " at " << bits << " bits";
            if (bits >= 10) {  // uncompress misreads any full 9-bit table
                ASSERT_EQ(test::runCommand("uncompress -c < " + q(path + ".z") + " > " + q(path + ".un")), 0);
                EXPECT_TRUE(test::readFile(path + ".un") == in.bytes) << in.name << " at " << bits << " bits";
            }
        }
    }
}

TEST(Zorpack, RejectsBadStreamsAndLeavesNoOutput) {
    Files f;
    std::string good = text(200000, 7);
    f.put("g", good);
    ASSERT_EQ(test::runCommand("compress -f -c -b 16 < " + q(f.dir.file("g")) + " > " + q(f.dir.file("g.Z"))), 0);
    std::string z = test::readFile(f.dir.file("g.Z"));
    std::string beyondTable = z.substr(0, 3) + std::string("\x41\x00\xff\x01", 4);  // 'A', then code 511 of 257
    std::string badBits = "\x1f\x9d\x91" + z.substr(3);
    std::string oddCut = z.substr(0, z.size() % 2 == 0 ? z.size() / 2 + 1 : z.size() / 2);  // inside a 16-bit code
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    for (const Case& c : {Case{"notz", "plain text\n", "not in compressed format"},
                          Case{"short", "\x1f\x9d", "unexpected end of compressed data"},
                          Case{"bits", badBits, "code size outside 9 to 16 bits"},
                          Case{"table", beyondTable, "corrupt input"},
                          Case{"cut", oddCut, "unexpected end of compressed data"}}) {
        f.put(std::string(c.name) + ".z", c.bytes);
        std::string err = f.dir.file("err");
        int rc = test::runCommand(program() + " -d -b 16 " + q(f.dir.file(c.name)) + " 2> " + q(err));
        EXPECT_EQ(rc, 1) << c.name;
        EXPECT_NE(test::readFile(err).find(c.message), std::string::npos) << c.name << ": " << test::readFile(err);
        EXPECT_FALSE(test::exists(f.dir.file(c.name))) << c.name;
        EXPECT_FALSE(test::exists(f.dir.file(std::string(c.name) + ".zp~"))) << c.name;
    }
}

TEST(Zorpack, CommandLine) {
    Files f;
    std::string path = f.put("batch", "some news\n");
    std::string err = " 2> " + q(f.dir.file("err"));
    // Backslashes separate directories, as the library writes them.
    std::string host = test::toHost(path);
    EXPECT_EQ(test::runCommand(program() + " -fk  -b 16 '" + host + "'"), 0);
    EXPECT_TRUE(test::exists(path + ".z"));
    // -f replaces an existing result; without it zorpack refuses.
    f.put("batch.z", "old");
    EXPECT_EQ(test::runCommand(program() + " -b 12 " + q(path) + err), 1);
    EXPECT_EQ(test::readFile(path + ".z"), "old");
    EXPECT_EQ(test::runCommand(program() + " -fk -b 12 " + q(path)), 0);
    EXPECT_NE(test::readFile(path + ".z"), "old");
    // Expanding into an existing file needs -f too.
    EXPECT_EQ(test::runCommand(program() + " -d -b 12 " + q(path) + err), 1);
    EXPECT_EQ(test::runCommand(program() + " -df -b 12 " + q(path)), 0);
    EXPECT_EQ(test::readFile(path), "some news\n");

    EXPECT_EQ(test::runCommand(program() + " -d -b 16 " + q(f.dir.file("missing")) + err), 1);
    EXPECT_NE(test::readFile(f.dir.file("err")).find("missing.z"), std::string::npos);
    for (const char* bad : {"-b 8", "-b 17", "-b x", "-q", "-b", ""}) {
        EXPECT_EQ(test::runCommand(program() + " " + bad + " " + (std::string(bad).empty() ? "" : q(path)) + err), 2)
            << bad;
    }
}

namespace {
// Hands out the bytes `step` at a time, as a pipe may.
struct Trickle : zorpack::Source {
    const std::string& s;
    size_t step, pos = 0;
    Trickle(const std::string& bytes, size_t n) : s(bytes), step(n) {}
    long read(unsigned char* buf, size_t n) override {
        size_t k = std::min({n, step, s.size() - pos});
        std::memcpy(buf, s.data() + pos, k);
        pos += k;
        return static_cast<long>(k);
    }
};
struct Collect : zorpack::Sink {
    std::string out;
    bool write(const unsigned char* b, size_t n) override {
        out.append(reinterpret_cast<const char*>(b), n);
        return true;
    }
};
}  // namespace

TEST(Zorpack, ReadSizesDoNotMatter) {
    std::string in = text(400000, 9) + randomBytes(100000, 10);
    for (int bits = 9; bits <= 16; ++bits) {
        Trickle whole(in, in.size());
        Collect z;
        ASSERT_EQ(zorpack::compress(whole, z, bits), zorpack::Status::Ok);
        for (size_t step : {size_t{1}, size_t{7}, size_t{65535}}) {
            Trickle src(z.out, step);
            Collect back;
            ASSERT_EQ(zorpack::expand(src, back), zorpack::Status::Ok) << bits << " " << step;
            EXPECT_TRUE(back.out == in) << bits << " " << step;
            Trickle again(in, step);
            Collect z2;
            ASSERT_EQ(zorpack::compress(again, z2, bits), zorpack::Status::Ok);
            EXPECT_TRUE(z2.out == z.out) << bits << " " << step;
        }
    }
}
