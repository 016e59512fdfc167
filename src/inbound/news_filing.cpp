#include "inbound/news_filing.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "inbound/header_line.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "store/batch_files.h"
#include "store/store.h"

namespace brem::inbound {

namespace {

constexpr size_t kAreaNameChars = 254;
constexpr size_t kAreaNumberChars = 18;

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

std::string valueOrEmpty(const ArticleHeaders& h, ArticleField f) {
    return h.kept[f].empty() ? std::string(kKept[f].prefix) + "\n" : h.kept[f];
}

void appendValueOrEmpty(std::string& out, const ArticleHeaders& h, ArticleField f) {
    if (h.kept[f].empty()) {
        out.append(kKept[f].prefix, kKept[f].prefixChars);
        out.push_back('\n');
    } else {
        out += h.kept[f];
    }
}

}  // namespace

int32_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    const size_t size = text.size();
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

bool RnewsCount(std::string_view line, int64_t& count) {
    if (!startsNoCase(line, "#! rnews ", 9)) return false;
    count = std::max<int32_t>(0, ParseDecimal(line.substr(9)));
    return true;
}

int ArticleHeaders::take(std::string_view line) {
    const int f = fieldByFirstLetter(line.empty() ? '\0' : line[0]);
    if (f == kFieldCount || !startsNoCase(line, kKept[f].prefix, kKept[f].prefixChars)) return kFieldCount;
    kept[f].clear();
    appendRecordLine(kept[f], line, kKept[f].width);
    return f;
}

void AppendArticleRecord(std::string& out, int32_t area, const ArticleHeaders& h) {
    char digits[16];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, area);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
    out.push_back('\n');
    appendValueOrEmpty(out, h, kFrom);
    appendValueOrEmpty(out, h, kDate);
    appendValueOrEmpty(out, h, kMessageId);
    appendValueOrEmpty(out, h, kSubject);
    appendValueOrEmpty(out, h, h.kept[kReferences].empty() ? kMessageId : kReferences);
    appendValueOrEmpty(out, h, kLines);
}

bool AreaMap::load(const std::string& storeDir) {
    plat::Stream map;
    if (!map.open(storeDir + "area.dat", "rb")) return false;
    std::string bytes;
    char buf[4096];
    for (size_t got; (got = map.read(buf, sizeof buf)) > 0;) bytes.append(buf, got);
    parse(bytes);
    return true;
}

void AreaMap::parse(std::string_view bytes) {
    entries_.clear();
    answers_.clear();
    ByteLines lines(bytes);
    std::string_view name, number;
    while (lines.next(name, kAreaNameChars)) {
        if (!lines.next(number, kAreaNumberChars)) number = std::string_view();
        entries_.push_back({std::string(name), std::string(number)});
    }
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

// One batch being filed: the staged batch read article by article, the
// articles appended through the batch's files.
class Filing {
public:
    Filing(ActivityLog& log, store::UndoLog& undo, const std::string& spoolDir, const std::string& storeDir)
        : log_(log),
          spoolDir_(spoolDir),
          storeDir_(storeDir),
          batchPath_(spoolDir + "$7b60051.int"),
          files_(spoolDir + "Header.Msg", storeDir, undo) {}

    int32_t run(const std::function<bool()>& takeJob);

private:
    bool lookUp(const std::string& newsgroupsLine, int32_t& area);
    int32_t finish(const std::function<bool()>& takeJob);
    bool fileArticle(const Article& a);
    void reportFailure(store::BatchFiles::Result r, int32_t area, int64_t length);

    ActivityLog& log_;
    const std::string& spoolDir_;
    const std::string& storeDir_;
    const std::string batchPath_;
    plat::Stream batch_;
    int64_t batchSize_ = 0;
    store::BatchFiles files_;
    AreaMap map_;
    bool mapLoaded_ = false;
    std::string record_;
};

int32_t Filing::run(const std::function<bool()>& takeJob) {
    if (!batch_.open(batchPath_, "rb")) {
        log_.always("Cannot open .int file!\n");
        return -1;
    }
    batchSize_ = batch_.size();
    BatchReader<plat::Stream> reader(batch_, [this](const std::string& line, int32_t& area) {
        return lookUp(line, area);
    });
    // Until the batch stands, every early return has the call take it back
    // whole.
    for (Article a;;) {
        switch (reader.next(a)) {
            case BatchReader<plat::Stream>::Step::End: return finish(takeJob);
            case BatchReader<plat::Stream>::Step::Stopped: return 1;
            case BatchReader<plat::Stream>::Step::Article: break;
        }
        if (a.area < 1) {
            log_.always("Message could not be found an area :\n %s\n", valueOrEmpty(a.headers, kNewsgroups).c_str());
            reader.skip(a);
            continue;
        }
        if (!fileArticle(a)) return -1;
        reader.skip(a);
    }
}

// area.dat is read at the first Newsgroups line of the batch.
bool Filing::lookUp(const std::string& newsgroupsLine, int32_t& area) {
    if (!mapLoaded_ && !(mapLoaded_ = map_.load(storeDir_))) {
        log_.always("Cannot open area file.\n");
        return false;
    }
    area = map_.lookUp(log_, newsgroupsLine);
    return true;
}

// The batch stands once its files are closed and its job is out of the spool.
int32_t Filing::finish(const std::function<bool()>& takeJob) {
    if (batch_.readError()) {
        log_.always("Cannot read %s\n", batchPath_.c_str());
        return -1;
    }
    if (!files_.close()) {
        log_.always("Cannot write the articles of %s to their area files and %sHeader.Msg\n", batchPath_.c_str(),
                    spoolDir_.c_str());
        return -1;
    }
    if (takeJob && !takeJob()) return -1;
    log_.always("Found end of file\n");
    return 0;
}

// The article is copied as the batch holds it, stopping early only at the end
// of the batch.
bool Filing::fileArticle(const Article& a) {
    record_.clear();
    AppendArticleRecord(record_, a.area, a.headers);
    const int64_t length = std::min(a.count, std::max<int64_t>(0, batchSize_ - a.position));
    batch_.seek(a.position);
    store::BatchFiles::Result r = files_.file(a.area, length, record_, [&](plat::Stream& out) {
        return out.transferFrom(batch_, static_cast<size_t>(length)) == static_cast<size_t>(length);
    });
    if (r == store::BatchFiles::Result::Ok) return true;
    reportFailure(r, a.area, length);
    return false;
}

void Filing::reportFailure(store::BatchFiles::Result r, int32_t area, int64_t length) {
    const std::string areaPath = files_.pathFor(area);
    switch (r) {
        case store::BatchFiles::Result::HeaderOpenFailed: log_.always("Cannot open header file!\n"); break;
        case store::BatchFiles::Result::AreaOpenFailed: log_.always("Cannot open area file!\n"); break;
        case store::BatchFiles::Result::TooLarge:
            log_.always("Area file %s is full: an article of %lld bytes would take it past 2147483647 bytes\n",
                        areaPath.c_str(), static_cast<long long>(length));
            break;
        case store::BatchFiles::Result::ReadFailed: log_.always("Cannot read %s\n", batchPath_.c_str()); break;
        default:
            log_.always("Cannot write area file %s or header file %sHeader.Msg\n", areaPath.c_str(),
                        spoolDir_.c_str());
            break;
    }
}

}  // namespace

int32_t FileNewsBatch(ActivityLog& log, store::UndoLog& undo, const std::string& spoolDir,
                      const std::string& storeDir, const std::function<bool()>& takeJob) {
    Filing filing(log, undo, spoolDir, storeDir);
    return filing.run(takeJob);
}

}  // namespace brem::inbound
