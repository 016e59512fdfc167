// Mail export: turns the outgoing message that the host left in "rmail.z" in
// the spool into one UUCP mail job (command file, execute file with
// "C rmail <recipient>", and "rmail.z" itself renamed to the data file).
#pragma once

#include <cstdint>
#include <string>

namespace brem::outbound {

// Both directories end in a separator. Returns 0 when the three job files are
// in the spool and export.dat holds their number; -1 when mail.log cannot be
// opened (nothing is done) or the job could not be completed: then no job file
// of this call remains, "rmail.z" is where the host left it, export.dat is
// unchanged, and mail.log says why.
int32_t ExportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& recipient,
                   const std::string& site, const std::string& sender, int32_t verbosity);

}  // namespace brem::outbound
