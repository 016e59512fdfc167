#include "outbound/mail_export.h"

#include "log/log.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "text/format.h"

namespace brem::outbound {

namespace {

// The message becomes the data file by a rename, which never replaces. A data
// file left under this number by an old job (the numbers wrapped after 9999)
// gives way to the new message: its command and execute files have just been
// overwritten, so it would otherwise go out with this job's recipient.
bool moveMessageIntoJob(const std::string& messagePath, JobWriter& job, ActivityLog& log) {
    const std::string datPath = job.path("DAT");
    // Only a message the host wrote goes out: a link put in its place would
    // have the transfer send whatever it points to.
    plat::Stream probe;
    const plat::Untrusted r = probe.openUntrusted(messagePath, 64);
    probe.close();
    if (r == plat::Untrusted::Link || r == plat::Untrusted::NotAFile) {
        log.always("Cannot open %s: it is %s\n", messagePath.c_str(),
                   r == plat::Untrusted::Link ? "a link" : "not a regular file");
        return false;
    }
    if (!plat::moveFile(messagePath, datPath)) {
        if (!plat::fileExists(messagePath)) {
            log.always("Cannot open %s\n", messagePath.c_str());
            return false;
        }
        if (!plat::fileExists(datPath) || !plat::deleteFile(datPath) || !plat::moveFile(messagePath, datPath)) {
            log.always("Cannot rename %s to %s\n", messagePath.c_str(), datPath.c_str());
            return false;
        }
    }
    job.dataMovedFrom(messagePath);
    return true;
}

}  // namespace

int32_t ExportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& recipient,
                   const std::string& site, const std::string& sender, int32_t verbosity) {
    ActivityLog log;
    if (!log.open(storeDir + "mail.log", verbosity)) return -1;

    // Refused before anything is written: the remote site runs the command
    // line with this recipient, and the site name goes into every line.
    std::string problem = SiteNameProblem(site);
    if (!problem.empty()) {
        log.always("Cannot export for site %s: %s\n", escapeControls(site).c_str(), problem.c_str());
        return -1;
    }
    problem = RecipientProblem(recipient);
    if (!problem.empty()) {
        log.always("Cannot export to %s: %s\n", escapeControls(recipient).c_str(), problem.c_str());
        return -1;
    }

    SequenceCounter counter;
    int32_t n = counter.draw(storeDir, log, JobKind::Mail);
    if (n == 0) return -1;

    JobWriter job(spoolDir, n, JobKind::Mail, log);
    if (!job.writeControlFiles(site, recipient)) return -1;
    log.above(1, "Exporting message to %s from %s\n", recipient.c_str(), escapeControls(sender).c_str());
    if (!moveMessageIntoJob(spoolDir + "rmail.z", job, log)) return -1;
    // Saved only once the whole job is on disk. A number that cannot be saved
    // would be drawn again by the next export, which would overwrite this job
    // before the transfer has sent it, so the job is then taken back and the
    // message returned to "rmail.z".
    if (!counter.save(n, log, JobKind::Mail)) return -1;
    job.keep();
    return 0;
}

}  // namespace brem::outbound
