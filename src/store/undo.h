// One way to take work back. Each call that changes the disk (an import, an
// export, a writer) makes one UndoLog and hands it down to every part of its
// work; each part notes a change as it makes it (a file created, a working
// file included; a file appended to; a file moved) and leaves taking it back
// to the call. The call has one cleanup path: commit() once everything stands,
// otherwise the log, when it goes, undoes the changes newest first, so the
// disk is left as it was before the call began. Each undo step is checked;
// one that fails is written to the activity log (when one was given) and the
// remaining steps are still tried.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace brem {
class ActivityLog;
}

namespace brem::store {

class UndoLog {
public:
    explicit UndoLog(ActivityLog* log = nullptr) : log_(log) {}
    ~UndoLog() { rollback(); }
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;

    // Undone by deleting `path`.
    void created(const std::string& path);
    // Undone by cutting `path` back to `sizeBefore` bytes.
    void appended(const std::string& path, int64_t sizeBefore);
    // The same for a file still being written through `stream`: while the
    // stream is open, the file is cut back through it (no new open that could
    // fail) and the stream closed without flushing; once it is closed, by path.
    void appended(const std::string& path, int64_t sizeBefore, std::shared_ptr<plat::Stream> stream);
    // Undone by moving `to` back to `from`; when the move back fails, the
    // contents are copied back, so that they wait under their old name all
    // the same (`to` is then left as it is).
    void moved(const std::string& from, const std::string& to);
    // A file noted as created that is now whole and stays whatever becomes
    // of the call (a working file the next call replaces): its step goes.
    void release(const std::string& path);

    // The operation succeeded: everything noted stays, and the log is empty.
    void commit() { steps_.clear(); }
    // Undoes every noted change, the newest first, and empties the log.
    // True when every step succeeded. With Stop, the first step that fails
    // ends the undoing: for changes that only make sense together with an
    // older one (a record that points into an area), the older change stays
    // when the newer cannot be taken back.
    enum class OnFailure { GoOn, Stop };
    bool rollback(OnFailure onFailure = OnFailure::GoOn);
    bool empty() const { return steps_.empty(); }

private:
    enum class Kind { Created, Appended, Moved };
    struct Step {
        Kind kind;
        std::string path;   // the file created or appended to; the move's source
        std::string other;  // the move's target
        int64_t size = 0;   // the size an append is cut back to
        std::shared_ptr<plat::Stream> stream;  // an append still being written
    };
    bool undo(const Step& step);
    void report(const Step& step);

    ActivityLog* log_;
    std::vector<Step> steps_;
    plat::Status cause_;  // why the step being taken back failed, for the log
};

}  // namespace brem::store
