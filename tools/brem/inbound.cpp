// The records of the index files, the site options and the import loops
// that import-mail, import-news and cycle share.
#include "inbound.h"

#include <cstdio>

#include "brem32.h"
#include "cli.h"
#include "progress.h"

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
    if (haveA && haveB) {
        std::fprintf(stderr, "brem: %s and %s name the same site; give one\n", name, oldName);
        return false;
    }
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
        recs.push_back(r);
    }
    return recs;
}

void printMailRecord(const MailRecord& r, size_t index) {
    std::printf("#%zu  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", index, r.start, r.end - r.start,
                r.to.c_str(), r.from.c_str(), r.date.c_str(), r.messageId.c_str(), r.subject.c_str(), r.cc.c_str());
}

std::string mailRecordJson(const MailRecord& r) {
    return "{\"to\": " + jsonString(r.to) + ", \"from\": " + jsonString(r.from) + ", \"date\": " +
           jsonString(r.date) + ", \"message_id\": " + jsonString(r.messageId) + ", \"subject\": " +
           jsonString(r.subject) + ", \"cc\": " + jsonString(r.cc) + ", \"start\": " + std::to_string(r.start) +
           ", \"end\": " + std::to_string(r.end) + ", \"length\": " + std::to_string(r.end - r.start) + "}";
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
    return o + "\"area\": " + std::to_string(r.area) + ", \"from\": " + jsonString(r.from) +
           ", \"date\": " + jsonString(r.date) + ", \"message_id\": " + jsonString(r.messageId) +
           ", \"subject\": " + jsonString(r.subject) + ", \"references\": " + jsonString(r.references) +
           ", \"lines\": " + jsonString(r.lines) + ", \"start\": " + std::to_string(r.start) +
           ", \"end\": " + std::to_string(r.end) + ", \"length\": " + std::to_string(r.end - r.start) + "}";
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

bool takeImportOptions(std::vector<std::string>& args, ImportOptions* o) {
    std::string v = "2", b = "0";
    if (!takeEither(args, "--neighbour", "--site", &o->neighbour)) return false;
    takeOption(args, "--local-site", &o->localSite);
    takeOption(args, "--verbosity", &v);
    takeOption(args, "--bits", &b);
    return parseInt32(v, &o->verbosity) && parseInt32(b, &o->bits) && o->bits >= 0;
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
    std::string logBytes;
    if (run->imported == 0 && !readWholeFile(inDirectory(storeDir, "mail.log"), &logBytes)) {
        std::fprintf(stderr, "brem: cannot open %s: is STORE a writable directory?\n",
                     inDirectory(storeDir, "mail.log").c_str());
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
    if (r < 0) std::fprintf(stderr, "brem: news import failed (see %s)\n", inDirectory(storeDir, "news.log").c_str());
    return r;
}

}  // namespace brem::cli
