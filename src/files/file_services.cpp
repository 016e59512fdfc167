#include "files/file_services.h"

#include "encode/charset.h"
#include "encode/quoted_printable.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "store/store.h"  // setError
#include "store/undo.h"

namespace brem::files {

namespace {

// The writer's byte source over an open stream: its bytes, then the end.
int nextByte(void* stream) { return static_cast<plat::Stream*>(stream)->get(); }
static_assert(encode::kEndOfInput == -1, "Stream::get() ends with -1");

}  // namespace

int32_t WriteQuoted(const std::string& inboundPath, const std::string& outPath, char* err) {
    encode::SelectConversion(encode::kIso8859_1, encode::kIso8859_1);
    plat::Stream in;
    if (!in.open(inboundPath, "rb")) {
        store::setError(err, "Cannot open in bound file \r\n");
        return -1;
    }
    // The out file is emptied when it is opened: naming the inbound file
    // there would lose the text before it is read. A failed conversion leaves
    // no out file (the log goes after the stream is closed).
    store::UndoLog undo;
    plat::Stream out;
    if (plat::sameFile(inboundPath, outPath) || !out.open(outPath, "wb")) {
        store::setError(err, "Cannot open out file " + outPath + "\r\n");
        return -1;
    }
    undo.created(outPath);
    bool written = encode::WriteQuotedPrintable(encode::kModeBody, encode::kTransferQuotedPrintable,
                                                encode::kIso8859_1, encode::ByteSource{nextByte, &in}, out);
    // On the disk, and its name too, before 0 is returned.
    bool closed = out.sync() && out.close() && plat::syncDirectory(plat::directoryOf(outPath));
    if (in.readError() || !written || !closed) {
        store::setError(err, in.readError() ? std::string("Cannot read in bound file \r\n")
                                     : "Cannot write out file " + outPath + "\r\n");
        return -1;
    }
    undo.commit();
    return 0;
}

// A directory made or a file renamed has its name on the disk before 0 is
// returned.
int32_t MakeDir(const std::string& path) {
    return !path.empty() && plat::makeDirectory(path) && plat::syncDirectory(plat::directoryOf(path)) ? 0 : -1;
}

int32_t ChangeDir(const std::string& path) { return !path.empty() && plat::changeDirectory(path) ? 0 : -1; }

int32_t RenameFile(const std::string& oldPath, const std::string& newPath) {
    if (oldPath.empty() || newPath.empty() || !plat::moveFile(oldPath, newPath)) return -1;
    const std::string to = plat::directoryOf(newPath), from = plat::directoryOf(oldPath);
    bool synced = plat::syncDirectory(to) && (plat::equalsNoCase(to, from) || plat::syncDirectory(from));
    return synced ? 0 : -1;
}

}  // namespace brem::files
