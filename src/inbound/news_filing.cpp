#include "inbound/news_filing.h"

#include <algorithm>
#include <cstring>
#include <limits>

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
    size_t width;
};
constexpr KeptHeader kKept[kFieldCount] = {
    {"From: ", 500},       {"Subject: ", 200},    {"Date: ", 100},       {"Message-ID: ", 500},
    {"References: ", 500}, {"Lines: ", 12},       {"Newsgroups: ", 300},
};

bool startsNoCase(const std::string& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = s[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// A header line as the record keeps it: up to its width, always ending in
// exactly one line feed, so that every record is nine lines.
std::string keptLine(const std::string& line, size_t width) {
    std::string s = line.substr(0, std::min(line.find('\0'), line.size()));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (s.size() > width - 2) s.resize(width - 2);
    s.push_back('\n');
    return s;
}

std::string valueOrEmpty(const std::string* kept, Field f) {
    return kept[f].empty() ? std::string(kKept[f].prefix) + "\n" : kept[f];
}

}  // namespace

int32_t ParseDecimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i++] - '0');
        if (v > std::numeric_limits<int32_t>::max()) v = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    }
    if (negative) v = -v;
    v = std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(v);
}

bool LookUpArea(ActivityLog& log, const std::string& storeDir, const std::string& newsgroupsLine, int32_t* area) {
    plat::Stream map;
    if (!map.open(storeDir + "area.dat", "rb")) return false;
    *area = 0;
    std::string name, number;
    for (;;) {
        bool gotName = map.getLine(name, kAreaNameChars);
        log.above(4, "areaname = %s \n", gotName ? name.c_str() : "");
        if (!map.getLine(number, kAreaNumberChars)) number.clear();
        if (!gotName) break;
        // Exactly one character, the line feed, ends a name line; the name
        // matches when it occurs anywhere in the line, so an entry for a
        // group also takes its subgroups and the first entry that fits wins.
        std::string key = name.substr(0, name.size() - 1);
        if (std::strstr(newsgroupsLine.c_str(), key.c_str()) != nullptr) {
            *area = ParseDecimal(number);
        } else {
            log.above(7, "rec Grp Name: %s - Actual %s\n", newsgroupsLine.c_str(), key.c_str());
        }
        if (*area != 0) break;
    }
    return true;
}

int32_t FileNewsBatch(ActivityLog& log, const std::string& spoolDir, const std::string& storeDir,
                      int32_t verbosity) {
    (void)verbosity;  // the log carries it
    const std::string batchPath = spoolDir + "$7b60051.int";
    const std::string hdrPath = spoolDir + "Header.Msg";
    plat::Stream batch;
    if (!batch.open(batchPath, "rb")) {
        log.always("Cannot open .int file!\n");
        return -1;
    }
    const int64_t batchSize = batch.size();
    std::string line;
    std::vector<char> copyBuf(1 << 16);

    for (;;) {
        if (!batch.getLine(line, kRnewsLineChars)) {
            if (batch.readError()) {
                log.always("Cannot read %s\n", batchPath.c_str());
                return -1;
            }
            log.always("Found end of file\n");
            return 0;
        }
        if (!startsNoCase(line, "#! rnews ")) continue;
        const int64_t n = std::max<int32_t>(0, ParseDecimal(line.substr(9)));
        const int64_t p = batch.tell();

        // Every article starts afresh: nothing of the article before it can
        // end up in its record or decide its area. The scan stays within the
        // article's own bytes.
        std::string kept[kFieldCount];
        std::string groupsLine;
        int32_t area = 0;
        int64_t remaining = n;
        while (remaining > 0) {
            size_t most = static_cast<size_t>(std::min<int64_t>(remaining, kHeaderLineChars));
            if (!batch.getLine(line, most)) break;
            remaining -= static_cast<int64_t>(line.size());
            for (int f = 0; f < kFieldCount; ++f) {
                if (!startsNoCase(line, kKept[f].prefix)) continue;
                kept[f] = keptLine(line, kKept[f].width);
                if (f == kNewsgroups) {
                    groupsLine = line;
                    if (!LookUpArea(log, storeDir, groupsLine, &area)) {
                        log.always("Cannot open area file.\n");
                        return 1;
                    }
                }
                break;
            }
            if (line == "\n") break;
        }

        if (area < 1) {
            log.always("Message could not be found an area :\n %s\n", valueOrEmpty(kept, kNewsgroups).c_str());
            batch.seek(p + n);
            continue;
        }

        plat::Stream hdr;
        if (!hdr.open(hdrPath, "at")) {
            log.always("Cannot open header file!\n");
            return -1;
        }
        const int64_t hdrBefore = hdr.size();
        std::string record = std::to_string(area) + "\n";
        record += valueOrEmpty(kept, kFrom);
        record += valueOrEmpty(kept, kDate);
        record += valueOrEmpty(kept, kMessageId);
        record += valueOrEmpty(kept, kSubject);
        record += kept[kReferences].empty() ? valueOrEmpty(kept, kMessageId) : kept[kReferences];
        record += valueOrEmpty(kept, kLines);

        // The article is copied as the batch holds it, stopping early only
        // at the end of the batch.
        const int64_t length = std::min(n, std::max<int64_t>(0, batchSize - p));
        const std::string areaPath = storeDir + store::numberedAreaName(area);
        store::Append append;
        store::Append::Status st = append.begin(areaPath, length);
        if (st == store::Append::Status::OpenFailed) {
            log.always("Cannot open area file!\n");
            return -1;
        }
        if (st == store::Append::Status::TooLarge) {
            log.always("Area file %s is full: an article of %lld bytes would take it past 2147483647 bytes\n",
                       areaPath.c_str(), static_cast<long long>(length));
            return -1;
        }
        if (st != store::Append::Status::Ok) {
            log.always("Cannot write area file %s\n", areaPath.c_str());
            return -1;
        }
        batch.seek(p);
        int64_t left = length;
        while (left > 0) {
            size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(copyBuf.size())));
            size_t got = batch.read(copyBuf.data(), want);
            if (got == 0) break;
            append.out().write(copyBuf.data(), got);
            left -= static_cast<int64_t>(got);
        }
        if (batch.readError()) {
            log.always("Cannot read %s\n", batchPath.c_str());
            return -1;  // the append is taken back
        }
        int32_t end = 0;
        if (append.finish(&end) != store::Append::Status::Ok) {
            log.always("Cannot write area file %s\n", areaPath.c_str());
            return -1;
        }
        record += std::to_string(append.start()) + "\n" + std::to_string(end) + "\n";
        if (!hdr.write(record) || !hdr.close()) {
            log.always("Cannot write header file %s\n", hdrPath.c_str());
            if (hdrBefore >= 0) store::cutBack(hdrPath, hdrBefore);
            append.rollback();
            return -1;
        }
        if (!append.commit()) {
            log.always("Cannot write area file %s\n", areaPath.c_str());
            if (hdrBefore >= 0) store::cutBack(hdrPath, hdrBefore);
            return -1;
        }
    }
}

}  // namespace brem::inbound
