// The Linux extras of the POSIX half (BREM_LINUX_EXTRAS, on by default on
// Linux): the inotify watcher behind case-blind lookup, renameat2 with
// RENAME_NOREPLACE, FICLONE and copy_file_range for copies, malloc_trim.
// Each has a portable way in os_posix.cpp, taken when the answer here is
// NotHere; extras_portable.cpp takes it always.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/fs.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/posix/extras.h"

namespace brem::plat::os::extras {

namespace {

std::string foldCase(const std::string& name) {
    std::string key = name;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

// Directories the library creates names in again and again (the spool above
// all: news import makes its working files there) are watched through
// inotify, so that a name about to be created is checked case-blind against
// a listing kept current by the kernel's change events instead of a fresh
// read of a directory of many thousands of entries for every name. An
// overflowed event queue forgets every listing. Where inotify is not to be
// had, the caller reads the directory each time.
//
// This is library-wide state: at most kMaxDirs directories, their folded
// names, and one inotify descriptor, kept here alone and guarded by a mutex.
class Watcher {
public:
    // 1: found, 0: not there, -1: the directory cannot be watched.
    int find(const std::string& dir, const std::string& name, std::string* found) {
        std::lock_guard<std::mutex> lock(mutex_);
        drain();
        Dir* d = watch(dir);
        if (!d) return -1;
        if (!d->listed) {
            // Read after the watch began, so no change falls between the two.
            DIR* h = ::opendir(d->path.c_str());
            if (!h) return -1;
            while (struct dirent* e = ::readdir(h)) add(*d, e->d_name);
            ::closedir(h);
            d->listed = true;
            drain();
            d = watch(dir);
            if (!d || !d->listed) return -1;
        }
        auto it = d->names.find(foldCase(name));
        if (it == d->names.end()) return 0;
        *found = it->second.name;
        return 1;
    }

private:
    struct Dir {
        std::string path;
        dev_t dev = 0;
        ino_t ino = 0;
        uint64_t lastUse = 0;
        bool listed = false;
        // Folded name to the name as stored, and how many more names fold to
        // the same key.
        struct Entry {
            std::string name;
            int others = 0;
        };
        std::unordered_map<std::string, Entry> names;
    };

    static constexpr size_t kMaxDirs = 64;
    static constexpr uint32_t kMask =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    static void add(Dir& d, const std::string& name) {
        auto r = d.names.emplace(foldCase(name), Dir::Entry{name, 0});
        if (!r.second && r.first->second.name != name) ++r.first->second.others;
    }

    static std::string normal(const std::string& dir) {
        std::string p;
        for (char c : dir) {
            if (c == '/' && !p.empty() && p.back() == '/') continue;
            p += c;
        }
        if (p.size() > 1 && p.back() == '/') p.pop_back();
        return p.empty() ? std::string(".") : p;
    }

    // The watched directory at `dir`, watching it now if it is not yet; a
    // path that names another directory than before starts afresh.
    Dir* watch(const std::string& dir) {
        std::string path = normal(dir);
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
        auto named = byPath_.find(path);
        if (named != byPath_.end()) {
            auto it = dirs_.find(named->second);
            if (it != dirs_.end() && it->second.dev == st.st_dev && it->second.ino == st.st_ino) {
                it->second.lastUse = ++clock_;
                return &it->second;
            }
            byPath_.erase(named);
        }
        if (fd_ < 0) {
            if (unavailable_) return nullptr;
            fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (fd_ < 0) {
                unavailable_ = true;
                return nullptr;
            }
        }
        if (dirs_.size() >= kMaxDirs) evictOldest();
        if (byPath_.size() >= 4 * kMaxDirs) byPath_.clear();
        int wd = ::inotify_add_watch(fd_, path.c_str(), kMask);
        if (wd < 0) return nullptr;
        Dir& d = dirs_[wd];  // the same directory under another name shares it
        if (d.path.empty() || d.dev != st.st_dev || d.ino != st.st_ino) {
            d = Dir();
            d.path = path;
            d.dev = st.st_dev;
            d.ino = st.st_ino;
        }
        d.lastUse = ++clock_;
        byPath_[path] = wd;
        return &d;
    }

    void evictOldest() {
        auto oldest = dirs_.begin();
        for (auto it = dirs_.begin(); it != dirs_.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        ::inotify_rm_watch(fd_, oldest->first);
        dirs_.erase(oldest);
    }

    // Applies every event waiting in the queue.
    void drain() {
        if (fd_ < 0) return;
        alignas(struct inotify_event) char buf[16384];
        for (;;) {
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                return;
            }
            for (ssize_t off = 0; off < n;) {
                auto* ev = reinterpret_cast<struct inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
                apply(*ev);
            }
        }
    }

    void apply(const struct inotify_event& ev) {
        if (ev.mask & IN_Q_OVERFLOW) {
            for (auto& entry : dirs_) {
                entry.second.listed = false;
                entry.second.names.clear();
            }
            return;
        }
        auto it = dirs_.find(ev.wd);
        if (it == dirs_.end()) return;
        Dir& d = it->second;
        if (ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            // The path no longer names this directory: the next look starts
            // afresh.
            if (!(ev.mask & IN_IGNORED)) ::inotify_rm_watch(fd_, ev.wd);
            dirs_.erase(it);
            return;
        }
        if (!d.listed || ev.len == 0) return;
        std::string name = ev.name;
        if (ev.mask & (IN_CREATE | IN_MOVED_TO)) {
            add(d, name);
        } else if (ev.mask & (IN_DELETE | IN_MOVED_FROM)) {
            auto n = d.names.find(foldCase(name));
            if (n == d.names.end()) return;
            if (n->second.others > 0) {
                // Names differing in case alone, which Windows cannot hold:
                // read again when next asked rather than guess which is left.
                d.listed = false;
                d.names.clear();
                return;
            }
            d.names.erase(n);
        }
    }

    std::mutex mutex_;
    int fd_ = -1;
    bool unavailable_ = false;
    uint64_t clock_ = 0;
    std::unordered_map<int, Dir> dirs_;
    std::unordered_map<std::string, int> byPath_;
};

// The library's one watcher of directories.
Watcher& watcher() {
    static Watcher w;
    return w;
}

}  // namespace

Answer findNoCase(const std::string& dir, const std::string& name, std::string* found) {
    int r = watcher().find(dir, name, found);
    if (r < 0) return Answer::NotHere;
    return r == 1 ? Answer::Yes : Answer::No;
}

Answer renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return Answer::Yes;
    if (errno == EINVAL || errno == ENOSYS) return Answer::NotHere;
    return Answer::No;
}

Answer copyInKernel(int in, int out, int64_t* copied) {
    *copied = 0;
    // A whole file into an empty one: where the file system shares blocks
    // between files (btrfs, XFS), the copy is a clone and costs no bytes.
    if (::lseek(in, 0, SEEK_CUR) == 0 && ::lseek(out, 0, SEEK_END) == 0 && ::ioctl(out, FICLONE, in) == 0) {
        struct stat st;
        if (::fstat(out, &st) != 0) return Answer::No;
        if (::lseek(in, 0, SEEK_END) < 0) return Answer::No;
        *copied = static_cast<int64_t>(st.st_size);
        return Answer::Yes;
    }
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
        if (n > 0) {
            *copied += n;
            continue;
        }
        if (n == 0) return Answer::Yes;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return Answer::No;
        // No in-kernel copy between these files: the caller goes on through
        // a buffer from where this stopped (*copied counts what is done).
        return Answer::NotHere;
    }
}

void releaseFreeMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

}  // namespace brem::plat::os::extras
