#include "store/writers.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "store/store.h"
#include "store/undo.h"
#include "text/format.h"

namespace brem::store {

namespace {

// The host's text as the store keeps it: LF line ends, no CR anywhere. With
// wrap, a column counter over the host's bytes (CRs counted, though they are
// not kept) breaks a line after the first blank past column 80; a line
// without blanks is never broken.
std::string storeText(const char* text, bool wrap) {
    std::string out;
    if (!text) return out;
    out.reserve(std::strlen(text));
    int column = 0;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        ++column;
        if (c != '\r') out.push_back(c);
        if (c == '\n') column = 0;
        if (wrap && column > 80 && c == ' ') {
            out.push_back('\n');
            column = 0;
        }
    }
    return out;
}

std::string cannotWrite(const std::string& path) { return "Cannot write file " + path; }

std::string tooLarge(const std::string& path) {
    return "Cannot write file " + path + ": it would grow past 2147483647 bytes";
}

}  // namespace

namespace {

// Appends the host's text by the append rule and hands back its address.
int32_t appendText(const std::string& path, const std::string& bytes, Lead lead, int32_t* start, int32_t* length,
                   char* err, plat::Access access = plat::Access::Private) {
    // Taken back when the call returns without committing: the file as it
    // was before the call.
    UndoLog undo;
    Append append;
    switch (append.begin(path, static_cast<int64_t>(bytes.size()), undo, lead, access)) {
        case Append::Status::Ok: break;
        case Append::Status::OpenFailed: setError(err, "Cannot open file " + path); return -1;
        case Append::Status::TooLarge: setError(err, tooLarge(path)); return -1;
        default: setError(err, cannotWrite(path)); return -1;
    }
    append.out().write(bytes);
    int32_t end = 0;
    // The text is on the disk before the host is told it is stored: a host
    // deletes its draft once it has the address.
    if (append.finish(&end) != Append::Status::Ok || !append.out().sync() ||
        (append.wasEmpty() && !plat::syncDirectory(plat::directoryOf(path))) || !append.close()) {
        setError(err, cannotWrite(path));
        return -1;
    }
    undo.commit();
    if (start) *start = append.start();
    if (length) *length = end - append.start();
    return 0;
}

}  // namespace

int32_t WriteMessage(const std::string& storeDir, int32_t area, bool wrap, int32_t* start, int32_t* length,
                     const char* text, char* err) {
    return appendText(writePath(storeDir, area), storeText(text, wrap), Lead::LineFeed, start, length, err);
}

int32_t WriteUucp(const std::string& path, int32_t* start, int32_t* length, const char* text, char* err) {
    // The file may leave the system as a UUCP job: nothing but the host's
    // bytes goes into it, and the transfer, which may run as another user,
    // can read it.
    return appendText(path, storeText(text, false), Lead::None, start, length, err, plat::Access::Shared);
}

namespace {

// Writes the prefix and then `length` bytes of the source; false when a write
// failed. A source that shrank meanwhile is copied as far as it goes.
bool copyBehindPrefix(plat::Stream& in, int64_t length, const std::string& prefix, plat::Stream& out) {
    bool ok = out.write(prefix);
    char buf[65536];
    for (int64_t left = length; ok && left > 0;) {
        size_t want = left > static_cast<int64_t>(sizeof buf) ? sizeof buf : static_cast<size_t>(left);
        size_t got = in.read(buf, want);
        if (got == 0) break;
        ok = out.write(buf, got);
        left -= static_cast<int64_t>(got);
    }
    return ok;
}

}  // namespace

int32_t CopyIntoDirectory(const std::string& dir, const std::string& source, const std::string& targetName,
                          const std::string& prefix, bool hold, const char* sourceOpenError, char* err) {
    // The name is joined to the directory: one with a separator, "..", a
    // drive colon or a device name would write elsewhere.
    if (!plat::isPlainName(targetName)) {
        setError(err, "Not a plain file name: " + escapeControls(targetName) + "\r\n");
        return -1;
    }
    const std::string targetDir = hold ? dir + "\\hold" : dir;
    // Usually there already; one made now is on the disk before the file in it.
    const bool madeDir = plat::makeDirectory(targetDir, plat::Access::Shared);

    plat::Stream in;
    if (!in.open(source, "rb")) {
        setError(err, sourceOpenError + source);
        return -1;
    }
    const std::string target = targetDir + "\\" + targetName;
    // A fresh target is emptied when it is opened; were it the source itself,
    // the copy would find nothing to copy and the file would be lost.
    plat::Stream out;
    if ((hold && plat::sameFile(source, target)) || !out.open(target, hold ? "wb" : "ab", 0, plat::Access::Shared)) {
        setError(err, "Cannot open temp file \r\n");
        plat::releaseFreeMemory();
        return -1;
    }
    // A failed copy leaves no part of itself behind.
    const int64_t before = hold ? 0 : out.size();
    UndoLog undo;
    if (hold) {
        undo.created(target);
    } else if (before >= 0) {
        undo.appended(target, before);
    }
    const int64_t length = in.size();
    bool ok = before >= 0 && length >= 0 && copyBehindPrefix(in, length, prefix, out);
    const bool readFailed = in.readError();
    // The copy, and its name when it is new, are on the disk before 0 is
    // returned.
    if (ok && !readFailed) ok = out.sync() && out.close();
    if (ok && !readFailed && (hold || before == 0)) ok = plat::syncDirectory(targetDir);
    if (ok && !readFailed && madeDir) ok = plat::syncDirectory(plat::directoryOf(targetDir));
    if (!ok || readFailed) {
        out.discard();
        undo.rollback();
        setError(err, readFailed ? std::string("Cannot read file ") + source : "Cannot write temp file \r\n");
        plat::releaseFreeMemory();
        return -1;
    }
    undo.commit();
    plat::releaseFreeMemory();
    return 0;
}

int32_t GenUucp(const std::string& dir, const std::string& source, const std::string& targetName,
                const std::string& prefix, int32_t holdFlag, char* err) {
    return CopyIntoDirectory(dir, source, targetName, prefix, holdFlag == 1, "Cannot open file \r\n", err);
}

int32_t FileAttach(const std::string& dir, const std::string& source, const std::string& targetName,
                   int32_t holdFlag, char* err) {
    return CopyIntoDirectory(dir, source, targetName, std::string(), holdFlag == 1, "Cannot open file ", err);
}

}  // namespace brem::store
