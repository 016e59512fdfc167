// Outgoing UUCP jobs: the sequence counter export.dat and the three spool
// files of one job (NNNN.CMD, NNNN.XQT, NNNN.DAT), shared by mail export and
// news export.
//
// A job is written in a fixed order: number drawn, command file, execute
// file, data file, number saved. The counter is saved only after the three
// files are complete on disk, so a job that fails on the way leaves the
// counter where it was and the next export draws the same number again.
#pragma once

#include <cstdint>
#include <string>

#include "log/log.h"

namespace brem::outbound {

enum class JobKind { Mail, News };

// Numbers run from 1 to this, then start again at 1.
inline constexpr int32_t kLastSequenceNumber = 9999;

// "%04d" + "." + extension: the job's file name without directory.
std::string JobFileName(int32_t number, const char* extension);

// The two send lines of the command file, each ending in CR LF: the data file
// as "D." + site + NNNN, the execute file as "X." + site + NNNN, requested by
// "daemon" (mail) or "news".
std::string CommandFileText(int32_t number, const std::string& site, JobKind kind);

// The five lines of the execute file, each ending in a bare LF, as the remote
// uuxqt reads them. `recipient` is used by mail jobs only.
std::string ExecuteFileText(int32_t number, const std::string& site, JobKind kind, const std::string& recipient);

// The counter file export.dat in the store directory: the last number used,
// four bytes, little-endian. Remembers what the file held when the number was
// drawn, so that a save that fails half way can put it back.
class SequenceCounter {
public:
    // Reads the counter and returns the next number. A missing or unreadable
    // file logs "Cannot open export.dat (mail)" or "(news)" and gives 1, as
    // does a file shorter than four bytes or a number below 0; after 9999
    // comes 1. 0 when the file is there but cannot be read: the export
    // then stops, since no number is known to be free.
    int32_t draw(const std::string& storeDir, ActivityLog& log, JobKind kind);

    enum class SaveResult { Saved, CannotCreate, WriteFailed };
    // Writes `number` as the four bytes of export.dat: into "export.dat.new"
    // first, which then takes the counter's place, so that a failed write
    // (a full disk) leaves the counter as it was instead of an empty file
    // that would restart the numbering at 1.
    SaveResult save(int32_t number);

private:
    std::string path_;
    bool existed_ = false;
    std::string before_;
};

enum class WriteResult { Written, CannotCreate, WriteFailed };

// Creates `path` with "wb" and writes `bytes`. A file that was created but not
// completely written is removed again, so no partial job file stays behind.
WriteResult WriteJobFile(const std::string& path, const std::string& bytes);

}  // namespace brem::outbound
