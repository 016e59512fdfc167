// The files one news batch appends to: the area files of its articles and the
// index the records go to. They stay open for the whole batch and are flushed
// together at commit points (every 256 articles and at the end). At each, the
// area files reach the disk before the records that point into them are
// handed to the system, so that a power cut never leaves a record whose
// article is not there; at the end the index and the names of files the
// batch created reach the disk too. A batch that
// does not get to its end is taken back whole, so that its job can wait in the
// spool for another try: no area keeps bytes that no record points to, no
// record points to bytes that are not there, and no article is filed twice.
// Every append is noted in the undo log of the call filing the batch, and the
// call takes it back; the streams stay with the log, so the files are cut
// back through them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/stream.h"
#include "store/undo.h"

namespace brem::store {

class BatchFiles {
public:
    // `indexPath` is the file the records are appended to (text append);
    // `storeDir` ends in a separator; `undo` is the call's.
    BatchFiles(std::string indexPath, std::string storeDir, UndoLog& undo);
    BatchFiles(const BatchFiles&) = delete;
    BatchFiles& operator=(const BatchFiles&) = delete;

    enum class Result { Ok, HeaderOpenFailed, AreaOpenFailed, TooLarge, ReadFailed, WriteFailed };

    // Appends one article of `length` bytes by the append rule: `copy` writes
    // exactly that many bytes to the stream it is given (false when it could
    // not). On success the record, `record` with the article's start and end
    // appended to it, is queued behind it. Any other result ends the batch,
    // which the call then takes back whole.
    using Copy = std::function<bool(plat::Stream&)>;
    Result file(int32_t area, int64_t length, std::string& record, const Copy& copy);

    std::string pathFor(int32_t area) const;

    // Makes everything appended so far durable; false when a write fails
    // (the whole batch is then to be taken back).
    bool commit();
    // Commits and closes every file; false when a write or a close failed
    // (the batch is then to be taken back).
    bool close();

private:
    static constexpr int kCommitEvery = 256;  // articles
    static constexpr size_t kMostOpenAreas = 64;

    struct Area {
        std::shared_ptr<plat::Stream> out = std::make_shared<plat::Stream>();
        int64_t size = 0;  // with what is buffered
        bool written = false;  // since the last commit point
    };
    // Holds the records of a commit interval of the widest articles, so that
    // none reaches the system before the articles it points to.
    static constexpr size_t kIndexBuffer = 1 << 20;

    Area* open(int32_t area, Result* why);
    Result openIndex();
    bool closeAreas();

    std::string indexPath_;
    std::string storeDir_;
    std::shared_ptr<plat::Stream> index_ = std::make_shared<plat::Stream>();
    UndoLog& undo_;
    int sinceCommit_ = 0;
    bool unsyncedNames_ = false;  // an area file made since the last commit point
    bool createdIndex_ = false;
    std::map<int32_t, Area> areas_;
};

}  // namespace brem::store
