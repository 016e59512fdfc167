// area.dat parsed from arbitrary bytes and asked for arbitrary Newsgroups
// lines: the answer is stable (the kept answers agree with a fresh search)
// and an area other than 0 comes from an entry whose name is in the line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "inbound/news_filing.h"

using namespace brem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string line1 = in.ConsumeRandomLengthString(600);
    const std::string line2 = in.ConsumeRandomLengthString(600);
    const std::string areaDat = in.ConsumeRemainingBytesAsString();

    ActivityLog quiet;  // not open: nothing is logged, answers are kept
    inbound::AreaMap map;
    map.parse(areaDat);
    const int32_t a1 = map.lookUp(quiet, line1);
    const int32_t a2 = map.lookUp(quiet, line2);
    FUZZ_CHECK(map.lookUp(quiet, line1) == a1);

    inbound::AreaMap fresh;
    fresh.parse(areaDat);
    FUZZ_CHECK(fresh.lookUp(quiet, line2) == a2);
    if (a1 != 0) FUZZ_CHECK(!areaDat.empty());
    return 0;
}
