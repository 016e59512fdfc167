#include "inbound/mail_import.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "inbound/bad_jobs.h"
#include "inbound/byte_lines.h"
#include "inbound/execute_file.h"
#include "inbound/header_line.h"
#include "inbound/spool_name.h"
#include "inbound/spool_queue.h"
#include "platform/platform.h"
#include "platform/winpath.h"
#include "store/store.h"
#include "store/undo.h"
#include "text/format.h"
#include "store/layout.h"
#include "store/index_reader.h"

namespace brem::inbound {

namespace {

constexpr size_t kHeaderLineChars = 2000;

// The widths the record keeps of each header line, terminating NUL counted as
// the store has always counted it: a longer line is cut to fit and keeps its
// line end, so a record is always eight lines.
constexpr size_t kFromWidth = 200;
constexpr size_t kSubjectWidth = 200;
constexpr size_t kMessageIdWidth = 200;
constexpr size_t kDateWidth = 100;
constexpr size_t kCcWidth = 2048;

// Drops a line end (LF, or CR LF from an execute file written on Windows).
std::string withoutLineEnd(std::string s) {
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (!s.empty() && s.back() == '\r') s.pop_back();
    return s;
}

// Reads the header block of a data file from its current position.
MailHeaders scanHeaders(plat::Stream& data) {
    MailHeaders h;
    std::string line;
    while (data.getLine(line, kHeaderLineChars) && TakeMailHeaderLine(h, line)) {
    }
    return h;
}

// The record's To line: "To:" and the command after "C rmail" (its blank
// becomes the blank after the colon), with the command's line end.
std::string buildToLine(const std::string& command, ActivityLog& log) {
    std::string rest = command.size() > 7 ? command.substr(7) : std::string();
    bool hadLineEnd = !rest.empty() && rest.back() == '\n';
    std::string toLine = "To:" + withoutLineEnd(rest) + (hadLineEnd ? "\n" : "");
    if (toLine.find('@') == std::string::npos) {
        log.always("1\tDid not find a valid ID, no @ in address - Result %s.\n", toLine.c_str());
    }
    return recordLine(toLine, kCcWidth);
}

// Opens the job's data file under its local name, or else under the execute
// file's name with the type letter D, as the transfer may have left it.
// `readName` is the name that opened (or was refused). Bad, with `why`, when
// the file there can never be imported (a link, a FIFO): the job is then
// set aside rather than tried again.
enum class DataOpen { Opened, NotThere, Bad };
DataOpen openDataFile(const std::string& spoolDir, const std::string& localName, const std::string& executeName,
                      plat::Stream& data, std::string& readName, std::string& why, ActivityLog& log) {
    const std::string fallback = layout::dataFileBeside(executeName);
    // An F line that maps to no name leaves only the fallback to try.
    for (const std::string& name : {localName, fallback}) {
        if (name.empty()) continue;
        readName = name;
        const plat::Untrusted r = data.openUntrusted(spoolDir + name);
        if (r == plat::Untrusted::Opened) return DataOpen::Opened;
        if (r != plat::Untrusted::Missing && r != plat::Untrusted::Failed) {
            why = "the data file " + name + " " + UntrustedReason(r);
            return DataOpen::Bad;
        }
    }
    log.always("0\tCannot open (%s)\n", (spoolDir + localName).c_str());
    log.always("0\tCannot open (%s)\n", (spoolDir + fallback).c_str());
    return DataOpen::NotThere;
}

// An F line naming an execute file (its own above all, which no import could
// ever take): why the job is bad, or empty when the name is of a data file.
std::string wrongDataName(const std::string& dataName, const std::string& localName, const std::string& executeName) {
    if (dataName.size() < 2 || dataName[0] != 'X' || dataName[1] != '.') return std::string();
    if (plat::equalsNoCase(localName, executeName)) return "its F line names the job's own execute file";
    return "its F line names an execute file (" + dataName + "), not a data file";
}

// A record line that holds a number alone: the start and the end, which
// close every record. The six lines before them begin with header names.
bool isNumberLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '-') line.remove_prefix(1);
    if (line.empty()) return false;
    for (char c : line) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// mail.hdr is read by the host in groups of eight lines, so a record cut short
// by a power cut (its import's job still waits in the spool, since the job
// goes only once the record is on the disk) would put every record appended
// after it out of step. Such a tail, up to eight lines after the last start
// and end pair that begin with "To:", is cut away before the next record is
// written. Anything else at the end of the file is left as it is. Returns the
// size to append at, or -1 when the cut failed.
int64_t cutTornRecord(plat::Stream& hdr, const std::string& hdrPath, int64_t size, ActivityLog& log) {
    constexpr int64_t kTail = 16384;  // more than two records of the widest lines
    if (size == 0) return 0;
    plat::Stream in;
    const int64_t from = size > kTail ? size - kTail : 0;
    std::string tail(static_cast<size_t>(size - from), '\0');
    if (!in.open(hdrPath, "rb", static_cast<size_t>(kTail)) || !in.seek(from) ||
        in.read(tail.data(), tail.size()) != tail.size()) {
        return size;  // unreadable here: left to the host as it always was
    }
    in.close();
    if (tail.back() == '\n' && tail.size() >= 2) {
        // A whole file ends in a record's end line after its start line.
        size_t lastLine = tail.rfind('\n', tail.size() - 2);
        size_t prevLine = lastLine == std::string::npos || lastLine == 0 ? std::string::npos
                                                                         : tail.rfind('\n', lastLine - 1);
        if (lastLine != std::string::npos && prevLine != std::string::npos &&
            isNumberLine(std::string_view(tail).substr(lastLine + 1)) &&
            isNumberLine(std::string_view(tail).substr(prevLine + 1, lastLine - prevLine))) {
            return size;
        }
    }
    // The end of the last whole record in view: after the last two number
    // lines in a row.
    size_t recordEnd = std::string::npos;
    size_t pos = from == 0 ? 0 : tail.find('\n') + 1;  // a first line cut by the window is not judged
    bool previousIsNumber = false;
    int linesAfter = 0;
    while (pos < tail.size()) {
        size_t lf = tail.find('\n', pos);
        if (lf == std::string::npos) break;  // the cut last line
        bool number = isNumberLine(std::string_view(tail).substr(pos, lf - pos + 1));
        if (number && previousIsNumber) {
            recordEnd = lf + 1;
            linesAfter = 0;
            previousIsNumber = false;
        } else {
            previousIsNumber = number;
            ++linesAfter;
        }
        pos = lf + 1;
    }
    if (recordEnd == std::string::npos) {
        if (from != 0) return size;
        recordEnd = 0;
    }
    const size_t lead = std::min<size_t>(3, tail.size() - recordEnd);
    if (linesAfter >= 8 || tail.compare(recordEnd, lead, "To:", lead) != 0) return size;
    const int64_t cut = from + static_cast<int64_t>(recordEnd);
    if (!hdr.truncate(cut)) return -1;
    log.always("0\tmail.hdr ended in a record cut short (%lld bytes), left by an import that was cut off: taken "
               "away; its job is imported again\n",
               static_cast<long long>(size - cut));
    return cut;
}

// Appends the message to mailarea.txt, noted in `undo`; `area` is left begun
// and finished, not closed. Logs and returns false on a failure.
bool appendMessage(const std::string& areaPath, plat::Stream& data, int64_t length, store::Append& area,
                   int32_t& end, store::UndoLog& undo, ActivityLog& log) {
    switch (area.begin(areaPath, length, undo)) {
        case store::Append::Status::Ok: break;
        case store::Append::Status::OpenFailed:
            log.always("0\tCannot open mailarea.txt file (%s)\n", areaPath.c_str());
            return false;
        case store::Append::Status::TooLarge:
            log.always("0\tmailarea.txt file is full: a message of %lld bytes would take it past 2147483647 bytes "
                       "(%s)\n",
                       static_cast<long long>(length), areaPath.c_str());
            return false;
        default:
            log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
            return false;
    }
    if (area.wasEmpty()) log.always("0\tmailarea.txt file is not there or 0 length\n");
    data.seek(0);
    char buf[65536];
    for (int64_t left = length; left > 0;) {
        size_t want = left > static_cast<int64_t>(sizeof buf) ? sizeof buf : static_cast<size_t>(left);
        size_t got = data.read(buf, want);
        if (got == 0) break;
        area.out().write(buf, got);
        left -= static_cast<int64_t>(got);
    }
    // The message is on the disk before the record that points to it is
    // written: a power cut may then leave a message without a record (bytes no
    // record reaches, which the host never sees), never a record without its
    // message.
    if (data.readError() || area.finish(&end) != store::Append::Status::Ok || !area.out().sync() ||
        (area.wasEmpty() && !plat::syncDirectory(plat::directoryOf(areaPath)))) {
        log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
        return false;
    }
    return true;
}

// Takes the job out of the spool once its message is stored. The execute
// file is what makes a later call take the job again: while it cannot be
// deleted the store gives the message back (through `undo`, the record
// first), so that the job is imported once, by the call that can also take
// it out of the spool. Returns false when the message was given back.
bool takeJob(const std::string& executePath, const std::string& readPath, const std::string& areaPath,
             store::UndoLog& undo, ActivityLog& log) {
    log.above(4, "5\tDeleting %s\n", executePath.c_str());
    if (!plat::deleteFile(executePath)) {
        log.always("0\tCannot delete (%s)\n", executePath.c_str());
        // The record goes first; when it cannot, the message stays with it.
        if (undo.rollback(store::UndoLog::OnFailure::Stop)) return false;
        // The message stays stored; without its data file the execute file
        // can no longer be taken again.
        log.always("0\tCannot take back the message from (%s)\n", areaPath.c_str());
    }
    undo.commit();
    // The execute file's deletion is on the disk before the data file goes:
    // a power cut between the two then leaves the data file of a mail
    // already stored (which brem check recognises), never an execute file
    // whose data is gone, which no import could take again.
    if (!plat::syncDirectory(plat::directoryOf(executePath))) {
        log.always("0\tCannot write the spool directory; (%s) is kept\n", readPath.c_str());
        return true;
    }
    log.above(4, "5\tDeleting %s\n", readPath.c_str());
    if (!plat::deleteFile(readPath)) log.always("0\tCannot delete (%s)\n", readPath.c_str());
    return true;
}

// The spool's waiting jobs, in the order they are taken.
SpoolJobs findMailJobs(const std::string& spoolDir) { return SpoolJobs(spoolDir + layout::kExecuteFilePattern); }

}  // namespace

bool TakeMailHeaderLine(MailHeaders& h, std::string_view line) {
    if (line.empty() || line[0] == '\n') return false;
    if (startsNoCase(line, "From: ")) {
        h.from.assign(line);
    } else if (startsNoCase(line, "Subject: ")) {
        h.subject.assign(line);
    } else if (startsNoCase(line, "Date: ")) {
        h.date.assign(line);
    } else if (startsNoCase(line, "Message-Id")) {
        h.messageId.assign(line);
    } else if (startsNoCase(line, "Cc: ")) {
        h.cc.assign(line);
    }
    return true;
}

MailHeaders ScanMailHeaders(std::string_view message) {
    MailHeaders h;
    ByteLines lines(message);
    std::string_view line;
    while (lines.next(line, kHeaderLineChars) && TakeMailHeaderLine(h, line)) {
    }
    return h;
}

std::string MailRecordLines(const std::string& toLine, const MailHeaders& h) {
    std::string record = toLine;
    record += recordLine(h.from.empty() ? std::string("From: ") : h.from, kFromWidth);
    record += h.date.empty() ? std::string("Date: \n") : recordLine(h.date, kDateWidth);
    record += h.messageId.empty() ? std::string(store::kNoMessageIdLine) + "\n" : recordLine(h.messageId, kMessageIdWidth);
    record += h.subject.empty() ? std::string(store::kNoSubjectLine) + "\n" : recordLine(h.subject, kSubjectWidth);
    record += h.cc.empty() ? std::string(store::kNoCcLine) + "\n" : recordLine(h.cc, kCcWidth);
    return record;
}

int32_t StoreMail(const std::string& storeDir, const std::string& toLine, plat::Stream& data, ActivityLog& log,
                  store::UndoLog& undo) {
    const int64_t length = data.size();
    if (length < 0 || !data.seek(0)) {
        log.always("0\tCannot read the message to store\n");
        return -1;
    }
    const MailHeaders h = scanHeaders(data);

    // The record is written only once the message is in the area file, and
    // the call takes both back when either fails: mail.hdr never holds a
    // record of fewer than eight lines, and mailarea.txt no message without a
    // record.
    const std::string hdrPath = storeDir + layout::kMailIndex;
    auto hdr = std::make_shared<plat::Stream>();
    if (!hdr->open(hdrPath, "at")) {
        log.always("0\tCannot open file (%s)\n", hdrPath.c_str());
        return -1;
    }
    int64_t hdrBefore = hdr->size();
    if (hdrBefore >= 0) hdrBefore = cutTornRecord(*hdr, hdrPath, hdrBefore, log);
    if (hdrBefore < 0) {
        log.always("0\tCannot write file (%s)\n", hdrPath.c_str());
        return -1;
    }
    log.always("1\tReceived Msg %s\n %s\n", toLine.c_str(), h.from.c_str());
    std::string record = MailRecordLines(toLine, h);

    const std::string areaPath = storeDir + layout::kMailAreaFile;
    store::Append area;
    int32_t end = 0;
    if (!appendMessage(areaPath, data, length, area, end, undo, log)) return -1;
    record += std::to_string(area.start()) + "\n" + std::to_string(end) + "\n";

    // Both files, and their names when this import made them, are on the
    // disk before the job leaves the spool: a power cut can at worst make the
    // job be imported again. Taken back newest first: the record, then the
    // message it points to.
    undo.appended(hdrPath, hdrBefore, hdr);
    if (!hdr->write(record) || !hdr->sync() || !hdr->close() || (hdrBefore == 0 && !plat::syncDirectory(storeDir))) {
        log.always("0\tCannot write file (%s)\n", hdrPath.c_str());
        return -1;
    }
    if (!area.close()) {
        log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
        return -1;
    }
    return 0;
}

int32_t StoreMail(const std::string& storeDir, const std::string& toLine, plat::Stream& data, ActivityLog& log) {
    store::UndoLog undo(&log);
    if (StoreMail(storeDir, toLine, data, log, undo) != 0) return -1;
    undo.commit();
    return 0;
}

int32_t DeliverMail(const std::string& storeDir, const std::string& recipients, plat::Stream& data,
                    int32_t verbosity, std::string* reason) {
    ActivityLog log;
    log.open(storeDir + layout::kMailLog, verbosity, true);  // carries on without a log, as an import does
    const std::string toLine = buildToLine("C rmail " + recipients + "\n", log);
    if (StoreMail(storeDir, toLine, data, log) == 0) return 0;
    if (reason) *reason = log.lastMessage();
    return -1;
}

int32_t ImportMailJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity) {
    ActivityLog log;
    log.open(storeDir + layout::kMailLog, verbosity, true);  // carries on without a log

    log.above(4, "5\tlooking for %s \n", name.c_str());
    const std::string executePath = spoolDir + name;
    log.above(3, "4\tprocessing %s\n", executePath.c_str());

    ExecuteJob job;
    std::string why;
    switch (ReadExecuteFile(executePath, kMailExecuteLimits, job, why)) {
        case ExecuteRead::Ok: break;
        case ExecuteRead::Bad:
            // Set aside, so that it costs no later call a look; the search
            // goes on with the next job either way.
            SetJobAside(spoolDir, name, std::string(), "the execute file " + why, "0\t", log);
            return -1;
        default: log.always("Cannot open file.(%s)\n", executePath.c_str()); return -1;
    }
    log.above(4, "5\tFound end of file\n");
    if (CommandOf(job.command) != JobCommand::Mail) {
        log.above(4, "5\tNot a mail file.\n");
        return -1;
    }
    const std::string toLine = buildToLine(job.command, log);

    std::string localName;
    int mapped = MakeSpoolName(localName, job.dataName, firstSite, secondSite);
    if (mapped == 0) log.always("1\treturn value %d %s\n", mapped, localName.c_str());
    why = wrongDataName(job.dataName, localName, name);
    // A data name that leads out of the spool or that Windows reads as a
    // device: no call could ever take the job, on either system.
    if (why.empty() && MapsToNoPlainName(job.dataName, firstSite, secondSite)) {
        why = "its F line names no plain file name";
    }
    if (!why.empty()) {
        SetJobAside(spoolDir, name, std::string(), why, "0\t", log);
        return -1;
    }

    plat::Stream data;
    std::string readName;
    switch (openDataFile(spoolDir, localName, name, data, readName, why, log)) {
        case DataOpen::Opened: break;
        case DataOpen::NotThere: return -1;
        case DataOpen::Bad: SetJobAside(spoolDir, name, readName, why, "0\t", log); return -1;
    }
    const std::string readPath = spoolDir + readName;
    if (data.size() < 0) {
        log.always("0\tCannot open (%s)\n", readPath.c_str());
        return -1;
    }

    // Nothing is deleted from the spool until the message is in the area file
    // and its whole record is in mail.hdr; a failure on the way takes the
    // call's work back and leaves both spool files for the next call.
    store::UndoLog undo(&log);
    if (StoreMail(storeDir, toLine, data, log, undo) != 0) return -1;
    data.close();
    return takeJob(executePath, readPath, storeDir + layout::kMailAreaFile, undo, log) ? 0 : -1;
}

int32_t ImportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity) {
    SpoolJobs names;
    {
        ActivityLog log;
        if (!log.open(storeDir + layout::kMailLog, verbosity)) return -1;
        log.above(4, "Looking for %s\n", (spoolDir + layout::kExecuteFilePattern).c_str());
        names = findMailJobs(spoolDir);
        if (names.empty()) {
            log.above(2, "No inbound mail found\n");
            return -1;
        }
        log.above(2, "Inbound mail found\n");
    }
    for (const std::string& name : names) {
        // A name that is no plain file name (a separator, a device name)
        // could lead out of the spool: it is named and never opened.
        if (!plat::isPlainName(name)) {
            ActivityLog log;
            log.open(storeDir + layout::kMailLog, verbosity);
            log.always("0\tPassed over %s: not a plain file name\n", escapeControls(name).c_str());
            continue;
        }
        if (ImportMailJob(spoolDir, storeDir, firstSite, secondSite, name, verbosity) == 0) return 0;
    }
    return -1;
}

}  // namespace brem::inbound
