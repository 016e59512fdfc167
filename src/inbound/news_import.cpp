#include "inbound/news_import.h"

#include <algorithm>
#include <vector>

#include "inbound/bad_jobs.h"
#include "inbound/execute_file.h"
#include "inbound/header_line.h"
#include "inbound/news_filing.h"
#include "inbound/spool_name.h"
#include "inbound/spool_queue.h"
#include "log/log.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "store/undo.h"
#include "text/format.h"
#include "store/layout.h"
#include "store/stored_copy.h"

namespace brem::inbound {

namespace {

constexpr const char* kCunbatch = "#! cunbatch";
constexpr size_t kCunbatchBytes = 11;
constexpr int64_t kCompressedHeaderBytes = 12;  // "#! cunbatch" and its line feed
constexpr int32_t kDefaultBits = 16;

// One job's files: its own two in the spool and the fixed working files.
struct NewsJob {
    NewsJob(const std::string& spoolDir, const std::string& name)
        : spoolDir(spoolDir),
          name(name),
          executePath(spoolDir + name),
          batchPath(spoolDir + layout::kNewsBatch),
          intPath(spoolDir + layout::kNewsBatchStaged),
          tmpPath(spoolDir + layout::kNewsBatchCopying),
          zPath(spoolDir + layout::kNewsBatchCompressed) {}
    std::string spoolDir;
    std::string name;  // of the execute file; empty for a batch handed over without a job
    std::string executePath, dataName, dataPath;  // dataName: the local name
    bool named = false;  // the F line gave a data file name
    std::string batchPath, intPath, tmpPath, zPath;
    bool compressed = false;
    int32_t bits = 0;
};

// Copies up to `count` bytes from one stream to another; false when a read
// or a write failed.
bool copyBytes(plat::Stream& from, plat::Stream& to, int64_t count) {
    while (count > 0) {
        size_t want = count > (int64_t{1} << 30) ? size_t{1} << 30 : static_cast<size_t>(count);
        size_t got = to.transferFrom(from, want);
        if (got == 0) break;
        count -= static_cast<int64_t>(got);
    }
    return !from.readError() && !to.writeFailed();
}

// A job that can never be filed for what it holds is set aside into the
// spool's bad/ with its data file (when `withData`), and the call ends as a
// failed job ends it; the next call goes on with the next job. Should it not
// move, it is passed over instead (1), so that it holds back no job after it.
int32_t setAside(const NewsJob& job, bool withData, const std::string& why, ActivityLog& log) {
    return SetJobAside(job.spoolDir, job.name, withData ? job.dataName : std::string(), why, "", log) ? -1 : 1;
}

// Reads the execute file and clears Header.Msg, which describes the batch of
// this job alone. One that is still there after the delete is held by
// someone else. 0 to go on, -1 to stop the scan, 1 to pass the job over.
int32_t startJob(const NewsJob& job, const std::string& spoolDir, ExecuteJob& execute, ActivityLog& log) {
    std::string why;
    switch (ReadExecuteFile(job.executePath, kNewsExecuteLimits, execute, why)) {
        case ExecuteRead::Ok: break;
        case ExecuteRead::Bad: return setAside(job, false, "the execute file " + why, log);
        default: log.always("Cannot open %s\n", job.executePath.c_str()); return -1;
    }
    const std::string hdrPath = spoolDir + layout::kNewsIndex;
    if (plat::Status gone = plat::deleteFile(hdrPath); !gone && gone.kind() != plat::Failure::Missing) {
        log.always("access denied\n");
        log.cause(gone);
        return -1;
    }
    log.flush();
    return 0;
}

}  // namespace

BatchKind NewsBatchKind(const std::string& dataPath, int32_t& bits) {
    plat::Stream data;
    if (data.openUntrusted(dataPath, 64) != plat::Untrusted::Opened) return BatchKind::Unknown;
    char head[kCompressedHeaderBytes + 3] = {};
    const size_t got = data.read(head, sizeof head);
    const std::string first(head, got);
    if (startsNoCase(first, "#! rnews ")) return BatchKind::Plain;
    if (got < kCunbatchBytes || !plat::equalsNoCase(first.substr(0, kCunbatchBytes), kCunbatch)) {
        return BatchKind::Unknown;
    }
    const unsigned char* z = reinterpret_cast<const unsigned char*>(head) + kCompressedHeaderBytes;
    const int32_t stated = z[2] & 0x1f;
    const bool readable = got == sizeof head && z[0] == 0x1f && z[1] == 0x9d && stated >= 9 && stated <= 16;
    bits = readable ? stated : kDefaultBits;
    return BatchKind::Compressed;
}

NewsIntake ChooseNewsIntake(const std::string& dataPath, int32_t bits) {
    NewsIntake intake{BatchKind::Unknown, bits > 0, bits};
    int32_t stated = kDefaultBits;
    intake.kind = NewsBatchKind(dataPath, stated);
    if (!intake.compressed && intake.kind == BatchKind::Compressed) {
        intake.compressed = true;
        intake.bits = stated;
    } else if (intake.compressed && intake.kind == BatchKind::Plain) {
        intake.compressed = false;
    }
    return intake;
}

bool IsFiledNewsBatch(const std::string& spoolDir, const std::string& dataPath) {
    plat::Stream data, copy;
    if (!data.open(dataPath, "rb")) return false;
    const int64_t size = data.size();
    if (size <= 0) return false;
    if (copy.open(spoolDir + layout::kNewsBatchStaged, "rb") && copy.size() == size &&
        store::SameBytes(data, 0, copy, 0, size))
        return true;
    copy.close();
    return size > kCompressedHeaderBytes && copy.open(spoolDir + layout::kNewsBatchCompressed, "rb") &&
           copy.size() == size - kCompressedHeaderBytes &&
           store::SameBytes(data, kCompressedHeaderBytes, copy, 0, size - kCompressedHeaderBytes);
}

namespace {

// A batch is taken for what it says it is, whatever the host's bit count: a
// compressed batch taken as plain would be filed with no article and lost,
// and a plain one taken as compressed would wait in the spool for ever.
void chooseIntake(NewsJob& job, int32_t bits, ActivityLog& log) {
    const NewsIntake intake = job.named ? ChooseNewsIntake(job.dataPath, bits) : NewsIntake{BatchKind::Unknown, bits > 0, bits};
    job.compressed = intake.compressed;
    job.bits = intake.bits;
    if (intake.compressed && bits <= 0) {
        log.always("%s holds a compressed batch: expanded as one\n", job.dataPath.c_str());
    } else if (!intake.compressed && bits > 0) {
        log.always("%s holds a plain batch: filed as one\n", job.dataPath.c_str());
    }
}

// Runs the compressor over "$7b60051.z" and waits for it: the batch is used
// only once it has been expanded whole. A batch that does not expand
// (corrupt, or growing past the compressor's limit) never will: its job is
// set aside, data file and all. 0 when "$7b60051" is there, otherwise the
// job's result.
int32_t expand(const NewsJob& job, ActivityLog& log) {
    log.above(2, "DeCompressing file with %ld Bits\n", static_cast<long>(job.bits));
    const std::string commandLine = "zorpack.exe -d -b " + std::to_string(job.bits) + " " + job.batchPath;
    log.above(3, "executing %s\n", commandLine.c_str());
    log.flush();
    plat::ProcessResult run = plat::runHidden(
        plat::compressorPath(), {"-d", "-b", std::to_string(job.bits), plat::systemPath(job.batchPath)},
        kExpandTimeoutMs);
    if (!run.started) {
        log.always("unable to execute Winexec, %s\n", commandLine.c_str());
        return -1;
    }
    if (!run.finished || run.exitCode != 0) {
        std::string why;
        if (!run.finished) {
            log.always("The compressor did not finish within %u seconds\n", kExpandTimeoutMs / 1000);
            why = "its batch did not expand within " + std::to_string(kExpandTimeoutMs / 1000) + " seconds";
        } else {
            log.always("The compressor failed with exit status %d\n", run.exitCode);
            why = run.exitCode == kCompressorPassedLimit
                      ? "its batch expands past the compressor's limit (see zorpack -L)"
                      : "its batch does not expand (exit status " + std::to_string(run.exitCode) + ")";
        }
        log.always("Cannot open input after decompress!\n");
        // A batch handed over without a job in a spool is no batch: it is
        // refused, and whoever handed it over keeps it.
        if (job.executePath.empty()) {
            log.always("%s: %s\n", job.dataPath.c_str(), why.c_str());
            return 1;
        }
        return setAside(job, true, why, log);
    }
    log.above(2, "DeCompression complete\n");
    return 0;
}

// Compressed intake: the stream behind "#! cunbatch" goes to "$7b60051.z" and
// is expanded into "$7b60051". The job stays queued, execute file and data
// file, until its batch is filed: a failure on the way leaves it for the next
// call. The copy is noted in the call's `undo` while it is written: one cut
// short goes with the call, a whole one stays whatever becomes of the call
// (the next intake replaces it). 0 to go on, 1 passed over, -1 failed.
int32_t takeCompressed(const NewsJob& job, store::UndoLog& undo, ActivityLog& log) {
    plat::Stream data;
    if (!job.named || data.openUntrusted(job.dataPath) != plat::Untrusted::Opened) {
        log.always("Cannot open (%s)\n", job.dataPath.c_str());
        return 1;
    }
    const int64_t length = data.size();
    // Made afresh: whatever stands under the name (a link above all) is
    // removed, never written through.
    plat::deleteFile(job.zPath);
    plat::Stream z;
    if (!z.open(job.zPath, "wbx")) {
        log.always("Cannot open output file 1st time.\n");
        return -1;
    }
    undo.created(job.zPath);
    char head[kCunbatchBytes];
    if (data.read(head, kCunbatchBytes) != kCunbatchBytes ||
        !plat::equalsNoCase(std::string(head, kCunbatchBytes), kCunbatch)) {
        log.above(2, "Not a news file.\n");
        undo.release(job.zPath);  // nothing to copy: the empty copy is whole
        return 1;
    }
    data.seek(kCompressedHeaderBytes);
    log.above(3, "file length = %lld.\n", static_cast<long long>(length));
    // On the disk before the job leaves the spool: should a power cut fall
    // between the deletions of its two files, this copy tells the data file
    // left behind for one already filed.
    if (!copyBytes(data, z, std::max<int64_t>(0, length - kCompressedHeaderBytes)) || !z.sync() || !z.close()) {
        log.always("Cannot write %s\n", job.zPath.c_str());
        return -1;
    }
    undo.release(job.zPath);
    data.close();
    // The compressor does not write over an old expansion; one that is still
    // there would make this batch look broken.
    if (plat::Status gone = plat::deleteFile(job.batchPath); !gone && gone.kind() != plat::Failure::Missing) {
        log.always("Cannot delete %s\n", job.batchPath.c_str());
        log.cause(gone);
        return -1;
    }
    plat::deleteFile(job.intPath);
    return expand(job, log);
}

// Puts a file already written and closed on the disk.
bool syncFile(const std::string& path) {
    plat::Stream f;
    return f.open(path, "ab") && f.sync() && f.close();
}

// Plain intake: the working files of the last batch go. The data file stays
// where it is, under its job's name, until the batch is filed and on the
// disk: a power cut before then leaves the job whole for the next call. 0 to
// go on, 1 passed over.
int32_t takePlain(const NewsJob& job, ActivityLog& log) {
    plat::deleteFile(job.batchPath);
    plat::deleteFile(job.intPath);
    if (!job.named || !plat::fileExists(job.dataPath)) {
        log.always("Cannot find news data file (%s)\n", job.dataPath.c_str());
        return 1;
    }
    return 0;
}

// True when something other than a regular file stands under `path` after
// a copy could not replace it.
bool heldByNoFile(const std::string& path) {
    plat::Stream probe;
    return probe.openUntrusted(path, 64) == plat::Untrusted::NotAFile;
}

// Stages the batch ("$7b60051" expanded, or the plain data file) as
// "$7b60051.int" through "$7b60051.tmp", which is noted in the call's `undo`:
// a staging that fails leaves no copy under either name. 0 to go on;
// otherwise the job's result.
int32_t stageBatch(const NewsJob& job, store::UndoLog& undo, ActivityLog& log) {
    const std::string& source = job.compressed ? job.batchPath : job.dataPath;
    std::string staging = job.tmpPath;
    undo.created(staging);
    plat::CopyResult copied = plat::copyFile(source, staging);
    // A directory planted as "$7b60051.tmp", or under Wine a Unix FIFO
    // (which no Windows call can remove or rename), would hold every batch
    // back: the batch is then copied to "$7b60051.int" itself. A copy cut
    // short there does no harm, as every intake stages its batch afresh
    // before anything reads it.
    if (copied == plat::CopyResult::TargetFailed && heldByNoFile(job.tmpPath)) {
        log.always("%s is not a regular file: the batch is staged as %s\n", job.tmpPath.c_str(), job.intPath.c_str());
        undo.release(job.tmpPath);
        staging = job.intPath;
        plat::deleteFile(staging);
        undo.created(staging);
        copied = plat::copyFile(source, staging);
    }
    switch (copied) {
        case plat::CopyResult::Copied: break;
        case plat::CopyResult::SourceMissing:
            if (job.compressed) {
                log.always("Cannot open input after decompress!\n");
                return -1;
            }
            log.always("Cannot find news data file (%s)\n", job.dataPath.c_str());
            return 1;
        case plat::CopyResult::TargetFailed:
            log.always("Cannot open output file 2nd time!\n");
            return -1;
        case plat::CopyResult::WriteFailed:
            log.always("Cannot write %s\n", staging.c_str());
            return -1;
    }
    // A plain batch's staged copy is on the disk too (see takeCompressed).
    if (!job.compressed && !syncFile(staging)) {
        log.always("Cannot write %s\n", staging.c_str());
        return -1;
    }
    if (staging != job.intPath && !plat::moveFile(staging, job.intPath)) {
        log.always("Cannot rename %s to %s\n", job.tmpPath.c_str(), job.intPath.c_str());
        return -1;
    }
    // Staged: "$7b60051.int" stays whatever becomes of the call, as the next
    // intake replaces it.
    undo.release(staging);
    log.flush();
    return 0;
}

// Takes the job out of the spool once its batch is filed and on the disk.
// While the execute file cannot go the job is not taken, and the filing is
// taken back, so that the next call files the batch once, not twice. The
// data file is of no further use once its execute file is gone: a plain one
// is kept as "$7b60051" until the next batch, as the spool has always held
// it, a compressed one deleted.
bool takeJob(const NewsJob& job, ActivityLog& log) {
    // The staged copy's name is on the disk before the execute file goes, and
    // the execute file's deletion before the data file goes: a power cut in
    // between leaves a data file that brem check can tell for one filed.
    const std::string spoolDir = plat::directoryOf(job.executePath);
    if (!plat::syncDirectory(spoolDir)) {
        log.always("Cannot write the spool directory %s\n", spoolDir.c_str());
        return false;
    }
    if (!plat::deleteFile(job.executePath)) {
        log.always("Cannot delete %s\n", job.executePath.c_str());
        return false;
    }
    if (!plat::syncDirectory(spoolDir)) {
        log.always("Cannot write the spool directory; %s is kept\n", job.dataPath.c_str());
        return true;
    }
    if (!job.compressed && plat::moveFile(job.dataPath, job.batchPath)) return true;
    if (!plat::deleteFile(job.dataPath)) log.always("Cannot delete %s\n", job.dataPath.c_str());
    return true;
}

// The spool's waiting jobs, in the order they are taken.
SpoolJobs findNewsJobs(const std::string& spoolDir) { return SpoolJobs(spoolDir + layout::kExecuteFilePattern); }

}  // namespace

int32_t ImportNewsJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity, int32_t bits) {
    ActivityLog log;
    log.open(storeDir + layout::kNewsLog, verbosity);  // without a log the job goes on unlogged
    log.always("News import started \n");
    log.above(2, "looking for %s \n", name.c_str());

    NewsJob job(spoolDir, name);
    ExecuteJob execute;
    if (const int32_t started = startJob(job, spoolDir, execute, log)) return started;
    if (CommandOf(execute.command) != JobCommand::News) {
        log.above(2, "Not a news file.\n");
        return 1;
    }
    std::string localName;
    int mapped = MakeSpoolName(localName, execute.dataName, firstSite, secondSite);
    if (mapped == 0) log.always("return value %d %s\n", mapped, localName.c_str());
    log.above(2, "processing %s\n", localName.c_str());
    job.dataName = localName;
    job.dataPath = spoolDir + localName;
    job.named = !localName.empty();

    // An F line naming an execute file (this job's own above all) names no
    // batch that any call could ever take.
    if (execute.dataName.size() >= 2 && execute.dataName[0] == 'X' && execute.dataName[1] == '.') {
        return setAside(job, false,
                        plat::equalsNoCase(localName, name) ? "its F line names the job's own execute file"
                                                            : "its F line names an execute file (" +
                                                                  execute.dataName + "), not a data file",
                        log);
    }
    // Nor one whose data name leads out of the spool or that Windows reads
    // as a device, on either system.
    if (MapsToNoPlainName(execute.dataName, firstSite, secondSite)) {
        return setAside(job, false, "its F line names no plain file name", log);
    }
    // A data file that is a link, a FIFO or a directory is never taken.
    if (job.named) {
        plat::Stream probe;
        const plat::Untrusted r = probe.openUntrusted(job.dataPath, 64);
        if (r == plat::Untrusted::Link || r == plat::Untrusted::NotAFile || r == plat::Untrusted::Denied) {
            return setAside(job, true, "the data file " + localName + " " + UntrustedReason(r), log);
        }
    }

    chooseIntake(job, bits, log);
    // Everything this call writes is noted here and stands only once the
    // batch is filed and its job out of the spool; any other end takes it
    // back when the log goes.
    store::UndoLog undo(&log);
    int32_t taken = job.compressed ? takeCompressed(job, undo, log) : takePlain(job, log);
    if (taken == 0) taken = stageBatch(job, undo, log);
    if (taken != 0) return taken;
    const int32_t filed = FileNewsBatch(log, undo, spoolDir, storeDir, [&] { return takeJob(job, log); });
    if (filed == 0) undo.commit();
    // The one thing that sets a whole batch aside: the job waits for its map.
    if (filed == 1) log.always("%s waits in the spool: cannot open %sarea.dat\n", name.c_str(), storeDir.c_str());
    return filed;
}

int32_t DeliverNewsBatch(const std::string& workDir, const std::string& storeDir, const std::string& batchPath,
                         int32_t verbosity, std::string* reason) {
    ActivityLog log;
    log.open(storeDir + layout::kNewsLog, verbosity);  // without a log the batch goes on unlogged
    log.always("News import started \n");
    log.above(2, "processing %s\n", batchPath.c_str());
    auto fail = [&](int32_t result) {
        if (reason) *reason = log.lastMessage();
        return result;
    };
    // The batch has no job in a spool: the working files are those of one.
    NewsJob job(workDir, "");
    job.executePath.clear();
    job.dataPath = batchPath;
    job.named = true;
    int32_t stated = kDefaultBits;
    switch (NewsBatchKind(batchPath, stated)) {
        case BatchKind::Plain: break;
        case BatchKind::Compressed:
            job.compressed = true;
            job.bits = stated;
            break;
        case BatchKind::Unknown:
            log.always("%s holds no news batch: it begins with neither \"#! rnews\" nor \"#! cunbatch\"\n",
                       batchPath.c_str());
            return fail(1);
    }
    const std::string hdrPath = workDir + layout::kNewsIndex;
    if (plat::Status gone = plat::deleteFile(hdrPath); !gone && gone.kind() != plat::Failure::Missing) {
        log.always("access denied\n");
        log.cause(gone);
        return fail(-1);
    }
    // As for a job: what the call writes stands only once the batch is filed.
    store::UndoLog undo(&log);
    int32_t taken = job.compressed ? takeCompressed(job, undo, log) : takePlain(job, log);
    if (taken == 0) taken = stageBatch(job, undo, log);
    // A compressed batch that does not expand never will: no news batch.
    if (taken != 0) return fail(taken == 1 && job.compressed ? 1 : -1);
    // Filed, the batch is on the disk (FileNewsBatch syncs it) before the
    // caller lets the UUCP delete its job.
    const int32_t filed = FileNewsBatch(log, undo, workDir, storeDir);
    if (filed == 0) {
        undo.commit();
        return 0;
    }
    if (filed == 1) log.always("Cannot open %sarea.dat\n", storeDir.c_str());
    return fail(-1);  // the batch stays in its file
}

int32_t ImportNews(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity, int32_t bits) {
    for (const std::string& name : findNewsJobs(spoolDir)) {
        // A name that is no plain file name (a separator, a device name)
        // could lead out of the spool: it is named and never opened.
        if (!plat::isPlainName(name)) {
            ActivityLog log;
            log.open(storeDir + layout::kNewsLog, verbosity);
            log.always("Passed over %s: not a plain file name\n", escapeControls(name).c_str());
            continue;
        }
        int32_t r = ImportNewsJob(spoolDir, storeDir, firstSite, secondSite, name, verbosity, bits);
        if (r < 1) return r;
    }
    return 1;
}

}  // namespace brem::inbound
