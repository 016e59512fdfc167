#include "store/batch_files.h"

#include <charconv>

#include "platform/winpath.h"
#include "store/append.h"
#include "store/store.h"

namespace brem::store {

namespace {

void appendNumber(std::string& out, int64_t v) {
    char digits[24];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
    out.push_back('\n');
}

}  // namespace

BatchFiles::BatchFiles(std::string indexPath, std::string storeDir, UndoLog& undo)
    : indexPath_(std::move(indexPath)), storeDir_(std::move(storeDir)), undo_(undo) {}

std::string BatchFiles::pathFor(int32_t area) const { return storeDir_ + numberedAreaName(area); }

BatchFiles::Result BatchFiles::openIndex() {
    if (!index_->open(indexPath_, "at", kIndexBuffer)) return Result::HeaderOpenFailed;
    const int64_t before = index_->size();
    createdIndex_ = before == 0;
    undo_.appended(indexPath_, before, index_);
    return before < 0 ? Result::WriteFailed : Result::Ok;
}

BatchFiles::Result BatchFiles::file(int32_t area, int64_t length, std::string& record, const Copy& copy) {
    if (!index_->isOpen()) {
        const Result opened = openIndex();
        if (opened != Result::Ok) return opened;
    }
    Result why = Result::Ok;
    Area* a = open(area, &why);
    if (!a) return why;
    const Placement place = PlaceAppend(a->size, length, Lead::LineFeed);
    if (!place.fits) return Result::TooLarge;
    if (place.lead && !a->out->put('\n')) return Result::WriteFailed;
    // Whatever part was copied goes with the batch when the call takes it back.
    if (!copy(*a->out)) return a->out->writeFailed() ? Result::WriteFailed : Result::ReadFailed;
    a->size += place.lead + length;
    a->written = true;
    appendNumber(record, place.start);
    appendNumber(record, EndOfAppend(a->size));
    if (!index_->write(record)) return Result::WriteFailed;
    if (++sinceCommit_ >= kCommitEvery && !commit()) return Result::WriteFailed;
    return Result::Ok;
}

bool BatchFiles::commit() {
    bool ok = true;
    for (auto& kv : areas_) {
        Area& a = kv.second;
        ok = ok && (a.written ? a.out->sync() : a.out->flush());
        a.written = false;
    }
    // An area file made since the last commit point keeps its name, and so
    // its articles, before any record points into it.
    if (ok && unsyncedNames_) {
        ok = plat::syncDirectory(plat::directoryOf(storeDir_ + "x"));
        unsyncedNames_ = !ok;
    }
    ok = ok && (!index_->isOpen() || index_->flush());
    if (ok) sinceCommit_ = 0;
    return ok;
}

bool BatchFiles::close() {
    if (!commit()) return false;
    if (!closeAreas()) return false;
    if (index_->isOpen() && (!index_->sync() || !index_->close())) return false;
    // The names of files made by this batch: an index or area file whose
    // name a power cut takes away loses every record or article in it.
    return !createdIndex_ || plat::syncDirectory(plat::directoryOf(indexPath_));
}

// Closes the open area files; after a failed close, which articles reached
// the disk is unknown, and the whole batch is to be taken back.
bool BatchFiles::closeAreas() {
    bool ok = true;
    for (auto& kv : areas_) ok = kv.second.out->close() && ok;
    areas_.clear();
    return ok;
}

BatchFiles::Area* BatchFiles::open(int32_t area, Result* why) {
    auto it = areas_.find(area);
    if (it != areas_.end()) return &it->second;
    // A batch for many areas keeps a bounded number of files open.
    if (areas_.size() >= kMostOpenAreas) {
        *why = Result::WriteFailed;
        if (!commit() || !closeAreas()) return nullptr;
    }
    Area a;
    const std::string path = pathFor(area);
    *why = Result::AreaOpenFailed;
    if (!a.out->open(path, "ab")) return nullptr;
    a.size = a.out->size();
    if (a.size < 0) return nullptr;
    if (a.size == 0) unsyncedNames_ = true;
    undo_.appended(path, a.size, a.out);
    return &areas_.emplace(area, std::move(a)).first->second;
}

}  // namespace brem::store
