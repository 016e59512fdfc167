// The execute file of a UUCP job, as both importers read it: F lines name the
// data file, C lines hold the command, each told by its first character in
// either letter case; the last line of a kind counts and every other line is
// ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brem::inbound {

struct ExecuteJob {
    std::string dataName;  // the F line from its third character, without its line end
    std::string command;   // the whole C line as read, its line end included
};

// How much of an execute file each importer takes: a longer line is read in
// pieces, each piece counting as a line of its own; a longer data name is cut.
struct ExecuteLimits {
    size_t lineChars;
    size_t dataNameChars;
};
inline constexpr ExecuteLimits kMailExecuteLimits{1999, std::string::npos};
inline constexpr ExecuteLimits kNewsExecuteLimits{199, 38};

// Reads the job out of an execute file's bytes.
ExecuteJob ParseExecuteFile(std::string_view bytes, const ExecuteLimits& limits);

// Real execute files hold a few short lines, well under 1 KB; one larger than
// this is no job, and is not read into memory to find out.
inline constexpr int64_t kMostExecuteFileBytes = 64 * 1024;

// What reading an execute file found.
enum class ExecuteRead {
    Ok,       // `job` holds its lines
    Missing,  // the file is gone
    Failed,   // it could not be opened this time (held open elsewhere, no handles left)
    Bad,      // it can never be a job: a link, a FIFO or other non-file, a file the
              // system refuses to read, one larger than kMostExecuteFileBytes, or a
              // read error; `why` says which ("is a link"), to follow the file's name
};

// Why an untrusted open was refused, in words for the log: "is a link", put
// after the name of the file.
const char* UntrustedReason(plat::Untrusted r);

// Reads the execute file at `path` as a file a remote site chose (no link is
// followed, nothing waited on, at most kMostExecuteFileBytes read) and parses
// it.
ExecuteRead ReadExecuteFile(const std::string& path, const ExecuteLimits& limits, ExecuteJob& job, std::string& why);

// What a job's command asks for, as the importers tell it: a C line that
// begins "C rmail" or "C rnews", letter case aside.
enum class JobCommand { Mail, News, Other };
JobCommand CommandOf(std::string_view commandLine);

// Reads an execute file once and parses it with the limits of the importer
// its command names (mail's for any other command), so that a report of a
// job sees what that import will see. `command` gets the kind.
ExecuteRead ReadAnyExecuteFile(const std::string& path, ExecuteJob& job, JobCommand& command, std::string& why);

}  // namespace brem::inbound
