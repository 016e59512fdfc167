// Failure-point sweeps over the platform seam's test hooks.
//
// An operation under test is described once: how to fill a fresh site, how to
// run the operation as a host would, and which invariants must hold after a
// run. sweepFaults() then runs it once for every failure point it has: for
// each kind of fault and n = 1, 2, 3 ... it arms the fault at the nth call of
// that kind (once, then again "from the nth call on"), runs the operation in a
// fresh site, disarms, checks the invariants, lets a clean follow-up run
// finish the work and checks again. A kind's sweep ends at the first n at
// which no fault fired: the operation has no nth call of that kind. A full
// disk is swept the same way over growing byte budgets.
//
// Adding an operation is a Site type (a default-constructed, empty working
// area) and a FaultSweep<Site> with three or four lambdas.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "support/test_support.h"

namespace brem::test {

// A scratch directory for one run of a sweep, in memory where there is one:
// a sweep makes thousands of them.
struct FaultScratch : ScratchDir {
    FaultScratch() : ScratchDir(Place::InMemory) {}
};

enum class FaultKind { Open, Create, Write, Flush, Close, Delete, Move, ProcessStart, Sync, DiskFull, Count };

inline const char* faultKindName(FaultKind k) {
    static const char* const names[] = {"Open",  "Create", "Write",        "Flush", "Close",
                                        "Delete", "Move",  "ProcessStart", "Sync",  "DiskFull"};
    return names[static_cast<int>(k)];
}

inline std::vector<FaultKind> allFaultKinds() {
    std::vector<FaultKind> v;
    for (int k = 0; k < static_cast<int>(FaultKind::Count); ++k) v.push_back(static_cast<FaultKind>(k));
    return v;
}

// Where the invariants are checked: right after the faulty run, or after the
// clean follow-up, when every piece of work must be done.
enum class FaultPhase { AfterFault, AfterCleanRun };

struct FaultPoint {
    FaultKind kind;
    bool persistent;  // the nth call and every later one of the kind fail
    int64_t n;        // the call number, or the byte budget of a full disk

    std::string describe() const {
        std::ostringstream s;
        s << faultKindName(kind);
        if (kind == FaultKind::DiskFull) {
            s << " after " << n << " bytes";
        } else {
            s << " at call " << n << (persistent ? " and after" : "");
        }
        return s.str();
    }
};

// Failure points covered per kind of fault (once and persistent together).
struct FaultCoverage {
    std::string operation;
    std::array<int, static_cast<size_t>(FaultKind::Count)> points{};
    int total() const {
        int t = 0;
        for (int p : points) t += p;
        return t;
    }
    std::string summary() const {
        std::ostringstream s;
        s << operation << ": " << total() << " failure points (";
        bool first = true;
        for (size_t k = 0; k < points.size(); ++k) {
            if (!first) s << ", ";
            first = false;
            s << faultKindName(static_cast<FaultKind>(k)) << " " << points[k];
        }
        s << ")";
        return s.str();
    }
};

template <class Site>
struct FaultSweep {
    std::string operation;  // the name the coverage is reported under
    std::vector<FaultKind> kinds = allFaultKinds();
    bool persistentToo = true;
    // Disk budgets: every byte count up to denseDiskBytes, then steps of an
    // eighth, so that large operations stay quick and small ones are exhaustive.
    int64_t denseDiskBytes = 4096;
    // A guard against an operation that never stops finding new points.
    int64_t maxPointsPerKind = 20000;

    std::function<void(Site&)> prepare;  // fills a fresh site (no fault armed)
    std::function<void(Site&)> run;      // the operation as the host calls it
    std::function<void(Site&, FaultPhase)> check;
    // The clean follow-up; when empty, `run` is called again.
    std::function<void(Site&)> settle;
};

namespace faultsim_detail {

inline void arm(const FaultPoint& p) {
    namespace f = plat::fault;
    f::disarm();
    if (p.kind == FaultKind::DiskFull) {
        f::armDiskFull(p.n);
    } else {
        f::arm(static_cast<f::Op>(static_cast<int>(p.kind)), static_cast<int>(p.n), p.persistent);
    }
}

// Failures recorded so far in the running test.
inline int failedParts() {
    const ::testing::TestResult* r = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int n = 0;
    for (int i = 0; i < r->total_part_count(); ++i) {
        if (r->GetTestPartResult(i).failed()) ++n;
    }
    return n;
}

inline int64_t nextPoint(const FaultPoint& p, int64_t dense) {
    if (p.kind != FaultKind::DiskFull || p.n < dense) return p.n + 1;
    return p.n + (p.n / 8 > 1 ? p.n / 8 : 1);
}

}  // namespace faultsim_detail

// Runs the sweep; every invariant that breaks is a test failure carrying the
// fault point. A kind's sweep stops at its first failing point, so that one
// fault does not drown the report.
template <class Site>
FaultCoverage sweepFaults(const FaultSweep<Site>& sweep) {
    static_assert(static_cast<int>(FaultKind::Sync) == static_cast<int>(plat::fault::Op::Sync),
                  "fault kinds follow the seam's operations");
    FaultCoverage cov;
    cov.operation = sweep.operation;

    // The reference run: without a fault everything must hold at once.
    {
        SCOPED_TRACE(sweep.operation + ": run without a fault");
        plat::fault::disarm();
        Site site;
        sweep.prepare(site);
        sweep.run(site);
        sweep.check(site, FaultPhase::AfterCleanRun);
    }

    for (FaultKind kind : sweep.kinds) {
        std::vector<bool> modes{false};
        if (sweep.persistentToo && kind != FaultKind::DiskFull) modes.push_back(true);
        for (bool persistent : modes) {
            FaultPoint p{kind, persistent, kind == FaultKind::DiskFull ? 0 : 1};
            for (int64_t count = 0; count < sweep.maxPointsPerKind; ++count) {
                Site site;
                sweep.prepare(site);
                faultsim_detail::arm(p);
                sweep.run(site);
                bool fired = plat::fault::fired() > 0;
                plat::fault::disarm();
                if (!fired) break;
                ++cov.points[static_cast<size_t>(kind)];

                int failedBefore = faultsim_detail::failedParts();
                {
                    SCOPED_TRACE(sweep.operation + ": " + p.describe());
                    sweep.check(site, FaultPhase::AfterFault);
                    if (sweep.settle) {
                        sweep.settle(site);
                    } else {
                        sweep.run(site);
                    }
                    sweep.check(site, FaultPhase::AfterCleanRun);
                }
                if (faultsim_detail::failedParts() > failedBefore) break;
                p.n = faultsim_detail::nextPoint(p, sweep.denseDiskBytes);
            }
        }
    }
    std::string key = "failure_points_" + sweep.operation;
    for (char& c : key) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    ::testing::Test::RecordProperty(key, cov.total());
    std::printf("[ faults   ] %s\n", cov.summary().c_str());
    if (const char* report = std::getenv("BREM_FAULT_REPORT")) {
        if (std::FILE* f = std::fopen(report, "a")) {
            std::fprintf(f, "%s\n", cov.summary().c_str());
            std::fclose(f);
        }
    }
    return cov;
}

}  // namespace brem::test
