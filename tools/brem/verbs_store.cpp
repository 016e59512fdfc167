// brem check: goes over a store (and the spool beside it) the way fsck -n
// goes over a file system. It writes nothing. Each finding names the file,
// the record or byte and what is wrong, and says what the host makes of it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli.h"
#include "inbound/execute_file.h"
#include "inbound/news_import.h"
#include "inbound/spool_name.h"
#include "outbound/uucp_job.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "mbox.h"
#include "progress.h"
#include "runs.h"
#include "store/index_reader.h"
#include "store/layout.h"
#include "store/store.h"
#include "store/stored_copy.h"
#include "store_care.h"
#include "text/ascii.h"

namespace brem::cli {

namespace {

struct Finding {
    std::string file;
    int64_t record = 0;   // 0: not about a record
    int64_t offset = -1;  // -1: not about a byte of the file
    std::string what;
    std::string host;  // what the host makes of it
    std::string age;   // spool files
    bool note = false;  // worth knowing, but no damage: leaves the exit status alone
    bool setAside = false;  // a file in SPOOL/bad/: no damage, but work for the administrator
};

class Report {
public:
    Report(bool json, Progress& progress) : json_(json), progress_(progress) {}

    void add(const Finding& f) {
        progress_.clear();
        ++count_;
        if (f.setAside) {
            ++setAside_;
        } else if (!f.note) {
            ++damage_;
        }
        if (json_) {
            std::string o = "{\"file\": " + jsonString(f.file);
            if (f.record > 0) o += ", \"record\": " + std::to_string(f.record);
            if (f.offset >= 0) o += ", \"offset\": " + std::to_string(f.offset);
            o += ", \"problem\": " + jsonString(f.what) + ", \"host\": " + jsonString(f.host);
            if (!f.age.empty()) o += ", \"age\": " + jsonString(f.age);
            o += std::string(", \"severity\": ") +
                 (f.setAside ? "\"set aside\"" : f.note ? "\"note\"" : "\"damage\"");
            std::printf("%s    %s", count_ > 1 ? ",\n" : "\n", (o + "}").c_str());
        } else {
            std::string where = f.file;
            if (f.record > 0) where += " record " + std::to_string(f.record);
            if (f.offset >= 0) where += (f.record > 0 ? " (byte " : " byte ") + std::to_string(f.offset) + (f.record > 0 ? ")" : "");
            if (!f.age.empty()) where += " (" + f.age + " old)";
            std::printf("%s%s: %s; host: %s\n", f.setAside ? "set aside: " : f.note ? "note: " : "",
                        shown(where).c_str(), shown(f.what).c_str(), f.host.c_str());
        }
        std::fflush(stdout);
    }
    int64_t count() const { return count_; }
    int64_t damage() const { return damage_; }
    int64_t setAside() const { return setAside_; }

private:
    bool json_;
    Progress& progress_;
    int64_t count_ = 0;
    int64_t damage_ = 0;
    int64_t setAside_ = 0;
};

// What the checks of an index file's ranges keep per area file: its size, and
// the end of the furthest range seen so far with the record it belongs to.
// Records are appended in the order of their areas' growth, so a range that
// starts below that end overlaps an earlier message.
struct AreaState {
    std::string name;
    int64_t size = -1;
    int firstByte = -1;
    int32_t furthestEnd = 0;
    int64_t furthestRecord = 0;
    bool missingReported = false;
};

AreaState openAreaState(const std::string& dir, const std::string& name) {
    AreaState a;
    a.name = name;
    plat::Stream in;
    if (in.open(store::withSeparator(dir) + name, "rb", 512)) {
        a.size = in.size();
        a.firstByte = in.get();
    }
    return a;
}

void checkRange(Report& report, const std::string& file, const store::IndexItem& item, int32_t start, int32_t end,
                AreaState& area) {
    Finding f{file, item.number, item.offset, "", "", ""};
    auto say = [&](const std::string& what, const std::string& host) {
        f.what = what;
        f.host = host;
        report.add(f);
    };
    std::string range = " (start " + std::to_string(start) + ", end " + std::to_string(end) + ")";
    if (start < 1) {
        say("the range starts below 1" + range, "misreads this message");
        return;
    }
    if (end < start) {
        say("the range runs backwards" + range, "loses this message (its length is below 0)");
        return;
    }
    if (end == start) say("the range is empty" + range, "shows an empty message");
    if (area.size < 0) {
        if (!area.missingReported) {
            say(area.name + " is missing or cannot be read", "loses every message of this area");
            area.missingReported = true;
        }
        return;
    }
    if (end > area.size) {
        say("the range runs past the end of " + area.name + " (" + std::to_string(area.size) + " bytes)" + range,
            "loses this message (reading it ends in \"Unexpected End Of File\")");
        return;
    }
    if (start < area.furthestEnd) {
        say("the range overlaps record " + std::to_string(area.furthestRecord) + ", which ends at " +
                std::to_string(area.furthestEnd) + range,
            "shows bytes of another message in this one");
    }
    if (start == 1 && area.firstByte >= 0 && area.firstByte != '\n') {
        say("the message begins at offset 0, one byte before its recorded start 1 (an area file written "
            "without a line end at its start)",
            "shows this message without its first byte");
    }
    if (end > area.furthestEnd) {
        area.furthestEnd = end;
        area.furthestRecord = item.number;
    }
}

// Damaged and partial records, the same for both index files.
void reportDamage(Report& report, const std::string& file, const store::IndexItem& item, size_t slots) {
    Finding f{file, item.number, item.offset, item.problem, "", ""};
    if (item.kind == store::IndexItem::Kind::Partial) {
        f.what = "incomplete record: " + item.problem;
        f.host = "loses this message (it never reads a whole record for it)";
    } else {
        f.what = "damaged record: " + item.problem + "; " + std::to_string(item.lineCount) + " line" +
                 (item.lineCount == 1 ? "" : "s") + " skipped to the next record";
        bool shifts = item.lineCount % static_cast<int64_t>(slots) != 0;
        f.host = shifts ? "misreads this record and, reading " + std::to_string(slots) +
                              " lines at a time, every record after it"
                        : "misreads this record";
    }
    report.add(f);
}

// True when the file's last byte is a line end (or the file is empty).
bool endsInLineEnd(const std::string& path) {
    plat::Stream in;
    if (!in.open(path, "rb", 16)) return true;
    int64_t size = in.size();
    if (size <= 0 || !in.seek(size - 1)) return true;
    return in.get() == '\n';
}

// The last item of an index file, when it is a record cut short: what a power
// cut leaves when it falls while an import writes the record. The import
// puts the record on the disk before it takes the job out of the spool, so
// the job still waits and is imported again; mail import first cuts such a
// record away, news import deletes the whole index at the next job.
bool cutShortAtEnd(const store::IndexItem& item, bool lastLineEnded, size_t slots, bool mail) {
    if (item.kind == store::IndexItem::Kind::Damaged && lastLineEnded) return false;
    if (item.kind == store::IndexItem::Kind::Record && lastLineEnded) return false;
    if (item.lineCount > static_cast<int64_t>(slots)) return false;
    if (!mail) return true;
    const std::string& first = item.lines.empty() ? std::string() : item.lines.front().text;
    const size_t n = std::min<size_t>(3, first.size());
    return first.compare(0, n, "To:", n) == 0;
}

void reportCutShort(Report& report, const std::string& file, const store::IndexItem& item, bool mail) {
    Finding f{file, item.number, item.offset, "", "", ""};
    f.what = "the last record is cut short (" + std::to_string(item.lineCount) +
             " line" + (item.lineCount == 1 ? "" : "s") + "), as a power cut during an import leaves it";
    f.host = mail ? "loses nothing: the job of this record still waits in the spool, and the next mail import "
                    "cuts the record away and imports the job again"
                  : "loses nothing: the job of this batch still waits in the spool, and the next news import "
                    "deletes Header.Msg and files the batch again";
    f.note = true;
    report.add(f);
}

int64_t checkMailIndex(const std::string& store, Report& report, Progress& progress) {
    store::IndexReader reader(store::MailRecordSlots());
    const std::string path = store::withSeparator(store) + layout::kMailIndex;
    if (!reader.open(path)) return 0;
    const bool lastLineEnded = endsInLineEnd(path);
    AreaState area = openAreaState(store, layout::kMailAreaFile);
    store::IndexItem item, held;
    bool holding = false;
    int64_t records = 0;
    // Each item is judged once the next is read, so that the last one is
    // known as the last.
    auto judge = [&](const store::IndexItem& it, bool last) {
        if (last && cutShortAtEnd(it, lastLineEnded, store::MailRecordSlots().size(), true)) {
            reportCutShort(report, layout::kMailIndex, it, true);
            return;
        }
        if (it.kind != store::IndexItem::Kind::Record) {
            reportDamage(report, layout::kMailIndex, it, store::MailRecordSlots().size());
            return;
        }
        ++records;
        const store::MailRecord r = store::MailRecordOf(it);
        checkRange(report, layout::kMailIndex, it, r.start, r.end, area);
    };
    while (reader.next(item)) {
        progress.step(item.number, -1, "records, " + shareRead(reader.position(), reader.size(), layout::kMailIndex));
        if (holding) judge(held, false);
        held = item;
        holding = true;
    }
    if (holding) judge(held, true);
    if (reader.readError()) report.add({layout::kMailIndex, 0, reader.position(), "the file cannot be read to its end", "loses the records after this byte", ""});
    return records;
}

int64_t checkNewsIndex(const std::string& spool, const std::string& store, Report& report, Progress& progress) {
    store::IndexReader reader(store::NewsRecordSlots());
    const std::string path = store::withSeparator(spool) + layout::kNewsIndex;
    if (!reader.open(path)) return 0;
    const bool lastLineEnded = endsInLineEnd(path);
    std::map<int32_t, AreaState> areas;
    store::IndexItem item, next;
    bool more = reader.next(next);
    int64_t records = 0;
    while (more) {
        item = next;
        more = reader.next(next);
        progress.step(item.number, -1, "records, " + shareRead(reader.position(), reader.size(), layout::kNewsIndex));
        if (!more && cutShortAtEnd(item, lastLineEnded, store::NewsRecordSlots().size(), false)) {
            reportCutShort(report, layout::kNewsIndex, item, false);
            continue;
        }
        if (item.kind != store::IndexItem::Kind::Record) {
            reportDamage(report, layout::kNewsIndex, item, store::NewsRecordSlots().size());
            continue;
        }
        ++records;
        const store::NewsRecord r = store::NewsRecordOf(item);
        if (!store::IsNewsArea(r.area)) {
            report.add({layout::kNewsIndex, item.number, item.offset, "area " + std::to_string(r.area) + " is below 1",
                        "reads this article from an area news is never filed to", ""});
            continue;
        }
        auto it = areas.find(r.area);
        if (it == areas.end()) it = areas.emplace(r.area, openAreaState(store, store::numberedAreaName(r.area))).first;
        checkRange(report, layout::kNewsIndex, item, r.start, r.end, it->second);
    }
    return records;
}

struct AreaEntry {
    std::string name;
    int64_t line;
    int32_t area;
};

// The faults of one name line; the name comes back without its line end.
void checkAreaName(const std::string& label, std::string& name, Finding f, std::set<std::string>& seen,
                   Report& report) {
    if (name.size() > 254) {
        f.what = label + ": the name line is longer than the 254 bytes read of it";
        f.host = "reads it in two pieces and takes the second for the number line, so every entry after it "
                 "is out of step";
        report.add(f);
    }
    if (name.back() != '\n') {
        f.what = label + ": the name line has no line end";
        f.host = "drops the name's last character and files news of other groups here";
        report.add(f);
    } else {
        name.pop_back();
    }
    if (name.find('\r') != std::string::npos) {
        f.what = label + ": the name \"" + name.substr(0, name.find('\r')) + "\" holds a CR";
        f.host = "never matches this name (a line written with CR LF keeps its CR)";
        report.add(f);
    }
    if (!seen.insert(name).second) {
        f.what = label + ": the name \"" + name + "\" is listed twice";
        f.host = "uses the first entry only";
        report.add(f);
    }
}

// The area of a number line; 0 when it is no number.
int32_t checkAreaNumber(const std::string& label, const std::string& number, int64_t numberOffset, Report& report) {
    int32_t area = 0;
    std::string digits = number;
    while (!digits.empty() && (digits.back() == '\n' || digits.back() == '\r')) digits.pop_back();
    if (!store::ParseRecordNumber(digits, &area)) {
        report.add({layout::kAreaMap, 0, numberOffset,
                    label + ": the number line \"" + digits.substr(0, 40) + "\" is not a number",
                    "reads the digits it begins with, if any, as the area", ""});
    } else if (!store::IsNewsArea(area)) {
        report.add({layout::kAreaMap, 0, numberOffset, label + ": area " + std::to_string(area) + " is below 1",
                    "never files news to it", ""});
    }
    return area;
}

// A name found inside a later one wins every article of the later group:
// the first entry whose name occurs in the Newsgroups line decides.
void checkAreaShadowed(const std::string& label, const std::string& name, const std::vector<AreaEntry>& entries,
                       Finding f, Report& report) {
    for (const AreaEntry& e : entries) {
        if (!name.empty() && !e.name.empty() && e.name != name && e.area != 0 &&
            name.find(e.name) != std::string::npos) {
            f.what = label + ": the name \"" + name + "\" contains the earlier name \"" + e.name + "\" (line " +
                     std::to_string(e.line) + ")";
            f.host = "files this group's articles to area " + std::to_string(e.area) + ", never here";
            f.note = true;  // the first match winning is the map's rule, maybe meant
            report.add(f);
            return;
        }
    }
}

void checkAreaMap(const std::string& store, Report& report) {
    plat::Stream in;
    if (!in.open(store::withSeparator(store) + layout::kAreaMap, "rb")) return;
    std::vector<AreaEntry> entries;
    std::set<std::string> seen;
    std::string name, number;
    int64_t offset = 0, line = 1, catchAllLine = 0;
    while (in.getLine(name, 4096)) {
        const int64_t nameOffset = offset;
        offset += static_cast<int64_t>(name.size());
        Finding f{layout::kAreaMap, 0, nameOffset, "", "", ""};
        bool hasNumber = in.getLine(number, 4096);
        int64_t numberOffset = offset;
        offset += static_cast<int64_t>(number.size());
        std::string label = "entry at line " + std::to_string(line);
        line += 2;
        if (!hasNumber && name == "\n") break;  // a blank line at the end: no entry, and no harm
        if (!hasNumber) {
            f.what = label + " has a name line and no number line";
            f.host = "never files news to it";
            report.add(f);
        }
        checkAreaName(label, name, f, seen, report);
        int32_t area = hasNumber ? checkAreaNumber(label, number, numberOffset, report) : 0;
        // An empty name matches every article: the map's catch-all, meant to
        // stand last. The entries after it are never reached.
        if (catchAllLine > 0) {
            f.what = label + ": the entry stands after the empty name of line " + std::to_string(catchAllLine) +
                     ", which matches every article";
            f.host = "never files news to it";
            f.note = true;
            report.add(f);
        } else {
            checkAreaShadowed(label, name, entries, f, report);
        }
        if (name.empty() && area != 0 && catchAllLine == 0) catchAllLine = line - 2;
        entries.push_back({name, line - 2, area});
    }
}

void checkCounter(const std::string& store, Report& report) {
    const outbound::CounterContents counter = outbound::ReadSequenceCounter(store::withSeparator(store));
    if (!counter.present) return;
    const size_t got = counter.bytes;
    if (got != 4) {
        report.add({layout::kExportCounter, 0, -1,
                    "the counter has " + std::string(got > 4 ? "more" : std::to_string(got)) + " bytes, not 4",
                    got < 4 ? "starts the job numbers at 0001 again, over jobs that may still wait in the spool"
                            : "reads the first four bytes only",
                    ""});
        if (got < 4) return;
    }
    const int32_t v = counter.last;
    if (v < 0 || v > outbound::kLastSequenceNumber) {
        report.add({layout::kExportCounter, 0, 0, "the last job number " + std::to_string(v) + " is outside 0 to " +
                                                      std::to_string(outbound::kLastSequenceNumber),
                    "starts the job numbers at 0001 again, over jobs that may still wait in the spool", ""});
    }
}

std::string ageOf(const std::string& path) {
    std::error_code ec;
    auto when = std::filesystem::last_write_time(std::filesystem::path(path), ec);
    if (ec) return "unknown age";
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(std::filesystem::file_time_type::clock::now() - when)
                    .count();
    if (secs < 0) secs = 0;
    auto unit = [](long long n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    if (secs < 120) return unit(secs, "second");
    if (secs < 7200) return unit(secs / 60, "minute");
    if (secs < 2 * 86400) return unit(secs / 3600, "hour");
    return unit(secs / 86400, "day");
}

std::string upper(const std::string& s) { return ascii::uppered(s); }

std::string spoolPath(const std::string& spool, const std::string& name) { return layout::join(spool, name); }

// Looks for the data file of one execute file; true when it is there. The
// data files it names are marked in `named`.
bool checkExecuteFile(const std::string& spool, const std::string& name,
                      const std::map<std::string, std::string>& dataFiles, std::set<std::string>& named,
                      Report* report) {
    if (!plat::isPlainName(name)) {
        if (report) {
            report->add({name, 0, -1, "not a plain file name (a separator, a colon, a control byte or a device name)",
                         "passes it over on every import and never opens it", ""});
        }
        return false;
    }
    // Read by the importers' reader: no link followed, nothing waited on, no
    // more than an execute file may hold. One that is gone meanwhile names
    // nothing.
    inbound::ExecuteJob job;
    inbound::JobCommand kind = inbound::JobCommand::Other;
    std::string why;
    if (inbound::ReadAnyExecuteFile(store::withSeparator(spool) + name, job, kind, why) == inbound::ExecuteRead::Bad) {
        // "is larger than N bytes" reads "execute file larger than N bytes".
        const std::string bad = why.compare(0, 10, "is larger ") == 0 ? "execute file " + why.substr(3)
                                                                       : "execute file that " + why;
        if (report) report->add({name, 0, -1, bad, "sets it aside into " + layout::join(layout::kBadDirectory, "") + " at the next import", ageOf(spoolPath(spool, name))});
        return false;
    }
    const std::string dataName = job.dataName;
    std::string command = job.command;
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
    std::vector<std::string> candidates;
    for (const std::string& c : inbound::LocalNameCandidates(dataName)) candidates.push_back(upper(c));
    candidates.push_back(upper(layout::dataFileBeside(name)));
    bool found = false;
    for (const std::string& c : candidates) {
        if (dataFiles.count(c)) {
            named.insert(c);
            found = true;
        }
    }
    if (!found && report) {
        report->add({name, 0, -1,
                    "execute file without its data file (" + (dataName.empty() ? "no F line" : "F " + dataName) +
                        ", " + (command.empty() ? "no command" : command) + ")",
                    "skips it on every import; the message it names is not in the spool",
                    ageOf(spoolPath(spool, name))});
    }
    return found;
}

void checkWorkingFiles(const std::string& spool, const std::vector<std::string>& all, Report& report) {
    for (const std::string& n : all) {
        Finding f{n, 0, -1, "working file of an interrupted run", "", ageOf(spoolPath(spool, n))};
        const auto is = [&n](const char* name) { return ascii::equalsNoCase(n, name); };
        // A news import keeps its staged batch (and the compressed one it was
        // expanded from) after it ends, until the next news job replaces
        // them: leftovers, not damage. A copy never renamed into place tells
        // of a run cut off, but its job still waits in the spool.
        if (is(layout::kNewsBatchStaged) || is(layout::kNewsBatch) || is(layout::kNewsBatchCompressed)) {
            f.what = "working file of the last news import";
            f.host = "ignores it; the next news job replaces it";
            f.note = true;
        } else if (ascii::startsNoCase(n, layout::kNewsBatch)) {
            f.host = "ignores it: the job of that run still waits in the spool, and the next news job replaces "
                     "this file";
            f.note = true;
        } else if (is(layout::kOutgoingMail)) {
            // What a failed or cut-off export leaves, the message whole: the
            // host was not told it went, and exports it again.
            f.what = "outgoing mail not exported (an export failed or was cut off, or the host is writing it)";
            f.host = "sends it with its next EXPMAIL; until then it is not sent";
            f.note = true;
        } else if (is(layout::kOutgoingNewsPlain) || is(layout::kOutgoingNews)) {
            f.what = "outgoing news batch not exported (an export failed or was cut off, or the host is writing it)";
            f.host = "sends it with its next EXPNEWS; until then it is not sent";
            f.note = true;
        } else {
            continue;
        }
        report.add(f);
    }
}

// The data files of the spool (upper-case name -> name) and those that an
// execute file names.
struct SpoolFiles {
    std::vector<std::string> all;
    std::map<std::string, std::string> dataFiles;
    std::set<std::string> named;
    int64_t jobs = 0;  // execute files whose data file is there
};

SpoolFiles listSpool(const std::string& spool, Report* report) {
    SpoolFiles f;
    f.all = plat::findFiles(store::withSeparator(spool) + "*");
    for (const std::string& n : f.all) {
        std::string u = upper(n);
        if (u.size() > 2 && ascii::equalsNoCase(u.substr(u.size() - 2), layout::kDataFileSuffix)) f.dataFiles.emplace(u, n);
    }
    for (const std::string& n : f.all) {
        std::string u = upper(n);
        bool execute = u.size() > 2 && ascii::equalsNoCase(u.substr(u.size() - 2), layout::kExecuteFileSuffix);
        if (execute && checkExecuteFile(spool, n, f.dataFiles, f.named, report)) ++f.jobs;
    }
    return f;
}

int64_t ageSeconds(const std::string& path) {
    std::error_code ec;
    auto when = std::filesystem::last_write_time(std::filesystem::path(plat::systemPath(path)), ec);
    if (ec) return -1;
    return std::chrono::duration_cast<std::chrono::seconds>(std::filesystem::file_time_type::clock::now() - when)
        .count();
}

// What the importers set aside into SPOOL/bad/: jobs that can never be
// imported for what they hold. Not damage, but nothing takes them either.
void checkSetAside(const std::string& spool, const std::string& store, Report& report) {
    for (const LeftJob& job : setAside(spool, store)) {
        Finding f{job.executeFile, 0, -1, "set aside by an import: " + job.why,
                  "never imports it; look at it, then delete it or move it back into the spool", ""};
        f.age = ageOf(spoolPath(spool, job.executeFile));
        f.setAside = true;
        report.add(f);
    }
}

// What waits in the spool: jobs whose other half is gone and the working
// files of a run that did not end. Whole jobs waiting for import are counted.
int64_t checkSpool(const std::string& spool, const std::string& store, Report& report) {
    SpoolFiles f = listSpool(spool, &report);
    for (const auto& [u, n] : f.dataFiles) {
        if (f.named.count(u)) continue;
        const std::string path = spoolPath(spool, n);
        if (int64_t record = store::StoredMailRecord(store, path)) {
            report.add({n, 0, -1,
                        "data file without an execute file; its mail is in the store already (" + std::string(layout::kMailIndex) + " record " +
                            std::to_string(record) + ")",
                        "ignores it; brem cycle removes it once it is an hour old", ageOf(path), true});
        } else if (inbound::IsFiledNewsBatch(store::withSeparator(spool), path)) {
            report.add({n, 0, -1,
                        "data file without an execute file; its batch was filed by the last news import, cut off "
                        "before it deleted the file",
                        "loses nothing: the batch is in the store; the file may be deleted", ageOf(path), true});
        } else {
            report.add({n, 0, -1, "data file without an execute file",
                        "never imports it; the message in it stays out of the store", ageOf(path)});
        }
    }
    checkWorkingFiles(spool, f.all, report);
    checkSetAside(spool, store, report);
    const std::string foreign = foreignUucpDirectory(spool);
    if (!foreign.empty()) {
        report.add({foreign, 0, -1, std::string("directory of ") + kForeignUucpAdvice,
                    "never imports the jobs in it", ""});
    }
    return f.jobs;
}

}  // namespace

std::vector<std::string> removeStoredCopies(const std::string& spool, const std::string& store) {
    std::vector<std::string> removed;
    SpoolFiles f = listSpool(spool, nullptr);
    for (const auto& [u, n] : f.dataFiles) {
        const std::string path = spoolPath(spool, n);
        // A transfer may still be writing a job whose execute file comes
        // after its data file, and a peer may send a mail again: only a copy
        // left long before is taken for the leftover of an import.
        if (f.named.count(u) || ageSeconds(path) < kStoredCopyAge || store::StoredMailRecord(store, path) == 0) continue;
        if (plat::deleteFile(path)) removed.push_back(n);
    }
    return removed;
}

namespace {

int checkVerb(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    std::string spool;
    bool withSpool = takeOption(args, "--spool", &spool);
    std::string problem = positionalProblem(args, {"STORE"});
    if (problem.empty() && withSpool && spool.empty()) problem = "--spool: the spool directory is empty";
    if (!problem.empty()) return usageError("check", problem, "usage: brem check STORE [--spool SPOOL] [--json]\n");
    const std::string store = args[0];
    if (!usableDirectory(store, "store directory") || (withSpool && !usableDirectory(spool, "spool directory"))) {
        return kExitFailed;
    }
    Progress progress("checking");
    Report report(json, progress);
    if (json) std::printf("{\"findings\": [");
    int64_t mail = checkMailIndex(store, report, progress);
    int64_t news = withSpool ? checkNewsIndex(spool, store, report, progress) : 0;
    checkAreaMap(store, report);
    checkCounter(store, report);
    int64_t jobs = withSpool ? checkSpool(spool, store, report) : 0;
    progress.clear();
    if (json) {
        std::printf("%s],\n \"mail_records\": %lld", report.count() ? "\n  " : "", static_cast<long long>(mail));
        if (withSpool)
            std::printf(", \"news_records\": %lld, \"jobs_waiting\": %lld", static_cast<long long>(news),
                        static_cast<long long>(jobs));
        std::printf(", \"damage\": %lld, \"notes\": %lld, \"set_aside\": %lld, \"clean\": %s}\n",
                    static_cast<long long>(report.damage()),
                    static_cast<long long>(report.count() - report.damage() - report.setAside()),
                    static_cast<long long>(report.setAside()), report.damage() ? "false" : "true");
    } else {
        std::printf("%lld mail record%s", static_cast<long long>(mail), mail == 1 ? "" : "s");
        if (withSpool)
            std::printf(", %lld news record%s, %lld job%s waiting", static_cast<long long>(news), news == 1 ? "" : "s",
                        static_cast<long long>(jobs), jobs == 1 ? "" : "s");
        int64_t notes = report.count() - report.damage() - report.setAside();
        std::string verdict = report.damage() ? std::to_string(report.damage()) + " damage finding" +
                                                    (report.damage() == 1 ? "" : "s")
                                              : std::string("clean");
        if (notes) verdict += ", " + std::to_string(notes) + " note" + (notes == 1 ? "" : "s");
        if (report.setAside()) {
            verdict += ", " + std::to_string(report.setAside()) + " file" + (report.setAside() == 1 ? "" : "s") +
                       " set aside in " + layout::join(layout::kBadDirectory, "");
        }
        std::printf("; %s\n", verdict.c_str());
    }
    return report.damage() ? kExitFailed : report.setAside() ? kExitWorkLeft : kExitOk;
}

}  // namespace

void registerStoreVerbs(VerbTable& verbs) {
    verbs["check"] = {"check a store (and its spool) for damage; writes nothing",
                      "usage: brem check STORE [--spool SPOOL] [--json]\n"
                      "  Reads mail.hdr against mailarea.txt, area.dat and export.dat of STORE;\n"
                      "  with --spool also Header.Msg against the area files, and what waits in\n"
                      "  the spool: execute files without their data file, data files without\n"
                      "  an execute file, working files of an interrupted run, and the jobs the\n"
                      "  importers set aside into SPOOL/bad/. Each finding names the file, the\n"
                      "  record or byte, what is wrong and what the host makes of it. Writes\n"
                      "  nothing. --json: one object with the findings and counts.\n"
                      "  Exit status 0 clean (notes aside), 1 damage found or a directory that\n"
                      "  cannot be read, 2 wrong command line, 3 no damage but files set aside\n"
                      "  in SPOOL/bad/.\n",
                      checkVerb};
    registerMboxVerbs(verbs);
    registerUucpVerbs(verbs);
}

}  // namespace brem::cli
