// How news import takes a job in: the execute file read as mail import reads
// it, and the batch taken for what its first line says it is, whatever bit
// count the host passed. What counts is what is on disk afterwards: every
// article filed once, or the job still waiting; never a batch lost.
#include <gtest/gtest.h>

#include <string>

#include "brem32.h"
#include "support/test_support.h"

using namespace brem;

namespace {

std::string article(int i) {
    return "From: ann\nNewsgroups: rec.arts\nSubject: article " + std::to_string(i) + "\nMessage-ID: <" +
           std::to_string(i) + "@x>\n\nbody " + std::to_string(i) + "\n";
}
std::string rnews(const std::string& a) { return "#! rnews " + std::to_string(a.size()) + "\n" + a; }

struct NewsSpool {
    test::ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");

    NewsSpool() { test::writeFile(store + "/area.dat", "rec.arts\n3\n"); }
    void put(const std::string& name, const std::string& bytes) { test::writeFile(spool + "/" + name, bytes); }
    int32_t import(int32_t bits) {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool));
        std::vector<char> st = test::hostBuffer(test::toHost(store));
        return IMPNEWS(sp.data(), st.data(), "newshost", "mybox", 0, bits);
    }
    std::string area() const { return test::readFile(store + "/area3.txt"); }
    std::vector<std::string> files() const { return test::listDir(spool); }
    std::string compressed(const std::string& plain, int bits) const {
        test::writeFile(root.file("plain"), plain);
        EXPECT_EQ(test::runCommand("compress -f -c -b " + std::to_string(bits) + " < '" + root.file("plain") +
                                   "' > '" + root.file("plain.Z") + "'"),
                  0);
        return "#! cunbatch\n" + test::readFile(root.file("plain.Z"));
    }
};

using Files = std::vector<std::string>;

}  // namespace

TEST(NewsIntake, CommandLineWithSmallLettersIsANewsJob) {
    NewsSpool s;
    s.put("2C00f7.X", "U news newshost\nf D.newshostA1234\r\nc rnews\n");
    s.put("0A1234.D", rnews(article(1)));
    EXPECT_EQ(s.import(0), 0);
    EXPECT_EQ(s.area(), "\n" + article(1));
    EXPECT_EQ(s.files(), (Files{"$7b60051", "$7b60051.int", "Header.Msg"}));
}
