// Nothing lost by the host's writers: WRITEMESSAGE, WRITEMFORM, GENUUCP and
// FILEATTACH run once for every failure point the platform seam can inject.
// A call that fails says so (-1 and a reason in the error buffer) and leaves
// the file it wrote to as it was; a call that succeeds hands back an address
// that reads back exactly what it stored.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "brem32.h"
#include "platform/fault.h"
#include "support/faultsim.h"
#include "support/store_check.h"
#include "support/test_support.h"

using namespace brem;
using test::FaultKind;
using test::FaultPhase;

namespace {

// One call of the host's and what it must leave: on success `after` is the
// file's new contents, on failure `before`.
struct Step {
    std::string file;                        // the file the call writes, under the site's root
    std::function<int32_t(char* err, int32_t* start, int32_t* length)> call;
    std::string added;                       // what a success adds to the file (after any lead LF)
    bool fresh = false;                      // a success replaces the file (hold)
};

struct WriterSite {
    test::FaultScratch root;
    std::string store = root.subdir("store");
    std::string out = root.subdir("out");
    std::vector<Step> steps;
    size_t next = 0;
    std::map<std::string, std::string> model;  // each file as it must be
    std::vector<std::string> problems;

    std::string path(const std::string& file) const { return root.path() + "/" + file; }

    void hostLoop() {
        for (; next < steps.size(); ++next) {
            const Step& st = steps[next];
            const std::string p = path(st.file);
            std::string before = test::readFile(p);
            bool existed = test::exists(p);
            std::vector<char> err(1024, '\0');
            int32_t start = -7, length = -7;
            int32_t r = st.call(err.data(), &start, &length);
            std::string now = test::readFile(p);
            if (r != 0) {
                if (r != -1) problems.push_back(st.file + ": result " + std::to_string(r));
                if (err[0] == '\0') problems.push_back(st.file + ": a failure without a reason");
                // An empty file where there was none holds nothing either.
                bool asBefore = now == before && (test::exists(p) == existed || now.empty());
                // A fresh copy that fails may take the file away, never leave part of it.
                if (!asBefore && !(st.fresh && !test::exists(p))) {
                    problems.push_back(st.file + ": a failure changed the file to " + std::to_string(now.size()) +
                                       " bytes from " + std::to_string(before.size()));
                }
                if (start != -7 || length != -7) problems.push_back(st.file + ": a failure handed back an address");
                return;
            }
            std::string expect = st.fresh ? st.added : before + (before.empty() && st.file.rfind("store/", 0) == 0 ? "\n" : "") + st.added;
            if (now != expect) problems.push_back(st.file + ": a success left the wrong contents");
            if (st.file.rfind("store/", 0) == 0) {
                int32_t first = before.empty() ? 1 : static_cast<int32_t>(before.size());
                if (start != first || length != static_cast<int32_t>(now.size()) - first) {
                    problems.push_back(st.file + ": the address handed back is not the stored text's");
                }
            }
            model[st.file] = now;
        }
    }
};

void checkWriterSite(WriterSite& s, FaultPhase phase) {
    for (const std::string& p : s.problems) ADD_FAILURE() << p;
    s.problems.clear();
    if (phase == FaultPhase::AfterCleanRun) {
        EXPECT_EQ(s.next, s.steps.size()) << "the clean run did not finish the calls";
    }
    for (const auto& [file, bytes] : s.model) EXPECT_EQ(test::readFile(s.path(file)), bytes) << file;
}

test::FaultSweep<WriterSite> writerSweep(const std::string& name, std::function<void(WriterSite&)> steps) {
    test::FaultSweep<WriterSite> sw;
    sw.operation = name;
    sw.denseDiskBytes = 256;
    sw.persistentToo = true;
    sw.prepare = [steps](WriterSite& s) { steps(s); };
    sw.run = [](WriterSite& s) { s.hostLoop(); };
    sw.check = checkWriterSite;
    return sw;
}

void report(const test::FaultCoverage& cov) {
    for (FaultKind k : {FaultKind::Create, FaultKind::Write, FaultKind::Close, FaultKind::DiskFull}) {
        EXPECT_GT(cov.points[static_cast<size_t>(k)], 0) << test::faultKindName(k);
    }
}

// The store's writers: a new mail area, an area that holds text already, a
// second message behind the first.
void storeSteps(WriterSite& s, bool wrap) {
    std::string storeHost = test::toHost(s.store);
    auto writer = [storeHost, wrap](int32_t area, std::string text) {
        return [storeHost, wrap, area, text](char* err, int32_t* start, int32_t* length) {
            return wrap ? WRITEMFORM(storeHost.c_str(), area, start, length, text.c_str(), err)
                        : WRITEMESSAGE(storeHost.c_str(), area, start, length, text.c_str(), err);
        };
    };
    test::writeFile(s.store + "/area5.txt", "\n" + std::string(99, 'o'));
    s.model["store/area5.txt"] = test::readFile(s.store + "/area5.txt");
    std::string longLine = std::string(85, 'x') + " " + std::string(10, 'y') + "\r\n";
    std::string longStored = wrap ? std::string(85, 'x') + " \n" + std::string(10, 'y') + "\n"
                                  : std::string(85, 'x') + " " + std::string(10, 'y') + "\n";
    s.steps = {
        Step{"store/mailarea.txt", writer(0, "Hi\r\nthere\r\n"), "Hi\nthere\n"},
        Step{"store/area5.txt", writer(5, longLine + "a\rb\r\n"), longStored + "ab\n"},
        Step{"store/mailarea.txt", writer(0, std::string(3000, 'z') + "\r\n"), std::string(3000, 'z') + "\n"},
    };
}

// The copies into a directory: appended behind what the target holds, and
// fresh into the hold directory over an older copy.
void copySteps(WriterSite& s, bool prefixed) {
    std::string source = s.root.path() + "/source.bin";
    std::string body;
    for (int i = 0; body.size() < 5000; ++i) body += "line " + std::to_string(i) + std::string("\r\n\0\xff", 4);
    test::writeFile(source, body);
    s.model["source.bin"] = body;
    s.root.subdir("out/hold");
    test::writeFile(s.out + "/queued.txt", "already queued\n");
    test::writeFile(s.out + "/hold/held.txt", "an older copy\n");
    s.model["out/queued.txt"] = "already queued\n";
    std::string outHost = test::toHost(s.out), sourceHost = test::toHost(source);
    auto copy = [outHost, sourceHost, prefixed](const std::string& target, int32_t hold, const std::string& prefix) {
        return [=](char* err, int32_t*, int32_t*) {
            return prefixed ? GENUUCP(outHost.c_str(), sourceHost.c_str(), target.c_str(), prefix.c_str(), err, hold)
                            : FILEATTACH(outHost.c_str(), sourceHost.c_str(), target.c_str(), err, hold);
        };
    };
    std::string prefix = prefixed ? "To: someone\r\n\r\n" : "";
    s.steps = {
        Step{"out/queued.txt", copy("queued.txt", 0, prefix), prefix + body},
        Step{"out/hold/held.txt", copy("held.txt", 1, prefix), prefix + body, true},
        Step{"out/queued.txt", copy("queued.txt", 2, prefix), prefix + body},
    };
}

}  // namespace

TEST(FaultSweep, WriteMessage) {
    report(test::sweepFaults(writerSweep("WRITEMESSAGE", [](WriterSite& s) { storeSteps(s, false); })));
}

TEST(FaultSweep, WriteMessageWrapped) {
    report(test::sweepFaults(writerSweep("WRITEMFORM", [](WriterSite& s) { storeSteps(s, true); })));
}

TEST(FaultSweep, GenUucp) {
    auto cov = test::sweepFaults(writerSweep("GENUUCP", [](WriterSite& s) { copySteps(s, true); }));
    report(cov);
    EXPECT_GT(cov.points[static_cast<size_t>(FaultKind::Open)], 0);
}

TEST(FaultSweep, FileAttach) {
    auto cov = test::sweepFaults(writerSweep("FILEATTACH", [](WriterSite& s) { copySteps(s, false); }));
    report(cov);
    EXPECT_GT(cov.points[static_cast<size_t>(FaultKind::Open)], 0);
}
