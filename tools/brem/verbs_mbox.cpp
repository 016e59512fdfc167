// brem export-mbox and import-mbox: the store's mail out to one mbox file
// in the mboxrd form, and mail of an mbox file into the store. Both stream:
// one message at a time passes through, whatever the size of the store.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli.h"
#include "runs.h"
#include "inbound/mail_import.h"
#include "log/log.h"
#include "mbox.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "progress.h"
#include "store/index_reader.h"
#include "store/store.h"
#include "store_care.h"
#include "store/layout.h"

namespace brem::cli {

namespace {

constexpr size_t kPiece = 64 * 1024;

// ---- export-mbox ----------------------------------------------------------

struct Skipped {
    int64_t record;
    int64_t offset;
    std::string problem;
};

// One message to take out: where it lies and what its "From " line says.
struct Outgoing {
    int32_t start = 0, length = 0;
    std::string fromLine, dateLine;  // empty: read from the message's header
};

// Where the mbox's bytes go: a new file, or the end of a locked mailbox.
using MboxSink = std::function<bool(const std::string&)>;

class MboxWriter {
public:
    MboxWriter(plat::Stream& area, int64_t areaSize, int firstByte, MboxFormat format, MboxSink out)
        : area_(area), areaSize_(areaSize), firstByte_(firstByte), format_(format), out_(std::move(out)) {}

    // Checks the range against the area file; "" when it can be read.
    std::string rangeProblem(int64_t start, int64_t length) const {
        if (start < 1) return "the range starts below 1";
        if (length < 0) return "the range runs backwards";
        if (start + length > areaSize_)
            return "the range runs past the end of the area file (" + std::to_string(areaSize_) + " bytes)";
        return "";
    }

    // Writes one message; false on a read or write error.
    bool write(Outgoing m) {
        int64_t from = m.start, length = m.length;
        // An area file written without a line end at its start holds its
        // first message from offset 0, one byte before the start recorded
        // for it; that byte is the message's own and goes out with it.
        if (from == 1 && firstByte_ >= 0 && firstByte_ != '\n') {
            from = 0;
            ++length;
        }
        if (m.fromLine.empty() || m.dateLine.empty()) headerOf(from, length, &m);
        // Mail received by UUCP opens with its envelope: it becomes the
        // "From " line, and the message begins with its header.
        const Envelope envelope = envelopeOf(from, length);
        from += static_cast<int64_t>(envelope.bytes);
        length -= static_cast<int64_t>(envelope.bytes);
        std::string text = "From " + (envelope.bytes ? envelope.sender : mboxSender(m.fromLine)) + " " +
                           (envelope.date.empty() ? mboxDate(m.dateLine) : envelope.date) + "\n";
        if (!area_.seek(from)) return false;
        FromQuoting quoting(true, format_);
        char buf[kPiece];
        char last = '\n';
        while (length > 0) {
            size_t want = static_cast<size_t>(std::min<int64_t>(length, kPiece));
            size_t got = area_.read(buf, want);
            if (got != want) return false;
            quoting.feed(buf, got, text);
            last = buf[got - 1];
            length -= static_cast<int64_t>(got);
            if (!out_(text)) return false;
            bytes_ += static_cast<int64_t>(text.size());
            text.clear();
        }
        quoting.finish(text);
        // The format needs every message to end in a line end before the
        // empty line that parts it from the next.
        if (last != '\n') text += '\n';
        text += '\n';
        bytes_ += static_cast<int64_t>(text.size());
        return out_(text);
    }
    int64_t bytes() const { return bytes_; }

private:
    // The last From: and Date: lines of the message's header.
    void headerOf(int64_t from, int64_t length, Outgoing* m) {
        if (!area_.seek(from)) return;
        std::string line;
        std::string f, d;
        while (length > 0 && area_.getLine(line, 2000)) {
            if (static_cast<int64_t>(line.size()) > length) line.resize(static_cast<size_t>(length));
            length -= static_cast<int64_t>(line.size());
            if (line[0] == '\n') break;
            if (store::StartsWithNoCase(line, "From:")) f = line;
            if (store::StartsWithNoCase(line, "Date:")) d = line;
        }
        if (m->fromLine.empty()) m->fromLine = f;
        if (m->dateLine.empty()) m->dateLine = d;
    }

    Envelope envelopeOf(int64_t from, int64_t length) {
        std::string head(static_cast<size_t>(std::min<int64_t>(length, 8192)), '\0');
        if (!area_.seek(from)) return Envelope();
        head.resize(area_.read(&head[0], head.size()));
        return parseEnvelope(head);
    }

    plat::Stream& area_;
    int64_t areaSize_;
    int firstByte_;
    MboxFormat format_;
    MboxSink out_;
    int64_t bytes_ = 0;
};

// A file of "START LENGTH" lines (blanks or tabs between, a comma allowed),
// for mail the host appended to an area with an index of its own.
bool parsePair(const std::string& line, int32_t* start, int32_t* length) {
    std::string cur;
    std::vector<std::string> words;
    for (char c : line + " ") {
        if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') {
            if (!cur.empty()) words.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    return words.size() == 2 && store::ParseRecordNumber(words[0], start) &&
           store::ParseRecordNumber(words[1], length);
}

// The list of messages to take out: the records of mail.hdr, or a file of
// "START LENGTH" lines for another area.
class ExportList {
public:
    explicit ExportList(bool fromRecords) : fromRecords_(fromRecords), index_(store::MailRecordSlots()) {}

    bool open(const std::string& path) {
        if (fromRecords_ ? !records_.open(path, "rb") : !index_.open(path)) return false;
        size_ = fromRecords_ ? records_.size() : index_.size();
        return true;
    }
    int64_t size() const { return size_; }
    int64_t position() const { return fromRecords_ ? offset_ : index_.position(); }
    bool readError() const { return !fromRecords_ && index_.readError(); }

    // The next message of the list; false at its end. `problem` is set when
    // the entry cannot be taken out as it stands.
    bool next(Outgoing* m, int64_t* number, int64_t* entryOffset, std::string* problem) {
        return fromRecords_ ? nextLine(m, number, entryOffset, problem) : nextRecord(m, number, entryOffset, problem);
    }

private:
    bool nextLine(Outgoing* m, int64_t* number, int64_t* entryOffset, std::string* problem) {
        std::string line;
        do {
            if (!records_.getLine(line, 4096)) return false;
            *entryOffset = offset_;
            offset_ += static_cast<int64_t>(line.size());
        } while (line.find_first_not_of(" \t\r\n") == std::string::npos);
        *number = ++lineNumber_;
        if (!parsePair(line, &m->start, &m->length)) *problem = "the line is not a start and a length";
        return true;
    }

    bool nextRecord(Outgoing* m, int64_t* number, int64_t* entryOffset, std::string* problem) {
        store::IndexItem item;
        if (!index_.next(item)) return false;
        *number = item.number;
        *entryOffset = item.offset;
        if (item.kind != store::IndexItem::Kind::Record) {
            *problem = (item.kind == store::IndexItem::Kind::Partial ? "incomplete record: " : "damaged record: ") +
                       item.problem;
            return true;
        }
        const store::MailRecord r = store::MailRecordOf(item);
        m->start = r.start;
        m->length = static_cast<int32_t>(static_cast<int64_t>(r.end) - r.start);
        if (r.end < r.start) *problem = "the range runs backwards";
        m->fromLine = r.from;
        m->dateLine = r.date;
        return true;
    }

    bool fromRecords_;
    store::IndexReader index_;
    plat::Stream records_;
    int64_t size_ = 0, offset_ = 0, lineNumber_ = 0;
};

struct ExportMboxArgs {
    bool json = false, hasRecords = false, replace = false;
    int32_t area = store::kMailArea, wait = 0;
    MboxFormat format = MboxFormat::Mboxrd;
    std::string recordsPath, store, outPath;
};

const char* const kExportMboxUsage =
    "usage: brem export-mbox STORE OUT [--area N --records FILE] [--replace] [--format mboxrd|mboxo] "
    "[--wait SECONDS] [--json]\n";

// Takes --format; the problem in words, or empty.
std::string takeFormat(std::vector<std::string>& args, MboxFormat* format) {
    std::string name;
    if (!takeOption(args, "--format", &name)) return std::string();
    if (name == "mboxrd") *format = MboxFormat::Mboxrd;
    else if (name == "mboxo") *format = MboxFormat::Mboxo;
    else return "--format: '" + name + "' is neither mboxrd nor mboxo";
    return std::string();
}

// False (the usage told) when the command line is wrong.
bool parseExportMboxArgs(std::vector<std::string>& args, ExportMboxArgs* a) {
    a->json = takeFlag(args, "--json");
    a->replace = takeFlag(args, "--replace");
    std::string areaText;
    bool hasArea = takeOption(args, "--area", &areaText);
    a->hasRecords = takeOption(args, "--records", &a->recordsPath);
    std::string problem = takeFormat(args, &a->format);
    if (problem.empty()) problem = takeWait(args, &a->wait);
    if (problem.empty()) problem = positionalProblem(args, {"STORE", "OUT"});
    if (problem.empty() && hasArea && !parseInt32(areaText, &a->area)) {
        problem = "--area: '" + areaText + "' is not a whole number";
    }
    if (problem.empty() && a->area != store::kMailArea && !a->hasRecords) {
        problem = "mail.hdr indexes area 0 only: another area needs --records";
    }
    if (!problem.empty()) {
        usageError("export-mbox", problem, kExportMboxUsage);
        return false;
    }
    a->store = args[0];
    a->outPath = args[1];
    return true;
}

struct ExportRun {
    int64_t exported = 0;
    std::vector<Skipped> skipped;
    bool failed = false;  // a read or write error stopped the run
};

// Writes every message of the list that can be read; the others are
// skipped and remembered for the report.
void exportListed(ExportList& list, MboxWriter& writer, bool areaOpen, const char* listName, ExportRun& run) {
    const int64_t listSize = list.size();
    Progress progress("exporting");
    for (;;) {
        Outgoing m;
        std::string problem;
        int64_t number = 0, entryOffset = 0;
        if (!list.next(&m, &number, &entryOffset, &problem)) break;
        if (problem.empty()) {
            problem = !areaOpen ? "the area file cannot be opened" : writer.rangeProblem(m.start, m.length);
        }
        progress.step(run.exported, -1, "exported, " + shareRead(list.position(), listSize, listName));
        if (!problem.empty()) {
            run.skipped.push_back({number, entryOffset, problem});
            continue;
        }
        if (!writer.write(m)) {
            run.failed = true;
            break;
        }
        ++run.exported;
    }
    progress.clear();
}

void reportExport(const ExportMboxArgs& a, const ExportRun& run, int64_t bytes, bool appended) {
    const std::vector<Skipped>& skipped = run.skipped;
    if (a.json) {
        std::printf("{\"out\": %s, \"exported\": %lld, \"bytes\": %lld, \"appended\": %s, \"skipped\": [",
                    jsonString(a.outPath).c_str(), static_cast<long long>(run.exported),
                    static_cast<long long>(bytes), appended ? "true" : "false");
        for (size_t i = 0; i < skipped.size(); ++i) {
            std::printf("%s\n  {\"%s\": %lld, \"offset\": %lld, \"problem\": %s}", i ? "," : "",
                        a.hasRecords ? "line" : "record", static_cast<long long>(skipped[i].record),
                        static_cast<long long>(skipped[i].offset), jsonString(skipped[i].problem).c_str());
        }
        std::printf("%s]}\n", skipped.empty() ? "" : "\n");
        return;
    }
    const char* source = a.hasRecords ? "line" : "mail.hdr record";
    for (const Skipped& s : skipped) {
        std::fprintf(stderr, "brem export-mbox: %s %lld (byte %lld) skipped: %s\n", source,
                     static_cast<long long>(s.record), static_cast<long long>(s.offset), s.problem.c_str());
    }
    std::printf("%lld message%s %s %s", static_cast<long long>(run.exported), run.exported == 1 ? "" : "s",
                appended ? "appended to" : "exported to", a.outPath.c_str());
    if (!skipped.empty()) std::printf(", %zu skipped", skipped.size());
    std::printf("\n");
}

// The mailbox held under the locks mail tools take, waiting up to `wait`
// seconds for another program to let go of it. kExitOk when held.
int holdMailbox(const std::string& path, int32_t waitSeconds, plat::MailboxHold* hold) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    for (;;) {
        std::string reason;
        switch (plat::tryLockMailbox(path, hold, &reason)) {
            case plat::LockResult::Locked: return kExitOk;
            case plat::LockResult::Failed:
                std::fprintf(stderr, "brem export-mbox: cannot open %s: %s\n", path.c_str(), reason.c_str());
                return kExitFailed;
            case plat::LockResult::Busy: break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        plat::sleepMs(200);
    }
    std::fprintf(stderr, "brem export-mbox: the mailbox %s is locked by another program (%s.lock, or its own "
                         "lock)%s; nothing was written\n",
                 path.c_str(), path.c_str(), waitSeconds > 0 ? (", waited " + std::to_string(waitSeconds) + " s").c_str() : "");
    return kExitBusy;
}

// Appends to a mailbox through its locked handle. The bytes go out in large
// pieces; take() cuts the mailbox back to its old end when anything failed,
// so that a reader never finds half a message at its end.
class MailboxAppend {
public:
    explicit MailboxAppend(plat::MailboxHold& hold) : hold_(hold) {}

    // The mailbox's size now, and the line ends its last message lacks
    // before another may follow.
    bool begin() {
        before_ = plat::fileSize(hold_.file);
        if (before_ < 0) return false;
        char tail[2] = {'\n', '\n'};
        const int64_t want = std::min<int64_t>(before_, 2);
        if (want > 0 && (!plat::seekFile(hold_.file, before_ - want) ||
                         plat::readFile(hold_.file, tail + 2 - want, static_cast<size_t>(want)) != want))
            return false;
        if (tail[1] != '\n') buf_ = "\n\n";
        else if (tail[0] != '\n') buf_ = "\n";
        return plat::seekFile(hold_.file, before_);
    }
    bool write(const std::string& bytes) {
        buf_ += bytes;
        return buf_.size() < kPiece || flush();
    }
    bool flush() {
        if (buf_.empty()) return true;
        bool ok = plat::writeFile(hold_.file, buf_.data(), buf_.size()) == static_cast<int64_t>(buf_.size());
        buf_.clear();
        return ok;
    }
    void takeBack() { plat::truncateFile(hold_.file, before_); }
    bool wasEmpty() const { return before_ == 0; }

private:
    plat::MailboxHold& hold_;
    int64_t before_ = 0;
    std::string buf_;
};

// Exports into a new file beside OUT that takes OUT's place whole, with
// OUT's owner and mode where there was one. kExitOk when in place.
int exportReplacing(const ExportMboxArgs& a, ExportList& list, plat::Stream& areaFile, int64_t areaSize,
                    int firstByte, ExportRun& run, int64_t* bytes) {
    const std::string partPath = a.outPath + ".part";
    plat::deleteFile(partPath);  // made afresh, never written through what is there
    plat::Stream out;
    if (!out.open(partPath, "wbx")) {
        std::fprintf(stderr, "brem export-mbox: cannot create %s: %s\n", partPath.c_str(),
                     openProblem(partPath, true).c_str());
        return kExitFailed;
    }
    MboxWriter writer(areaFile, areaSize, firstByte, a.format, [&](const std::string& t) { return out.write(t); });
    exportListed(list, writer, areaSize >= 0, a.hasRecords ? "the records" : layout::kMailIndex, run);
    *bytes = writer.bytes();
    // On the disk before it takes the old mailbox's place, and its name
    // after: a power cut leaves the old mailbox or the whole new one.
    if (run.failed || list.readError() || !out.sync() || !out.close()) {
        out.discard();
        plat::deleteFile(partPath);
        std::fprintf(stderr, "brem export-mbox: cannot read the store or write %s; nothing written\n",
                     partPath.c_str());
        return kExitFailed;
    }
    // A mailbox that is there is locked as for an append while it is
    // replaced, so that no mail tool writes to the old one meanwhile.
    plat::MailboxHold hold;
    const bool existed = plat::fileExists(a.outPath);
    if (existed) {
        if (int status = holdMailbox(a.outPath, a.wait, &hold)) {
            plat::deleteFile(partPath);
            return status;
        }
        if (!plat::takeOwnerAndMode(a.outPath, partPath)) {
            std::fprintf(stderr, "brem export-mbox: note: %s could not be given all of the owner, group and mode "
                                 "of %s\n",
                         partPath.c_str(), a.outPath.c_str());
        }
    }
    const bool placed = plat::replaceFile(partPath, a.outPath);
    const std::string why = placed ? std::string() : plat::lastErrorText();
    if (existed) plat::releaseMailbox(hold);
    if (!placed) {
        plat::deleteFile(partPath);
        std::fprintf(stderr, "brem export-mbox: cannot put %s in place: %s\n", a.outPath.c_str(), why.c_str());
        return kExitFailed;
    }
    if (!plat::syncDirectory(plat::directoryOf(a.outPath))) {
        std::fprintf(stderr, "brem export-mbox: %s is in place, but its directory could not be synced: %s\n",
                     a.outPath.c_str(), plat::lastErrorText().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// Appends to OUT (made when missing) under the locks of mail tools; what an
// export that fails had written is taken back.
int exportAppending(const ExportMboxArgs& a, ExportList& list, plat::Stream& areaFile, int64_t areaSize,
                    int firstByte, ExportRun& run, int64_t* bytes, bool* appended) {
    plat::MailboxHold hold;
    if (int status = holdMailbox(a.outPath, a.wait, &hold)) return status;
    MailboxAppend box(hold);
    bool ok = box.begin();
    *appended = !box.wasEmpty();
    if (ok) {
        MboxWriter writer(areaFile, areaSize, firstByte, a.format,
                          [&](const std::string& t) { return box.write(t); });
        exportListed(list, writer, areaSize >= 0, a.hasRecords ? "the records" : layout::kMailIndex, run);
        *bytes = writer.bytes();
        // The mails appended are on the disk before the export reports them.
        ok = !run.failed && !list.readError() && box.flush() && plat::syncFile(hold.file) &&
             (!box.wasEmpty() || plat::syncDirectory(plat::directoryOf(a.outPath)));
    }
    if (!ok) box.takeBack();
    const std::string why = plat::lastErrorText();
    const bool closed = plat::releaseMailbox(hold);
    if (!ok || !closed) {
        std::fprintf(stderr, "brem export-mbox: cannot read the store or write %s (%s); %s\n", a.outPath.c_str(),
                     why.c_str(), ok ? "the mailbox may be incomplete" : "the mailbox is as it was");
        return kExitFailed;
    }
    return kExitOk;
}

int exportMbox(std::vector<std::string>& args) {
    ExportMboxArgs a;
    if (!parseExportMboxArgs(args, &a)) return kExitUsage;
    if (!usableDirectory(a.store, "store directory")) return kExitFailed;
    ExportList list(a.hasRecords);
    const std::string listPath = a.hasRecords ? a.recordsPath : store::withSeparator(a.store) + layout::kMailIndex;
    if (!list.open(listPath)) {
        std::fprintf(stderr, "brem export-mbox: cannot open %s: %s\n", listPath.c_str(),
                     openProblem(listPath, false).c_str());
        return kExitFailed;
    }
    plat::Stream areaFile;
    int64_t areaSize = -1;
    int firstByte = -1;
    const std::string areaPath = store::readPath(a.store, a.area);
    if (areaFile.open(areaPath, "rb")) {
        areaSize = areaFile.size();
        firstByte = areaFile.get();
    }
    ExportRun run;
    int64_t bytes = 0;
    bool appended = false;
    int status = a.replace ? exportReplacing(a, list, areaFile, areaSize, firstByte, run, &bytes)
                           : exportAppending(a, list, areaFile, areaSize, firstByte, run, &bytes, &appended);
    if (status != kExitOk) return status;
    reportExport(a, run, bytes, appended);
    return run.skipped.empty() ? kExitOk : kExitFailed;
}

// ---- import-mbox ----------------------------------------------------------

// A message already in the store is recognised by its Message id line as the
// record keeps it; a message without one (the record's placeholder) by a
// hash of its bytes. Keys are kept as 64-bit hashes: eight bytes a record,
// the one thing here that grows with the store.

// The record line without the CRs an old import kept of a mailbox with CR LF
// line ends: the message is the same with its LF line ends now.
std::string bareLine(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

uint64_t idKey(const std::string& recordLine) {
    const std::string line = bareLine(recordLine);
    Fnv64 h;
    h.feed("M", 1);
    h.feed(line.data(), line.size());
    return h.value;
}

// The key of a message without a Message id: a hash of its bytes after its
// envelope, CR LF taken as LF. So a message is known again whether it was
// received by UUCP with its envelope or came from an mbox without it, and
// whether an older import kept the CRs of a mailbox with CR LF line ends. A
// last line without its line end counts as ended: the mbox gave it one.
uint64_t contentKey(plat::Stream& in, int64_t start, int64_t length) {
    std::string head(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(length, 0), 8192)), '\0');
    if (!in.seek(start)) return 0;
    head.resize(in.read(&head[0], head.size()));
    const int64_t skip = static_cast<int64_t>(parseEnvelope(head).bytes);
    if (!in.seek(start + skip)) return 0;
    Fnv64 h;
    char buf[kPiece];
    bool heldCr = false;
    char last = '\n';
    for (int64_t left = length - skip; left > 0;) {
        size_t got = in.read(buf, static_cast<size_t>(std::min<int64_t>(left, kPiece)));
        if (got == 0) break;
        left -= static_cast<int64_t>(got);
        for (size_t i = 0; i < got; ++i) {
            if (heldCr && buf[i] != '\n') h.feed("\r", 1);
            heldCr = buf[i] == '\r';
            if (!heldCr) h.feed(buf + i, 1);
        }
        last = buf[got - 1];
    }
    if (heldCr) h.feed("\r", 1);
    if (last != '\n') h.feed("\n", 1);
    return h.value;
}

bool storeKeys(const std::string& store, std::vector<uint64_t>* keys) {
    store::IndexReader index(store::MailRecordSlots());
    if (!index.open(store::withSeparator(store) + layout::kMailIndex)) return true;  // no mail yet
    plat::Stream area;
    area.open(store::readPath(store, store::kMailArea), "rb");
    store::IndexItem item;
    while (index.next(item)) {
        if (item.kind != store::IndexItem::Kind::Record) continue;
        store::MailRecord r = store::MailRecordOf(item);
        r.messageId = bareLine(r.messageId);
        if (r.hasMessageId()) {
            keys->push_back(idKey(r.messageId));
            continue;
        }
        if (!area.isOpen() || r.end < r.start) continue;
        keys->push_back(contentKey(area, r.start, r.end - r.start));
    }
    std::sort(keys->begin(), keys->end());
    return !index.readError();
}

struct ImportRun {
    int64_t messages = 0, imported = 0, present = 0, failed = 0;
};

class MboxImporter {
public:
    MboxImporter(const std::string& store, std::vector<uint64_t>& keys, ActivityLog& log, MboxFormat format)
        : storeDir_(store::withSeparator(store)),
          tmpPath_(storeDir_ + layout::kMboxImportWork),
          keys_(keys),
          log_(log),
          quoting_(false, format) {}
    ~MboxImporter() { plat::deleteFile(tmpPath_); }

    bool begin() {
        quoting_.reset();
        toLine_.clear();
        inHeader_ = true;
        heldCr_ = false;
        // Made afresh rather than truncated: a file system may write a file
        // out in full when it is cut back to nothing, once per message.
        plat::deleteFile(tmpPath_);
        return tmp_.open(tmpPath_, "wbx");
    }
    // One line of the message as the mbox holds it (a long line comes in
    // pieces). A mailbox kept with CR LF line ends is stored with the LF line
    // ends of the store, as mail import keeps the mail of a UUCP transfer.
    bool line(std::string piece) {
        if (heldCr_) piece.insert(piece.begin(), '\r');
        heldCr_ = false;
        if (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0) {
            piece.erase(piece.size() - 2, 1);
        } else if (!piece.empty() && piece.back() == '\r') {
            heldCr_ = true;  // its LF, if any, begins the next piece
            piece.pop_back();
        }
        if (inHeader_ && piece == "\n") inHeader_ = false;
        if (inHeader_ && store::StartsWithNoCase(piece, "To:")) toLine_ = piece;
        text_.clear();
        quoting_.feed(piece.data(), piece.size(), text_);
        return tmp_.write(text_);
    }
    // Stores the message; false when the store refused it.
    bool end(ImportRun& run) {
        text_.clear();
        if (heldCr_) text_.push_back('\r');
        heldCr_ = false;
        quoting_.finish(text_);
        bool written = tmp_.write(text_) && tmp_.close();
        ++run.messages;
        if (!written) {
            ++run.failed;
            return false;
        }
        plat::Stream data;
        if (!data.open(tmpPath_, "rb")) {
            ++run.failed;
            return false;
        }
        // The record's To line comes from the message's To header: an mbox
        // keeps no envelope recipient.
        std::string to = bareLine(toLine_);
        if (to.empty()) to = "To:";
        to += "\n";
        // The record's Message id line, as mail import will write it.
        inbound::MailHeaders h;
        std::string hline;
        while (data.getLine(hline, 2000) && inbound::TakeMailHeaderLine(h, hline)) {
        }
        store::MailRecord record = store::ParseMailRecord(inbound::MailRecordLines(to, h));
        record.messageId = bareLine(record.messageId);
        uint64_t key = record.hasMessageId() ? idKey(record.messageId) : contentKey(data, 0, data.size());
        if (std::binary_search(keys_.begin(), keys_.end(), key) || added_.count(key)) {
            ++run.present;
            return true;
        }
        if (inbound::StoreMail(storeDir_, to, data, log_) != 0) {
            ++run.failed;
            return false;
        }
        remember(key);
        ++run.imported;
        return true;
    }

private:
    // Keys of the messages stored by this run join the sorted keys of the
    // store now and then, so that they too cost eight bytes each.
    void remember(uint64_t key) {
        added_.insert(key);
        if (added_.size() < 4096) return;
        size_t old = keys_.size();
        keys_.insert(keys_.end(), added_.begin(), added_.end());
        std::sort(keys_.begin() + static_cast<long>(old), keys_.end());
        std::inplace_merge(keys_.begin(), keys_.begin() + static_cast<long>(old), keys_.end());
        added_.clear();
    }

    std::string storeDir_, tmpPath_;
    std::vector<uint64_t>& keys_;
    std::unordered_set<uint64_t> added_;
    ActivityLog& log_;
    plat::Stream tmp_;
    FromQuoting quoting_;
    std::string toLine_, text_;
    bool inHeader_ = true;
    bool heldCr_ = false;
};

// Reads the mbox a line at a time and hands its messages to the importer.
// False when the file does not begin as an mbox does; `ok` turns false when
// the store's working file cannot be written.
bool importMessages(plat::Stream& mbox, const std::string& mboxPath, MboxImporter& importer, ImportRun& run,
                    bool* ok) {
    const int64_t mboxSize = mbox.size();
    Progress progress("importing");
    std::string piece;
    int64_t read = 0;
    bool lineStart = true, inMessage = false;
    std::string heldBlank;  // an empty line ("\n", or "\r\n" in a mailbox kept with CR LF)
    while (*ok && mbox.getLine(piece, kPiece)) {
        read += static_cast<int64_t>(piece.size());
        const bool starts = lineStart;
        lineStart = piece.back() == '\n';
        if (starts && piece.compare(0, 5, "From ") == 0) {
            // The empty line before a "From " line parts two messages and
            // belongs to neither.
            if (inMessage) importer.end(run);
            progress.step(run.messages, -1, "read (" + shareRead(read, mboxSize, "the mbox") + "), " +
                                                 std::to_string(run.imported) + " imported");
            heldBlank.clear();
            inMessage = true;
            if (!importer.begin()) *ok = false;
            // The rest of a "From " line longer than a piece is skipped.
            while (!lineStart && mbox.getLine(piece, kPiece)) {
                read += static_cast<int64_t>(piece.size());
                lineStart = piece.back() == '\n';
            }
            continue;
        }
        if (!inMessage) {
            if (piece.find_first_not_of("\r\n") == std::string::npos) continue;  // blank lines before the first
            std::fprintf(stderr, "brem import-mbox: %s is no mbox file (it does not begin with a \"From \" line)\n",
                         mboxPath.c_str());
            return false;
        }
        if (!heldBlank.empty()) {
            *ok = importer.line(heldBlank);
            heldBlank.clear();
        }
        if (starts && (piece == "\n" || piece == "\r\n")) {
            heldBlank = piece;
            continue;
        }
        *ok = *ok && importer.line(piece);
    }
    if (inMessage && *ok) importer.end(run);
    progress.clear();
    return true;
}

void reportImport(bool json, const std::string& store, const ImportRun& run) {
    if (json) {
        std::printf("{\"messages\": %lld, \"imported\": %lld, \"already_in_store\": %lld, \"failed\": %lld}\n",
                    static_cast<long long>(run.messages), static_cast<long long>(run.imported),
                    static_cast<long long>(run.present), static_cast<long long>(run.failed));
        return;
    }
    std::printf("%lld message%s read, %lld imported, %lld already in the store", static_cast<long long>(run.messages),
                run.messages == 1 ? "" : "s", static_cast<long long>(run.imported),
                static_cast<long long>(run.present));
    if (run.failed) std::printf(", %lld not stored (see %s)", static_cast<long long>(run.failed),
                                (store::withSeparator(store) + layout::kMailLog).c_str());
    std::printf("\n");
}

const char* const kImportMboxUsage =
    "usage: brem import-mbox MBOX STORE [--format mboxrd|mboxo] [--wait SECONDS] [--json]\n";

int importMbox(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    MboxFormat format = MboxFormat::Mboxrd;
    int32_t wait = 0;
    std::string problem = takeFormat(args, &format);
    if (problem.empty()) problem = takeWait(args, &wait);
    if (problem.empty()) problem = positionalProblem(args, {"MBOX", "STORE"});
    if (!problem.empty()) return usageError("import-mbox", problem, kImportMboxUsage);
    const std::string mboxPath = args[0], store = args[1];
    if (!usableDirectory(store, "store directory")) return kExitFailed;
    plat::Stream mbox;
    if (!mbox.open(mboxPath, "rb")) {
        std::fprintf(stderr, "brem import-mbox: cannot open %s: %s\n", mboxPath.c_str(),
                     openProblem(mboxPath, false).c_str());
        return kExitFailed;
    }
    // One run at a time over a store, as for every verb that writes one.
    RunLock lock;
    if (int status = lock.take(store, wait)) return status;
    std::vector<uint64_t> keys;
    const std::string hdrPath = store::withSeparator(store) + layout::kMailIndex;
    if (!storeKeys(store, &keys)) {
        std::fprintf(stderr, "brem import-mbox: cannot read %s: %s\n", hdrPath.c_str(), plat::lastErrorText().c_str());
        return kExitFailed;
    }
    ActivityLog log;
    log.open(store::withSeparator(store) + layout::kMailLog, 2, true);
    MboxImporter importer(store, keys, log, format);
    ImportRun run;
    bool ok = true;
    if (!importMessages(mbox, mboxPath, importer, run, &ok)) return kExitFailed;
    if (!ok || mbox.readError()) {
        std::fprintf(stderr, "brem import-mbox: cannot read %s or write the store's working file (%s); stopped "
                             "after %lld message%s\n",
                     mboxPath.c_str(), plat::lastErrorText().c_str(), static_cast<long long>(run.messages),
                     run.messages == 1 ? "" : "s");
        return kExitFailed;
    }
    reportImport(json, store, run);
    return run.failed ? kExitFailed : kExitOk;
}

}  // namespace

void registerMboxVerbs(VerbTable& verbs) {
    verbs["export-mbox"] = {
        "write a store's mail to an mbox mailbox (mboxrd), appending under the mail locks",
        std::string(kExportMboxUsage) +
            "  Writes every message that STORE/mail.hdr records, in record order, to\n"
            "  the mailbox OUT: a \"From \" line, the message as stored, an empty line.\n"
            "  A message received by UUCP gives its envelope (the \"From \" line and\n"
            "  the \">From ... remote from ...\" lines at its top) to the \"From \" line:\n"
            "  the sender as a bang path through the relaying sites, the date of the\n"
            "  line; the message itself then begins with its header. Other messages\n"
            "  take the sender and date of their record.\n"
            "  OUT is appended to (made when missing) under the locks mail tools take:\n"
            "  the dotlock OUT.lock and the system's lock on OUT; its owner and mode\n"
            "  stay. A run that fails takes back what it appended.\n"
            "  --replace: OUT is written anew beside its place (OUT.part) and put there\n"
            "  whole, with the owner and mode the old OUT had where they can be given.\n"
            "  --format mboxrd (default): lines beginning with any number of \">\" and\n"
            "  \"From \" get one more \">\"; mboxo: only \"From \" lines get one.\n"
            "  A message whose record is damaged is skipped and reported; the exit\n"
            "  status is then 1. --area N --records FILE: the messages of area N listed\n"
            "  in FILE, one \"START LENGTH\" pair a line (sender and date from their own\n"
            "  headers). --json: a summary object (out, exported, bytes, appended,\n"
            "  skipped).\n" +
            "  --wait SECONDS        when another program holds OUT's locks, wait up to\n"
            "                        this long (default 0), then give up (exit 4)\n",
        exportMbox};
    verbs["import-mbox"] = {
        "store the mail of an mbox file (mboxrd or mboxo) in a store",
        std::string(kImportMboxUsage) +
            "  Stores every message of MBOX in STORE as mail import stores a received\n"
            "  mail: appended to mailarea.txt with its eight-line record in mail.hdr.\n"
            "  The To line of the record is the message's To header. A mailbox kept\n"
            "  with CR LF line ends is stored with LF line ends. A message already in\n"
            "  the store (the same Message id line, or the same bytes when it has\n"
            "  none, envelope and CRs aside) is not stored again, so a run that was cut\n"
            "  off can be run again. --format mboxrd (default): one \">\" is taken from\n"
            "  each line of \">\"s and \"From \"; mboxo: only from \">From \" lines.\n"
            "  The log is STORE/mail.log. --json: a summary object (messages,\n"
            "  imported, already_in_store, failed).\n" +
            kWaitHelp,
        importMbox};
}

}  // namespace brem::cli
