// The host's readers: a stored range handed back in chunks with CR LF line
// ends (READMESSAGE, READNEWS, READMAPIMSG), or a message's body alone
// (EXTRACTMESSAGE).
#pragma once

#include <cstdint>
#include <string>

namespace brem::store {

enum class Reader { Message, News, MapiMessage, Extract };

// `text` must hold 32302 bytes (32002 for Reader::News). Returns -1 with the
// reason in `err`, length + 1 when the whole range was read, or the count of
// file bytes of an early-ended chunk.
int32_t ReadStored(Reader which, const std::string& dir, int32_t area, int32_t start, int32_t length, char* text,
                   char* err);

}  // namespace brem::store
