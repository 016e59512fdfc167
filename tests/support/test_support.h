// Helpers shared by the test programs: a fresh scratch directory per test,
// whole-file reads and writes, paths in the host's backslash form, the
// activity log's messages, and byte comparisons that show where they differ.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace brem::test {

// A new empty directory under $TMPDIR (or /tmp), removed again with all it
// holds when the object goes (kept when BREM_KEEP_TEST_DIRS is set). InMemory
// prefers /dev/shm when TMPDIR is not set, for sweeps that write a lot.
class ScratchDir {
public:
    enum class Place { Temp, InMemory };
    explicit ScratchDir(Place place = Place::Temp);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    // path + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The directory in the host's form, with backslashes, without a trailing one.
    std::string hostPath() const;
    // A subdirectory, created.
    std::string subdir(const std::string& name) const;

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);  // "" when missing
bool exists(const std::string& path);
int64_t fileSize(const std::string& path);  // -1 when missing
std::vector<std::string> listDir(const std::string& dir);  // sorted names
std::string toHost(const std::string& path);  // '/' -> '\\'
std::string dataFile(const std::string& name);  // tests/data/<name>
std::string binDir();  // where the build puts the library and the tools

// A writable directory buffer as a host passes it to the importers.
std::vector<char> hostBuffer(const std::string& dir);

// Runs a shell command; returns its exit status.
int runCommand(const std::string& cmd);

// True where the file system can hold what a remote site might plant and
// Windows cannot: names with any byte but '/' (a backslash, a colon, control
// bytes), FIFOs, and permission bits on every file (POSIX).
bool posixFileSystem();
// Makes a FIFO; false where there is none to make.
bool makeFifo(const std::string& path);
// Writes dir's file of exactly this name, also one that Windows reads as a
// device (there through the "\\?\" form of its full path, which passes the
// name to the file system unread); false when it cannot be made.
bool writeExactName(const std::string& dir, const std::string& name, const std::string& bytes);
// The most memory the process has held so far, in bytes; -1 when unknown.
int64_t peakMemory();

// The messages of an activity log (mail.log, news.log) without their stamps,
// each with its CR LF.
std::vector<std::string> logMessages(const std::string& log);
bool hasLine(const std::string& log, const std::string& message);

// Equal bytes, or a failure that names the first differing offset and shows
// both sides in hex around it: EXPECT_TRUE(test::sameBytes(got, want)).
::testing::AssertionResult sameBytes(const std::string& got, const std::string& want);

}  // namespace brem::test
