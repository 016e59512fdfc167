// News batch filing: splits the staged batch "$7b60051.int" of the spool into
// its articles, appends each article to the area that area.dat gives its
// newsgroups, and indexes it with a nine-line record in the spool's
// Header.Msg.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inbound/news_batch.h"
#include "log/log.h"

namespace brem::store {
class UndoLog;
}

namespace brem::inbound {

// Both directories end in a separator. Returns 0 when the batch was read to
// its end, 1 when area.dat could not be opened, -1 on a failure the log
// names. Once every file is written and closed, `takeJob` (when given) takes
// the job out of the spool; false from it is a failure too. Every append is
// noted in the call's `undo`: on a result that is not 0 the call takes them
// back, leaving the area files and Header.Msg as they were before the batch,
// so that the job can wait in the spool without an article lost or filed
// twice.
int32_t FileNewsBatch(ActivityLog& log, store::UndoLog& undo, const std::string& spoolDir,
                      const std::string& storeDir, const std::function<bool()>& takeJob = {});

// area.dat, read once per batch: entries of a name line (up to 254
// characters) and a number line (up to 18), as the file holds them.
class AreaMap {
public:
    // False when area.dat cannot be opened or read.
    bool load(const std::string& storeDir);
    // Takes the entries from area.dat's bytes.
    void parse(std::string_view bytes);
    // The area of a Newsgroups line: the number of the first entry whose name
    // occurs in the line, 0 when none does. Logs each entry tried.
    int32_t lookUp(ActivityLog& log, const std::string& newsgroupsLine);

private:
    static constexpr size_t kMostAnswers = 4096;
    int32_t search(ActivityLog& log, const std::string& newsgroupsLine) const;

    struct Entry {
        std::string nameLine, numberLine;
    };
    std::vector<Entry> entries_;
    std::unordered_map<std::string, int32_t> answers_;
};

}  // namespace brem::inbound
