// The execute file of a UUCP job, as both importers read it: F lines name the
// data file, C lines hold the command, each told by its first character in
// either letter case; the last line of a kind counts and every other line is
// ignored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Reads the execute file at `path` whole and parses it. False when it cannot
// be opened or read.
bool ReadExecuteFile(const std::string& path, const ExecuteLimits& limits, ExecuteJob& job);

}  // namespace brem::inbound
