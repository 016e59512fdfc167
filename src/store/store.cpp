#include "store/store.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace brem::store {

std::string withSeparator(const std::string& dir) { return dir + "\\"; }

std::string numberedAreaName(int32_t area) { return "area" + std::to_string(area) + ".txt"; }

std::string readPath(const std::string& dir, int32_t area, bool mailAreaIsOutgoing) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + (mailAreaIsOutgoing ? "rmail.z" : "mailarea.txt");
    if (area == kTempArea) return base + "temparea.dat";
    return base + numberedAreaName(area);
}

std::string writePath(const std::string& dir, int32_t area) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + "mailarea.txt";
    return base + numberedAreaName(area);
}

void setError(char* err, const std::string& text) {
    if (!err) return;
    std::memcpy(err, text.c_str(), text.size() + 1);
}

Append::~Append() {
    if (active_) rollback();
}

Append::Status Append::begin(const std::string& path, int64_t plannedBytes) {
    path_ = path;
    if (!out_.open(path, "ab")) return Status::OpenFailed;
    active_ = true;
    sizeBefore_ = out_.size();
    if (sizeBefore_ < 0) {
        // Nothing was written, and with the size unknown nothing may be cut.
        active_ = false;
        out_.discard();
        return Status::WriteFailed;
    }
    int64_t lead = sizeBefore_ <= 0 ? 1 : 0;
    if (sizeBefore_ + lead + plannedBytes > std::numeric_limits<int32_t>::max()) {
        out_.close();
        active_ = false;
        return Status::TooLarge;
    }
    start_ = sizeBefore_ <= 0 ? 1 : static_cast<int32_t>(sizeBefore_);
    if (lead && !out_.put('\n')) {
        rollback();
        return Status::WriteFailed;
    }
    return Status::Ok;
}

Append::Status Append::finish(int32_t* end) {
    int64_t after = out_.writeFailed() ? -1 : out_.size();
    if (after < 0 || after > std::numeric_limits<int32_t>::max()) {
        rollback();
        return Status::WriteFailed;
    }
    *end = after < 1 ? 1 : static_cast<int32_t>(after);
    return Status::Ok;
}

bool Append::commit() {
    if (!active_) return false;
    if (!out_.close()) {
        active_ = false;
        cutBack(path_, sizeBefore_ < 0 ? 0 : sizeBefore_);
        return false;
    }
    active_ = false;
    return true;
}

void Append::rollback() {
    if (!active_) return;
    active_ = false;
    if (out_.isOpen()) {
        out_.truncate(sizeBefore_ < 0 ? 0 : sizeBefore_);
        out_.discard();
    }
}

bool cutBack(const std::string& path, int64_t size) {
    plat::Stream s;
    if (!s.open(path, "ab")) return false;
    bool ok = s.truncate(size);
    return s.close() && ok;
}

}  // namespace brem::store
