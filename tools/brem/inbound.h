// What the inbound verbs (import-mail, import-news, list-mail, list-news,
// cycle) share: the index records as brem shows them, and the site options.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "store/index_reader.h"

namespace brem::cli {

// The index records, read by the core's RecordReader.
using store::MailRecord;
using store::NewsRecord;

// The records as text (one block each, control bytes escaped) and as one
// JSON object each; `batch` below 1 leaves the batch number out. In JSON a header field is its value
// without the header's name, null where the record holds the library's
// placeholder for a missing header (NO CC, an empty Date, Message-ID: <0>,
// no References); the record's lines as stored are under "raw".
void printMailRecord(const MailRecord& r, size_t index);
std::string mailRecordJson(const MailRecord& r);
void printNewsRecord(const NewsRecord& r, int batch, size_t index);
std::string newsRecordJson(const NewsRecord& r, int batch);

// A JSON array printed as its objects come, one to a line: open() prints
// "[", add() each object, close() the "]" (indented by `indent`).
class JsonArrayOut {
public:
    void open() { std::fputs("[", stdout); }
    void add(const std::string& object, const char* indent = "");
    void close(const char* indent = "");

private:
    bool any_ = false;
};

// How an import shows the records it adds: not at all, as text blocks, or as
// the objects of a JSON array that the caller has opened.
struct RecordOutput {
    enum class Kind { Nothing, Text, Json } kind = Kind::Nothing;
    JsonArrayOut* json = nullptr;
};

// The site names of the importers. --neighbour names the UUCP neighbour the
// jobs come from, --local-site this system; --site is the neighbour's old
// spelling, still taken so that existing scripts keep working.
struct ImportOptions {
    std::string neighbour, localSite;
    int32_t verbosity = 2;
    int32_t bits = 0;
};
// Takes --neighbour (--site), --local-site, --verbosity and --bits (0, or 9
// to 16: the compressor's code widths); false on a malformed or out-of-range
// number or a name given twice under both spellings, with what is wrong in
// *problem.
bool takeImportOptions(std::vector<std::string>& args, ImportOptions* o, std::string* problem = nullptr);
extern const char* const kImportOptionsHelp;

// An import verb's command line: the options, SPOOL and STORE.
struct ImportCommand {
    ImportOptions o;
    bool quiet = false, json = false;
    int32_t wait = 0;
    std::string spool, store;
};
class RunLock;
// Reads the command line (a usage error names what is wrong), checks that
// both directories can be used and takes the store's lock. kExitOk when the
// import can begin; otherwise the exit status, the message already given.
int prepareImport(const std::string& verb, std::vector<std::string>& args, const std::string& usage,
                  ImportCommand* c, RunLock* lock);

// Imports every mail job (IMPMAIL until -1), showing each imported record as
// it comes; nothing is kept of them but their count. False when nothing was
// imported because the store cannot take its log: IMPMAIL answers -1 alike
// for that and for an empty spool, and a script must not take the first for
// a quiet night.
struct MailRun {
    int imported = 0;
    int64_t records = 0;
};
bool importAllMail(const std::string& spool, const std::string& store, const ImportOptions& o,
                   const RecordOutput& show, MailRun* run);

// Imports every news job (IMPNEWS until 1 or -1), showing the records of each
// batch with their batch number as for mail. A -1 from a call that set a bad
// job aside into SPOOL/bad/ does not end the run: the next call goes on with
// the next job. Returns IMPNEWS's last result.
struct NewsRun {
    int batches = 0;
    int64_t articles = 0;
};
int32_t importAllNews(const std::string& spool, const std::string& store, const ImportOptions& o,
                      const RecordOutput& show, NewsRun* run);

}  // namespace brem::cli
