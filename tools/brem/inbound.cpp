// The records of the index files, the site options and the import loops
// that import-mail, import-news and cycle share.
#include "inbound.h"

#include <cctype>
#include <cstdio>

#include "brem32.h"
#include "cli.h"
#include "progress.h"
#include "runs.h"

namespace brem::cli {

namespace {

std::string withoutLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

std::vector<std::string> splitLines(const std::string& bytes, size_t from) {
    std::vector<std::string> lines;
    size_t pos = from;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos) lf = bytes.size();
        lines.push_back(withoutLineEnd(bytes.substr(pos, lf - pos)));
        pos = lf + 1;
    }
    return lines;
}

// Both spellings of one option; false when both are given.
bool takeEither(std::vector<std::string>& args, const char* name, const char* oldName, std::string* value) {
    std::string a, b;
    bool haveA = takeOption(args, name, &a), haveB = takeOption(args, oldName, &b);
    if (haveA && haveB) return false;
    if (haveA || haveB) *value = haveA ? a : b;
    return true;
}

}  // namespace

std::string inDirectory(const std::string& dir, const char* leaf) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + leaf;
    return dir + "/" + leaf;
}

std::vector<MailRecord> parseMailHeaders(const std::string& bytes, size_t from) {
    std::vector<std::string> lines = splitLines(bytes, from);
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
        r.raw.assign(lines.begin() + static_cast<long>(i), lines.begin() + static_cast<long>(i) + 8);
        recs.push_back(r);
    }
    return recs;
}

std::vector<NewsRecord> parseNewsHeaders(const std::string& bytes) {
    std::vector<std::string> lines = splitLines(bytes, 0);
    std::vector<NewsRecord> recs;
    for (size_t i = 0; i + 9 <= lines.size(); i += 9) {
        NewsRecord r;
        parseInt32(lines[i], &r.area);
        r.from = lines[i + 1];
        r.date = lines[i + 2];
        r.messageId = lines[i + 3];
        r.subject = lines[i + 4];
        r.references = lines[i + 5];
        r.lines = lines[i + 6];
        parseInt32(lines[i + 7], &r.start);
        parseInt32(lines[i + 8], &r.end);
        r.raw.assign(lines.begin() + static_cast<long>(i), lines.begin() + static_cast<long>(i) + 9);
        recs.push_back(r);
    }
    return recs;
}

void printMailRecord(const MailRecord& r, size_t index) {
    std::printf("#%zu  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", index, r.start, r.end - r.start,
                r.to.c_str(), r.from.c_str(), r.date.c_str(), r.messageId.c_str(), r.subject.c_str(), r.cc.c_str());
}

namespace {

// A header line's value: what follows the name and its colon, without the
// blanks around it; null when there is none or `placeholder` says the
// library wrote it for a header the message did not have.
std::string headerValueJson(const std::string& line, bool placeholder = false) {
    size_t colon = line.find(':');
    if (placeholder || colon == std::string::npos) return "null";
    size_t b = line.find_first_not_of(" \t", colon + 1);
    if (b == std::string::npos) return "null";
    size_t e = line.find_last_not_of(" \t");
    return jsonString(line.substr(b, e - b + 1));
}

std::string rawJson(const std::vector<std::string>& lines) {
    std::string o = "[";
    for (size_t i = 0; i < lines.size(); ++i) o += (i ? ", " : "") + jsonString(lines[i]);
    return o + "]";
}

bool startsNoCase(const std::string& s, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string mailRecordJson(const MailRecord& r) {
    return "{\"to\": " + headerValueJson(r.to) + ", \"from\": " + headerValueJson(r.from) +
           ", \"date\": " + headerValueJson(r.date) +
           ", \"message_id\": " + headerValueJson(r.messageId, r.messageId == "Message-ID: <0>") +
           ", \"subject\": " + headerValueJson(r.subject, r.subject == "Subject: Wasn't one for this message") +
           ", \"cc\": " + headerValueJson(r.cc, r.cc == "NO CC") + ", \"start\": " + std::to_string(r.start) +
           ", \"end\": " + std::to_string(r.end) + ", \"length\": " + std::to_string(r.end - r.start) +
           ", \"raw\": " + rawJson(r.raw) + "}";
}

void printNewsRecord(const NewsRecord& r, int batch, size_t index) {
    std::string label = batch > 0 ? std::to_string(batch) + "." + std::to_string(index) : std::to_string(index);
    std::printf("#%s  area %d  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", label.c_str(), r.area,
                r.start, r.end - r.start, r.from.c_str(), r.date.c_str(), r.messageId.c_str(), r.subject.c_str(),
                r.references.c_str(), r.lines.c_str());
}

std::string newsRecordJson(const NewsRecord& r, int batch) {
    std::string o = "{";
    if (batch > 0) o += "\"batch\": " + std::to_string(batch) + ", ";
    // Without a References line the record repeats the Message-ID line.
    bool noReferences = !startsNoCase(r.references, "References:");
    int32_t lines = 0;
    size_t colon = r.lines.find(':');
    std::string count = colon == std::string::npos ? std::string() : r.lines.substr(colon + 1);
    while (!count.empty() && (count.front() == ' ' || count.front() == '\t')) count.erase(0, 1);
    while (!count.empty() && (count.back() == ' ' || count.back() == '\t')) count.pop_back();
    bool haveLines = parseInt32(count, &lines) && lines >= 0;
    return o + "\"area\": " + std::to_string(r.area) + ", \"from\": " + headerValueJson(r.from) +
           ", \"date\": " + headerValueJson(r.date) + ", \"message_id\": " + headerValueJson(r.messageId) +
           ", \"subject\": " + headerValueJson(r.subject) +
           ", \"references\": " + headerValueJson(r.references, noReferences) +
           ", \"lines\": " + (haveLines ? std::to_string(lines) : std::string("null")) +
           ", \"start\": " + std::to_string(r.start) + ", \"end\": " + std::to_string(r.end) +
           ", \"length\": " + std::to_string(r.end - r.start) + ", \"raw\": " + rawJson(r.raw) + "}";
}

void printJsonArray(const std::vector<std::string>& objects, const char* indent) {
    if (objects.empty()) {
        std::printf("[]");
        return;
    }
    std::printf("[\n");
    for (size_t i = 0; i < objects.size(); ++i)
        std::printf("%s  %s%s\n", indent, objects[i].c_str(), i + 1 < objects.size() ? "," : "");
    std::printf("%s]", indent);
}

const char* const kImportOptionsHelp =
    "  --neighbour NAME      the UUCP neighbour the jobs come from (old spelling: --site)\n"
    "  --local-site NAME     this system's UUCP site name; with the neighbour's it\n"
    "                        maps the data file names of the execute files to\n"
    "                        their local spool names\n"
    "  --verbosity N         log verbosity (default 2)\n";

bool takeImportOptions(std::vector<std::string>& args, ImportOptions* o, std::string* problem) {
    std::string wrong;
    if (!takeEither(args, "--neighbour", "--site", &o->neighbour)) wrong = "--neighbour and --site name the same site; give one";
    takeOption(args, "--local-site", &o->localSite);
    if (wrong.empty()) wrong = takeNumber(args, "--verbosity", INT32_MIN, INT32_MAX, &o->verbosity);
    if (wrong.empty()) {
        wrong = takeNumber(args, "--bits", 0, 16, &o->bits);
        // zorpack's codes are 9 to 16 bits wide; 0 means plain batches.
        if (wrong.empty() && o->bits > 0 && o->bits < 9) {
            wrong = "--bits: " + std::to_string(o->bits) + " is out of range (0 for plain batches, or 9 to 16)";
        } else if (wrong.find("out of range") != std::string::npos) {
            wrong = wrong.substr(0, wrong.find(" (")) + " (0 for plain batches, or 9 to 16)";
        }
    }
    if (problem) *problem = wrong;
    return wrong.empty();
}

int prepareImport(const std::string& verb, std::vector<std::string>& args, const std::string& usage,
                  ImportCommand* c, RunLock* lock) {
    c->quiet = takeFlag(args, "--quiet");
    c->json = takeFlag(args, "--json");
    std::string problem;
    if (!takeImportOptions(args, &c->o, &problem)) return usageError(verb, problem, usage);
    problem = takeWait(args, &c->wait);
    if (problem.empty()) problem = positionalProblem(args, {"SPOOL", "STORE"});
    if (!problem.empty()) return usageError(verb, problem, usage);
    c->spool = args[0];
    c->store = args[1];
    if (!usableDirectory(c->spool, "spool directory") || !usableDirectory(c->store, "store directory")) {
        return kExitFailed;
    }
    return lock->take(c->store, c->wait);
}

bool importAllMail(const std::string& spoolDir, const std::string& storeDir, const ImportOptions& o, bool print,
                   MailRun* run) {
    const std::string hdrPath = inDirectory(storeDir, "mail.hdr");
    Progress progress("importing mail");
    std::string before;
    readWholeFile(hdrPath, &before);
    for (;;) {
        std::vector<char> spool = directoryBuffer(spoolDir);
        std::vector<char> store = directoryBuffer(storeDir);
        if (IMPMAIL(spool.data(), store.data(), o.neighbour.c_str(), o.localSite.c_str(), o.verbosity) != 0) break;
        ++run->imported;
        std::string after;
        readWholeFile(hdrPath, &after);
        std::vector<MailRecord> added = parseMailHeaders(after, after.size() >= before.size() ? before.size() : 0);
        before.swap(after);
        if (print) {
            progress.clear();
            for (const MailRecord& rec : added) printMailRecord(rec, run->records.size() + 1);
            std::fflush(stdout);
        }
        for (MailRecord& rec : added) run->records.push_back(std::move(rec));
        progress.step(run->imported, -1, run->records.empty() ? std::string() : run->records.back().subject);
    }
    progress.clear();
    const std::string logPath = inDirectory(storeDir, "mail.log");
    if (run->imported == 0 && !plat::fileExists(logPath)) {
        std::string why = openProblem(logPath, true);
        std::fprintf(stderr, "brem: mail import failed: cannot open %s: %s\n", logPath.c_str(),
                     why.empty() ? "the library could not" : why.c_str());
        return false;
    }
    return true;
}

int32_t importAllNews(const std::string& spoolDir, const std::string& storeDir, const ImportOptions& o, bool print,
                      NewsRun* run) {
    const std::string hdrPath = inDirectory(spoolDir, "Header.Msg");
    Progress progress("filing news");
    int32_t r;
    for (;;) {
        std::vector<char> spool = directoryBuffer(spoolDir);
        std::vector<char> store = directoryBuffer(storeDir);
        r = IMPNEWS(spool.data(), store.data(), o.neighbour.c_str(), o.localSite.c_str(), o.verbosity, o.bits);
        if (r != 0) break;
        ++run->batches;
        std::string bytes;
        readWholeFile(hdrPath, &bytes);  // absent when the batch filed nothing
        std::vector<NewsRecord> recs = parseNewsHeaders(bytes);
        if (print) {
            progress.clear();
            for (size_t i = 0; i < recs.size(); ++i) printNewsRecord(recs[i], run->batches, i + 1);
            std::fflush(stdout);
        }
        for (NewsRecord& rec : recs) run->records.emplace_back(run->batches, std::move(rec));
        progress.step(run->batches, -1, std::to_string(run->records.size()) + " articles");
    }
    progress.clear();
    if (r < 0) {
        const std::string logPath = inDirectory(storeDir, "news.log");
        std::string last = lastLogLine(logPath);
        if (last.empty()) {
            std::string why = openProblem(logPath, true);
            std::fprintf(stderr, "brem: news import failed; %s holds no details: %s\n", logPath.c_str(),
                         why.empty() ? "it is empty" : why.c_str());
        } else {
            std::fprintf(stderr, "brem: news import failed: %s (details in %s)\n", last.c_str(), logPath.c_str());
        }
    }
    return r;
}

}  // namespace brem::cli
