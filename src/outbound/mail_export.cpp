#include "outbound/mail_export.h"

#include "log/log.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "store/undo.h"
#include "text/format.h"
#include "store/layout.h"

namespace brem::outbound {

namespace {

// The message becomes the data file as a copy, put on the disk; "rmail.z"
// goes only once the whole job and its number are there, so that a power cut
// at any moment leaves the message in "rmail.z", in a complete job, or (when
// the deletion is what was lost) in both. A data file left under this number
// by an old job (the numbers wrapped after 9999) gives way to the new
// message: its command and execute files are written anew, so it would
// otherwise go out with this job's recipient.
bool copyMessageIntoJob(const std::string& messagePath, JobWriter& job, ActivityLog& log) {
    // Only a message the host wrote goes out: a link put in its place would
    // have the transfer send whatever it points to.
    plat::Stream in;
    const plat::Untrusted r = in.openUntrusted(messagePath);
    if (r == plat::Untrusted::Link || r == plat::Untrusted::NotAFile) {
        log.always("Cannot open %s: it is %s\n", messagePath.c_str(),
                   r == plat::Untrusted::Link ? "a link" : "not a regular file");
        return false;
    }
    if (r != plat::Untrusted::Opened) {
        log.always("Cannot open %s\n", messagePath.c_str());
        return false;
    }
    const std::string datName = job.name(layout::kDataFile);
    plat::Stream dat;
    if (!job.openDataFile(dat)) return false;
    while (dat.transferFrom(in, size_t{1} << 30) > 0) {
    }
    if (in.readError()) {
        log.always("Cannot read %s\n", messagePath.c_str());
        return false;
    }
    if (!dat.sync() || !dat.close()) {
        log.always("Cannot write %s\n", datName.c_str());
        return false;
    }
    return true;
}

}  // namespace

int32_t ExportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& recipient,
                   const std::string& site, const std::string& sender, int32_t verbosity) {
    ActivityLog log;
    if (!log.open(storeDir + layout::kMailLog, verbosity)) return -1;

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

    // Every file of the job is noted here; any return before the commit
    // takes the whole job back, and the message stays in "rmail.z".
    store::UndoLog undo(&log);
    JobWriter job(spoolDir, n, JobKind::Mail, undo, log);
    if (!job.writeExecuteFile(site, recipient)) return -1;
    log.above(1, "Exporting message to %s from %s\n", recipient.c_str(), escapeControls(sender).c_str());
    const std::string messagePath = spoolDir + layout::kOutgoingMail;
    if (!copyMessageIntoJob(messagePath, job, log)) return -1;
    if (!job.writeCommandFile(site)) return -1;
    // Saved only once the whole job is on disk. A number that cannot be saved
    // would be drawn again by the next export, which would overwrite this job
    // before the transfer has sent it, so the job is then taken back and the
    // message stays in "rmail.z".
    if (!counter.save(n, log, JobKind::Mail)) return -1;
    undo.commit();
    // The job stands; a message still in "rmail.z" would go out twice.
    if (!plat::deleteFile(messagePath)) log.always("Cannot delete %s\n", messagePath.c_str());
    return 0;
}

}  // namespace brem::outbound
