// The verbs of brem and the small helpers they share.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace brem::cli {

struct Verb {
    std::string summary;  // one line for the verb list
    std::string usage;    // the full --help text
    std::function<int(std::vector<std::string>&)> run;  // the arguments after the verb
};

using VerbTable = std::map<std::string, Verb>;

// Each group of verbs registers itself here.
void registerMailVerbs(VerbTable& verbs);
void registerDialVerbs(VerbTable& verbs);
void registerWriteVerbs(VerbTable& verbs);
void registerExportVerbs(VerbTable& verbs);
void registerEncodeVerbs(VerbTable& verbs);
void registerNewsVerbs(VerbTable& verbs);

// Exit statuses, the same for every verb.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the work failed (the library, a file, a directory)
inline constexpr int kExitUsage = 2;   // the command line was wrong
inline constexpr int kExitWorkLeft = 3;  // done, but jobs are left in the spool
inline constexpr int kExitBusy = 4;      // another run holds the store's lock

// A usage error: "brem VERB: WHAT" and the verb's usage line on standard
// error; returns kExitUsage.
int usageError(const std::string& verb, const std::string& what, const std::string& usage);
// What is wrong with the count of positional arguments ("STORE is missing",
// "unexpected argument 'x'"); empty when `args` holds exactly `names`.
std::string positionalProblem(const std::vector<std::string>& args, const std::vector<std::string>& names);
// Takes "--name N" when present (else keeps *out) and checks that N is a
// decimal number from lo to hi; the problem in words, or empty.
std::string takeNumber(std::vector<std::string>& args, const std::string& name, int32_t lo, int32_t hi,
                       int32_t* out);

// Takes "--name VALUE" out of args; true when present.
bool takeOption(std::vector<std::string>& args, const std::string& name, std::string* value);
// Takes "--name" out of args; true when present.
bool takeFlag(std::vector<std::string>& args, const std::string& name);
// Parses a signed 32-bit decimal number; false when it is not one.
bool parseInt32(const std::string& text, int32_t* out);

// A directory argument in a buffer with room for the separators the
// importers append in place on every call.
std::vector<char> directoryBuffer(const std::string& dir, size_t calls = 4);

// Reads a whole file; false when it cannot be opened.
bool readWholeFile(const std::string& path, std::string* out);

// Text from the spool, the store or a log as plain-text output shows it:
// control bytes escaped ("\x1b"), so that nothing a remote site sent acts on
// the terminal. JSON output escapes them its own way (jsonString).
std::string shown(const std::string& text);

// Quotes a string for JSON output; the result is always valid UTF-8 (bytes
// that form no UTF-8 sequence are taken as ISO-8859-1).
std::string jsonString(const std::string& s);

// Reads a stored range back exactly as a host does, chunk by chunk; prints the
// text to standard output and returns the library's last result (-1 with the
// error text on standard error).
enum class ReadKind { Message, News, Mapi, Extract };
int32_t readStoredToStdout(const std::string& dir, int32_t area, int32_t start, int32_t length, ReadKind kind,
                           std::string* error, std::string* textOut = nullptr);

}  // namespace brem::cli
