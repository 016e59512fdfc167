// What every verb that works on a spool or a store shares when it runs
// unattended: the directories checked before the library is called, one run
// at a time through the store's lock, the system's reason for a failure, and
// the jobs an import leaves behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace brem::cli {

struct ImportOptions;

// True when `dir` is a directory whose entries can be read. Otherwise says
// so on standard error, naming it as `role` ("spool directory") with the
// system's reason, and returns false.
bool usableDirectory(const std::string& dir, const char* role);

// The system's reason why `path` cannot be opened, found by trying it as the
// library would (case-blind, `\` as a separator); empty when it opens.
// Opening for writing never leaves a file behind that was not there.
std::string openProblem(const std::string& path, bool forWriting);

// The library's error text on one line, completed: where it does not name
// the file, `path` is added; where the file cannot be opened, the system's
// reason too.
std::string explainFailure(const std::string& text, const std::string& path, bool forWriting);

// The store's run lock: STORE/brem.lck, locked exclusively with the system's
// file locking for as long as the object lives.
class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    // Takes the lock, trying again for up to waitSeconds while another run
    // holds it. kExitOk when held; otherwise the exit status (kExitBusy,
    // kExitFailed), with the message on standard error.
    int take(const std::string& store, int32_t waitSeconds);

private:
    plat::FileHandle held_ = plat::kNoFile;
};

// Takes "--wait SECONDS" (default 0); the problem in words, or empty.
std::string takeWait(std::vector<std::string>& args, int32_t* seconds);
extern const char* const kWaitHelp;

// A job still in the spool after an import: its execute file, the data file
// it names (local name, empty when it names none), "mail", "news" or
// "unknown", and why it is still there as far as can be told. A directory of
// a Linux UUCP's jobs in the spool is listed as one, of every kind.
struct LeftJob {
    std::string executeFile, dataFile, kind, why;
};
// What an import left: the jobs of `kinds` still in the spool, and then
// every file the importers set aside into SPOOL/bad/ (kind "set aside"),
// whatever `kinds` asks for.
enum class JobKinds { Mail, News, All };
std::vector<LeftJob> jobsLeft(const std::string& spool, const std::string& store, const ImportOptions& o,
                              JobKinds kinds);
// The files in SPOOL/bad/, each with the reason its import logged.
std::vector<LeftJob> setAside(const std::string& spool, const std::string& store);
// Each job on standard error, one line each, after a line naming the spool.
void reportLeft(const std::vector<LeftJob>& left, const std::string& spool);

// A directory of the spool laid out as Taylor UUCP (Debian's uucp) keeps a
// neighbour's jobs ("hubsite/X."), whose jobs brem never finds: brem reads
// the Windows client's flat layout, and a Linux UUCP delivers through brem
// rmail and brem rnews instead. The first such directory, or empty.
std::string foreignUucpDirectory(const std::string& spool);
extern const char* const kForeignUucpAdvice;
std::string leftJson(const std::vector<LeftJob>& left);

// The last line of a log that holds `needle` (any line when it is empty),
// without its stamp; empty when there is none.
std::string lastLogLine(const std::string& logPath, const std::string& needle = std::string());

}  // namespace brem::cli
