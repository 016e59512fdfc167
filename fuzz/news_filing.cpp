// News batch filing on an arbitrary batch and an arbitrary area.dat. The
// input is one flag byte, the bytes of area.dat, a NUL NUL separator and the
// batch. The flags pick the verbosity (bits 0-1), leave area.dat out (bit 2)
// and take the batch in through IMPNEWS as a plain news job instead of
// filing the staged batch directly (bit 3).
//
// Whatever the bytes: a batch is filed whole (result 0) or not at all
// (result 1, without area.dat), every Header.Msg record has its nine lines, each
// record's range reads back as exactly one article of the batch (the bytes
// after a "#! rnews " line), records follow the batch's order, and every area
// file holds its leading line feed and its records' articles back to back,
// nothing else.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "brem32.h"
#include "fuzz_support.h"
#include "inbound/header_line.h"
#include "inbound/news_filing.h"
#include "log/log.h"
#include "store/undo.h"
#include "support/store_check.h"

using namespace brem;

namespace {

struct Article {
    size_t start;  // in the batch
    std::string bytes;
};

// The articles of a batch, split as the filing step splits it: lines of at
// most 39 bytes, an article after each "#! rnews " line, the next line read
// at the article's end as its count gives it.
std::vector<Article> splitBatch(const std::string& batch) {
    std::vector<Article> out;
    size_t pos = 0;
    while (pos < batch.size()) {
        size_t len = 0;
        while (len < 39 && pos + len < batch.size()) {
            if (batch[pos + len++] == '\n') break;
        }
        std::string line = batch.substr(pos, len);
        pos += len;
        if (!inbound::startsNoCase(line, "#! rnews ")) continue;
        int64_t n = inbound::ParseDecimal(line.substr(9));
        if (n < 0) n = 0;
        size_t take = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(batch.size() - pos)));
        out.push_back(Article{pos, batch.substr(pos, take)});
        if (static_cast<uint64_t>(n) > batch.size() - pos) break;
        pos += static_cast<size_t>(n);
    }
    return out;
}

const char* const kRecordPrefixes[6] = {"From: ", "Date: ", "Message-ID: ", "Subject: ", "", "Lines: "};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t cut = input.find(std::string("\0\0", 2));
    std::string areaDat = input.substr(0, cut);
    std::string batch = cut == std::string::npos ? std::string() : input.substr(cut + 2);
    static const int32_t verbosities[4] = {0, 3, 5, 8};
    const int32_t verbosity = verbosities[flags & 3];
    const bool withMap = !(flags & 4);
    const bool throughImport = flags & 8;

    std::string spool = fuzz::emptiedDir("spool");
    std::string store = fuzz::emptiedDir("store");
    if (withMap) fuzz::writeBytes(store + "/area.dat", areaDat);
    std::string sp = fuzz::toHost(spool), st = fuzz::toHost(store);

    int32_t r;
    if (throughImport) {
        fuzz::writeBytes(spool + "/0C0001.X", "U news hub\nF D.hubN0001\nC rnews\n");
        fuzz::writeBytes(spool + "/0N0001.D", batch);
        std::vector<char> spBuf(sp.begin(), sp.end()), stBuf(st.begin(), st.end());
        spBuf.resize(sp.size() + 8, '\0');
        stBuf.resize(st.size() + 8, '\0');
        r = IMPNEWS(spBuf.data(), stBuf.data(), "hub", "mybox", verbosity, 0);
        // A filed batch takes its job out of the spool; one that was not
        // filed leaves the job waiting, with its data as it came.
        if (r == 0) {
            FUZZ_CHECK(!fuzz::exists(spool + "/0C0001.X") && !fuzz::exists(spool + "/0N0001.D"));
        } else {
            FUZZ_CHECK(fuzz::exists(spool + "/0C0001.X") && fuzz::readBytes(spool + "/0N0001.D") == batch);
        }
    } else {
        fuzz::writeBytes(spool + "/$7b60051.int", batch);
        ActivityLog log;
        log.open(st + "\\news.log", verbosity);
        store::UndoLog undo(&log);
        r = inbound::FileNewsBatch(log, undo, sp + "\\", st + "\\");
        if (r == 0) undo.commit();
    }
    // Only a missing area.dat stops a batch early.
    FUZZ_CHECK(r == 0 || (r == 1 && !withMap));

    std::vector<test::IndexRecord> records;
    std::string why;
    if (!test::parseIndex(fuzz::readBytes(spool + "/Header.Msg"), test::kHeaderMsg, records, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        FUZZ_CHECK(!"Header.Msg holds whole records");
    }
    FUZZ_CHECK(r == 0 || records.empty());

    const std::vector<Article> articles = splitBatch(batch);
    struct AreaSeen {
        std::string bytes;  // the area file
        int64_t end = 1;    // the last record's end
    };
    std::map<int32_t, AreaSeen> areas;
    size_t nextArticle = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const test::IndexRecord& rec = records[i];
        int32_t area = inbound::ParseDecimal(rec.lines[0]);
        FUZZ_CHECK(area >= 1 && rec.lines[0] == std::to_string(area));
        for (int k = 0; k < 6; ++k) {
            const char* prefix = k == 4 ? (inbound::startsNoCase(rec.lines[5], "References: ") ? "References: "
                                                                                                : "Message-ID: ")
                                        : kRecordPrefixes[k];
            FUZZ_CHECK(inbound::startsNoCase(rec.lines[k + 1], prefix));
        }
        // The record lies right behind the area's previous record, and its
        // bytes are the next filed article's, in batch order.
        auto it = areas.find(area);
        if (it == areas.end()) {
            it = areas.emplace(area, AreaSeen()).first;
            it->second.bytes = fuzz::readBytes(store + "/area" + std::to_string(area) + ".txt");
            FUZZ_CHECK(!it->second.bytes.empty() && it->second.bytes[0] == '\n');
        }
        AreaSeen& seen = it->second;
        FUZZ_CHECK(rec.start == seen.end && rec.end <= static_cast<int64_t>(seen.bytes.size()));
        seen.end = rec.end;
        const size_t length = static_cast<size_t>(rec.end - rec.start);
        const std::string stored = seen.bytes.substr(static_cast<size_t>(rec.start), length);
        while (nextArticle < articles.size() && articles[nextArticle].bytes != stored) ++nextArticle;
        FUZZ_CHECK(nextArticle < articles.size());
        ++nextArticle;
        // Every header the record keeps comes from its own article, with
        // each control byte but TAB (and the line end) written as '?'.
        std::string shown = stored;
        for (char& c : shown) {
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F) c = '?';
        }
        for (int k = 1; k <= 6; ++k) {
            const std::string& kept = rec.lines[k];
            FUZZ_CHECK(kept.find(':') + 2 == kept.size() || shown.find(kept) != std::string::npos);
        }
        // The host reads the first records back through the reader.
        if (i < 8 && !test::readsBackAs(st, area, static_cast<int32_t>(rec.start), static_cast<int32_t>(length),
                                        stored, why)) {
            std::fprintf(stderr, "record %zu: %s\n", i + 1, why.c_str());
            FUZZ_CHECK(!"a record reads back as its article");
        }
    }
    // The area files hold the filed articles and nothing else.
    for (const auto& kv : areas) FUZZ_CHECK(static_cast<int64_t>(kv.second.bytes.size()) == kv.second.end);
    for (const auto& entry : std::filesystem::directory_iterator(store)) {
        std::string name = entry.path().filename().string();
        if (name == "area.dat" || name == "news.log") continue;
        // (A batch taken back may leave an area file it created, empty.)
        FUZZ_CHECK(name.compare(0, 4, "area") == 0 &&
                   (areas.count(inbound::ParseDecimal(name.substr(4))) == 1 || entry.file_size() == 0));
    }
    return 0;
}
