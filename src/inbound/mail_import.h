// Mail import: takes one inbound UUCP mail job (an execute file whose command
// is rmail, and the data file it names) out of the spool into the store's mail
// area, with its eight-line record in mail.hdr.
#pragma once

#include <cstdint>
#include <string>

namespace brem::inbound {

// Imports the first mail job found through spool + "*.x". Both directories
// end in a separator. Returns 0 when one message was imported, -1 when none.
int32_t ImportMail(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity);

// Handles the one job of execute file `name` (without directory). Returns 0
// when its message was imported, -1 otherwise. A job that fails leaves both of
// its spool files where they were.
int32_t ImportMailJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity);

}  // namespace brem::inbound
