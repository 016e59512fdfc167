// The execute files waiting in a spool directory, as one import call visits
// them.
//
// A spool may hold many thousands of jobs, and the host calls an importer
// once per job. Listing and sorting the whole directory on every call would
// make importing n jobs cost n times n, so the spool is listed once and the
// list kept, per spool directory and pattern, for the next calls to take
// names from:
//  - a call takes the names in the list's order (case-blind sorted), going on
//    from the first one no earlier call has moved past;
//  - a name whose file has gone (taken by the library, or removed by the
//    host) is passed over without a visit: each name is checked to exist
//    before it is handed out;
//  - the spool is listed again only when the kept list is used up, and a
//    call that comes to the end of the list lists afresh once and visits what
//    it has not yet visited in this call, so "no job" is only ever the answer
//    of a fresh listing.
// A job that arrives while a list is being worked through is therefore taken
// after every job of that list, at the next listing, even when its name sorts
// before names still waiting in the list.
#pragma once

#include <string>
#include <unordered_set>

namespace brem::inbound {

struct SpoolQueue;

class SpoolJobs {
public:
    SpoolJobs() = default;
    // `pattern` is the spool directory followed by the execute files' wildcard.
    explicit SpoolJobs(const std::string& pattern);

    // True when no job is waiting; only after a fresh search found none.
    bool empty();

    class iterator {
    public:
        const std::string& operator*() const;
        iterator& operator++();
        bool operator!=(const iterator& other) const { return jobs_ != other.jobs_; }

    private:
        friend class SpoolJobs;
        explicit iterator(SpoolJobs* jobs) : jobs_(jobs) {}
        SpoolJobs* jobs_;  // nullptr at the end
    };
    iterator begin();
    iterator end() { return iterator(nullptr); }

private:
    bool settle();
    void search();

    std::string pattern_, directory_;
    SpoolQueue* queue_ = nullptr;
    bool searched_ = false;  // this call has searched the spool afresh
    bool started_ = false;
    bool more_ = false;
    std::unordered_set<std::string> visited_;
};

// Forgets every kept list (tests start each case afresh; the next call of
// each importer lists its spool anew).
void resetSpoolQueues();

}  // namespace brem::inbound
