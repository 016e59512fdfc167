// Jobs that can never be imported for what they hold (a link, a FIFO, an
// execute file naming itself, a corrupt or oversized batch) are set aside
// whole into the spool's directory "bad", as news servers set bad batches
// aside: nothing of them is deleted, the jobs after them are taken as usual,
// and an administrator can look at them (brem check and brem's report of the
// jobs left list them).
#pragma once

#include <string>

#include "log/log.h"
#include "store/layout.h"

namespace brem::inbound {

inline constexpr const char* kBadDirectory = layout::kBadDirectory;

// Moves the job's execute file `executeName` and, when it names one that is
// there, its data file `dataName` (local names in `spoolDir`, which ends in a
// separator) into spoolDir + "bad", which is made when missing. A name taken
// there already gets ".1", ".2", ... added. Each message is logged with
// `level` in front ("0\t" in mail.log), naming the files and `why`. False,
// logged, when the execute file cannot be moved (it then stays in the spool).
bool SetJobAside(const std::string& spoolDir, const std::string& executeName, const std::string& dataName,
                 const std::string& why, const char* level, ActivityLog& log);

}  // namespace brem::inbound
