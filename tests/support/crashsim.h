// Power cuts at every step of one call, simulated at the platform seam.
//
// A recorder below the platform calls notes, in order, every change that one
// call makes to files and names and every sync it asks for, with the bytes
// each file holds after each change. Replaying that record, the simulation
// builds for every point of it the states that a power cut there could leave
// on the disk, under a model weaker than any journaling file system:
//
//   - a file's bytes reach the disk in the order they were written, but only
//     those covered by a sync of the file are sure to be there: an unsynced
//     write may be lost, and an append may stop at any byte;
//   - a name created, deleted or renamed is sure to be there only once its
//     directory was synced; until then each change may be lost, each name
//     independently of the others (one name's own changes stay in order).
//
// Every state is handed to the caller, once each, as a map from path (below
// the site's root) to bytes. Files that a separate process made (the
// compressor's) are not seen by the recorder; they are working files that no
// state needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/fault.h"
#include "support/test_support.h"

namespace brem::test {

using CrashState = std::map<std::string, std::string>;  // path -> bytes

namespace crashsim_detail {

inline std::string normal(const std::string& p) {
    std::string out;
    for (char c : p) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

inline std::string dirOf(const std::string& p) { return p.substr(0, p.rfind('/')); }

// One recorded change; `bytes` is what the file holds after it (Open,
// Write, Truncate).
struct Step {
    plat::fault::Change what;
    std::string path, other;
    std::string bytes;
};

}  // namespace crashsim_detail

// Records the changes of the calls made while it lives.
class ChangeRecorder {
public:
    ChangeRecorder() { plat::fault::record(&ChangeRecorder::note, this); }
    ~ChangeRecorder() { plat::fault::record(nullptr, nullptr); }
    ChangeRecorder(const ChangeRecorder&) = delete;
    ChangeRecorder& operator=(const ChangeRecorder&) = delete;
    const std::vector<crashsim_detail::Step>& steps() const { return steps_; }

private:
    static void note(const plat::fault::ChangeEvent& e, void* self) { static_cast<ChangeRecorder*>(self)->add(e); }
    void add(const plat::fault::ChangeEvent& e) {
        using plat::fault::Change;
        using crashsim_detail::normal;
        crashsim_detail::Step s{e.what, normal(e.path), normal(e.other), {}};
        switch (e.what) {
            case Change::Close: handles_.erase(e.handle); return;
            case Change::Open: handles_[e.handle] = s.path; break;
            case Change::Write:
            case Change::Truncate:
            case Change::SyncFile: s.path = handles_[e.handle]; break;
            case Change::Rename:
                for (auto& h : handles_) {
                    if (h.second == s.path) h.second = s.other;
                }
                break;
            default: break;
        }
        if (e.what == Change::Open || e.what == Change::Write || e.what == Change::Truncate) {
            s.bytes = readFile(s.path);
        }
        steps_.push_back(std::move(s));
    }

    std::vector<crashsim_detail::Step> steps_;
    std::map<intptr_t, std::string> handles_;
};

// The disk as the recorded call left it at one point, with what is sure to
// be there and what may not be.
class SimulatedDisk {
public:
    // `initial`: every file before the call, all of it on the disk.
    explicit SimulatedDisk(const CrashState& initial) {
        for (const auto& [path, bytes] : initial) {
            int i = newInode(bytes);
            initial_[path] = i;
            live_[path] = i;
        }
    }

    void apply(const crashsim_detail::Step& s) {
        using plat::fault::Change;
        using crashsim_detail::dirOf;
        switch (s.what) {
            case Change::Open: {
                auto it = live_.find(s.path);
                if (it != live_.end()) {
                    addVersion(it->second, s.bytes);
                    break;
                }
                int i = newInode(std::string());
                addVersion(i, s.bytes);
                live_[s.path] = i;
                ops_.push_back({Change::Open, std::string(), s.path, i, {dirOf(s.path)}});
                break;
            }
            case Change::Write:
            case Change::Truncate: addVersion(inodeAt(s.path), s.bytes); break;
            case Change::SyncFile: {
                Inode& n = inodes_[static_cast<size_t>(inodeAt(s.path))];
                n.durable = n.versions.size() - 1;
                break;
            }
            case Change::Delete: {
                int i = inodeAt(s.path);
                live_.erase(s.path);
                ops_.push_back({Change::Delete, s.path, std::string(), i, {dirOf(s.path)}});
                break;
            }
            case Change::Rename: {
                int i = inodeAt(s.path);
                live_.erase(s.path);
                live_[s.other] = i;
                ops_.push_back({Change::Rename, s.path, s.other, i, {dirOf(s.path), dirOf(s.other)}});
                break;
            }
            case Change::SyncDirectory:
                for (NameOp& op : ops_) op.unsynced.erase(s.path);
                break;
            default: break;
        }
    }

    // Every state a power cut now could leave, each handed to `visit`.
    void crashStates(const std::function<void(const CrashState&)>& visit) const {
        std::vector<size_t> pending;
        for (size_t k = 0; k < ops_.size(); ++k) {
            if (!ops_[k].unsynced.empty()) pending.push_back(k);
        }
        // Which unsynced name changes survive: every set in which each name's
        // changes form an unbroken beginning. Beyond six of them, the sets
        // that lose at most two, those that keep at most two, and the
        // beginnings of the whole sequence.
        const size_t n = std::min<size_t>(pending.size(), 20);
        const bool all = n <= 6;
        for (uint64_t m = 0; m < (uint64_t{1} << n); ++m) {
            const int keptCount = __builtin_popcountll(m);
            const bool prefix = (m & (m + 1)) == 0;
            if (!all && !prefix && keptCount > 2 && static_cast<int>(n) - keptCount > 2) continue;
            std::vector<bool> kept(ops_.size(), true);
            for (size_t j = 0; j < pending.size(); ++j) kept[pending[j]] = j < n ? ((m >> j) & 1) != 0 : false;
            if (!ordered(pending, kept)) continue;
            std::map<std::string, int> names = initial_;
            for (size_t k = 0; k < ops_.size(); ++k) {
                if (kept[k]) applyName(names, ops_[k]);
            }
            contents(names, visit);
        }
    }

private:
    struct Inode {
        std::vector<std::string> versions;
        size_t durable = 0;
    };
    struct NameOp {
        plat::fault::Change what;
        std::string from, to;
        int inode;
        std::set<std::string> unsynced;  // directories whose sync it waits for
    };

    int newInode(const std::string& bytes) {
        inodes_.push_back(Inode{{bytes}, 0});
        return static_cast<int>(inodes_.size() - 1);
    }
    // A name the recorder did not see made (the compressor's output): its
    // bytes are unknown and matter to no check.
    int inodeAt(const std::string& path) {
        auto it = live_.find(path);
        if (it != live_.end()) return it->second;
        int i = newInode(std::string());
        live_[path] = i;
        return i;
    }
    void addVersion(int i, const std::string& bytes) {
        Inode& n = inodes_[static_cast<size_t>(i)];
        if (n.versions.back() != bytes) n.versions.push_back(bytes);
    }

    static std::vector<std::string> namesOf(const NameOp& op) {
        std::vector<std::string> v;
        if (!op.from.empty()) v.push_back(op.from);
        if (!op.to.empty()) v.push_back(op.to);
        return v;
    }
    // A name's changes survive in order: none after one that was lost.
    bool ordered(const std::vector<size_t>& pending, const std::vector<bool>& kept) const {
        for (size_t a = 0; a < pending.size(); ++a) {
            if (kept[pending[a]]) continue;
            for (size_t b = a + 1; b < pending.size(); ++b) {
                if (!kept[pending[b]]) continue;
                for (const std::string& x : namesOf(ops_[pending[a]])) {
                    for (const std::string& y : namesOf(ops_[pending[b]])) {
                        if (x == y) return false;
                    }
                }
            }
        }
        return true;
    }
    static void applyName(std::map<std::string, int>& names, const NameOp& op) {
        using plat::fault::Change;
        if (op.what == Change::Open) {
            names[op.to] = op.inode;
        } else if (op.what == Change::Delete) {
            names.erase(op.from);
        } else {
            names.erase(op.from);
            names[op.to] = op.inode;
        }
    }

    // What a file may hold: its bytes as last synced, then each later
    // version, and between an append's versions every length it may have
    // stopped at (every byte of a short append; of a long one the line ends,
    // the bytes around them and a stride).
    std::vector<std::string> options(const std::string& path, int i, bool fine) const {
        // A log's lines are read by people, and a working file ("$...") by
        // the call that made it: their versions are enough.
        const std::string leaf = path.substr(path.rfind('/') + 1);
        if (leaf[0] == '$' || (leaf.size() > 4 && leaf.compare(leaf.size() - 4, 4, ".log") == 0)) fine = false;
        const Inode& n = inodes_[static_cast<size_t>(i)];
        std::vector<std::string> out{n.versions[n.durable]};
        for (size_t j = n.durable + 1; j < n.versions.size(); ++j) {
            const std::string& prev = n.versions[j - 1];
            const std::string& cur = n.versions[j];
            const bool append = cur.size() > prev.size() && cur.compare(0, prev.size(), prev) == 0;
            if (fine && append) {
                std::set<size_t> cuts;
                const size_t a = prev.size(), b = cur.size();
                for (size_t c = a + 1; c <= b; c += (b - a <= 128 ? 1 : (b - a) / 32)) cuts.insert(c);
                for (size_t c = a; c < b; ++c) {
                    if (cur[c] == '\n') {
                        for (size_t d : {c, c + 1, c + 2}) {
                            if (d > a && d <= b) cuts.insert(d);
                        }
                    }
                }
                cuts.insert(b);
                for (size_t c : cuts) out.push_back(cur.substr(0, c));
            } else {
                out.push_back(cur);
            }
        }
        return out;
    }

    void contents(const std::map<std::string, int>& names, const std::function<void(const CrashState&)>& visit) const {
        std::vector<std::pair<std::string, std::vector<std::string>>> fine, coarse;
        size_t product = 1;
        for (const auto& [path, inode] : names) {
            fine.emplace_back(path, options(path, inode, true));
            coarse.emplace_back(path, options(path, inode, false));
            product = std::min<size_t>(product * fine.back().second.size(), size_t{1} << 20);
        }
        if (product <= 512) {
            every(fine, visit);
            return;
        }
        // Too many to take all together: every combination of whole
        // versions, and each file's cut lengths with the others whole at
        // their first or last version.
        every(coarse, visit);
        for (size_t k = 0; k < fine.size(); ++k) {
            for (bool last : {false, true}) {
                auto mix = coarse;
                for (size_t o = 0; o < mix.size(); ++o) {
                    if (o == k) {
                        mix[o] = fine[o];
                    } else {
                        mix[o].second = {last ? mix[o].second.back() : mix[o].second.front()};
                    }
                }
                every(mix, visit);
            }
        }
    }

    static void every(const std::vector<std::pair<std::string, std::vector<std::string>>>& choices,
                      const std::function<void(const CrashState&)>& visit) {
        std::vector<size_t> at(choices.size(), 0);
        for (;;) {
            CrashState state;
            for (size_t k = 0; k < choices.size(); ++k) state[choices[k].first] = choices[k].second[at[k]];
            visit(state);
            size_t k = 0;
            while (k < choices.size() && ++at[k] == choices[k].second.size()) at[k++] = 0;
            if (k == choices.size()) return;
        }
    }

    std::vector<Inode> inodes_;
    std::map<std::string, int> initial_, live_;
    std::vector<NameOp> ops_;
};

// Every file below `root`, path -> bytes.
inline CrashState snapshot(const std::string& root) {
    CrashState s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) s[crashsim_detail::normal(e.path().string())] = readFile(e.path().string());
    }
    return s;
}

// Runs `call` under the recorder (on a site whose files are `root`'s) and
// hands every distinct state of every point to `visit`, with the point's
// number (0: before the first change; the last: after the call returned).
// Returns the number of points and of distinct states.
struct CrashCoverage {
    size_t points = 0;
    size_t states = 0;
};
inline CrashCoverage simulateCrashes(const std::string& root, const std::function<void()>& call,
                                     const std::function<bool(const CrashState&, size_t point, size_t last)>& visit) {
    const CrashState before = snapshot(root);
    std::vector<crashsim_detail::Step> steps;
    {
        ChangeRecorder recorder;
        call();
        steps = recorder.steps();
    }
    SimulatedDisk disk(before);
    std::unordered_set<size_t> seen;
    CrashCoverage cov;
    bool go = true;
    for (size_t point = 0; point <= steps.size() && go; ++point) {
        if (point > 0) disk.apply(steps[point - 1]);
        ++cov.points;
        disk.crashStates([&](const CrashState& s) {
            if (!go) return;
            // The state after the call returned is judged by more than the
            // others: it counts apart.
            std::string key(1, point == steps.size() ? 'R' : 'C');
            for (const auto& [path, bytes] : s) key += path + '\0' + std::to_string(bytes.size()) + '\0' + bytes;
            if (!seen.insert(std::hash<std::string>()(key)).second) return;
            ++cov.states;
            go = visit(s, point, steps.size());
        });
    }
    return cov;
}

}  // namespace brem::test
