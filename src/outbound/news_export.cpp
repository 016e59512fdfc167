#include "outbound/news_export.h"

#include <vector>

#include "log/log.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "store/undo.h"
#include "text/format.h"
#include "store/layout.h"

namespace brem::outbound {

namespace {

// Runs the compressor over spool + "rnews" and waits for it to end, so that
// the batch is used only once it has been compressed whole. Returns false,
// logged, when it could not be started or did not produce "rnews.z".
bool compress(const std::string& spoolDir, int32_t bits, const std::string& batchPath, ActivityLog& log) {
    const std::string bitText = std::to_string(bits);
    const std::string source = spoolDir + layout::kOutgoingNewsPlain;
    const std::string commandLine = "zorpack.exe -fk  -b " + bitText + " " + source;
    // The compressor is given the path in this system's own form, so that it
    // finds the batch whatever letter case the host gave its name.
    plat::ProcessResult run = plat::runHidden(plat::compressorPath(), {"-fk", "-b", bitText, plat::systemPath(source)},
                                              kCompressorTimeoutMs);
    if (!run.started) {
        log.always("unable to execute Winexec, %s\n", commandLine.c_str());
        return false;
    }
    if (!run.finished || run.exitCode != 0) {
        if (!run.finished) {
            log.always("The compressor did not finish within %u seconds\n", kCompressorTimeoutMs / 1000);
        } else {
            log.always("The compressor failed with exit status %d\n", run.exitCode);
        }
        log.always("Cannot open compressed file %s\n", batchPath.c_str());
        return false;
    }
    return true;
}

// Appends the rest of `in` to `out`. False when a write failed; a read error
// shows in in.readError().
bool copyAll(plat::Stream& in, plat::Stream& out) {
    std::vector<char> buf(1 << 16);
    for (;;) {
        size_t got = in.read(buf.data(), buf.size());
        if (got == 0) return true;
        if (!out.write(buf.data(), got)) return false;
    }
}

// The data file: "#! cunbatch\n" when the batch was compressed, then the
// batch as it is. False, logged, when the batch cannot be read or the data
// file not written; the job then goes back whole.
bool writeDataFile(JobWriter& job, const std::string& batchPath, int32_t bits, ActivityLog& log) {
    const std::string datName = job.name(layout::kDataFile);
    plat::Stream dat;
    if (!job.openDataFile(dat)) return false;
    // Only a batch that is a file of its own goes out: a link in its place
    // would send whatever it points to.
    plat::Stream batch;
    if (batch.openUntrusted(batchPath) != plat::Untrusted::Opened) {
        log.always("Cannot open compressed file %s\n", batchPath.c_str());
        dat.discard();
        return false;
    }
    if (bits > 0) dat.write("#! cunbatch\n", 12);
    bool copied = copyAll(batch, dat);
    if (batch.readError()) {
        log.always("Cannot read compressed file %s\n", batchPath.c_str());
        dat.discard();
        return false;
    }
    batch.close();
    if (!copied || !dat.sync() || !dat.close()) {
        log.always("Cannot write %s\n", datName.c_str());
        return false;
    }
    return true;
}

}  // namespace

int32_t ExportNews(const std::string& spoolDir, const std::string& storeDir, const std::string& site,
                   int32_t messages, int32_t verbosity, int32_t bits) {
    ActivityLog log;
    log.open(storeDir + layout::kNewsLog, verbosity);  // carries on without a log
    log.always("News export started\n");
    // Refused before anything is written or started: the site name goes
    // into every line of the job.
    const std::string problem = SiteNameProblem(site);
    if (!problem.empty()) {
        log.always("Cannot export for site %s: %s\n", escapeControls(site).c_str(), problem.c_str());
        return -1;
    }

    const std::string batchPath = spoolDir + layout::kOutgoingNews;
    if (bits > 0) {
        log.above(7, "about to compress \n");
        // A "rnews.z" left from an earlier batch must not be sent in place of
        // this one should the compressor fail.
        plat::deleteFile(batchPath);
        if (!compress(spoolDir, bits, batchPath, log)) return -1;
    }

    SequenceCounter counter;
    int32_t n = counter.draw(storeDir, log, JobKind::News);
    if (n == 0) return -1;

    // A job that cannot be completed is taken back (every file of it is
    // noted here, and any return before the commit undoes them), and the
    // batch stays for another try under the same number.
    store::UndoLog undo(&log);
    JobWriter job(spoolDir, n, JobKind::News, undo, log);
    if (!job.writeExecuteFile(site, std::string())) return -1;
    if (!writeDataFile(job, batchPath, bits, log)) return -1;
    if (!job.writeCommandFile(site)) return -1;
    log.flush();
    // Saved only once the whole job is on disk, else taken back: see
    // ExportMail.
    if (!counter.save(n, log, JobKind::News)) return -1;
    undo.commit();

    if (!plat::deleteFile(batchPath)) log.always("Cannot delete %s\n", batchPath.c_str());
    log.always("Exported %ld messages\n", static_cast<long>(messages));
    log.always("News export complete\n");
    return 0;
}

}  // namespace brem::outbound
