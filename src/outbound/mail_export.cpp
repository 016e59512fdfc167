#include "outbound/mail_export.h"

#include "log/log.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"

namespace brem::outbound {

namespace {

void removeFiles(const std::string& a, const std::string& b) {
    plat::deleteFile(a);
    plat::deleteFile(b);
}

}  // namespace

int32_t ExportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& recipient,
                   const std::string& site, const std::string& sender, int32_t verbosity) {
    ActivityLog log;
    if (!log.open(storeDir + "mail.log", verbosity)) return -1;

    SequenceCounter counter;
    int32_t n = counter.draw(storeDir, log, JobKind::Mail);
    if (n == 0) return -1;

    const std::string cmdPath = spoolDir + JobFileName(n, "CMD");
    const std::string xqtPath = spoolDir + JobFileName(n, "XQT");
    const std::string datPath = spoolDir + JobFileName(n, "DAT");
    const std::string messagePath = spoolDir + "rmail.z";

    // A job with a file missing would reach the remote site as nonsense, or
    // not at all while the host believes it sent: any file that cannot be
    // written ends the export with nothing of the job left in the spool.
    switch (WriteJobFile(cmdPath, CommandFileText(n, site, JobKind::Mail))) {
        case WriteResult::Written: break;
        case WriteResult::CannotCreate: log.always("Cannot open .cmd\n"); return -1;
        case WriteResult::WriteFailed: log.always("Cannot write .cmd\n"); return -1;
    }
    switch (WriteJobFile(xqtPath, ExecuteFileText(n, site, JobKind::Mail, recipient))) {
        case WriteResult::Written: break;
        case WriteResult::CannotCreate:
            log.always("Cannot open .xqt\n");
            plat::deleteFile(cmdPath);
            return -1;
        case WriteResult::WriteFailed:
            log.always("Cannot write .xqt\n");
            plat::deleteFile(cmdPath);
            return -1;
    }

    log.above(1, "Exporting message to %s from %s\n", recipient.c_str(), sender.c_str());

    // The message becomes the data file by a rename, which never replaces. A
    // data file left under this number by an old job (the numbers wrapped
    // after 9999) gives way to the new message: its command and execute files
    // have just been overwritten, so it would otherwise go out with this
    // job's recipient.
    if (!plat::moveFile(messagePath, datPath)) {
        if (!plat::fileExists(messagePath)) {
            log.always("Cannot open %s\n", messagePath.c_str());
            removeFiles(cmdPath, xqtPath);
            return -1;
        }
        if (!plat::fileExists(datPath) || !plat::deleteFile(datPath) || !plat::moveFile(messagePath, datPath)) {
            log.always("Cannot rename %s to %s\n", messagePath.c_str(), datPath.c_str());
            removeFiles(cmdPath, xqtPath);
            return -1;
        }
    }

    // Saved only now that the whole job is on disk. A number that cannot be
    // saved would be drawn again by the next export, which would overwrite
    // this job before the transfer has sent it, so the job is taken back and
    // the message returned to "rmail.z".
    SequenceCounter::SaveResult saved = counter.save(n);
    if (saved != SequenceCounter::SaveResult::Saved) {
        log.always(saved == SequenceCounter::SaveResult::CannotCreate ? "Cannot open export.dat to write (mail)\n"
                                                                      : "Cannot write export.dat (mail)\n");
        if (!plat::moveFile(datPath, messagePath)) {
            log.always("Cannot rename %s back to %s\n", datPath.c_str(), messagePath.c_str());
        }
        removeFiles(cmdPath, xqtPath);
        return -1;
    }
    log.close();
    return 0;
}

}  // namespace brem::outbound
