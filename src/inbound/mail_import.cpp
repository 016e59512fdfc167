#include "inbound/mail_import.h"

#include <cstring>

#include "inbound/header_line.h"
#include "inbound/spool_name.h"
#include "inbound/spool_queue.h"
#include "log/log.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "store/store.h"

namespace brem::inbound {

namespace {

constexpr size_t kExecuteLineChars = 1999;
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

struct Headers {
    std::string from, date, messageId, subject, cc;
};

// Reads the header block: the last line matching each name wins; the scan
// ends after the empty line or at the end of the file.
Headers scanHeaders(plat::Stream& data) {
    Headers h;
    std::string line;
    while (data.getLine(line, kHeaderLineChars)) {
        if (line[0] == '\n') break;
        if (startsNoCase(line, "From: ")) {
            h.from = line;
        } else if (startsNoCase(line, "Subject: ")) {
            h.subject = line;
        } else if (startsNoCase(line, "Date: ")) {
            h.date = line;
        } else if (startsNoCase(line, "Message-Id")) {
            h.messageId = line;
        } else if (startsNoCase(line, "Cc: ")) {
            h.cc = line;
        }
    }
    return h;
}

}  // namespace

int32_t ImportMailJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity) {
    ActivityLog log;
    log.open(storeDir + "mail.log", verbosity, true);  // carries on without a log

    log.above(4, "5\tlooking for %s \n", name.c_str());
    std::string executePath = spoolDir + name;
    log.above(3, "4\tprocessing %s\n", executePath.c_str());

    plat::Stream execute;
    if (!execute.open(executePath, "rb")) {
        log.always("Cannot open file.(%s)\n", executePath.c_str());
        return -1;
    }
    std::string dataName, command, line;
    while (execute.getLine(line, kExecuteLineChars)) {
        char kind = line[0];
        if (kind == 'F' || kind == 'f') {
            dataName = line.size() > 2 ? withoutLineEnd(line.substr(2)) : std::string();
            size_t lf = dataName.find('\n');
            if (lf != std::string::npos) dataName.resize(lf);
        } else if (kind == 'C' || kind == 'c') {
            command = line;
        }
    }
    log.above(4, "5\tFound end of file\n");

    if (!startsNoCase(command, "C rmail")) {
        log.above(4, "5\tNot a mail file.\n");
        return -1;
    }

    // The To line keeps the command's line end, as the log line shows it.
    std::string rest = command.size() > 7 ? command.substr(7) : std::string();
    bool hadLineEnd = !rest.empty() && rest.back() == '\n';
    std::string toLine = "To:" + withoutLineEnd(rest) + (hadLineEnd ? "\n" : "");
    if (toLine.find('@') == std::string::npos) {
        log.always("1\tDid not find a valid ID, no @ in address - Result %s.\n", toLine.c_str());
    }
    toLine = recordLine(toLine, kCcWidth);

    std::string localName;
    int mapped = MakeSpoolName(localName, dataName, firstSite, secondSite);
    if (mapped == 0) log.always("1\treturn value %d %s\n", mapped, localName.c_str());

    // The data file under its local name, or else under the execute file's
    // name with the type letter D, as the transfer may have left it.
    std::string dataPath = spoolDir + localName;
    std::string readPath = dataPath;
    plat::Stream data;
    if (!data.open(dataPath, "rb")) {
        std::string fallback = executePath;
        if (!fallback.empty()) fallback.back() = 'D';
        readPath = fallback;
        if (!data.open(fallback, "rb")) {
            log.always("0\tCannot open (%s)\n", dataPath.c_str());
            log.always("0\tCannot open (%s)\n", fallback.c_str());
            return -1;
        }
    }
    execute.close();

    int64_t length = data.size();
    if (length < 0) {
        log.always("0\tCannot open (%s)\n", readPath.c_str());
        return -1;
    }
    Headers h = scanHeaders(data);

    // Nothing is deleted from the spool until the message is in the area file
    // and its whole record is in mail.hdr; a failure on the way leaves both
    // spool files for the next call and takes back what was written.
    std::string hdrPath = storeDir + "mail.hdr";
    plat::Stream hdr;
    if (!hdr.open(hdrPath, "at")) {
        log.always("0\tCannot open file (%s)\n", hdrPath.c_str());
        return -1;
    }
    int64_t hdrBefore = hdr.size();

    std::string record = toLine;
    log.always("1\tReceived Msg %s\n %s\n", toLine.c_str(), h.from.c_str());
    record += recordLine(h.from.empty() ? std::string("From: ") : h.from, kFromWidth);
    record += h.date.empty() ? std::string("Date: \n") : recordLine(h.date, kDateWidth);
    record += h.messageId.empty() ? std::string("Message-ID: <0>\n") : recordLine(h.messageId, kMessageIdWidth);
    record += h.subject.empty() ? std::string("Subject: Wasn't one for this message\n")
                                : recordLine(h.subject, kSubjectWidth);
    record += h.cc.empty() ? std::string("NO CC\n") : recordLine(h.cc, kCcWidth);

    std::string areaPath = storeDir + "mailarea.txt";
    store::Append area;
    store::Append::Status st = area.begin(areaPath, length);
    if (st == store::Append::Status::OpenFailed) {
        log.always("0\tCannot open mailarea.txt file (%s)\n", areaPath.c_str());
        hdr.discard();
        return -1;
    }
    if (st == store::Append::Status::TooLarge) {
        log.always("0\tmailarea.txt file is full: a message of %lld bytes would take it past 2147483647 bytes "
                   "(%s)\n",
                   static_cast<long long>(length), areaPath.c_str());
        hdr.discard();
        return -1;
    }
    if (st != store::Append::Status::Ok) {
        log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
        hdr.discard();
        return -1;
    }
    if (area.wasEmpty()) log.always("0\tmailarea.txt file is not there or 0 length\n");
    record += std::to_string(area.start()) + "\n";

    data.seek(0);
    char buf[65536];
    int64_t left = length;
    while (left > 0) {
        size_t want = left > static_cast<int64_t>(sizeof buf) ? sizeof buf : static_cast<size_t>(left);
        size_t got = data.read(buf, want);
        if (got == 0) break;
        area.out().write(buf, got);
        left -= static_cast<int64_t>(got);
    }
    int32_t end = 0;
    if (data.readError() || area.finish(&end) != store::Append::Status::Ok) {
        log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
        hdr.discard();
        return -1;
    }
    record += std::to_string(end) + "\n";

    if (!hdr.write(record) || !hdr.close()) {
        log.always("0\tCannot write file (%s)\n", hdrPath.c_str());
        if (hdrBefore >= 0) store::cutBack(hdrPath, hdrBefore);
        area.rollback();
        return -1;
    }
    if (!area.commit()) {
        log.always("0\tCannot write mailarea.txt file (%s)\n", areaPath.c_str());
        if (hdrBefore >= 0) store::cutBack(hdrPath, hdrBefore);
        return -1;
    }
    data.close();

    // The execute file is what makes a later call take the job again. While it
    // cannot be deleted the store gives the message back, so that the job is
    // imported once, by the call that can also take it out of the spool.
    log.above(4, "5\tDeleting %s\n", executePath.c_str());
    if (!plat::deleteFile(executePath)) {
        log.always("0\tCannot delete (%s)\n", executePath.c_str());
        if (store::cutBack(hdrPath, hdrBefore) && store::cutBack(areaPath, area.sizeBefore())) return -1;
        // The message stays stored; without its data file the execute file
        // can no longer be taken again.
        log.always("0\tCannot take back the message from (%s)\n", areaPath.c_str());
    }
    log.above(4, "5\tDeleting %s\n", readPath.c_str());
    if (!plat::deleteFile(readPath)) {
        log.always("0\tCannot delete (%s)\n", readPath.c_str());
    }
    return 0;
}

int32_t ImportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity) {
    SpoolJobs names;
    {
        ActivityLog log;
        if (!log.open(storeDir + "mail.log", verbosity)) return -1;
        std::string pattern = spoolDir + "*.x";
        log.above(4, "Looking for %s\n", pattern.c_str());
        names = SpoolJobs(pattern);
        if (names.empty()) {
            log.above(2, "No inbound mail found\n");
            return -1;
        }
        log.above(2, "Inbound mail found\n");
    }
    for (const std::string& name : names) {
        if (ImportMailJob(spoolDir, storeDir, firstSite, secondSite, name, verbosity) == 0) return 0;
    }
    return -1;
}

}  // namespace brem::inbound
