// Reads the store's index files (mail.hdr, the spool's Header.Msg) one record
// at a time, for tools that go over a whole store: checking it, taking its
// mail out. A store holds years of mail, so nothing here keeps more than one
// record and its few lines; the memory used does not grow with the file.
//
// The host reads an index file blindly in groups of lines. A record that lost
// or gained a line therefore shifts every record after it for the host. This
// reader instead checks each line against the prefix its slot must have and,
// where a group does not fit, reports the damaged stretch and reads on from
// the next line that can begin a record, so that one damaged record costs
// one record, not the rest of the file.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace brem::store {

// One line of an index file without its line end (LF, or the CR LF that the
// text-mode writers leave on disk).
struct IndexLine {
    std::string text;
    int64_t offset = 0;  // of its first byte in the file
    bool cut = false;    // longer than the reader keeps; the rest was skipped
};

// What a slot of a record must hold: a line beginning with one of the
// prefixes (letter case aside, as the importers match header names), or a
// signed 32-bit decimal number.
struct SlotRule {
    const char* name;                  // for messages: "From", "Start"
    std::vector<const char*> prefixes;  // empty: the slot holds a number
};

// mail.hdr: To, From, Date, Message id, Subject, Cc, Start, End.
const std::vector<SlotRule>& MailRecordSlots();
// Header.Msg: area, From, Date, Message-ID, Subject, References, Lines,
// Start, End.
const std::vector<SlotRule>& NewsRecordSlots();

// True when `text` is a signed 32-bit decimal number and nothing else.
bool ParseRecordNumber(const std::string& text, int32_t* value);
// True when `line` begins with `prefix`, letters compared without regard to case.
bool StartsWithNoCase(const std::string& line, const char* prefix);

struct IndexItem {
    enum class Kind {
        Record,   // a whole record whose every line fits its slot
        Damaged,  // lines that form no record; skipped up to the next record
        Partial,  // fewer lines than a record at the end of the file
    };
    Kind kind = Kind::Record;
    int64_t number = 0;  // 1 for the first item of the file, then counting on
    int64_t offset = 0;  // byte offset of its first line
    std::vector<IndexLine> lines;  // Record: one per slot; otherwise the first few
    int64_t lineCount = 0;         // lines the item spans (Damaged, Partial)
    // Damaged and Partial: the first slot that did not fit and what it held.
    size_t badSlot = 0;
    std::string problem;
    // True when the host, reading in whole groups from the start of the file,
    // sees this item's lines out of step (an earlier item had a line count
    // that is not a multiple of the record's).
    bool hostOutOfStep = false;
};

// ---- records with named fields ----------------------------------------------

// What mail import writes in a record for a header the mail did not have.
inline constexpr const char* kNoMessageIdLine = "Message-ID: <0>";
inline constexpr const char* kNoSubjectLine = "Subject: Wasn't one for this message";
inline constexpr const char* kNoCcLine = "NO CC";

// One eight-line record of mail.hdr.
struct MailRecord {
    std::string to, from, date, messageId, subject, cc;
    int32_t start = 0, end = 0;
    std::vector<std::string> raw;  // the eight lines as stored, without line ends

    bool hasMessageId() const { return messageId != kNoMessageIdLine; }
    bool hasSubject() const { return subject != kNoSubjectLine; }
    bool hasCc() const { return cc != kNoCcLine; }
};

// One nine-line record of Header.Msg.
struct NewsRecord {
    int32_t area = 0, start = 0, end = 0;
    std::string from, date, messageId, subject, references, lines;
    std::vector<std::string> raw;  // the nine lines as stored, without line ends

    // Without a References header the record repeats the Message-ID line.
    bool hasReferences() const;
    // The number of the Lines line; false when it holds none (or one below 0).
    bool lineCount(int32_t* count) const;
};

inline constexpr size_t kMailRecordLines = 8;
inline constexpr size_t kNewsRecordLines = 9;

// The fields of a record's lines (kMailRecordLines or kNewsRecordLines of
// them, without line ends). A number that is not one reads as 0.
MailRecord MailRecordOf(const std::vector<std::string>& lines);
NewsRecord NewsRecordOf(const std::vector<std::string>& lines);
// The fields of a record as text, its lines ended by LF (or CR LF): the
// record an importer is about to write.
MailRecord ParseMailRecord(const std::string& text);
// The same for a whole record that IndexReader found.
struct IndexItem;
MailRecord MailRecordOf(const IndexItem& item);
NewsRecord NewsRecordOf(const IndexItem& item);

// Reads an index file as the host does: blindly, in groups of a record's
// number of lines from byte `from` on, each line kept to 64 KB (the rest of
// a longer one skipped). A trailing part record is left out. Memory holds one
// record, whatever the size of the file: a store's mail.hdr holds years of
// mail, and one batch may index millions of articles.
class RecordReader {
public:
    // False when the file cannot be opened.
    bool open(const std::string& path, int64_t from = 0);
    bool next(MailRecord& r);  // mail.hdr
    bool next(NewsRecord& r);  // Header.Msg
    // Where reading stopped: the end of the last whole record read.
    int64_t position() const { return end_; }

private:
    bool nextLines(size_t count);
    plat::Stream in_;
    std::vector<std::string> lines_;
    int64_t pos_ = 0, end_ = 0;
};

// ---- checking a whole file --------------------------------------------------

class IndexReader {
public:
    explicit IndexReader(const std::vector<SlotRule>& slots) : slots_(slots) {}

    // False when the file cannot be opened.
    bool open(const std::string& path);
    // The next item; false at the end of the file (or on a read error, which
    // readError() tells).
    bool next(IndexItem& item);
    bool readError() const { return in_.readError(); }
    // Bytes of the file read so far, for progress.
    int64_t position() const { return pos_; }
    int64_t size() const { return size_; }

private:
    bool fill(size_t count);
    bool readLine(IndexLine& line);
    // The first slot whose line does not fit, or slots_.size() when all fit.
    size_t firstMisfit(std::string* problem) const;

    const std::vector<SlotRule>& slots_;
    plat::Stream in_;
    std::deque<IndexLine> window_;
    int64_t pos_ = 0;
    int64_t size_ = 0;
    int64_t items_ = 0;
    int64_t linesSkipped_ = 0;  // lines of items that were not records
};

}  // namespace brem::store
