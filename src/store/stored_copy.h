// Telling a file left in the spool for a copy of what the store already
// holds: what an import cut off between taking a job's two files leaves.
#pragma once

#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace brem::store {

// True when `length` bytes of `a` from `fromA` equal those of `b` from
// `fromB`; read in pieces, so a batch of any size takes a fixed amount of
// memory.
bool SameBytes(plat::Stream& a, int64_t fromA, plat::Stream& b, int64_t fromB, int64_t length);

// The number of the mail.hdr record (of the store `dir`, without a trailing
// separator) whose message has exactly the bytes of the file at `path`; 0
// when none has, or when the file is a link, a FIFO or a device, which no
// import ever leaves.
int64_t StoredMailRecord(const std::string& dir, const std::string& path);

}  // namespace brem::store
