// The execute files waiting in a spool directory, as one import call visits
// them.
//
// A spool may hold many thousands of jobs, and the host calls an importer
// once per job. Listing and sorting the whole directory on every call would
// make importing n jobs cost n times n, so the list of the last search is
// kept, per spool directory and pattern, for the next call to go on with. The
// contract of a fresh search every call still holds:
//  - a call visits the waiting jobs in the order the search gives, beginning
//    with the first one no earlier call has moved past;
//  - a name whose file has gone (taken by the library, or removed by the
//    host) is passed over without a visit;
//  - when anyone but the library has added, removed or renamed files in the
//    spool since the last look (the directory's change stamp has moved), the
//    spool is searched afresh before anything is visited;
//  - a call that comes to the end of the kept list searches afresh once, and
//    visits what it has not yet visited in this call, so "no job" is only
//    ever the answer of a fresh search.
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

    std::string pattern_, prefix_, directory_;
    SpoolQueue* queue_ = nullptr;
    bool searched_ = false;  // this call has searched the spool afresh
    bool started_ = false;
    bool more_ = false;
    std::unordered_set<std::string> visited_;
};

// Forgets every kept search and directory stamp (tests start each case
// afresh; the next call of each importer searches its spool anew).
void resetSpoolQueues();

}  // namespace brem::inbound
