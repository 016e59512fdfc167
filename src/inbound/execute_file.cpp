#include "inbound/execute_file.h"

#include "inbound/byte_lines.h"
#include "platform/stream.h"

namespace brem::inbound {

ExecuteJob ParseExecuteFile(std::string_view bytes, const ExecuteLimits& limits) {
    ExecuteJob job;
    ByteLines lines(bytes);
    std::string_view line;
    while (lines.next(line, limits.lineChars)) {
        const char kind = line[0];
        if (kind == 'F' || kind == 'f') {
            std::string_view name = line.size() > 2 ? line.substr(2) : std::string_view();
            if (!name.empty() && name.back() == '\n') name.remove_suffix(1);
            if (!name.empty() && name.back() == '\r') name.remove_suffix(1);  // written on Windows
            if (name.size() > limits.dataNameChars) name = name.substr(0, limits.dataNameChars);
            job.dataName.assign(name);
        } else if (kind == 'C' || kind == 'c') {
            job.command.assign(line);
        }
    }
    return job;
}

bool ReadExecuteFile(const std::string& path, const ExecuteLimits& limits, ExecuteJob& job) {
    plat::Stream in;
    if (!in.open(path, "rb")) return false;
    std::string bytes;
    char buf[4096];
    for (size_t got; (got = in.read(buf, sizeof buf)) > 0;) bytes.append(buf, got);
    if (in.readError()) return false;
    job = ParseExecuteFile(bytes, limits);
    return true;
}

}  // namespace brem::inbound
