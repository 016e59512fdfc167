// The spool-name mapping on arbitrary UUCP names and site names: the result
// is always a plain local file name of the mapping's shape, or a refusal that
// leaves the output alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "inbound/spool_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string first = in.ConsumeRandomLengthString(64);
    std::string second = in.ConsumeRandomLengthString(64);
    std::string name = in.ConsumeRemainingBytesAsString();

    std::string out = "unchanged";
    int r = brem::inbound::MakeSpoolName(out, name, first, second);
    if (r == 0) {
        FUZZ_CHECK(out == "unchanged");
        return 0;
    }
    FUZZ_CHECK(r == 1);
    FUZZ_CHECK(out.size() >= 3 && out.size() <= 10);
    FUZZ_CHECK((out[0] >= '0' && out[0] <= '9') || (out[0] >= 'A' && out[0] <= 'V'));
    FUZZ_CHECK(out[out.size() - 2] == '.' && out.back() == name[0]);
    FUZZ_CHECK(out.find_first_of(std::string("\\/:\0", 4)) == std::string::npos);
    return 0;
}
