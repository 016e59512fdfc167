// Test hooks of the platform seam: make the Nth call of a kind fail, once or
// from then on, or let the disk run full after a number of bytes. They live
// once, in the portable forwarding layer, so both systems' implementations are
// covered by the same switches. Nothing in the library arms them; tests do.
#pragma once

#include <cstdint>
#include <string>

namespace brem::plat::fault {

enum class Op {
    Open,          // opening an existing file for reading
    Create,        // opening for writing or appending
    Write,         // a write of buffered bytes to the system
    Flush,         // a stream's flush (its buffered bytes reaching the system)
    Close,         // closing a handle
    Delete,        // deleting a file
    Move,          // renaming a file
    ProcessStart,  // starting a process
    Sync,          // making a file's bytes or a directory's names durable
    Read,          // a read from an open file
    Truncate,      // cutting a file back to a size (taking back an append)
    Lock,          // taking the run lock
    Count
};

// Fails the nth call (1-based) of `op` counted from now; with `persistent`
// every later call of that kind fails too.
void arm(Op op, int nth, bool persistent = false);

// Lets writes succeed for `bytes` more bytes in all; the write that crosses
// the limit is cut short there and later ones write nothing (a full disk).
void armDiskFull(int64_t bytes);

// Windows only: an untrusted open of a file whose last component is `name`
// (any letter case) reads these attribute bits besides the file's own, each
// such open counting as fired; a test's stand-in for what it cannot plant
// under Wine, a reparse point (Wine shows a Unix link as a plain file).
void armAttributes(const std::string& name, uint32_t bits);

// Called by the Win32 layer: the bits armed for `path`'s last component, or 0.
uint32_t armedAttributes(const std::string& path);

// Clears every armed fault and the counters.
void disarm();

// How many injected faults have fired since the last disarm().
int fired();

// Called by the forwarding layer: true when this call must fail.
bool shouldFail(Op op);

// Called by the forwarding layer before a write: how many of n bytes may be
// written (n when no disk-full fault is armed).
int64_t allowWrite(int64_t n);

// A recorder of changes: sees, in order, every change to files and names
// that the library asks of the system and the system carried out, and every
// sync, so that a test can work out what a power cut at any moment could
// leave on the disk. Paths are the system's own (resolved as the call
// resolved them, before the change).
enum class Change {
    Open,           // a file opened for writing: `path`, `handle`; `created` when it may be new or emptied
    Write,          // bytes written through `handle` (the file's contents have changed)
    Truncate,       // the file of `handle` cut to a size
    Close,          // `handle` closed
    SyncFile,       // the bytes of `handle` made durable
    Delete,         // `path` deleted
    Rename,         // `path` renamed to `other`, replacing it when it existed
    MakeDirectory,  // `path` created as a directory
    SyncDirectory,  // the names in directory `path` made durable
};
struct ChangeEvent {
    Change what;
    std::string path;
    std::string other;
    intptr_t handle = -1;
    bool created = false;
};
using Recorder = void (*)(const ChangeEvent& event, void* context);
// Starts (or, with nullptr, stops) recording; one recorder at a time.
void record(Recorder recorder, void* context);
bool recording();
// Called by the forwarding layer after a change was carried out.
void noteChange(const ChangeEvent& event);

}  // namespace brem::plat::fault
