#include "inbound/execute_file.h"

#include "inbound/byte_lines.h"
#include "platform/stream.h"
#include "text/ascii.h"

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

const char* UntrustedReason(plat::Untrusted r) {
    switch (r) {
        case plat::Untrusted::Link: return "is a link";
        case plat::Untrusted::NotAFile: return "is not a regular file";
        case plat::Untrusted::Denied: return "cannot be read (access denied)";
        default: return "cannot be opened";
    }
}

namespace {

ExecuteRead readBytes(const std::string& path, std::string& bytes, std::string& why) {
    plat::Stream in;
    switch (const plat::Untrusted r = in.openUntrusted(path, 4096)) {
        case plat::Untrusted::Opened: break;
        case plat::Untrusted::Missing: return ExecuteRead::Missing;
        case plat::Untrusted::Failed: return ExecuteRead::Failed;
        default: why = UntrustedReason(r); return ExecuteRead::Bad;
    }
    const auto tooLarge = [&] {
        why = "is larger than " + std::to_string(kMostExecuteFileBytes) + " bytes";
        return ExecuteRead::Bad;
    };
    if (in.size() > kMostExecuteFileBytes) return tooLarge();
    // Read up to one byte past the limit: a file that grew meanwhile is no
    // more a job than one that was large from the start.
    bytes.assign(static_cast<size_t>(kMostExecuteFileBytes) + 1, '\0');
    bytes.resize(in.read(bytes.data(), bytes.size()));
    if (in.readError()) {
        why = "cannot be read";
        return ExecuteRead::Bad;
    }
    if (bytes.size() > static_cast<size_t>(kMostExecuteFileBytes)) return tooLarge();
    return ExecuteRead::Ok;
}

}  // namespace

ExecuteRead ReadExecuteFile(const std::string& path, const ExecuteLimits& limits, ExecuteJob& job, std::string& why) {
    std::string bytes;
    const ExecuteRead read = readBytes(path, bytes, why);
    if (read == ExecuteRead::Ok) job = ParseExecuteFile(bytes, limits);
    return read;
}

JobCommand CommandOf(std::string_view commandLine) {
    if (ascii::startsNoCase(commandLine, "C rmail")) return JobCommand::Mail;
    if (ascii::startsNoCase(commandLine, "C rnews")) return JobCommand::News;
    return JobCommand::Other;
}

ExecuteRead ReadAnyExecuteFile(const std::string& path, ExecuteJob& job, JobCommand& command, std::string& why) {
    std::string bytes;
    const ExecuteRead read = readBytes(path, bytes, why);
    if (read != ExecuteRead::Ok) return read;
    job = ParseExecuteFile(bytes, kMailExecuteLimits);
    command = CommandOf(job.command);
    if (command == JobCommand::News) job = ParseExecuteFile(bytes, kNewsExecuteLimits);
    return read;
}

}  // namespace brem::inbound
