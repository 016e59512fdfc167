// The raw operating-system calls behind platform.h, one implementation per
// system (posix/ or win32/, CMake compiles exactly one). The portable
// forwarding layer in platform.cpp adds the fault hooks and calls these; the
// contracts are those of the same-named functions in platform.h. A failing
// call hands back a Status with the system's error, the system call's name
// and the path (see status.h); nothing here logs or prints.
#pragma once

#include "platform/platform.h"

namespace brem::plat::os {

FileHandle openFile(const std::string& path, OpenMode mode, Access access);
Untrusted openUntrusted(const std::string& path, FileHandle* handle);
int64_t readFile(FileHandle h, void* buf, size_t n);
int64_t writeFile(FileHandle h, const void* buf, size_t n);
bool seekFile(FileHandle h, int64_t offset);
int64_t fileSize(FileHandle h);
Status truncateFile(FileHandle h, int64_t size);
Status syncFile(FileHandle h);
Status closeFile(FileHandle h);
Status deleteFile(const std::string& path);
Status moveFile(const std::string& from, const std::string& to);
Status replaceFile(const std::string& from, const std::string& to);
bool fileExists(const std::string& path);
bool listedFileExists(const std::string& directory, const std::string& name);
bool sameFile(const std::string& a, const std::string& b);
bool directoryExists(const std::string& path);
Status makeDirectory(const std::string& path, Access access);
bool isPlainDirectory(const std::string& path);
Status syncDirectory(const std::string& path);
Status changeDirectory(const std::string& path);
// The names of the files (not directories) in a directory ("" for the
// current one); matching and ordering are done by the portable layer.
std::vector<std::string> listFiles(const std::string& directory);
// Copies everything from the current position of `in` to `out`; the count
// copied, or -1 on a read or write error.
int64_t copyFileData(FileHandle in, FileHandle out);
ProcessResult runHidden(const std::string& program, const std::vector<std::string>& args,
                        uint32_t timeoutMs);
std::string compressorPath();
void* loadLibrary(const std::string& name);
void* librarySymbol(void* library, const char* name);
void sleepMs(uint32_t ms);
FileHandle standardOutput();
FileHandle standardInput();
bool isTerminal(std::FILE* stream);
bool postWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void releaseFreeMemory();
std::string systemPath(const std::string& path);
std::tm localTime(std::time_t when);
// The run lock of platform.h; *why holds the cause of Failed.
LockResult tryLockFile(const std::string& path, FileHandle* held, Status* why);
void unlockFile(FileHandle held);
// The system's text for an error number of this system (strerror; the
// FormatMessage text of a GetLastError code on Windows), without a line end.
std::string errorText(int native);

}  // namespace brem::plat::os
