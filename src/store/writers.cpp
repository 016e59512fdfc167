#include "store/writers.h"

#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "platform/stream.h"
#include "store/store.h"

namespace brem::store {

namespace {

constexpr int64_t kLargestOffset = std::numeric_limits<int32_t>::max();

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

int32_t WriteMessage(const std::string& storeDir, int32_t area, bool wrap, int32_t* start, int32_t* length,
                     const char* text, char* err) {
    const std::string path = writePath(storeDir, area);
    const std::string bytes = storeText(text, wrap);
    Append append;
    switch (append.begin(path, static_cast<int64_t>(bytes.size()))) {
        case Append::Status::Ok: break;
        case Append::Status::OpenFailed: setError(err, "Cannot open file " + path); return -1;
        case Append::Status::TooLarge: setError(err, tooLarge(path)); return -1;
        default: setError(err, cannotWrite(path)); return -1;
    }
    append.out().write(bytes);
    int32_t end = 0;
    if (append.finish(&end) != Append::Status::Ok) {
        setError(err, cannotWrite(path));
        return -1;
    }
    const int32_t first = append.start();
    if (!append.commit()) {
        setError(err, cannotWrite(path));
        return -1;
    }
    if (start) *start = first;
    if (length) *length = end - first;
    return 0;
}

int32_t WriteUucp(const std::string& path, int32_t* start, int32_t* length, const char* text, char* err) {
    const std::string bytes = storeText(text, false);
    plat::Stream out;
    if (!out.open(path, "ab")) {
        setError(err, "Cannot open file " + path);
        return -1;
    }
    const int64_t before = out.size();
    if (before < 0) {
        setError(err, cannotWrite(path));
        return -1;
    }
    if (before + static_cast<int64_t>(bytes.size()) > kLargestOffset) {
        setError(err, tooLarge(path));
        return -1;
    }
    const int32_t first = before < 1 ? 1 : static_cast<int32_t>(before);
    out.write(bytes);
    const int64_t after = out.writeFailed() ? -1 : out.size();
    if (after < 0) {
        out.truncate(before);
        out.discard();
        setError(err, cannotWrite(path));
        return -1;
    }
    if (!out.close()) {
        cutBack(path, before);
        setError(err, cannotWrite(path));
        return -1;
    }
    const int32_t end = after < 1 ? 1 : static_cast<int32_t>(after);
    if (start) *start = first;
    if (length) *length = end - first;
    return 0;
}

int32_t CopyIntoDirectory(const std::string& dir, const std::string& source, const std::string& targetName,
                          const std::string& prefix, bool hold, const char* sourceOpenError, char* err) {
    const std::string targetDir = hold ? dir + "\\hold" : dir;
    plat::makeDirectory(targetDir);  // usually there already

    plat::Stream in;
    if (!in.open(source, "rb")) {
        setError(err, sourceOpenError + source);
        return -1;
    }
    const std::string target = targetDir + "\\" + targetName;
    // A fresh target is emptied when it is opened; were it the source itself,
    // the copy would find nothing to copy and the file would be lost.
    plat::Stream out;
    if ((hold && plat::sameFile(source, target)) || !out.open(target, hold ? "wb" : "ab")) {
        setError(err, "Cannot open temp file \r\n");
        plat::releaseFreeMemory();
        return -1;
    }
    const int64_t before = hold ? 0 : out.size();
    const int64_t length = in.size();
    bool ok = before >= 0 && length >= 0 && out.write(prefix);
    char buf[65536];
    for (int64_t left = length; ok && left > 0;) {
        size_t want = left > static_cast<int64_t>(sizeof buf) ? sizeof buf : static_cast<size_t>(left);
        size_t got = in.read(buf, want);
        if (got == 0) break;  // the source shrank: what there was is copied
        ok = out.write(buf, got);
        left -= static_cast<int64_t>(got);
    }
    const bool readFailed = in.readError();
    if (ok && !readFailed) ok = out.close();
    if (!ok || readFailed) {
        out.discard();
        if (hold) {
            plat::deleteFile(target);
        } else if (before >= 0) {
            cutBack(target, before);
        }
        setError(err, readFailed ? std::string("Cannot read file ") + source : "Cannot write temp file \r\n");
        plat::releaseFreeMemory();
        return -1;
    }
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
