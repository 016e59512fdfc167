#include "store/store.h"

#include <cstdint>
#include <cstring>

namespace brem::store {

std::string readPath(const std::string& dir, int32_t area, bool mailAreaIsOutgoing) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + (mailAreaIsOutgoing ? layout::kOutgoingMail : layout::kMailAreaFile);
    if (area == kTempArea) return base + layout::kTempAreaFile;
    return base + numberedAreaName(area);
}

std::string writePath(const std::string& dir, int32_t area) {
    std::string base = withSeparator(dir);
    if (area == kMailArea) return base + layout::kMailAreaFile;
    return base + numberedAreaName(area);
}

void setError(char* err, const std::string& text) {
    if (!err) return;
    std::memcpy(err, text.c_str(), text.size() + 1);
}

bool cutBack(const std::string& path, int64_t size) {
    plat::Stream s;
    if (!s.open(path, "ab")) return false;
    bool ok = s.truncate(size);
    return s.close() && ok;
}

}  // namespace brem::store
