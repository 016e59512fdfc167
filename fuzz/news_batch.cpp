// The batch reader of news filing on arbitrary batches held in memory: the
// walk always ends, each article starts right behind its "#! rnews " line
// within the batch, and its record is exactly seven lines, each field empty
// or its own header's line.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "inbound/news_batch.h"

using namespace brem;
using Reader = inbound::BatchReader<inbound::MemorySource>;

namespace {

constexpr const char* kPrefixes[inbound::kFieldCount] = {"From: ",       "Subject: ", "Date: ",       "Message-ID: ",
                                                         "References: ", "Lines: ",   "Newsgroups: "};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view batch(reinterpret_cast<const char*>(data), size);
    inbound::MemorySource source(batch);
    int lookUps = 0;
    // Every Newsgroups line goes to area 1 + its length, so that the area
    // tells which line decided; the fifth look-up stops the walk.
    Reader reader(source, [&](const std::string& line, int32_t& area) {
        FUZZ_CHECK(inbound::startsNoCase(line, "Newsgroups: "));
        area = static_cast<int32_t>(line.size()) + 1;
        return ++lookUps < 5;
    });
    int64_t last = -1;
    std::string record;
    for (inbound::Article a;;) {
        const Reader::Step step = reader.next(a);
        if (step != Reader::Step::Article) break;
        FUZZ_CHECK(a.position > last && a.position <= static_cast<int64_t>(size));
        FUZZ_CHECK(a.count >= 0);
        last = a.position;
        for (int f = 0; f < inbound::kFieldCount; ++f) {
            const std::string& kept = a.headers.kept[f];
            if (kept.empty()) continue;
            FUZZ_CHECK(inbound::startsNoCase(kept, kPrefixes[f]));
            FUZZ_CHECK(kept.back() == '\n' && kept.find('\n') + 1 == kept.size());
        }
        FUZZ_CHECK((a.area == 0) == a.headers.kept[inbound::kNewsgroups].empty());
        record.clear();
        inbound::AppendArticleRecord(record, a.area, a.headers);
        size_t lines = 0;
        for (char c : record) lines += c == '\n';
        FUZZ_CHECK(lines == 7 && record.back() == '\n');
        reader.skip(a);
    }
    return 0;
}
