#include "store/append.h"

#include "store/store.h"

namespace brem::store {

Placement PlaceAppend(int64_t sizeBefore, int64_t bytes, Lead lead) {
    Placement p;
    p.lead = lead == Lead::LineFeed && sizeBefore <= 0 ? 1 : 0;
    p.fits = sizeBefore + p.lead + bytes <= kLargestFile;
    p.start = sizeBefore <= 0 ? 1 : static_cast<int32_t>(sizeBefore < kLargestFile ? sizeBefore : kLargestFile);
    return p;
}

Append::Status Append::begin(const std::string& path, int64_t plannedBytes, UndoLog& undo, Lead lead,
                             plat::Access access) {
    path_ = path;
    if (!out_->open(path, "ab", 0, access)) return Status::OpenFailed;
    sizeBefore_ = out_->size();
    if (sizeBefore_ < 0) {
        // Nothing was written, and with the size unknown nothing may be cut.
        out_->discard();
        return Status::WriteFailed;
    }
    const Placement place = PlaceAppend(sizeBefore_, plannedBytes, lead);
    if (!place.fits) {
        out_->close();
        return Status::TooLarge;
    }
    undo.appended(path, sizeBefore_, out_);
    start_ = place.start;
    if (place.lead && !out_->put('\n')) return Status::WriteFailed;
    return Status::Ok;
}

Append::Status Append::finish(int32_t* end) {
    int64_t after = out_->writeFailed() ? -1 : out_->size();
    if (after < 0 || after > kLargestFile) return Status::WriteFailed;
    *end = EndOfAppend(after);
    return Status::Ok;
}

}  // namespace brem::store
