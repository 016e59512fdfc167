// The envelope that a mail received by UUCP keeps at its start in the store:
// brem's mailbox export turns it into the "From " line and leaves it out of
// the message, and import-mbox skips it to know a message again.
#pragma once

#include <cstddef>
#include <string>

namespace brem::inbound {

// The UUCP envelope that opens a message received by UUCP: its "From " line
// ("From anna@hub Mon Oct  6 21:14:02 1997", maybe ending "remote from hub")
// and the ">From ..." lines each relaying site added below it. In an mbox it
// becomes the message's "From " line; written into the message it would be
// taken for its first line, and no reader would find the header after it.
struct Envelope {
    size_t bytes = 0;    // of the envelope lines at the start; 0: there is none
    std::string sender;  // the sender as a bang path through the "remote from" sites
    std::string date;    // "Mon Oct  6 21:14:02 1997"; empty when the line's cannot be read
};
// Reads the envelope from the first bytes of a message (`head`; a few
// kilobytes are plenty).
Envelope ParseEnvelope(const std::string& head);

}  // namespace brem::inbound
