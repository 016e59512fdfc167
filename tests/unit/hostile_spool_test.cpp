// The spool as a remote site may fill it. First one short case for each way
// in that was found open (planted links, names that lead out of the spool,
// jobs that name themselves, corrupt and expanding batches, FIFOs, control
// bytes in headers) and for each name the local side puts into a job; then
// the property the whole import keeps, over generated spools: whatever the
// spool holds, nothing outside it changes, every good job is stored exactly
// once, every bad one waits whole in bad/, and no call blocks or grows.
//
// The property's spools: BREM_HOSTILE_SPOOLS (default 200) from the seed
// BREM_HOSTILE_SEED (default 1); scripts/fuzz-long.sh runs many more.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "brem32.h"
#include "lzw.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/fault.h"
#endif

using namespace brem;
namespace fs = std::filesystem;

namespace {

const std::string kSecret = "From: owner\nSubject: outside\n\nSECRET-OUTSIDE\n";

std::string rnews(const std::string& article) { return "#! rnews " + std::to_string(article.size()) + "\n" + article; }

std::string article(const std::string& marker) {
    return "From: ann\nNewsgroups: rec.test\nSubject: " + marker + "\n\nbody " + marker + "\n";
}

std::string mailExecute(const std::string& dataName, const std::string& to = "user@mybox") {
    return "U uucp hub\nF " + dataName + "\nI " + dataName + "\nC rmail " + to + "\n";
}

std::string newsExecute(const std::string& dataName) {
    return "U news hub\nF " + dataName + "\nI " + dataName + "\nC rnews\n";
}

// A batch compressed as a peer's compress sends it, behind its "#! cunbatch"
// line.
std::string cunbatch(const std::string& plain) {
    struct From : zorpack::Source {
        const std::string& s;
        size_t pos = 0;
        explicit From(const std::string& bytes) : s(bytes) {}
        long read(unsigned char* buf, size_t n) override {
            n = std::min(n, s.size() - pos);
            std::memcpy(buf, s.data() + pos, n);
            pos += n;
            return static_cast<long>(n);
        }
    } in(plain);
    struct To : zorpack::Sink {
        std::string out = "#! cunbatch\n";
        bool write(const unsigned char* b, size_t n) override {
            out.append(reinterpret_cast<const char*>(b), n);
            return true;
        }
    } out;
    EXPECT_EQ(zorpack::compress(in, out, 16), zorpack::Status::Ok);
    return out.out;
}

// A link; false where the system will not make one.
bool makeLink(const std::string& target, const std::string& link) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1)) ++n;
    return n;
}

// A spool and a store beside a tree outside both that nothing may touch.
struct Site {
    test::ScratchDir root;
    std::string spool = root.subdir("spool");
    std::string store = root.subdir("store");
    std::string outside = root.subdir("outside");

    Site() {
        test::writeFile(store + "/area.dat", "rec.test\n3\n");
        test::writeFile(outside + "/secret", kSecret);
    }
    void put(const std::string& name, const std::string& bytes) const { test::writeFile(spool + "/" + name, bytes); }
    int32_t mail() const {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool)), st = test::hostBuffer(test::toHost(store));
        return IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0);
    }
    int32_t news(int32_t bits = 0) const {
        std::vector<char> sp = test::hostBuffer(test::toHost(spool)), st = test::hostBuffer(test::toHost(store));
        return IMPNEWS(sp.data(), st.data(), "hub", "mybox", 0, bits);
    }
    std::string bad(const std::string& name) const { return spool + "/bad/" + name; }
    bool inBad(const std::string& name) const { return fs::symlink_status(bad(name)).type() != fs::file_type::not_found; }
    std::string log(const char* name) const { return test::readFile(store + "/" + name); }
};

using Files = std::vector<std::string>;

}  // namespace

// Links planted where the news import makes its working files are removed,
// never written through, and a data file that is a link is set aside.
TEST(HostileSpool, PlantedLinksAreNeverFollowed) {
    Site s;
    const std::string target = s.outside + "/secret";
    if (!makeLink(target, s.spool + "/$7b60051.tmp")) GTEST_SKIP() << "no links here";
    makeLink(target, s.spool + "/$7b60051.z");
    makeLink(target, s.spool + "/$7b60051.zp~");
    s.put("0C0001.X", newsExecute("D.hubA0001"));
    s.put("0A0001.D", cunbatch(rnews(article("n1"))));
    EXPECT_EQ(s.news(16), 0) << s.log("news.log");
    EXPECT_EQ(count(test::readFile(s.store + "/area3.txt"), "body n1"), 1u);

    // A mail whose data file is a link to a file outside the spool.
    s.put("0C0002.X", mailExecute("D.hubB0002"));
    makeLink(target, s.spool + "/0B0002.D");
    EXPECT_EQ(s.mail(), -1);
    EXPECT_TRUE(s.inBad("0C0002.X"));
    EXPECT_EQ(fs::read_symlink(s.bad("0B0002.D")).string(), target);
    EXPECT_EQ(test::readFile(target), kSecret);
    EXPECT_EQ(count(test::readFile(s.store + "/mailarea.txt"), "SECRET"), 0u);
}

#ifdef _WIN32
// A reparse point (a link or junction that a program on the machine made)
// is refused as a link is. Wine makes none and shows a Unix link as a plain
// file, so the Windows layer is made to see the attribute on plain files.
TEST(HostileSpool, AReparsePointIsSetAsideAsALink) {
    Site s;
    s.put("0C0001.X", mailExecute("D.hubA0001"));
    s.put("0A0001.D", "From: a\n\nbody linked\n");
    s.put("0C0002.X", newsExecute("D.hubB0002"));
    s.put("0B0002.D", rnews(article("n2")));
    plat::fault::armAttributes("0A0001.D", FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(s.mail(), -1);
    plat::fault::armAttributes("0C0002.X", FILE_ATTRIBUTE_REPARSE_POINT);
    int32_t r = 0;
    for (int calls = 0; calls < 4 && r != 1; ++calls) r = s.news();
    EXPECT_EQ(r, 1);
    EXPECT_GE(plat::fault::fired(), 2);
    plat::fault::disarm();
    EXPECT_EQ(test::listDir(s.spool + "/bad"), (Files{"0A0001.D", "0C0001.X", "0C0002.X"}));
    EXPECT_EQ(count(test::readFile(s.store + "/mailarea.txt"), "linked"), 0u);
    EXPECT_EQ(count(test::readFile(s.store + "/area3.txt"), "body n2"), 0u);
    EXPECT_NE(s.log("mail.log").find("is a link"), std::string::npos) << s.log("mail.log");
}
#endif

// A name that is no plain file name is never joined to the spool's path.
TEST(HostileSpool, NamesThatLeadOutOfTheSpoolArePassedOver) {
    if (!test::posixFileSystem()) GTEST_SKIP() << "such names cannot be made here";
    test::ScratchDir root;
    const std::string spool = root.subdir("s1"), deep = spool + "/s2", store = root.subdir("store");
    fs::create_directory(deep);
    fs::create_directory(root.file("o3"));
    test::writeFile(root.file("o3/job.x"), "");
    test::writeFile(root.file("o3/job.D"), kSecret);
    test::writeFile(deep + "/..\\..\\o3\\job.x", "");
    test::writeFile(deep + "/CON.x", mailExecute("D.hubA0001"));
    std::vector<char> sp = test::hostBuffer(test::toHost(deep)), st = test::hostBuffer(test::toHost(store));
    EXPECT_EQ(IMPMAIL(sp.data(), st.data(), "hub", "mybox", 0), -1);
    EXPECT_EQ(test::readFile(root.file("o3/job.D")), kSecret);
    EXPECT_TRUE(test::exists(root.file("o3/job.x")));
    EXPECT_EQ(test::listDir(deep), (Files{"..\\..\\o3\\job.x", "CON.x"}));
    EXPECT_NE(test::readFile(store + "/mail.log").find("Passed over ..\\..\\o3\\job.x: not a plain file name"),
              std::string::npos);
}

// Jobs that can never be filed (naming themselves, corrupt or expanding
// past the limit, an execute file far too large) are set aside whole; each
// call that meets one fails, and the next goes on with the next job.
TEST(HostileSpool, BadJobsAreSetAsideAndHoldNothingBack) {
    Site s;
    s.put("0A0001.X", newsExecute("X.hubA0001"));  // names itself
    s.put("0B0002.X", newsExecute("D.hubB0002"));
    s.put("0B0002.D", "#! cunbatch\n\x1f\x9d\x90\xff\xff\xff\xff");  // corrupt
    s.put("0C0003.X", newsExecute("D.hubC0003"));
    s.put("0C0003.D", cunbatch(std::string(24 << 20, '\0')));  // expands past 16 MiB
    s.put("0D0004.X", newsExecute("D.hubD0004"));
    fs::resize_file(s.spool + "/0D0004.X", int64_t{512} << 20);  // no line end in 512 MB
    s.put("0E0005.X", newsExecute("D.hubE0005"));
    s.put("0E0005.D", rnews(article("good")));

    const int64_t memoryBefore = test::peakMemory();
    for (int call = 0; call < 4; ++call) EXPECT_EQ(s.news(), -1) << call;
    EXPECT_EQ(s.news(), 0);
    EXPECT_EQ(s.news(), 1);
    if (memoryBefore > 0) {
        EXPECT_LT(test::peakMemory() - memoryBefore, int64_t{64} << 20);
    }

    EXPECT_EQ(count(test::readFile(s.store + "/area3.txt"), "body good"), 1u);
    EXPECT_EQ(test::listDir(s.spool + "/bad"),
              (Files{"0A0001.X", "0B0002.D", "0B0002.X", "0C0003.D", "0C0003.X", "0D0004.X"}));
    EXPECT_EQ(test::fileSize(s.bad("0D0004.X")), int64_t{512} << 20);
    // The expansion's part output is gone; only the last batch is staged.
    EXPECT_FALSE(test::exists(s.spool + "/$7b60051.zp~"));
    EXPECT_LT(test::fileSize(s.spool + "/$7b60051"), 1024);
    const std::string log = s.log("news.log");
    EXPECT_NE(log.find("its F line names the job's own execute file"), std::string::npos);
    EXPECT_NE(log.find("its batch expands past the compressor's limit"), std::string::npos);
    EXPECT_NE(log.find("the execute file is larger than 65536 bytes"), std::string::npos);
}

// A FIFO is refused without waiting for a writer that never comes.
TEST(HostileSpool, AFifoIsNeverWaitedOn) {
    Site s;
    if (!test::makeFifo(s.spool + "/0A0001.D")) GTEST_SKIP() << "no FIFOs here";
    s.put("0C0001.X", mailExecute("D.hubA0001"));
    s.put("0C0002.X", mailExecute("D.hubA0002"));
    s.put("0A0002.D", "From: b\n\ngood\n");
    EXPECT_EQ(s.mail(), 0);
    EXPECT_TRUE(s.inBad("0C0001.X"));
    EXPECT_EQ(fs::symlink_status(s.bad("0A0001.D")).type(), fs::file_type::fifo);
}

// Control bytes of a header reach the index as '?': a host reading mail.hdr
// in text mode stops at a Ctrl-Z, and an escape would reach its screen.
TEST(HostileSpool, IndexRecordsHoldNoControlBytes) {
    Site s;
    s.put("0C0001.X", mailExecute("D.hubA0001", "x@y\x1b]0;t\x07"));
    s.put("0A0001.D", "Subject: \x1b[31mred\x1a\r\nFrom: a\n\nbody\x1a\n");
    s.put("0C0002.X", mailExecute("D.hubA0002"));
    s.put("0A0002.D", "Subject: second\n\nbody\n");
    EXPECT_EQ(s.mail(), 0);
    EXPECT_EQ(s.mail(), 0);
    const std::string hdr = test::readFile(s.store + "/mail.hdr");
    EXPECT_NE(hdr.find("To: x@y?]0;t?\r\n"), std::string::npos);
    EXPECT_NE(hdr.find("Subject: ?[31mred?\r\n"), std::string::npos);
    EXPECT_EQ(hdr.find('\x1a'), std::string::npos);
    EXPECT_NE(hdr.find("Subject: second\r\n"), std::string::npos);
    // The message keeps its bytes.
    EXPECT_NE(test::readFile(s.store + "/mailarea.txt").find("\x1b[31mred\x1a\r\n"), std::string::npos);
}

// What the local side puts into a job is checked before anything is written,
// and the store keeps its mail to itself.
TEST(HostileSpool, NamesIntoJobsAreCheckedAndTheStoreIsPrivate) {
    Site s;
    const std::string sp = test::toHost(s.spool), st = test::toHost(s.store);
    s.put("rmail.z", "From: me\n\nhi\n");
    EXPECT_EQ(EXPMAIL(sp.c_str(), st.c_str(), "a; rm -rf ~\nO /etc/passwd x", "mybox", "me", 0), -1);
    EXPECT_EQ(EXPMAIL(sp.c_str(), st.c_str(), "-oQ/tmp", "mybox", "me", 0), -1);
    EXPECT_EQ(EXPMAIL(sp.c_str(), st.c_str(), "a@b", "s\r\nS /etc/shadow D.x", "me", 0), -1);
    s.put("rnews.z", rnews(article("out")));
    std::vector<char> spb = test::hostBuffer(sp), stb = test::hostBuffer(st);
    EXPECT_EQ(EXPNEWS(spb.data(), stb.data(), "my box", 1, 0, 0), -1);
    EXPECT_EQ(test::listDir(s.spool), (Files{"rmail.z", "rnews.z"}));
    EXPECT_NE(s.log("mail.log").find("Cannot export to a; rm -rf ~\\x0aO /etc/passwd x: a recipient must not"),
              std::string::npos);

    char err[512] = "";
    const std::string dir = test::toHost(s.root.subdir("attach"));
    const std::string source = test::toHost(s.spool + "/rmail.z");
    EXPECT_EQ(FILEATTACH(dir.c_str(), source.c_str(), "..\\..\\x", err, 0), -1);
    EXPECT_EQ(GENUUCP(dir.c_str(), source.c_str(), "NUL", "", err, 1), -1);
    EXPECT_FALSE(test::exists(s.root.file("x")));

    EXPECT_EQ(EXPMAIL(sp.c_str(), st.c_str(), "a@b", "mybox", "me", 0), 0);
    s.put("0C0001.X", mailExecute("D.hubA0001"));
    s.put("0A0001.D", "From: b\n\nprivate\n");
    EXPECT_EQ(s.mail(), 0);
    if (test::posixFileSystem()) {
        const auto mode = [](const std::string& p) { return fs::status(p).permissions() & fs::perms::all; };
        EXPECT_EQ(mode(s.store + "/mailarea.txt"), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(mode(s.store + "/mail.hdr"), fs::perms::owner_read | fs::perms::owner_write);
        // The job goes to the transfer, which may run as another user.
        EXPECT_NE(mode(s.spool + "/0001.XQT") & fs::perms::others_read, fs::perms::none);
    }
}

namespace {

// One spool made of good jobs and hostile pieces, and what each must come to.
class HostileSpool {
public:
    HostileSpool(uint32_t seed, const std::string& bomb) : rng_(seed), seed_(seed), bomb_(bomb) {
        // The tree outside: a file, a mail job a wrong join would reach, a
        // link of its own.
        fs::create_directory(s_.outside + "/o3");
        test::writeFile(s_.outside + "/o3/job.x", mailExecute("D.hubZ9999"));
        test::writeFile(s_.outside + "/o3/job.D", kSecret);
        links_ = makeLink(s_.outside + "/secret", s_.outside + "/o3/link");
        fifos_ = test::posixFileSystem();
        const int pieces = 3 + static_cast<int>(rng_() % 8);
        for (int i = 0; i < pieces; ++i) add(i);
        before_ = snapshot();
    }

    // Runs the importers until no job is left, then checks everything.
    void importAndCheck() {
        const int64_t memoryBefore = test::peakMemory();
        int32_t r = 0;
        for (int calls = 0; calls < 64 && r == 0; ++calls) r = timed([&] { return s_.mail(); });
        EXPECT_EQ(r, -1) << where();
        r = 0;
        for (int calls = 0; calls < 64 && r != 1; ++calls) r = timed([&] { return s_.news(); });
        EXPECT_EQ(r, 1) << where() << s_.log("news.log");
        if (memoryBefore > 0) {
            EXPECT_LT(test::peakMemory() - memoryBefore, int64_t{64} << 20) << where();
        }

        EXPECT_TRUE(snapshot() == before_) << where() << ": the tree outside the spool changed";
        const std::string stored = test::readFile(s_.store + "/mailarea.txt") + test::readFile(s_.store + "/area3.txt");
        EXPECT_EQ(count(stored, "SECRET"), 0u) << where();
        for (const std::string& m : good_) EXPECT_EQ(count(stored, "body " + m + "\n"), 1u) << where() << m;
        for (const auto& [name, kind] : bad_) EXPECT_EQ(typeOf(s_.bad(name)), kind) << where() << name;
        for (const auto& [name, kind] : stays_) EXPECT_EQ(typeOf(s_.spool + "/" + name), kind) << where() << name;
        // Names that Windows reads as a device are looked for by listing,
        // never by a path that would open the device.
        const Files left = test::listDir(s_.spool);
        for (const std::string& name : odd_) EXPECT_EQ(std::count(left.begin(), left.end(), name), 1) << where() << name;
    }

private:
    using Kind = fs::file_type;

    std::string where() const { return "spool of seed " + std::to_string(seed_) + " (" + pieces_ + ")"; }

    int32_t timed(const std::function<int32_t()>& call) {
        const auto t0 = std::chrono::steady_clock::now();
        const int32_t r = call();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << where();
        return r;
    }

    static Kind typeOf(const std::string& path) { return fs::symlink_status(path).type(); }

    // Every entry of the tree outside: its kind and its bytes or target.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> all;
        for (const auto& e : fs::recursive_directory_iterator(s_.outside)) {
            const std::string rel = fs::relative(e.path(), s_.outside).generic_string();
            if (e.is_symlink()) {
                all[rel] = "link " + fs::read_symlink(e.path()).string();
            } else if (e.is_regular_file()) {
                all[rel] = "file " + test::readFile(e.path().string());
            } else {
                all[rel] = "other";
            }
        }
        return all;
    }

    std::string seq(int i, char letter) const {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%c%04d", letter, i);
        return buf;
    }

    // Piece i: names "0" + letter + number + ".X"/".D", from "D.hub" + letter + number.
    void add(int i) {
        const char letter = static_cast<char>('A' + rng_() % 20);
        const std::string tail = seq(i, letter), x = "0" + tail + ".X", d = "0" + tail + ".D", f = "D.hub" + tail;
        const std::string marker = "m" + std::to_string(seed_) + "-" + std::to_string(i);
        const std::string outside = s_.outside + "/secret";
        const unsigned what = rng_() % 18;
        pieces_ += std::to_string(what) + " ";
        switch (what) {
            case 0:
            case 1:  // a good mail
                s_.put(x, mailExecute(f));
                s_.put(d, "From: a\nSubject: " + marker + "\n\nbody " + marker + "\n");
                good_.push_back(marker);
                break;
            case 2:
            case 3: {  // a good news batch, plain or (less often: each starts zorpack) compressed
                std::string batch;
                for (int k = 0; k < 3; ++k) batch += rnews(article(marker + "." + std::to_string(k)));
                s_.put(x, newsExecute(f));
                s_.put(d, what == 2 || rng_() % 2 ? batch : cunbatch(batch));
                for (int k = 0; k < 3; ++k) good_.push_back(marker + "." + std::to_string(k));
                break;
            }
            case 4: {  // a link where a working file is made
                static const char* const kWorking[] = {"$7b60051",     "$7b60051.tmp", "$7b60051.z",
                                                       "$7b60051.zp~", "$7b60051.int", "Header.Msg"};
                if (links_) makeLink(outside, s_.spool + "/" + kWorking[rng_() % 6]);
                break;
            }
            case 5:  // a data file that is a link
                if (!links_) break;
                s_.put(x, rng_() % 2 ? mailExecute(f) : newsExecute(f));
                makeLink(outside, s_.spool + "/" + d);
                bad_[x] = Kind::regular;
                bad_[d] = Kind::symlink;
                break;
            case 6:  // an execute file that is a link, to a job outside
                if (!links_) break;
                makeLink(s_.outside + "/o3/job.x", s_.spool + "/" + x);
                bad_[x] = Kind::symlink;
                break;
            case 7:  // a FIFO as the data file or as the execute file
                if (!fifos_) break;
                if (rng_() % 2) {
                    s_.put(x, rng_() % 2 ? mailExecute(f) : newsExecute(f));
                    test::makeFifo(s_.spool + "/" + d);
                    bad_[x] = Kind::regular;
                    bad_[d] = Kind::fifo;
                } else {
                    test::makeFifo(s_.spool + "/" + x);
                    bad_[x] = Kind::fifo;
                }
                break;
            case 8:  // directories under job names
                fs::create_directory(s_.spool + "/" + d);
                s_.put(x, newsExecute(f));
                bad_[x] = Kind::regular;
                bad_[d] = Kind::directory;
                fs::create_directory(s_.spool + "/0" + seq(i, 'Z') + ".X");
                stays_["0" + seq(i, 'Z') + ".X"] = Kind::directory;
                break;
            case 9: {  // names that lead out of the spool, or that Windows reads as a device
                static const char* const kOdd[] = {"..\\outside\\o3\\job.x", "c:job.x", "\x1b[2J.x",
                                                   "CON.x", "nul.X", "COM1.x", "Com1 .X", "AUX.x", "CONIN$.x",
                                                   "lpt0.X", "0A0001.X.", "0B0001.X "};
                // Windows holds no name with a separator, a colon or a control byte.
                const size_t first = test::posixFileSystem() ? 0 : 3;
                const std::string name = kOdd[first + rng_() % (std::size(kOdd) - first)];
                if (odd_.count(name) || !test::writeExactName(s_.spool, name, mailExecute("D.hubZ9999"))) break;
                odd_.insert(name);
                break;
            }
            case 10:  // an execute file that names itself, or another's
                s_.put(x, rng_() % 2 ? newsExecute("X.hub" + tail) : mailExecute("X.hub" + tail));
                bad_[x] = Kind::regular;
                break;
            case 16: {  // an F line whose local name Windows reads as a device ("Com1 .D", "AUX.aBcD.D")
                static const char* const kDevices[] = {"D.om1 ", "D.om1.", "D.UX.aBcD", "D.on  "};
                const std::string data = kDevices[rng_() % 4];
                s_.put(x, rng_() % 2 ? mailExecute(data) : newsExecute(data));
                bad_[x] = Kind::regular;
                break;
            }
            case 11:  // an execute file far too large (sparse: no disk used)
                s_.put(x, mailExecute(f));
                fs::resize_file(s_.spool + "/" + x, rng_() % 2 ? int64_t{512} << 20 : 70000);
                bad_[x] = Kind::regular;
                break;
            case 12:  // a corrupt compressed batch
                if (rng_() % 2) break;
                s_.put(x, newsExecute(f));
                s_.put(d, "#! cunbatch\n\x1f\x9d\x90\xff\xff\xff" + std::string(rng_() % 64, '\xff'));
                bad_[x] = bad_[d] = Kind::regular;
                break;
            case 13:  // a batch that expands past the limit
                if (rng_() % 16) break;  // rare: each costs an expansion of 16 MiB
                s_.put(x, newsExecute(f));
                s_.put(d, bomb_);
                bad_[x] = bad_[d] = Kind::regular;
                break;
            case 14:  // a job whose data file has not come: it waits
                s_.put(x, rng_() % 2 ? mailExecute(f) : newsExecute(f));
                stays_[x] = Kind::regular;
                break;
            case 15:  // an execute file of noise, and a data file of no job
                s_.put(x, std::string(1 + rng_() % 300, static_cast<char>(rng_())));
                s_.put(d, "noise");
                stays_[x] = stays_[d] = Kind::regular;
                break;
            default:  // a mail with control bytes in its headers
                s_.put(x, mailExecute(f, "u@v\x1b[0m"));
                s_.put(d, "Subject: \x1b]0;x\x07\x1a\nFrom: z\n\nbody " + marker + "\n");
                good_.push_back(marker);
                break;
        }
    }

    Site s_;
    std::mt19937 rng_;
    uint32_t seed_;
    const std::string& bomb_;
    bool links_ = false, fifos_ = false;
    std::string pieces_;
    std::vector<std::string> good_;
    std::map<std::string, Kind> bad_, stays_;
    std::set<std::string> odd_;
    std::map<std::string, std::string> before_;
};

int fromEnvironment(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

}  // namespace

TEST(HostileSpool, NoSpoolReachesOutsideLosesAJobOrHoldsOneBack) {
    const int spools = fromEnvironment("BREM_HOSTILE_SPOOLS", 200);
    const uint32_t seed = static_cast<uint32_t>(fromEnvironment("BREM_HOSTILE_SEED", 1));
    const std::string bomb = cunbatch(std::string(24 << 20, '\0'));
    for (int n = 0; n < spools && !HasFailure(); ++n) HostileSpool(seed + static_cast<uint32_t>(n), bomb).importAndCheck();
    std::printf("%d hostile spools from seed %u\n", spools, seed);
}
