#include "inbound/news_filing.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <cstring>
#include <limits>
#include <map>
#include <memory>

#include "inbound/header_line.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "store/store.h"

namespace brem::inbound {

namespace {

constexpr size_t kRnewsLineChars = 39;
constexpr size_t kHeaderLineChars = 499;
constexpr size_t kAreaNameChars = 254;
constexpr size_t kAreaNumberChars = 18;

// The header lines an article's record keeps, with the width each is kept
// in (terminating NUL counted, as the record's readers have always counted
// it).
enum Field { kFrom, kSubject, kDate, kMessageId, kReferences, kLines, kNewsgroups, kFieldCount };
struct KeptHeader {
    const char* prefix;
    size_t prefixChars;
    size_t width;
};
constexpr KeptHeader kKept[kFieldCount] = {
    {"From: ", 6, 500},        {"Subject: ", 9, 200}, {"Date: ", 6, 100},        {"Message-ID: ", 12, 500},
    {"References: ", 12, 500}, {"Lines: ", 7, 12},    {"Newsgroups: ", 12, 300},
};

// The kept header a line may start with, told by its first letter alone (no
// two prefixes share one); kFieldCount for none.
int fieldByFirstLetter(char c) {
    switch (c | 0x20) {  // folds A-Z; no other byte maps onto a letter below
        case 'f': return kFrom;
        case 's': return kSubject;
        case 'd': return kDate;
        case 'm': return kMessageId;
        case 'r': return kReferences;
        case 'l': return kLines;
        case 'n': return kNewsgroups;
        default: return kFieldCount;
    }
}

std::string valueOrEmpty(const std::string* kept, Field f) {
    return kept[f].empty() ? std::string(kKept[f].prefix) + "\n" : kept[f];
}

void appendValueOrEmpty(std::string& out, const std::string* kept, Field f) {
    if (kept[f].empty()) {
        out.append(kKept[f].prefix, kKept[f].prefixChars);
        out.push_back('\n');
    } else {
        out += kept[f];
    }
}

void appendNumber(std::string& out, int64_t v) {
    char digits[24];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
}

int32_t parseDecimal(const char* text, size_t size) {
    size_t i = 0;
    while (i < size && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < size && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    while (i < size && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i++] - '0');
        if (v > std::numeric_limits<int32_t>::max()) v = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    }
    if (negative) v = -v;
    v = std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(v);
}

}  // namespace

int32_t ParseDecimal(const std::string& text) { return parseDecimal(text.data(), text.size()); }

bool AreaMap::load(const std::string& storeDir) {
    plat::Stream map;
    if (!map.open(storeDir + "area.dat", "rb")) return false;
    entries_.clear();
    Entry e;
    while (map.getLine(e.nameLine, kAreaNameChars)) {
        if (!map.getLine(e.numberLine, kAreaNumberChars)) e.numberLine.clear();
        entries_.push_back(e);
    }
    return true;
}

int32_t AreaMap::lookUp(ActivityLog& log, const std::string& newsgroupsLine) {
    // The same Newsgroups line comes back often in a batch; when the search
    // is not logged, its answer is kept.
    const bool logged = log.isOpen() && log.verbosity() > 4;
    if (!logged) {
        auto it = answers_.find(newsgroupsLine);
        if (it != answers_.end()) return it->second;
    }
    int32_t area = search(log, newsgroupsLine);
    if (!logged && answers_.size() < kMostAnswers) answers_.emplace(newsgroupsLine, area);
    return area;
}

int32_t AreaMap::search(ActivityLog& log, const std::string& newsgroupsLine) const {
    for (const Entry& e : entries_) {
        log.above(4, "areaname = %s \n", e.nameLine.c_str());
        // Exactly one character, the line feed, ends a name line; the name
        // matches when it occurs anywhere in the line, so an entry for a
        // group also takes its subgroups and the first entry that fits wins.
        std::string key = e.nameLine.substr(0, e.nameLine.size() - 1);
        int32_t area = 0;
        if (std::strstr(newsgroupsLine.c_str(), key.c_str()) != nullptr) {
            area = ParseDecimal(e.numberLine);
        } else {
            log.above(7, "rec Grp Name: %s - Actual %s\n", newsgroupsLine.c_str(), key.c_str());
        }
        if (area != 0) return area;
    }
    log.above(4, "areaname = %s \n", "");  // the search read on to the end of the file
    return 0;
}

namespace {

// The files a batch appends to, kept open for the whole batch and flushed
// together at commit points (every 256 articles and at the end). A batch
// that does not get to its end is taken back whole, so that its job can wait
// in the spool for another try: no area keeps bytes that no record points to,
// no record points to bytes that are not there, and no article is filed
// twice.
class BatchFiles {
public:
    BatchFiles(const std::string& spoolDir, std::string storeDir)
        : hdrPath_(spoolDir + "Header.Msg"), storeDir_(std::move(storeDir)) {}
    ~BatchFiles() {
        if (!kept_) takeBackAll();
    }
    // The batch stands: nothing is taken back when the files go.
    void keep() { kept_ = true; }

    enum class Result { Ok, HeaderOpenFailed, AreaOpenFailed, TooLarge, ReadFailed, WriteFailed };

    // Appends one article: the copy function writes exactly `length` bytes
    // to the stream it is given (false when it could not). On success the
    // record, `record` with the article's start and end appended to it, is
    // queued behind it. Every result but WriteFailed leaves the files as they
    // were before the article.
    template <typename Copy>
    Result file(int32_t area, int64_t length, std::string& record, Copy copy) {
        if (!hdr_.isOpen()) {
            if (!hdr_.open(hdrPath_, "at")) return Result::HeaderOpenFailed;
            hdrBefore_ = hdrCommitted_ = hdr_.size();
            hdrOpened_ = true;
            if (hdrCommitted_ < 0) return Result::WriteFailed;
        }
        Result why = Result::Ok;
        Area* a = open(area, &why);
        if (!a) return why;
        // Offset 0 is never a start: an empty area file gets one line feed
        // first, so the article's first byte lies at its recorded start 1.
        int64_t lead = a->size <= 0 ? 1 : 0;
        if (a->size + lead + length > std::numeric_limits<int32_t>::max()) return Result::TooLarge;
        int64_t start = a->size <= 0 ? 1 : a->size;
        const int64_t before = a->size;
        if (lead && !a->out.put('\n')) return Result::WriteFailed;
        if (!copy(a->out)) {
            if (a->out.writeFailed()) return Result::WriteFailed;
            // The batch could not be read: the part copied goes again.
            if (!a->out.flush() || !a->out.truncate(before)) return Result::WriteFailed;
            return Result::ReadFailed;
        }
        a->size += lead + length;
        appendNumber(record, start);
        record.push_back('\n');
        appendNumber(record, a->size);
        record.push_back('\n');
        if (!hdr_.write(record)) return Result::WriteFailed;
        if (++sinceCommit_ >= kCommitEvery && !commit()) return Result::WriteFailed;
        return Result::Ok;
    }

    std::string pathFor(int32_t area) const { return storeDir_ + store::numberedAreaName(area); }

    // Makes everything appended so far durable; false (and everything since
    // the last commit point taken back) when a write fails.
    bool commit() {
        bool ok = true;
        for (auto& kv : areas_) ok = ok && kv.second->out.flush();
        ok = ok && (!hdr_.isOpen() || hdr_.flush());
        if (!ok) {
            rollback();
            return false;
        }
        for (auto& kv : areas_) kv.second->committed = kv.second->size;
        if (hdr_.isOpen()) hdrCommitted_ = hdr_.size();
        sinceCommit_ = 0;
        return true;
    }

    // Commits and closes every file; false when a write or a close failed.
    bool close() {
        if (!commit()) return false;
        if (!closeAreas()) return false;
        if (hdr_.isOpen() && !hdr_.close()) {
            takeBackBatch();
            return false;
        }
        return true;
    }

    void rollback() {
        for (auto& kv : areas_) {
            Area& a = *kv.second;
            if (a.out.isOpen()) {
                a.out.truncate(a.committed < 0 ? 0 : a.committed);
                a.out.discard();
            }
        }
        areas_.clear();
        if (hdr_.isOpen()) {
            hdr_.truncate(hdrCommitted_ < 0 ? 0 : hdrCommitted_);
            hdr_.discard();
        }
    }

private:
    static constexpr int kCommitEvery = 256;  // articles
    static constexpr size_t kMostOpenAreas = 64;

    struct Area {
        std::string path;
        plat::Stream out;
        int64_t before = 0;     // size when the batch opened it
        int64_t committed = 0;  // size at the last commit point
        int64_t size = 0;       // size with what is buffered
    };

    // Closes the open area files; after a failed close, which articles
    // reached the disk is unknown, and the whole batch is taken back.
    bool closeAreas() {
        bool ok = true;
        for (auto& kv : areas_) ok = kv.second->out.close() && ok;
        areas_.clear();
        if (!ok) takeBackBatch();
        return ok;
    }

    // Every file to where it stood before the batch, open or closed.
    void takeBackAll() {
        std::map<std::string, bool> cut;
        for (auto& kv : areas_) {
            Area& a = *kv.second;
            if (!a.out.isOpen()) continue;
            cut[a.path] = a.out.truncate(a.before < 0 ? 0 : a.before);
            a.out.discard();
        }
        areas_.clear();
        for (const auto& kv : touched_) {
            if (!cut[kv.first]) store::cutBack(kv.first, kv.second);
        }
        bool hdrCut = hdr_.isOpen() && hdr_.truncate(hdrBefore_ < 0 ? 0 : hdrBefore_);
        hdr_.discard();
        if (hdrOpened_ && !hdrCut) store::cutBack(hdrPath_, hdrBefore_ < 0 ? 0 : hdrBefore_);
    }

    void takeBackBatch() {
        for (auto& kv : areas_) kv.second->out.discard();
        areas_.clear();
        for (const auto& kv : touched_) store::cutBack(kv.first, kv.second);
        if (hdr_.isOpen()) hdr_.discard();
        if (hdrOpened_) store::cutBack(hdrPath_, hdrBefore_);
    }

    Area* open(int32_t area, Result* why) {
        auto it = areas_.find(area);
        if (it != areas_.end()) return it->second.get();
        // A batch for many areas keeps a bounded number of files open.
        if (areas_.size() >= kMostOpenAreas) {
            *why = Result::WriteFailed;
            if (!commit() || !closeAreas()) return nullptr;
        }
        auto a = std::make_unique<Area>();
        a->path = pathFor(area);
        *why = Result::AreaOpenFailed;
        if (!a->out.open(a->path, "ab")) return nullptr;
        a->before = a->committed = a->size = a->out.size();
        if (a->size < 0) return nullptr;
        touched_.emplace(a->path, a->before);  // the size before this batch
        Area* raw = a.get();
        areas_[area] = std::move(a);
        return raw;
    }

    std::string hdrPath_;
    std::string storeDir_;
    plat::Stream hdr_;
    int64_t hdrBefore_ = 0;
    bool hdrOpened_ = false;
    std::map<std::string, int64_t> touched_;
    int64_t hdrCommitted_ = 0;
    int sinceCommit_ = 0;
    bool kept_ = false;
    std::map<int32_t, std::unique_ptr<Area>> areas_;
};

}  // namespace

int32_t FileNewsBatch(ActivityLog& log, const std::string& spoolDir, const std::string& storeDir,
                      int32_t verbosity, const std::function<bool()>& takeJob) {
    (void)verbosity;  // the log carries it
    const std::string batchPath = spoolDir + "$7b60051.int";
    plat::Stream batch;
    if (!batch.open(batchPath, "rb")) {
        log.always("Cannot open .int file!\n");
        return -1;
    }
    const int64_t batchSize = batch.size();
    BatchFiles files(spoolDir, storeDir);
    AreaMap map;
    bool mapLoaded = false;
    std::string line;
    // Kept across articles only for their storage: each article clears them.
    std::string kept[kFieldCount];
    std::string record;
    // The batch stands once its files are closed and its job is out of the
    // spool; until then every early return takes it back whole.
    auto closeFiles = [&]() {
        if (!files.close()) {
            log.always("Cannot write the articles of %s to their area files and %sHeader.Msg\n", batchPath.c_str(),
                       spoolDir.c_str());
            return false;
        }
        if (takeJob && !takeJob()) return false;
        files.keep();
        return true;
    };

    for (;;) {
        if (!batch.getLine(line, kRnewsLineChars)) {
            if (batch.readError()) {
                log.always("Cannot read %s\n", batchPath.c_str());
                return -1;
            }
            if (!closeFiles()) return -1;
            log.always("Found end of file\n");
            return 0;
        }
        if (!startsNoCase(line, "#! rnews ", 9)) continue;
        const int64_t n = std::max<int32_t>(0, parseDecimal(line.data() + 9, line.size() - 9));
        const int64_t p = batch.tell();

        // Every article starts afresh: nothing of the article before it can
        // end up in its record or decide its area. The scan stays within the
        // article's own bytes.
        for (std::string& k : kept) k.clear();
        int32_t area = 0;
        int64_t remaining = n;
        while (remaining > 0) {
            size_t most = static_cast<size_t>(std::min<int64_t>(remaining, kHeaderLineChars));
            if (!batch.getLine(line, most)) break;
            remaining -= static_cast<int64_t>(line.size());
            if (line.size() == 1 && line[0] == '\n') break;
            const int f = fieldByFirstLetter(line[0]);
            if (f == kFieldCount || !startsNoCase(line, kKept[f].prefix, kKept[f].prefixChars)) continue;
            kept[f].clear();
            appendRecordLine(kept[f], line, kKept[f].width);
            if (f == kNewsgroups) {
                if (!mapLoaded && !(mapLoaded = map.load(storeDir))) {
                    log.always("Cannot open area file.\n");
                    return 1;
                }
                area = map.lookUp(log, line);
            }
        }

        if (area < 1) {
            log.always("Message could not be found an area :\n %s\n", valueOrEmpty(kept, kNewsgroups).c_str());
            batch.seek(p + n);
            continue;
        }

        record.clear();
        appendNumber(record, area);
        record.push_back('\n');
        appendValueOrEmpty(record, kept, kFrom);
        appendValueOrEmpty(record, kept, kDate);
        appendValueOrEmpty(record, kept, kMessageId);
        appendValueOrEmpty(record, kept, kSubject);
        appendValueOrEmpty(record, kept, kept[kReferences].empty() ? kMessageId : kReferences);
        appendValueOrEmpty(record, kept, kLines);

        // The article is copied as the batch holds it, stopping early only
        // at the end of the batch.
        const int64_t length = std::min(n, std::max<int64_t>(0, batchSize - p));
        batch.seek(p);
        BatchFiles::Result r = files.file(area, length, record, [&](plat::Stream& out) {
            return out.transferFrom(batch, static_cast<size_t>(length)) == static_cast<size_t>(length);
        });
        if (r == BatchFiles::Result::Ok) {
            batch.seek(p + n);
            continue;
        }
        // The batch is taken back whole when `files` goes.
        std::string areaPath = files.pathFor(area);
        switch (r) {
            case BatchFiles::Result::HeaderOpenFailed: log.always("Cannot open header file!\n"); break;
            case BatchFiles::Result::AreaOpenFailed: log.always("Cannot open area file!\n"); break;
            case BatchFiles::Result::TooLarge:
                log.always("Area file %s is full: an article of %lld bytes would take it past 2147483647 bytes\n",
                           areaPath.c_str(), static_cast<long long>(length));
                break;
            case BatchFiles::Result::ReadFailed: log.always("Cannot read %s\n", batchPath.c_str()); break;
            default:
                log.always("Cannot write area file %s or header file %sHeader.Msg\n", areaPath.c_str(),
                           spoolDir.c_str());
                return -1;
        }
        return -1;
    }
}

}  // namespace brem::inbound
