#include "store/undo.h"

#include <iterator>

#include "log/log.h"
#include "platform/platform.h"
#include "store/store.h"

namespace brem::store {

void UndoLog::created(const std::string& path) { steps_.push_back({Kind::Created, path, {}, 0, nullptr}); }

void UndoLog::appended(const std::string& path, int64_t sizeBefore) {
    steps_.push_back({Kind::Appended, path, {}, sizeBefore < 0 ? 0 : sizeBefore, nullptr});
}

void UndoLog::appended(const std::string& path, int64_t sizeBefore, std::shared_ptr<plat::Stream> stream) {
    steps_.push_back({Kind::Appended, path, {}, sizeBefore < 0 ? 0 : sizeBefore, std::move(stream)});
}

void UndoLog::moved(const std::string& from, const std::string& to) { steps_.push_back({Kind::Moved, from, to, 0, nullptr}); }

void UndoLog::release(const std::string& path) {
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (it->kind == Kind::Created && it->path == path) {
            steps_.erase(std::next(it).base());
            return;
        }
    }
}

bool UndoLog::undo(const Step& step) {
    switch (step.kind) {
    case Kind::Created:
        // A file that is gone already needs no undoing.
        if (plat::Status gone = plat::deleteFile(step.path); !gone && gone.kind() != plat::Failure::Missing) {
            cause_ = gone;
            return false;
        }
        return true;
    case Kind::Appended:
        if (step.stream && step.stream->isOpen()) {
            const bool cut = step.stream->truncate(step.size);
            step.stream->discard();
            if (cut) return true;
        }
        return cutBack(step.path, step.size);
    case Kind::Moved:
        if (plat::Status back = plat::moveFile(step.other, step.path); !back) {
            cause_ = back;
            return plat::copyFile(step.other, step.path) == plat::CopyResult::Copied;
        }
        return true;
    }
    return false;
}

bool UndoLog::rollback(OnFailure onFailure) {
    bool all = true;
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (undo(*it)) continue;
        all = false;
        if (log_ && log_->isOpen()) {
            report(*it);
            log_->cause(cause_);
        }
        cause_ = plat::Status();
        if (onFailure == OnFailure::Stop) break;
    }
    steps_.clear();
    return all;
}

void UndoLog::report(const Step& step) {
    switch (step.kind) {
    case Kind::Created:
        log_->always("Cannot remove %s again\n", step.path.c_str());
        break;
    case Kind::Appended:
        log_->always("Cannot cut %s back to %lld bytes\n", step.path.c_str(), static_cast<long long>(step.size));
        break;
    case Kind::Moved:
        log_->always("Cannot move %s back to %s\n", step.other.c_str(), step.path.c_str());
        break;
    }
}

}  // namespace brem::store
