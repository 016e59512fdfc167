// What the inbound verbs (import-mail, import-news, list-mail, list-news,
// cycle) share: the index records as brem shows them, and the site options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brem::cli {

// One eight-line record of mail.hdr.
struct MailRecord {
    std::string to, from, date, messageId, subject, cc;
    int32_t start = 0, end = 0;
    std::vector<std::string> raw;  // the eight lines as stored
};

// One nine-line record of Header.Msg.
struct NewsRecord {
    int32_t area = 0, start = 0, end = 0;
    std::string from, date, messageId, subject, references, lines;
    std::vector<std::string> raw;  // the nine lines as stored
};

// Splits index files (CR LF lines on disk) into their records; a trailing
// part record is left out. Mail records are read from byte `from` on.
std::vector<MailRecord> parseMailHeaders(const std::string& bytes, size_t from = 0);
std::vector<NewsRecord> parseNewsHeaders(const std::string& bytes);

// The records as text (one block each) and as one JSON object each; `batch`
// below 1 leaves the batch number out. In JSON a header field is its value
// without the header's name, null where the record holds the library's
// placeholder for a missing header (NO CC, an empty Date, Message-ID: <0>,
// no References); the record's lines as stored are under "raw".
void printMailRecord(const MailRecord& r, size_t index);
std::string mailRecordJson(const MailRecord& r);
void printNewsRecord(const NewsRecord& r, int batch, size_t index);
std::string newsRecordJson(const NewsRecord& r, int batch);

// Prints a JSON array of the given objects, one to a line.
void printJsonArray(const std::vector<std::string>& objects, const char* indent = "");

std::string inDirectory(const std::string& dir, const char* leaf);

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

// Imports every mail job (IMPMAIL until -1); `print` shows each imported
// record as it comes. False when nothing was imported because
// the store cannot take its log: IMPMAIL answers -1 alike for that and for an
// empty spool, and a script must not take the first for a quiet night.
struct MailRun {
    int imported = 0;
    std::vector<MailRecord> records;
};
bool importAllMail(const std::string& spool, const std::string& store, const ImportOptions& o, bool print,
                   MailRun* run);

// Imports every news job (IMPNEWS until 1 or -1); the records of each batch
// are kept with their batch number; `print` as for mail. Returns IMPNEWS's
// last result.
struct NewsRun {
    int batches = 0;
    std::vector<std::pair<int, NewsRecord>> records;
};
int32_t importAllNews(const std::string& spool, const std::string& store, const ImportOptions& o, bool print,
                      NewsRun* run);

}  // namespace brem::cli
