// Outgoing UUCP jobs: the sequence counter export.dat and the three spool
// files of one job (NNNN.CMD, NNNN.XQT, NNNN.DAT), shared by mail export and
// news export.
//
// A job is written in a fixed order: number drawn, execute file, data file,
// command file, number saved, the host's file given up. Each file is on the
// disk before the next step: the command file, which makes the job visible
// to the transfer, only once the other two are whole, and the counter only
// once the job is, so that a power cut never leaves a job half there with a
// command naming it, nor a counter behind a job it would write over. The
// counter is saved only after the three files are complete, so a job that
// fails on the way leaves the counter where it was and the next export draws
// the same number again.
#pragma once

#include <cstdint>
#include <string>

#include "log/log.h"
#include "platform/stream.h"
#include "store/layout.h"
#include "store/undo.h"

namespace brem::outbound {

enum class JobKind { Mail, News };

// Numbers run from 1 to this, then start again at 1.
inline constexpr int32_t kLastSequenceNumber = 9999;

// What goes into a job's lines from outside is checked before any file is
// written: the remote site runs the execute file's command line, and its
// transfer acts on every line of the command file. A site name holds letters,
// digits, '-' and '_' only (and at least one of them); a recipient holds no
// control byte, no blank, none of ; & | < > ( ) $ ` ' " \ and does not begin
// with '-' (the remote rmail would take it for an option). Each returns what
// is wrong, for the log, or "" when the text may go into a job.
std::string SiteNameProblem(const std::string& site);
std::string RecipientProblem(const std::string& recipient);

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

    // Writes `number` as the four bytes of export.dat: into "export.dat.new"
    // first, which is put on the disk and then takes the counter's place, so
    // that a failed write (a full disk) or a power cut leaves the counter as
    // it was, or at the new number, never an empty file that would restart
    // the numbering at 1. False, with "Cannot open export.dat to write" or
    // "Cannot write export.dat" logged (mail adds " (mail)"), when the counter
    // keeps its old number (put back too when the directory holding the new
    // one could not be put on the disk).
    bool save(int32_t number, ActivityLog& log, JobKind kind);

private:
    enum class SaveResult { Saved, CannotCreate, WriteFailed, NotDurable };
    SaveResult write(int32_t number);
    // Writes back what the counter held when the number was drawn.
    void putBack();

    std::string path_;
    bool existed_ = false;
    std::string before_;
};

// What the counter holds, read without changing it (the store's directory
// ends in a separator): whether it is there, how many bytes it has (up to
// 5 counted), and the number its first four bytes give, little-endian.
struct CounterContents {
    bool present = false;
    size_t bytes = 0;
    int32_t last = 0;
};
CounterContents ReadSequenceCounter(const std::string& storeDir);

// Writes the files of one job into the spool, each noted in the export
// call's undo log as it is made, so that the call takes the whole job back
// unless it commits: a job with a file missing would reach the remote site as
// nonsense, or not at all while the host believes it sent. The files are made
// in the order execute file, data file, command file, and the log undoes the
// newest first: the command file goes first when the job is taken back, so
// that a transfer looking at the spool meanwhile never finds a command naming
// a file already gone.
class JobWriter {
public:
    JobWriter(const std::string& spoolDir, int32_t number, JobKind kind, store::UndoLog& undo, ActivityLog& log);
    JobWriter(const JobWriter&) = delete;
    JobWriter& operator=(const JobWriter&) = delete;

    // This job's file with the given extension: its name, and its path in
    // the spool.
    std::string name(const char* extension) const { return JobFileName(number_, extension); }
    std::string path(const char* extension) const { return spoolDir_ + name(extension); }

    // Creates the execute file (`recipient` for mail only) and puts it on the
    // disk. False, with "Cannot open .xqt" or "Cannot write .xqt" logged,
    // when it is not complete there.
    bool writeExecuteFile(const std::string& site, const std::string& recipient);

    // Opens the data file for the export to fill, in place; the export puts it
    // on the disk before the command file is written. The file is made
    // afresh (never written through what stands under its name) and readable
    // by the transfer. False, with "Cannot open NNNN.DAT" logged, when it
    // cannot be made.
    bool openDataFile(plat::Stream& dat);

    // Creates the command file and puts it on the disk, then the names of
    // the job's three files. False, with "Cannot open .cmd", "Cannot write
    // .cmd" or "Cannot write the spool directory" logged, when the job is not
    // complete there.
    bool writeCommandFile(const std::string& site);

private:
    bool writeFile(const char* extension, const char* label, const std::string& bytes);

    std::string spoolDir_;
    int32_t number_;
    JobKind kind_;
    store::UndoLog& undo_;
    ActivityLog& log_;
};

}  // namespace brem::outbound
