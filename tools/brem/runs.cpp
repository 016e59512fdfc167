// The directory checks, the run lock and the report of jobs left behind.
#include "runs.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli.h"
#include "inbound.h"
#include "inbound/execute_file.h"
#include "inbound/news_import.h"
#include "inbound/spool_name.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "store/layout.h"

namespace brem::cli {

namespace {

std::string cutLineEnd(std::string s) {
    size_t end = s.find_first_of("\r\n");
    return end == std::string::npos ? s : s.substr(0, end);
}

// What an execute file holds, read by the importers' reader: its F line's
// name and its C line without the line end, the command's kind in
// `command`. Otherwise what is wrong with it.
std::string readExecuteFile(const std::string& path, std::string* dataName, std::string* command,
                            inbound::JobCommand* kind) {
    inbound::ExecuteJob job;
    std::string why;
    switch (inbound::ReadAnyExecuteFile(path, job, *kind, why)) {
        case inbound::ExecuteRead::Ok: break;
        case inbound::ExecuteRead::Bad: return "the execute file " + why;
        default: return std::string("the execute file ") + inbound::UntrustedReason(plat::Untrusted::Failed);
    }
    *dataName = job.dataName;
    *command = cutLineEnd(job.command);
    return std::string();
}

// Why a job whose data file cannot be found is left.
std::string whyNoDataFile(const std::string& dataName, const std::string& local, const ImportOptions& o) {
    if (local.empty()) return "no data file: its F line names none brem can map (\"" + dataName + "\")";
    std::string why = "no data file: " + local + " is not in the spool";
    // The local name is found by taking a site name off the UUCP name;
    // when neither is there, the site names given are the likely fault.
    std::string rest = dataName.size() > 2 ? dataName.substr(2) : std::string();
    auto prefixes = [&](const std::string& site) { return !site.empty() && rest.compare(0, site.size(), site) == 0; };
    if (!prefixes(o.neighbour) && !prefixes(o.localSite)) {
        why += " (its F line names " + dataName + ": are --neighbour and --local-site right?)";
    }
    return why;
}

// Why news import passed a batch over, told by the choice news import
// makes; empty when it takes the batch.
std::string whyBatchPassedOver(const std::string& dataPath, int32_t bits) {
    if (!inbound::ChooseNewsIntake(plat::systemPath(dataPath), bits).passedOver()) return std::string();
    return "the data file holds no news batch (no \"#! rnews\" or \"#! cunbatch\" line)";
}

// The last line of a log that names any of `needles`, without its stamp.
std::string lastLogLineOf(const std::string& logPath, const std::vector<std::string>& needles);

LeftJob describe(const std::string& spool, const std::string& store, const ImportOptions& o,
                 const std::string& name) {
    LeftJob job;
    job.executeFile = name;
    // A name that could lead out of the spool is never opened, here either.
    if (!plat::isPlainName(name)) {
        job.kind = "unknown";
        job.why = "not a plain file name: the importers pass it over and never open it";
        return job;
    }
    std::string dataName, command;
    inbound::JobCommand kind = inbound::JobCommand::Other;
    job.why = readExecuteFile(layout::join(spool, name), &dataName, &command, &kind);
    if (!job.why.empty()) {
        job.kind = "unknown";
        job.why += ": the next import sets it aside into " + layout::join(layout::kBadDirectory, "");
        return job;
    }
    if (!dataName.empty()) inbound::MakeSpoolName(job.dataFile, dataName, o.neighbour, o.localSite);
    const std::string local = job.dataFile;
    const bool mail = kind == inbound::JobCommand::Mail, news = kind == inbound::JobCommand::News;
    job.kind = mail ? "mail" : news ? "news" : "unknown";
    if (!mail && !news) {
        job.why = command.empty() ? "no command line (C line): not a job brem imports"
                                  : "not a mail or news job (\"" + command + "\")";
        return job;
    }
    bool haveData = !local.empty() && plat::fileExists(layout::join(spool, local));
    // Mail import also looks under the execute file's own name with D.
    const std::string fallback = layout::dataFileBeside(name);
    if (mail && !haveData && plat::fileExists(layout::join(spool, fallback))) {
        job.dataFile = fallback;
        haveData = true;
    }
    if (!haveData) {
        job.why = whyNoDataFile(dataName, local, o);
        return job;
    }
    if (news) {
        job.why = whyBatchPassedOver(layout::join(spool, job.dataFile), o.bits);
        if (!job.why.empty()) return job;
    }
    // The latest line about the job, whichever of its files it names.
    const std::string logPath = layout::join(store, mail ? layout::kMailLog : layout::kNewsLog);
    std::string line = lastLogLineOf(logPath, {job.dataFile, name});
    if (!line.empty()) {
        job.why = logPath + ": " + line;
    } else {
        // Some of the log's lines name no file; its last line is the best
        // guess there is, and is given as such.
        line = lastLogLine(logPath);
        job.why = "not taken; " + logPath + (line.empty() ? " says nothing" : " ends with: " + line);
    }
    return job;
}

}  // namespace

bool usableDirectory(const std::string& dir, const char* role) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string reason;
    fs::path p = plat::systemPath(dir.empty() ? std::string(".") : dir);
    fs::file_status st = fs::status(p, ec);
    if (ec || !fs::exists(st)) {
        reason = ec ? ec.message() : std::generic_category().message(ENOENT);
    } else if (!fs::is_directory(st)) {
        reason = std::generic_category().message(ENOTDIR);
    } else {
        fs::directory_iterator it(p, ec);
        if (ec) reason = ec.message();
    }
    if (reason.empty()) return true;
    std::fprintf(stderr, "brem: %s %s: %s\n", role, dir.c_str(), reason.c_str());
    return false;
}

std::string openProblem(const std::string& path, bool forWriting) {
    std::string sys = plat::systemPath(path);
    bool existed = plat::fileExists(path);
    errno = 0;
    std::FILE* f = std::fopen(sys.c_str(), forWriting ? "ab" : "rb");
    if (f) {
        std::fclose(f);
        if (forWriting && !existed) std::remove(sys.c_str());
        return std::string();
    }
    return std::strerror(errno);
}

std::string explainFailure(const std::string& text, const std::string& path, bool forWriting) {
    std::string t = text;
    for (char& c : t) c = c == '\r' || c == '\n' ? ' ' : c;
    while (!t.empty() && t.back() == ' ') t.pop_back();
    if (path.empty()) return t;
    std::string leaf = path.substr(path.find_last_of("/\\") + 1);
    if (t.find(leaf) == std::string::npos) t += " (" + path + ")";
    std::string why = openProblem(path, forWriting);
    return why.empty() ? t : t + ": " + why;
}

RunLock::~RunLock() { plat::unlockFile(held_); }

int RunLock::take(const std::string& store, int32_t waitSeconds) {
    const std::string path = layout::join(store, layout::kRunLock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    for (;;) {
        std::string reason;
        switch (plat::tryLockFile(path, &held_, &reason)) {
            case plat::LockResult::Locked: return kExitOk;
            case plat::LockResult::Failed:
                std::fprintf(stderr, "brem: cannot lock %s: %s\n", path.c_str(), reason.c_str());
                return kExitFailed;
            case plat::LockResult::Busy: break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        plat::sleepMs(200);
    }
    std::fprintf(stderr,
                 "brem: the store %s is in use by another run (its lock %s is held)%s; nothing was done\n",
                 store.c_str(), path.c_str(),
                 waitSeconds > 0 ? (", waited " + std::to_string(waitSeconds) + " s").c_str() : "");
    return kExitBusy;
}

const char* const kWaitHelp =
    "  --wait SECONDS        when another run holds the store's lock, wait up to\n"
    "                        this long for it (default 0), then give up (exit 4)\n";

std::string takeWait(std::vector<std::string>& args, int32_t* seconds) {
    *seconds = 0;
    return takeNumber(args, "--wait", 0, 86400, seconds);
}

std::vector<LeftJob> jobsLeft(const std::string& spool, const std::string& store, const ImportOptions& o,
                              JobKinds kinds) {
    std::vector<LeftJob> left;
    for (const std::string& name : plat::findFiles(layout::join(spool, layout::kExecuteFilePattern))) {
        LeftJob job = describe(spool, store, o, name);
        if ((kinds == JobKinds::Mail && job.kind != "mail") || (kinds == JobKinds::News && job.kind != "news")) {
            continue;
        }
        left.push_back(std::move(job));
    }
    const std::string foreign = foreignUucpDirectory(spool);
    if (!foreign.empty()) left.push_back({foreign, std::string(), "unknown", kForeignUucpAdvice});
    for (LeftJob& job : setAside(spool, store)) left.push_back(std::move(job));
    return left;
}

std::vector<LeftJob> setAside(const std::string& spool, const std::string& store) {
    std::vector<LeftJob> found;
    const std::string bad = layout::join(spool, layout::kBadDirectory);
    for (const std::string& name : plat::findFiles(layout::join(bad, "*"))) {
        LeftJob job;
        job.executeFile = layout::join(layout::kBadDirectory, name);
        job.kind = "set aside";
        // The import that set it aside logged why, naming it as it is kept
        // there: "... as SPOOL\bad\NAME: why", "... as SPOOL\bad\NAME with X".
        for (const char* log : {layout::kMailLog, layout::kNewsLog}) {
            for (const char* after : {": ", " with "}) {
                if (!job.why.empty()) continue;
                const std::string needle = layout::withSeparator(layout::kBadDirectory) + name + after;
                const std::string line = lastLogLine(layout::join(store, log), needle);
                if (line.empty()) continue;
                job.why = (after[0] == ':' ? "" : "the data file of ") + line.substr(line.find(needle) + needle.size());
            }
        }
        if (job.why.empty()) job.why = "set aside by an import (see the logs)";
        found.push_back(std::move(job));
    }
    return found;
}

std::string foreignUucpDirectory(const std::string& spool) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = plat::systemPath(spool.empty() ? std::string(".") : spool);
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (!it->is_directory(e2)) continue;
        for (const char* sub : {"X.", "D."}) {
            if (fs::is_directory(it->path() / sub, e2)) return (it->path() / sub).string();
        }
    }
    return std::string();
}

const char* const kForeignUucpAdvice =
    "a Linux UUCP's spool (brem reads the Windows client's flat spool; let the UUCP run brem rmail and brem "
    "rnews instead: man brem, LINUX UUCP)";

void reportLeft(const std::vector<LeftJob>& left, const std::string& spool) {
    if (left.empty()) return;
    std::fprintf(stderr, "brem: %zu job%s left in %s:\n", left.size(), left.size() == 1 ? "" : "s", spool.c_str());
    for (const LeftJob& j : left) {
        if (j.kind == "set aside") {
            std::fprintf(stderr, "  %s  set aside: %s\n", shown(j.executeFile).c_str(), shown(j.why).c_str());
            continue;
        }
        std::fprintf(stderr, "  %s  %s  %s: %s\n", shown(j.executeFile).c_str(),
                     j.dataFile.empty() ? "(no data file)" : shown(j.dataFile).c_str(), j.kind.c_str(),
                     shown(j.why).c_str());
    }
}

std::string leftJson(const std::vector<LeftJob>& left) {
    std::string o = "[";
    for (size_t i = 0; i < left.size(); ++i) {
        const LeftJob& j = left[i];
        o += std::string(i ? ", " : "") + "{\"execute_file\": " + jsonString(j.executeFile) +
             ", \"data_file\": " + (j.dataFile.empty() ? "null" : jsonString(j.dataFile)) +
             ", \"kind\": " + jsonString(j.kind) + ", \"why\": " + jsonString(j.why) + "}";
    }
    return o + "]";
}

std::string lastLogLine(const std::string& logPath, const std::string& needle) {
    return lastLogLineOf(logPath, {needle});
}

namespace {

std::string lastLogLineOf(const std::string& logPath, const std::vector<std::string>& needles) {
    // The tail is enough: the line about a job left is written by this run.
    std::string bytes;
    if (std::FILE* f = std::fopen(plat::systemPath(logPath).c_str(), "rb")) {
        const long tail = 256 * 1024;
        if (std::fseek(f, 0, SEEK_END) == 0) {
            long size = std::ftell(f);
            std::fseek(f, size > tail ? size - tail : 0, SEEK_SET);
        }
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    size_t end = bytes.size();
    while (end > 0) {
        size_t start = bytes.rfind('\n', end - 1);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = cutLineEnd(bytes.substr(start, end - start));
        end = start > 0 ? start - 1 : 0;
        bool named = false;
        for (const std::string& needle : needles) named = named || needle.empty() || line.find(needle) != std::string::npos;
        if (line.empty() || !named) continue;
        // "YYYY-MM-DD hh:mm:ss.cc<TAB>message": the message alone, without
        // the level digit of mail.log's messages ("0<TAB>").
        size_t tab = line.find('\t');
        if (tab != std::string::npos && tab >= 10 && line[4] == '-') line = line.substr(tab + 1);
        if (line.size() > 2 && line[0] >= '0' && line[0] <= '9' && line[1] == '\t') line = line.substr(2);
        for (char& c : line) c = c == '\t' ? ' ' : c;
        return line;
    }
    return std::string();
}

}  // namespace

}  // namespace brem::cli
