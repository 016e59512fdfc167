// The records of the index files, the site options and the import loops
// that import-mail, import-news and cycle share.
#include "inbound.h"

#include <cstdio>

#include "brem32.h"
#include "cli.h"
#include "progress.h"
#include "runs.h"
#include "store/layout.h"
#include "text/format.h"

namespace brem::cli {

namespace {

// Both spellings of one option; false when both are given.
bool takeEither(std::vector<std::string>& args, const char* name, const char* oldName, std::string* value) {
    std::string a, b;
    bool haveA = takeOption(args, name, &a), haveB = takeOption(args, oldName, &b);
    if (haveA && haveB) return false;
    if (haveA || haveB) *value = haveA ? a : b;
    return true;
}

}  // namespace

void printMailRecord(const MailRecord& r, size_t index) {
    std::printf("#%zu  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", index, r.start, r.end - r.start,
                shown(r.to).c_str(), shown(r.from).c_str(), shown(r.date).c_str(), shown(r.messageId).c_str(),
                shown(r.subject).c_str(), shown(r.cc).c_str());
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

}  // namespace

std::string mailRecordJson(const MailRecord& r) {
    return "{\"to\": " + headerValueJson(r.to) + ", \"from\": " + headerValueJson(r.from) +
           ", \"date\": " + headerValueJson(r.date) +
           ", \"message_id\": " + headerValueJson(r.messageId, !r.hasMessageId()) +
           ", \"subject\": " + headerValueJson(r.subject, !r.hasSubject()) +
           ", \"cc\": " + headerValueJson(r.cc, !r.hasCc()) + ", \"start\": " + std::to_string(r.start) +
           ", \"end\": " + std::to_string(r.end) + ", \"length\": " + std::to_string(r.end - r.start) +
           ", \"raw\": " + rawJson(r.raw) + "}";
}

void printNewsRecord(const NewsRecord& r, int batch, size_t index) {
    std::string label = batch > 0 ? std::to_string(batch) + "." + std::to_string(index) : std::to_string(index);
    std::printf("#%s  area %d  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", label.c_str(), r.area,
                r.start, r.end - r.start, shown(r.from).c_str(), shown(r.date).c_str(), shown(r.messageId).c_str(),
                shown(r.subject).c_str(), shown(r.references).c_str(), shown(r.lines).c_str());
}

std::string newsRecordJson(const NewsRecord& r, int batch) {
    std::string o = "{";
    if (batch > 0) o += "\"batch\": " + std::to_string(batch) + ", ";
    int32_t lines = 0;
    const bool haveLines = r.lineCount(&lines);
    return o + "\"area\": " + std::to_string(r.area) + ", \"from\": " + headerValueJson(r.from) +
           ", \"date\": " + headerValueJson(r.date) + ", \"message_id\": " + headerValueJson(r.messageId) +
           ", \"subject\": " + headerValueJson(r.subject) +
           ", \"references\": " + headerValueJson(r.references, !r.hasReferences()) +
           ", \"lines\": " + (haveLines ? std::to_string(lines) : std::string("null")) +
           ", \"start\": " + std::to_string(r.start) + ", \"end\": " + std::to_string(r.end) +
           ", \"length\": " + std::to_string(r.end - r.start) + ", \"raw\": " + rawJson(r.raw) + "}";
}

void JsonArrayOut::add(const std::string& object, const char* indent) {
    std::printf("%s\n%s  %s", any_ ? "," : "", indent, object.c_str());
    any_ = true;
}

void JsonArrayOut::close(const char* indent) {
    if (any_) std::printf("\n%s", indent);
    std::fputs("]", stdout);
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

namespace {

void showMail(const RecordOutput& show, const MailRecord& r, int64_t index) {
    if (show.kind == RecordOutput::Kind::Text) printMailRecord(r, static_cast<size_t>(index));
    if (show.kind == RecordOutput::Kind::Json) show.json->add(mailRecordJson(r), " ");
}

// The size of a file, 0 when it is not there.
int64_t sizeOf(const std::string& path) {
    plat::Stream in;
    if (!in.open(path, "rb", 64)) return 0;
    const int64_t n = in.size();
    return n < 0 ? 0 : n;
}

// How many entries SPOOL/bad holds: what the importers have set aside.
size_t setAsideCount(const std::string& spool) {
    return plat::findFiles(layout::join(layout::join(spool, layout::kBadDirectory), "*")).size();
}

}  // namespace

bool importAllMail(const std::string& spoolDir, const std::string& storeDir, const ImportOptions& o,
                   const RecordOutput& show, MailRun* run) {
    const std::string hdrPath = layout::join(storeDir, layout::kMailIndex);
    Progress progress("importing mail");
    int64_t before = sizeOf(hdrPath);
    std::string lastSubject;
    for (;;) {
        std::vector<char> spool = directoryBuffer(spoolDir);
        std::vector<char> store = directoryBuffer(storeDir);
        if (IMPMAIL(spool.data(), store.data(), o.neighbour.c_str(), o.localSite.c_str(), o.verbosity) != 0) break;
        ++run->imported;
        // The records this call added, read one at a time from where the
        // file ended before it.
        store::RecordReader added;
        if (added.open(hdrPath, before)) {
            progress.clear();
            for (MailRecord rec; added.next(rec);) {
                showMail(show, rec, ++run->records);
                lastSubject = rec.subject;
            }
            if (show.kind != RecordOutput::Kind::Nothing) std::fflush(stdout);
        }
        before = sizeOf(hdrPath);
        progress.step(run->imported, -1, lastSubject);
    }
    progress.clear();
    const std::string logPath = layout::join(storeDir, layout::kMailLog);
    if (run->imported == 0 && !plat::fileExists(logPath)) {
        std::string why = openProblem(logPath, true);
        std::fprintf(stderr, "brem: mail import failed: cannot open %s: %s\n", logPath.c_str(),
                     why.empty() ? "the library could not" : why.c_str());
        return false;
    }
    return true;
}

int32_t importAllNews(const std::string& spoolDir, const std::string& storeDir, const ImportOptions& o,
                      const RecordOutput& show, NewsRun* run) {
    const std::string hdrPath = layout::join(spoolDir, layout::kNewsIndex);
    Progress progress("filing news");
    int32_t r;
    size_t setAside = setAsideCount(spoolDir);
    for (;;) {
        std::vector<char> spool = directoryBuffer(spoolDir);
        std::vector<char> store = directoryBuffer(storeDir);
        r = IMPNEWS(spool.data(), store.data(), o.neighbour.c_str(), o.localSite.c_str(), o.verbosity, o.bits);
        if (r < 0) {
            // A call that set a bad job aside fails, and the next one goes on
            // with the next job: only a failure that set nothing aside ends
            // the run.
            const size_t now = setAsideCount(spoolDir);
            if (now == setAside) break;
            setAside = now;
            continue;
        }
        if (r != 0) break;
        ++run->batches;
        // Header.Msg is absent when the batch filed nothing.
        store::RecordReader recs;
        if (recs.open(hdrPath)) {
            progress.clear();
            size_t index = 0;
            for (NewsRecord rec; recs.next(rec);) {
                ++run->articles;
                ++index;
                if (show.kind == RecordOutput::Kind::Text) printNewsRecord(rec, run->batches, index);
                if (show.kind == RecordOutput::Kind::Json) show.json->add(newsRecordJson(rec, run->batches), " ");
            }
            if (show.kind != RecordOutput::Kind::Nothing) std::fflush(stdout);
        }
        progress.step(run->batches, -1, std::to_string(run->articles) + " articles");
    }
    progress.clear();
    if (r < 0) {
        const std::string logPath = layout::join(storeDir, layout::kNewsLog);
        std::string last = lastLogLine(logPath);
        if (last.empty()) {
            std::string why = openProblem(logPath, true);
            std::fprintf(stderr, "brem: news import failed; %s holds no details: %s\n", logPath.c_str(),
                         why.empty() ? "it is empty" : why.c_str());
        } else {
            std::fprintf(stderr, "brem: news import failed: %s (details in %s)\n", shown(last).c_str(),
                         logPath.c_str());
        }
    }
    return r;
}

}  // namespace brem::cli
