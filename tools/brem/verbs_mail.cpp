// Verbs of mail import and of reading the store.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "progress.h"

namespace brem::cli {

namespace {

struct MailRecord {
    std::string to, from, date, messageId, subject, cc;
    int32_t start = 0, end = 0;
};

std::string stripLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// Splits mail.hdr (CR LF lines on disk) into its eight-line records, starting
// at byte `from`.
std::vector<MailRecord> parseMailHeaders(const std::string& bytes, size_t from = 0) {
    std::vector<std::string> lines;
    size_t pos = from;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos) lf = bytes.size();
        lines.push_back(stripLineEnd(bytes.substr(pos, lf - pos)));
        pos = lf + 1;
    }
    std::vector<MailRecord> recs;
    for (size_t i = 0; i + 8 <= lines.size(); i += 8) {
        MailRecord r;
        r.to = lines[i];
        r.from = lines[i + 1];
        r.date = lines[i + 2];
        r.messageId = lines[i + 3];
        r.subject = lines[i + 4];
        r.cc = lines[i + 5];
        parseInt32(lines[i + 6], &r.start);
        parseInt32(lines[i + 7], &r.end);
        recs.push_back(r);
    }
    return recs;
}

void printRecord(const MailRecord& r, size_t index) {
    std::printf("#%zu  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", index, r.start, r.end - r.start,
                r.to.c_str(), r.from.c_str(), r.date.c_str(), r.messageId.c_str(), r.subject.c_str(), r.cc.c_str());
}

void printRecordJson(const MailRecord& r, bool comma) {
    std::printf("  {\"to\": %s, \"from\": %s, \"date\": %s, \"message_id\": %s, \"subject\": %s, \"cc\": %s, "
                "\"start\": %d, \"end\": %d, \"length\": %d}%s\n",
                jsonString(r.to).c_str(), jsonString(r.from).c_str(), jsonString(r.date).c_str(),
                jsonString(r.messageId).c_str(), jsonString(r.subject).c_str(), jsonString(r.cc).c_str(), r.start,
                r.end, r.end - r.start, comma ? "," : "");
}

std::string joinPath(const std::string& dir, const char* leaf) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + leaf;
    return dir + "/" + leaf;
}

int importMail(std::vector<std::string>& args) {
    std::string first = "", second = "", v = "2";
    takeOption(args, "--site", &first);
    takeOption(args, "--local-site", &second);
    takeOption(args, "--verbosity", &v);
    bool quiet = takeFlag(args, "--quiet");
    int32_t verbosity = 0;
    if (args.size() != 2 || !parseInt32(v, &verbosity)) {
        std::fprintf(stderr, "usage: brem import-mail SPOOL STORE [--site NAME] [--local-site NAME] [--verbosity N]\n");
        return kExitUsage;
    }
    const std::string hdrPath = joinPath(args[1], "mail.hdr");
    int imported = 0;
    Progress progress("importing mail");
    for (;;) {
        std::string before;
        readWholeFile(hdrPath, &before);
        std::vector<char> spool = directoryBuffer(args[0]);
        std::vector<char> store = directoryBuffer(args[1]);
        int32_t r = IMPMAIL(spool.data(), store.data(), first.c_str(), second.c_str(), verbosity);
        if (r != 0) break;
        ++imported;
        std::string after;
        readWholeFile(hdrPath, &after);
        std::vector<MailRecord> added = parseMailHeaders(after, before.size());
        if (!quiet) {
            progress.clear();
            for (const MailRecord& rec : added) printRecord(rec, imported);
            std::fflush(stdout);
        }
        progress.step(imported, -1, added.empty() ? std::string() : added.back().subject);
    }
    progress.clear();
    // IMPMAIL gives -1 alike for "nothing left" and for a store whose log it
    // cannot open; a script must not take the second for a quiet night.
    std::string logBytes;
    if (imported == 0 && !readWholeFile(joinPath(args[1], "mail.log"), &logBytes)) {
        std::fprintf(stderr, "brem: cannot open %s: is STORE a writable directory?\n",
                     joinPath(args[1], "mail.log").c_str());
        return kExitFailed;
    }
    std::printf("%d mail%s imported\n", imported, imported == 1 ? "" : "s");
    return kExitOk;
}

int listMail(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: brem list-mail STORE [--json]\n");
        return kExitUsage;
    }
    std::string bytes;
    if (!readWholeFile(joinPath(args[0], "mail.hdr"), &bytes)) {
        std::fprintf(stderr, "brem: cannot open %s\n", joinPath(args[0], "mail.hdr").c_str());
        return kExitFailed;
    }
    std::vector<MailRecord> recs = parseMailHeaders(bytes);
    if (json) {
        std::printf("[\n");
        for (size_t i = 0; i < recs.size(); ++i) printRecordJson(recs[i], i + 1 < recs.size());
        std::printf("]\n");
    } else {
        for (size_t i = 0; i < recs.size(); ++i) printRecord(recs[i], i + 1);
    }
    return kExitOk;
}

int readVerb(std::vector<std::string>& args) {
    std::string how = "message";
    takeOption(args, "--reader", &how);
    ReadKind kind;
    if (how == "message") kind = ReadKind::Message;
    else if (how == "news") kind = ReadKind::News;
    else if (how == "mapi") kind = ReadKind::Mapi;
    else if (how == "extract" || how == "body") kind = ReadKind::Extract;
    else {
        std::fprintf(stderr, "brem: --reader takes message, news, mapi or extract\n");
        return kExitUsage;
    }
    int32_t area = 0, start = 0, length = 0;
    if (args.size() != 4 || !parseInt32(args[1], &area) || !parseInt32(args[2], &start) ||
        !parseInt32(args[3], &length)) {
        std::fprintf(stderr, "usage: brem read STORE AREA START LENGTH [--reader message|news|mapi|extract]\n");
        return kExitUsage;
    }
    std::string error;
    int32_t r = readStoredToStdout(args[0], area, start, length, kind, &error);
    if (r < 0) {
        std::fprintf(stderr, "brem: %s\n", stripLineEnd(error).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void registerMailVerbs(VerbTable& verbs) {
    verbs["import-mail"] = {
        "import every inbound mail job of a spool into a store",
        "usage: brem import-mail SPOOL STORE [--site NAME] [--local-site NAME] [--verbosity N] [--quiet]\n"
        "  Calls IMPMAIL until no mail job is left and prints the record of each\n"
        "  imported mail. --site and --local-site are the two UUCP site names that\n"
        "  map the execute files' data file names to local spool names. The log is\n"
        "  STORE/mail.log (verbosity 2 by default).\n",
        importMail};
    verbs["list-mail"] = {"list the records of a store's mail.hdr",
                          "usage: brem list-mail STORE [--json]\n"
                          "  Prints each eight-line record of STORE/mail.hdr with its area address.\n",
                          listMail};
    verbs["read"] = {"read a stored message back by area, start and length",
                     "usage: brem read STORE AREA START LENGTH [--reader message|news|mapi|extract]\n"
                     "  Reads the range chunk by chunk as a host does (READMESSAGE by default)\n"
                     "  and prints the text with CR LF line ends. --reader extract prints the\n"
                     "  body alone (EXTRACTMESSAGE).\n",
                     readVerb};
}

}  // namespace brem::cli
