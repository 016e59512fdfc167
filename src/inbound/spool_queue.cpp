#include "inbound/spool_queue.h"

#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/winpath.h"

namespace brem::inbound {

// One kept listing: the names it found, in its order, and how far the calls
// since have come through them.
struct SpoolQueue {
    std::vector<std::string> names;
    size_t next = 0;
};

namespace {

// The library's kept listings, one per spool directory and pattern, however
// the host spells the directory (its string gains a backslash every call).
// This is the one piece of library-wide state the imports keep between calls:
// at most kMaxQueues lists of names, each dropped whole when a new spool
// would make one too many.
std::unordered_map<std::string, SpoolQueue>& queues() {
    static std::unordered_map<std::string, SpoolQueue> all;
    return all;
}

std::string queueKey(const std::string& pattern) {
    std::string key;
    for (char c : pattern) {
        if (plat::isSeparator(c)) {
            if (!key.empty() && key.back() == '\\') continue;
            c = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        key += c;
    }
    return key;
}

constexpr size_t kMaxQueues = 16;

}  // namespace

SpoolJobs::SpoolJobs(const std::string& pattern)
    : pattern_(pattern), directory_(plat::directoryOf(pattern)) {
    auto& all = queues();
    std::string key = queueKey(pattern);
    if (all.size() >= kMaxQueues && all.find(key) == all.end()) all.clear();
    queue_ = &all[key];
    if (queue_->next >= queue_->names.size()) search();
}

void SpoolJobs::search() {
    queue_->names = plat::findFiles(pattern_);
    queue_->next = 0;
    searched_ = true;
}

bool SpoolJobs::settle() {
    if (!queue_) return false;
    for (;;) {
        while (queue_->next < queue_->names.size()) {
            const std::string& name = queue_->names[queue_->next];
            // A name that is no plain file name is never joined to the
            // spool's path, not even to look: the importer names it and
            // passes it over.
            if (!visited_.count(name) && (!plat::isPlainName(name) || plat::listedFileExists(directory_, name))) return true;
            ++queue_->next;
        }
        if (searched_) return false;
        search();
    }
}

bool SpoolJobs::empty() { return !(begin() != end()); }

SpoolJobs::iterator SpoolJobs::begin() {
    if (!started_) {
        started_ = true;
        more_ = settle();
    }
    return iterator(more_ ? this : nullptr);
}

const std::string& SpoolJobs::iterator::operator*() const { return jobs_->queue_->names[jobs_->queue_->next]; }

SpoolJobs::iterator& SpoolJobs::iterator::operator++() {
    SpoolQueue* q = jobs_->queue_;
    jobs_->visited_.insert(q->names[q->next]);
    ++q->next;
    jobs_->more_ = jobs_->settle();
    if (!jobs_->more_) jobs_ = nullptr;
    return *this;
}

void resetSpoolQueues() { queues().clear(); }

}  // namespace brem::inbound
