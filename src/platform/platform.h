// The one seam between the library and the operating system.
//
// Every operating-system service the core uses is declared here and nowhere
// else. Paths are always given in the host's Windows form: `\` (or `/`)
// separates components and names are matched without regard to case. The
// POSIX implementation turns `\` into `/` and resolves a name that does not
// exist exactly by a case-blind match in its directory, as the Windows file
// system would, so the same calls leave byte-identical files on both systems.
//
// Every function returns a status value and never prints; the callers choose
// the fixed texts the host sees. The calls that change files and names return
// a Status (status.h): true on success, and on failure a portable kind with
// the system's own error, the system call and the path, for the activity log
// at its highest verbosity; nobody asks the system a second time what
// happened. What remains on disk after a failure is said at each declaration.
//
// The portable forwarding layer (platform.cpp) carries the test hooks of
// fault.h: each call below that touches a file, a lock or a process may be
// made to fail there, once or from then on, before the operating system is
// asked (a failure made there has the kind Failure::Injected).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/status.h"

namespace brem::plat {

// An operating-system file handle: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class OpenMode {
    Read,    // existing file, reading from offset 0
    Create,  // created, or truncated to 0 bytes when it exists
    Append,  // created when missing; every write lands at the current end
    // Created afresh: fails when anything at all stands under the name (a
    // file, a link, a dangling link), so that a working file is never written
    // through whatever someone else left in its place. Callers delete first.
    CreateNew,
};

// Who may read what the library creates. On POSIX a Private file is created
// with mode 0600 and a Private directory 0700, before the umask: the store
// holds private mail, and brem often runs as root. Shared ones get 0644 and
// 0755, for files that another user's program takes from the spool (the job
// files the UUCP transfer sends). On Windows both take the access rules of
// their directory.
enum class Access { Private, Shared };

// Opens a file. Returns kNoFile on failure; nothing is created then.
FileHandle openFile(const std::string& path, OpenMode mode, Access access = Access::Private);

// Opens a file for reading that someone else put in a directory the library
// does not own (the spool, written by a remote site): only a regular file
// reached by its own name is opened. A link is not followed (a symbolic link
// on POSIX, any reparse point on Windows), and nothing is waited on: a FIFO
// or a device is refused without blocking. The handle reads as one from
// openFile(Read).
enum class Untrusted {
    Opened,    // *handle is the open file
    Missing,   // nothing under that name
    Link,      // a link, refused
    NotAFile,  // a directory, FIFO, socket or device, refused
    Denied,    // the system refuses access (permissions): will not change by itself
    Failed,    // any other failure (a file held open elsewhere, no handles left)
};
Untrusted openUntrusted(const std::string& path, FileHandle* handle);

// Reads up to n bytes. Returns the count read, 0 at the end of the file,
// -1 on a read error.
int64_t readFile(FileHandle h, void* buf, size_t n);

// Writes n bytes. Returns the count written, which is below n only when the
// disk is full (the bytes before it are on disk), or -1 on a write error.
int64_t writeFile(FileHandle h, const void* buf, size_t n);

// Positions the handle at an absolute offset; false for a negative offset or
// an error. Positioning past the end is allowed, as on both systems.
bool seekFile(FileHandle h, int64_t offset);

// The size of the open file as the file system reports it (not a count of
// bytes written through this handle); -1 on error.
int64_t fileSize(FileHandle h);

// Cuts the file back to `size` bytes. Used to take back a failed append.
Status truncateFile(FileHandle h, int64_t size);

// Closes the handle. False when the system reports an error; the handle is
// released all the same.
Status closeFile(FileHandle h);

// Durability. What the system has been handed is not yet on the disk: a power
// cut may lose bytes written, cut an append short at any byte, and undo a
// name created, renamed or deleted. An operation that gives up a source
// (deletes it, renames over it, or tells the host it may) first makes what
// replaces it durable with these two, so that a crash can at worst leave a
// job to be taken twice, never lost.
//
// Waits until the bytes written through the handle and the file's size are
// on the disk (fdatasync on POSIX, FlushFileBuffers on Windows). The handle
// must be open for writing. The file's name is not covered: a file the caller
// created needs syncDirectory of its directory as well. False when the system
// reports an error: what was written may then be lost, and the caller treats
// it as a failed write.
Status syncFile(FileHandle h);

// Waits until the names created, renamed and deleted in a directory are on
// the disk (fsync of the directory on POSIX). On Windows the directory is
// flushed where the file system allows it; NTFS also writes every earlier
// change of names to its journal when any file is flushed, so a refusal there
// is no failure. A file system that cannot sync a directory (it keeps no
// separate directory data) counts as synced. False on an error.
Status syncDirectory(const std::string& path);

// One run at a time: an exclusive lock on a lock file, taken through the
// system's file locking, so that two programs sharing a store never work on
// it at once. POSIX takes an fcntl write lock over the whole file, Windows
// LockFileEx exclusive on the file's first byte; a program that wants to
// share the lock takes the same. The file is created when missing and never
// deleted: its existence means nothing, only the lock does. The system
// releases the lock when the handle is closed or the process ends, however
// it ends, so a crashed run never leaves the store locked.
enum class LockResult { Locked, Busy, Failed };
// Tries once without waiting. Locked: *held is the handle to pass to
// unlockFile. Busy: another process holds the lock. Failed: the lock file
// cannot be opened or locked; *reason gives the system's text.
LockResult tryLockFile(const std::string& path, FileHandle* held, std::string* reason);
void unlockFile(FileHandle held);
// The system's text for the last failed call of this thread (strerror of
// errno; FormatMessage of GetLastError on Windows), without a line end.
std::string lastErrorText();

// A mailbox shared with mail readers and delivery agents, held for appending
// as procmail and mutt hold one: first the dotlock PATH.lock, made by an
// exclusive create (one older than kStaleDotlockSeconds was left by a program
// that died, and is removed, as procmail does), then the system's lock on the
// mailbox itself (an fcntl write lock over the whole file; LockFileEx on
// Windows). Where the mailbox's directory takes no new file from this user
// (a mail spool of mode 1777 or 2775), the system lock alone is taken, as
// mail readers do without their setgid helper. A missing mailbox is created,
// readable and writable by its owner alone.
inline constexpr int kStaleDotlockSeconds = 1024;
struct MailboxHold {
    FileHandle file = kNoFile;  // open for reading and writing; write at its end
    std::string dotlock;        // the dotlock made, or empty
};
// Tries once without waiting: Locked (and *hold filled), Busy (a dotlock or
// a lock of another program is there), Failed (*reason gives the system's
// text; nothing is left behind).
LockResult tryLockMailbox(const std::string& path, MailboxHold* hold, std::string* reason);
// Drops the locks, closes the mailbox and removes the dotlock. False when
// the close reported an error.
bool releaseMailbox(MailboxHold& hold);
// Gives `path` the owner, group and permission bits of `model`, as far as
// the process may (only the superuser gives a file away); false when not all
// of them could be given. Windows files take their rights from their
// directory: nothing to do there.
bool takeOwnerAndMode(const std::string& model, const std::string& path);

// Deletes a file (DeleteFileA). False when it does not exist or cannot be
// deleted; nothing else changes.
Status deleteFile(const std::string& path);

// Renames a file, failing when the target exists (MoveFileA's rule). Atomic:
// there is no moment at which the target is replaced or both names are gone.
Status moveFile(const std::string& from, const std::string& to);

// Renames a file over an existing one in one step (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING; rename() on POSIX): at every moment the target
// holds either its old or its new contents. For small state files written
// beside their place and put there only when complete.
Status replaceFile(const std::string& from, const std::string& to);

// True when the name is taken by anything but a directory: a file, or a link
// of any kind (not followed, so a dangling one counts), or on POSIX a FIFO or
// a device.
bool fileExists(const std::string& path);
// fileExists for a name that findFiles gave for `directory`: the name is
// taken as it stands on disk, not looked up case-blind again, so the check
// costs one system call however many files the directory holds. A name the
// search gave that has since been renamed to another letter case counts as
// gone.
bool listedFileExists(const std::string& directory, const std::string& name);
// True when both paths name one existing file, however they are spelled
// (letter case, relative or absolute, links): the file's identity on its
// volume is compared, not the names.
bool sameFile(const std::string& a, const std::string& b);
bool directoryExists(const std::string& path);  // a directory

// Creates one directory (CreateDirectoryA). False when it exists already or
// its parent is missing.
Status makeDirectory(const std::string& path, Access access = Access::Private);

// True when the path names a directory by its own name, not through a link
// (a symbolic link or a junction): a directory the library may move files
// into without sending them elsewhere.
bool isPlainDirectory(const std::string& path);

// Changes the process's current directory (SetCurrentDirectoryA).
Status changeDirectory(const std::string& path);

// Directory search with a wildcard in the last component ("dir\*.x"),
// matched case-blind as FindFirstFileA does ("*.x" finds 0C1235.X). Returns
// the names of the matching files, without directory, in a case-blind
// sorted order so that both systems take jobs in the same order.
// Directories are not returned; every other entry is, links, FIFOs and
// devices included (none of them is followed or opened), so that a caller
// can see what stands there and refuse it.
std::vector<std::string> findFiles(const std::string& pattern);

// Copies the whole of one file into another. The source is opened as
// openUntrusted opens it (a link, FIFO or device is SourceMissing); whatever
// stands under the target's name is deleted (a link itself, never what it
// points to) and the target created afresh. The system's in-kernel copy is
// used where there is one. After anything but Copied the target may hold
// part of the bytes; the caller deletes it.
enum class CopyResult { Copied, SourceMissing, TargetFailed, WriteFailed };
CopyResult copyFile(const std::string& from, const std::string& to);

// Starts a command line as a process with a hidden window and waits for it.
struct ProcessResult {
    bool started = false;   // the process could be started
    bool finished = false;  // it ended within the time allowed
    int exitCode = -1;      // its exit status when it finished
};
// `program` is a path or a bare name (looked up as the system does); the
// arguments are passed one by one (Windows joins them into a quoted command
// line). A process still running when the time is up is killed, so that it
// cannot write on behind the caller's back.
ProcessResult runHidden(const std::string& program, const std::vector<std::string>& args,
                        uint32_t timeoutMs);

// Where the external compressor is found: on Windows "zorpack.exe" beside
// brem32.dll first, then as WinExec would look for it (the host program's
// directory, the current directory, the system directories, PATH); on POSIX `zorpack` in the
// library's own directory, then on PATH. Returns the bare program name when
// it is found nowhere, so that the start fails with the usual status.
std::string compressorPath();

// Run-time libraries: nullptr when the library or the symbol is missing.
// Windows loads with LoadLibraryExA; POSIX with dlopen, found through the
// dynamic loader's search path. librarySymbol(nullptr, name) looks the name
// up in the host process itself.
void* loadLibrary(const std::string& name);
void* librarySymbol(void* library, const char* name);

void sleepMs(uint32_t ms);

// The process's standard output as a file handle, written with writeFile:
// bytes go out unchanged on both systems (no text-mode line ends).
FileHandle standardOutput();
// The process's standard input as a file handle, read with readFile: bytes
// come in unchanged on both systems.
FileHandle standardInput();

// True when the C stream writes to a terminal (a console on Windows), where a
// program may redraw a progress line.
bool isTerminal(std::FILE* stream);

// Posts a window message to a host window without waiting for it to be
// handled (PostMessageA). Safe to call from any thread. Windows calls
// USER32's PostMessageA. POSIX has no window system of its own: the host
// process may define
//   extern "C" int PostMessageA(void* window, uint32_t message,
//                               uintptr_t wParam, intptr_t lParam);
// (exported from the executable or a library it loaded), which is looked up
// by name on every call; where the host has none the notice is dropped.
// False when the message was not posted.
bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Hands the heap's free memory back to the system where the platform offers
// a way; otherwise does nothing.
void releaseFreeMemory();

// The path the operating system is given for a host path: on POSIX with `/`
// separators and case-blind resolution; on Windows unchanged.
std::string systemPath(const std::string& path);

// The local date and time of a calendar time, as the system's time zone gives
// it. The result is the caller's own copy: no library-wide storage is shared.
std::tm localTime(std::time_t when);

}  // namespace brem::plat
