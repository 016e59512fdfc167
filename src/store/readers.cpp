#include "store/readers.h"

#include <cstring>

#include "platform/stream.h"
#include "store/store.h"

namespace brem::store {

namespace {

// The header skip of EXTRACTMESSAGE: line pieces of at most 199 bytes, each
// counted as a NUL-terminated string, up to and including the first piece
// that begins with an LF (the empty line), or to the end of the file.
int64_t skipHeader(plat::Stream& in) {
    int64_t size = 0;
    std::string piece;
    while (in.getLine(piece, 199)) {
        size += static_cast<int64_t>(std::strlen(piece.c_str()));
        if (piece[0] == '\n') break;
    }
    return size;
}

}  // namespace

int32_t ReadStored(Reader which, const std::string& dir, int32_t area, int32_t start, int32_t length, char* text,
                   char* err) {
    std::string path = readPath(dir, area, which == Reader::MapiMessage);
    plat::Stream in;
    // One chunk takes at most 32300 bytes of the file.
    if (!in.open(path, "rb", 32 * 1024 + 512)) {
        setError(err, which == Reader::Extract ? "Cannot open area file (mailarea.txt)\r\n" : kCannotOpenArea);
        return -1;
    }
    if (!in.seek(start)) {
        setError(err, kSeekBeyondEof);
        return -1;
    }
    ChunkLimits limits = which == Reader::News ? kNewsLimits : kMessageLimits;
    if (which == Reader::Extract) {
        int64_t body = static_cast<int64_t>(length) - skipHeader(in);
        if (body <= 0) {
            if (text) text[0] = '\0';
            return 1;
        }
        length = static_cast<int32_t>(body);
    }
    return readChunk(in, length, limits, text, err);
}

}  // namespace brem::store
