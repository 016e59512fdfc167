// Where everything lies: the name of every file and folder that the library
// and brem keep in a store or a spool, and the two ways a path is joined.
// Fixed names only; which area file holds an area is store.h's rule, which
// local name a spool file gets is spool_name.h's. Nothing here touches the
// disk, and it depends on nothing, so the importers, the exporters and brem
// all take their names from here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brem::layout {

// ---- the store -------------------------------------------------------------

inline constexpr const char* kMailIndex = "mail.hdr";        // eight-line record per mail
inline constexpr const char* kMailAreaFile = "mailarea.txt";  // the mails themselves (area 0)
inline constexpr const char* kTempAreaFile = "temparea.dat";  // area -50, read only
inline constexpr const char* kAreaMap = "area.dat";           // newsgroup name and area number, in pairs
inline constexpr const char* kExportCounter = "export.dat";   // the last job number, four bytes
inline constexpr const char* kMailLog = "mail.log";
inline constexpr const char* kNewsLog = "news.log";
inline constexpr const char* kRunLock = "brem.lck";           // one brem run at a time on a store
inline constexpr const char* kMboxImportWork = "import-mbox.tmp";  // brem import-mbox's message in hand
inline constexpr const char* kMailDeliveryWork = "rmail.tmp";      // brem rmail's mail in hand
inline constexpr const char* kNewsDeliveryWork = "$7b60051.in";    // brem rnews's batch in hand
// Added to a file's name for its next contents, written beside it before
// they take its place ("export.dat.new").
inline constexpr const char* kReplacementSuffix = ".new";

// "area" + the number in decimal + ".txt" (area 12: "area12.txt").
std::string numberedAreaName(int32_t area);

// ---- the spool ---------------------------------------------------------------

inline constexpr const char* kNewsIndex = "Header.Msg";      // the records of the last batch filed
inline constexpr const char* kOutgoingMail = "rmail.z";      // the host's mail waiting for EXPMAIL
inline constexpr const char* kOutgoingNews = "rnews.z";      // the batch EXPNEWS sends
inline constexpr const char* kOutgoingNewsPlain = "rnews";   // a batch still to be compressed
// News import's working files: the batch expanded (or the plain one kept
// after its job), staged, on its way to being staged, and compressed.
inline constexpr const char* kNewsBatch = "$7b60051";
inline constexpr const char* kNewsBatchStaged = "$7b60051.int";
inline constexpr const char* kNewsBatchCopying = "$7b60051.tmp";
inline constexpr const char* kNewsBatchCompressed = "$7b60051.z";
inline constexpr const char* kBadDirectory = "bad";    // jobs set aside, never imported
inline constexpr const char* kHoldDirectory = "hold";  // attachments held back by the host
// Every execute file of a waiting job; its data file ends in ".D".
inline constexpr const char* kExecuteFilePattern = "*.x";
inline constexpr const char* kExecuteFileSuffix = ".X";
inline constexpr const char* kDataFileSuffix = ".D";

// An outgoing job's three files: NNNN.CMD (what to send), NNNN.XQT (the
// remote command) and NNNN.DAT (the message or batch).
inline constexpr const char* kCommandFile = "CMD";
inline constexpr const char* kExecuteFile = "XQT";
inline constexpr const char* kDataFile = "DAT";
// The job's file with the given extension: the number in four digits.
std::string jobFileName(int32_t number, const char* extension);

// The data file an execute file's job may also have, under its own name with
// the type letter D: where the transfer may have left a mail's message.
std::string dataFileBeside(const std::string& executeName);

// ---- joining ---------------------------------------------------------------

// The directory as the library works with it: one backslash appended, as
// the entry points hand over every directory the host gives.
std::string withSeparator(const std::string& dir);

// A file in a directory as brem shows it to its user: the directory as
// given, with a '/' between unless it already ends in a separator.
std::string join(const std::string& dir, std::string_view leaf);

}  // namespace brem::layout
