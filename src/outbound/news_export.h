// News export: turns the outgoing news batch that the host prepared in the
// spool into one UUCP news job (command file, execute file with "C rnews",
// and a data file holding the batch), compressing it first when asked.
#pragma once

#include <cstdint>
#include <string>

namespace brem::outbound {

// How long the compressor may take over one batch before the export gives up
// on it.
inline constexpr uint32_t kCompressorTimeoutMs = 10 * 60 * 1000;

// Both directories end in a separator. With `bits` > 0 the compressor turns
// "rnews" into "rnews.z" (-b bits) and the data file is "#! cunbatch\n"
// followed by it; otherwise "rnews.z" is the host's plain batch, copied as it
// is. `messages` is only logged.
//
// Returns 0 when the job is in the spool, export.dat holds its number and
// "rnews.z" is gone; -1 when the compressor could not be started or did not
// produce "rnews.z", or the job could not be completed: then no job file of
// this call remains, the host's batch is where it was, export.dat is
// unchanged, and news.log says why.
int32_t ExportNews(const std::string& spoolDir, const std::string& storeDir, const std::string& site,
                   int32_t messages, int32_t verbosity, int32_t bits);

}  // namespace brem::outbound
