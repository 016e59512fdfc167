// Mail import: takes one inbound UUCP mail job (an execute file whose command
// is rmail, and the data file it names) out of the spool into the store's mail
// area, with its eight-line record in mail.hdr.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"
#include "platform/stream.h"

namespace brem::store {
class UndoLog;
}

namespace brem::inbound {

// Imports the first mail job found through spool + "*.x". Both directories
// end in a separator. Returns 0 when one message was imported, -1 when none.
int32_t ImportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity);

// Handles the one job of execute file `name` (without directory). Returns 0
// when its message was imported, -1 otherwise. A job that fails leaves both of
// its spool files where they were.
int32_t ImportMailJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity);

// Stores one message, the bytes of `data` from offset 0 to its end, at the end
// of storeDir + "mailarea.txt" with its eight-line record in mail.hdr, exactly
// as mail import stores a job's data file. `storeDir` ends in a separator;
// `toLine` is the record's first line ("To: ...\n"). Returns 0 when the
// message and its whole record are stored, -1 when nothing is (the reason is
// in `log`, and whatever was written is taken back).
int32_t StoreMail(const std::string& storeDir, const std::string& toLine, plat::Stream& data, ActivityLog& log);

// The same within a call that owns `undo`: what is written is noted there
// and nothing is taken back here; on -1, and whenever the call cannot go on
// (its job cannot leave the spool), the call takes the message and its record
// back through `undo`.
int32_t StoreMail(const std::string& storeDir, const std::string& toLine, plat::Stream& data, ActivityLog& log,
                  store::UndoLog& undo);

// Delivers one mail that a UUCP of the system received and hands over as
// its rmail command: `recipients` are the command's arguments joined by
// blanks ("anna@mybox" as a job's "C rmail anna@mybox" gives it), `data` the
// message from offset 0 to its end. The message is stored as mail import
// stores a job's data file (the same record, To line, rules and take-back);
// nothing but the store is touched, and the log is storeDir + "mail.log".
// `storeDir` ends in a separator. Returns 0 when the message and its whole
// record are stored, -1 when nothing is; *reason then says why.
int32_t DeliverMail(const std::string& storeDir, const std::string& recipients, plat::Stream& data,
                    int32_t verbosity, std::string* reason);

// The header lines a mail record keeps: the last line of each name wins.
struct MailHeaders {
    std::string from, date, messageId, subject, cc;
};

// Takes one header line as read (at most 2000 bytes, ending after its LF).
// False for the empty line that ends the header block.
bool TakeMailHeaderLine(MailHeaders& headers, std::string_view line);

// Scans the header block of a message held in memory, as mail import scans a
// data file: lines of up to 2000 bytes, up to the empty line or the end.
MailHeaders ScanMailHeaders(std::string_view message);

// Record lines 1 to 6 (To, From, Date, Message id, Subject, Cc), each cut to
// its width and ending in one LF; placeholders where a header was missing.
std::string MailRecordLines(const std::string& toLine, const MailHeaders& headers);

}  // namespace brem::inbound
