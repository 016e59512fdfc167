#include "inbound/news_import.h"

#include <algorithm>
#include <vector>

#include "inbound/execute_file.h"
#include "inbound/header_line.h"
#include "inbound/news_filing.h"
#include "inbound/spool_name.h"
#include "inbound/spool_queue.h"
#include "log/log.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"

namespace brem::inbound {

namespace {

constexpr const char* kCunbatch = "#! cunbatch";
constexpr size_t kCunbatchBytes = 11;
constexpr int64_t kCompressedHeaderBytes = 12;  // "#! cunbatch" and its line feed

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

}  // namespace

int32_t ImportNewsJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity, int32_t bits) {
    ActivityLog log;
    log.open(storeDir + "news.log", verbosity);  // without a log the job goes on unlogged
    log.always("News import started \n");
    log.above(2, "looking for %s \n", name.c_str());

    const std::string executePath = spoolDir + name;
    ExecuteJob job;
    if (!ReadExecuteFile(executePath, kNewsExecuteLimits, job)) {
        log.always("Cannot open %s\n", executePath.c_str());
        return -1;
    }
    // Header.Msg describes the batch of this job alone. One that is still
    // there after the delete is held by someone else.
    const std::string hdrPath = spoolDir + "Header.Msg";
    if (!plat::deleteFile(hdrPath) && plat::fileExists(hdrPath)) {
        log.always("access denied\n");
        return -1;
    }
    log.flush();

    const std::string& dataName = job.dataName;
    const std::string& command = job.command;
    if (!startsNoCase(command, "C rnews")) {
        log.above(2, "Not a news file.\n");
        return 1;
    }

    std::string localName;
    int mapped = MakeSpoolName(localName, dataName, firstSite, secondSite);
    if (mapped == 0) log.always("return value %d %s\n", mapped, localName.c_str());
    log.above(2, "processing %s\n", localName.c_str());
    const std::string dataPath = spoolDir + localName;
    const std::string batchPath = spoolDir + "$7b60051";
    const std::string intPath = spoolDir + "$7b60051.int";
    const std::string tmpPath = spoolDir + "$7b60051.tmp";
    const bool compressed = bits > 0;

    if (compressed) {
        plat::Stream data;
        if (localName.empty() || !data.open(dataPath, "rb")) {
            log.always("Cannot open (%s)\n", dataPath.c_str());
            return 1;
        }
        const int64_t length = data.size();
        const std::string zPath = spoolDir + "$7b60051.z";
        plat::Stream z;
        if (!z.open(zPath, "wb")) {
            log.always("Cannot open output file 1st time.\n");
            return -1;
        }
        char head[kCunbatchBytes];
        if (data.read(head, kCunbatchBytes) != kCunbatchBytes ||
            !plat::equalsNoCase(std::string(head, kCunbatchBytes), kCunbatch)) {
            log.above(2, "Not a news file.\n");
            return 1;
        }
        // The job stays queued, execute file and data file, until its batch
        // is filed: a failure on the way leaves it for the next call.

        data.seek(kCompressedHeaderBytes);
        log.above(3, "file length = %lld.\n", static_cast<long long>(length));
        if (!copyBytes(data, z, std::max<int64_t>(0, length - kCompressedHeaderBytes)) || !z.close()) {
            log.always("Cannot write %s\n", zPath.c_str());
            z.discard();
            plat::deleteFile(zPath);
            return -1;
        }
        data.close();
        // The compressor does not write over an old expansion; one that is
        // still there would make this batch look broken.
        if (!plat::deleteFile(batchPath) && plat::fileExists(batchPath)) {
            log.always("Cannot delete %s\n", batchPath.c_str());
            return -1;
        }
        plat::deleteFile(intPath);

        log.above(2, "DeCompressing file with %ld Bits\n", static_cast<long>(bits));
        const std::string commandLine = "zorpack.exe -d -b " + std::to_string(bits) + " " + batchPath;
        log.above(3, "executing %s\n", commandLine.c_str());
        log.flush();
        // The compressor is waited for: the batch is used only once it has
        // been expanded whole, and a failed expansion keeps the data file.
        plat::ProcessResult run = plat::runHidden(
            plat::compressorPath(), {"-d", "-b", std::to_string(bits), plat::systemPath(batchPath)}, kExpandTimeoutMs);
        if (!run.started) {
            log.always("unable to execute Winexec, %s\n", commandLine.c_str());
            return -1;
        }
        if (!run.finished || run.exitCode != 0) {
            if (!run.finished) {
                log.always("The compressor did not finish within %u seconds\n", kExpandTimeoutMs / 1000);
            } else {
                // A batch the compressor refuses never expands: the job is
                // set aside, its data file kept in the spool for a look.
                log.always("The compressor failed with exit status %d\n", run.exitCode);
                if (!plat::deleteFile(executePath)) log.always("Cannot delete %s\n", executePath.c_str());
            }
            log.always("Cannot open input after decompress!\n");
            return -1;
        }
        log.above(2, "DeCompression complete\n");
    } else {
        // The batch is moved out of the way first; the execute file goes only
        // once the batch is staged, so a job is never left without its data.
        plat::deleteFile(batchPath);
        plat::deleteFile(intPath);
        if (localName.empty() || !plat::fileExists(dataPath) || !plat::moveFile(dataPath, batchPath)) {
            log.always("Cannot find news data file (%s)\n", dataPath.c_str());
            return 1;
        }
    }

    // A plain job that cannot be staged or filed goes back to where it was,
    // waiting; copied back should the rename fail, since the next job's
    // intake removes "$7b60051".
    auto putBack = [&] {
        if (compressed || plat::moveFile(batchPath, dataPath)) return;
        if (plat::copyFile(batchPath, dataPath) != plat::CopyResult::Copied) {
            log.always("Cannot rename %s back to %s\n", batchPath.c_str(), dataPath.c_str());
        }
    };
    switch (plat::copyFile(batchPath, tmpPath)) {
        case plat::CopyResult::Copied: break;
        case plat::CopyResult::SourceMissing:
            if (compressed) {
                log.always("Cannot open input after decompress!\n");
                return -1;
            }
            log.always("Cannot find news data file (%s)\n", dataPath.c_str());
            putBack();
            return 1;
        case plat::CopyResult::TargetFailed:
            log.always("Cannot open output file 2nd time!\n");
            plat::deleteFile(tmpPath);
            putBack();
            return -1;
        case plat::CopyResult::WriteFailed:
            log.always("Cannot write %s\n", tmpPath.c_str());
            plat::deleteFile(tmpPath);
            putBack();
            return -1;
    }
    if (!plat::moveFile(tmpPath, intPath)) {
        log.always("Cannot rename %s to %s\n", tmpPath.c_str(), intPath.c_str());
        plat::deleteFile(tmpPath);
        putBack();
        return -1;
    }
    log.flush();

    // The execute file goes once the batch is filed; while it cannot go the
    // job is not taken, and the filing is taken back, so that the next call
    // files the batch once, not twice. The compressed data file is of no
    // further use once its execute file is gone.
    auto takeJob = [&] {
        if (!plat::deleteFile(executePath)) {
            log.always("Cannot delete %s\n", executePath.c_str());
            return false;
        }
        if (compressed && !plat::deleteFile(dataPath)) log.always("Cannot delete %s\n", dataPath.c_str());
        return true;
    };
    int32_t filed = FileNewsBatch(log, spoolDir, storeDir, verbosity, takeJob);
    if (filed != 0) putBack();
    return filed;
}

int32_t ImportNews(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity, int32_t bits) {
    for (const std::string& name : SpoolJobs(spoolDir + "*.x")) {
        int32_t r = ImportNewsJob(spoolDir, storeDir, firstSite, secondSite, name, verbosity, bits);
        if (r < 1) return r;
    }
    return 1;
}

}  // namespace brem::inbound
