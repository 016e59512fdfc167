// The local names under which the UUCP transfer keeps spool files: a case
// digit, up to seven characters from the end of the UUCP name, a dot and the
// type letter ("D.newshostA1234" becomes "0A1234.D").
#pragma once

#include <string>
#include <vector>

namespace brem::inbound {

// Maps a UUCP spool name to its local name. Returns 1 and writes the name
// into `out`, or returns 0 and leaves `out` as it was when the name does not
// begin with "D." or "X.", or when the local name would not be a plain file
// name (platform/winpath.h: a separator, a colon or a control byte could name
// a file outside the spool or reach a terminal; a device name would open a
// device on Windows).
int MakeSpoolName(std::string& out, const std::string& name, const std::string& firstSite,
                  const std::string& secondSite);

// True when `name` begins with "D." or "X." but its local name is no plain
// file name: a job whose F line names such a file can never be imported, on
// either system, and is set aside as bad.
bool MapsToNoPlainName(const std::string& name, const std::string& firstSite, const std::string& secondSite);

// Every local name that MakeSpoolName may have given `name`, whatever site
// names were used: the name kept is one of the last k characters of what
// follows "D." or "X.", k up to 7. Empty for a name that is neither.
std::vector<std::string> LocalNameCandidates(const std::string& name);

}  // namespace brem::inbound
