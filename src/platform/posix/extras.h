// What a POSIX system may offer beyond POSIX, behind one small interface, so
// that os_posix.cpp holds only portable POSIX calls. Two implementations:
// extras_linux.cpp (inotify, renameat2, FICLONE, copy_file_range,
// malloc_trim; built when BREM_LINUX_EXTRAS is on, the default on Linux) and
// extras_portable.cpp (none of them: every answer is "not here", and the
// portable way is taken). Each answer says whether the extra was available.
#pragma once

#include <cstdint>
#include <string>

namespace brem::plat::os::extras {

enum class Answer { Yes, No, NotHere };

// The entry of directory `dir` (a system path) whose name equals `name`
// without regard to case. NotHere: the caller reads the directory itself.
Answer findNoCase(const std::string& dir, const std::string& name, std::string* found);

// Renames without ever replacing the target. Yes: renamed; No: failed
// (errno set); NotHere: the system or file system has no such rename.
Answer renameNoReplace(const char* from, const char* to);

// Copies everything from the current position of `in` to `out` inside the
// kernel. Yes: *copied holds the count; No: a read or write error (errno
// set); NotHere: *copied bytes were copied, the caller copies the rest
// through a buffer.
Answer copyInKernel(int in, int out, int64_t* copied);

// Hands the heap's free memory back to the system where the C library can.
void releaseFreeMemory();

}  // namespace brem::plat::os::extras
