#include "store/undo.h"

#include "log/log.h"
#include "platform/platform.h"
#include "store/store.h"

namespace brem::store {

void UndoLog::created(const std::string& path) { steps_.push_back({Kind::Created, path, {}, 0}); }

void UndoLog::appended(const std::string& path, int64_t sizeBefore) {
    steps_.push_back({Kind::Appended, path, {}, sizeBefore < 0 ? 0 : sizeBefore});
}

void UndoLog::moved(const std::string& from, const std::string& to) { steps_.push_back({Kind::Moved, from, to, 0}); }

bool UndoLog::undo(const Step& step) {
    switch (step.kind) {
    case Kind::Created:
        // A file that is gone already needs no undoing.
        return plat::deleteFile(step.path) || !plat::fileExists(step.path);
    case Kind::Appended:
        return cutBack(step.path, step.size);
    case Kind::Moved:
        return plat::moveFile(step.other, step.path);
    }
    return false;
}

bool UndoLog::rollback() {
    bool all = true;
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (undo(*it)) continue;
        all = false;
        if (!log_ || !log_->isOpen()) continue;
        switch (it->kind) {
        case Kind::Created:
            log_->always("Cannot remove %s again\n", it->path.c_str());
            break;
        case Kind::Appended:
            log_->always("Cannot cut %s back to %lld bytes\n", it->path.c_str(), static_cast<long long>(it->size));
            break;
        case Kind::Moved:
            log_->always("Cannot move %s back to %s\n", it->other.c_str(), it->path.c_str());
            break;
        }
    }
    steps_.clear();
    return all;
}

}  // namespace brem::store
