// The execute-file reader on arbitrary bytes, with the limits of both
// importers: the data name never holds a line end and stays within its
// limit, the command is a whole C line or nothing, and the name maps to a
// plain local file name or to none.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "inbound/execute_file.h"
#include "inbound/spool_name.h"

using namespace brem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const inbound::ExecuteLimits& limits : {inbound::kMailExecuteLimits, inbound::kNewsExecuteLimits}) {
        const inbound::ExecuteJob job = inbound::ParseExecuteFile(bytes, limits);
        FUZZ_CHECK(job.dataName.find('\n') == std::string::npos);
        FUZZ_CHECK(job.dataName.size() <= limits.dataNameChars);
        FUZZ_CHECK(job.command.size() <= limits.lineChars);
        if (!job.command.empty()) {
            FUZZ_CHECK(job.command[0] == 'C' || job.command[0] == 'c');
            const size_t lf = job.command.find('\n');
            FUZZ_CHECK(lf == std::string::npos || lf + 1 == job.command.size());
            FUZZ_CHECK(bytes.find(job.command) != std::string_view::npos);
        }
        std::string local;
        if (inbound::MakeSpoolName(local, job.dataName, "newshost", "mybox") == 1) {
            FUZZ_CHECK(local.size() >= 3 && local.size() <= 10);
            FUZZ_CHECK(local.find_first_of(std::string("\\/:\0", 4)) == std::string::npos);
        } else {
            FUZZ_CHECK(local.empty());
        }
    }
    return 0;
}
