// Verbs of news import and of the whole inbound cycle.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"

namespace brem::cli {

namespace {

struct NewsRecord {
    int32_t area = 0, start = 0, end = 0;
    std::string from, date, messageId, subject, references, lines;
};

std::string withoutLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

std::string inDir(const std::string& dir, const char* leaf) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + leaf;
    return dir + "/" + leaf;
}

// Header.Msg: nine lines (CR LF on disk) per filed article.
std::vector<NewsRecord> parseNewsHeaders(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos) lf = bytes.size();
        lines.push_back(withoutLineEnd(bytes.substr(pos, lf - pos)));
        pos = lf + 1;
    }
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

void printRecord(const NewsRecord& r, int batch, size_t index) {
    std::printf("#%d.%zu  area %d  start %d  length %d\n  %s\n  %s\n  %s\n  %s\n  %s\n  %s\n", batch, index, r.area,
                r.start, r.end - r.start, r.from.c_str(), r.date.c_str(), r.messageId.c_str(), r.subject.c_str(),
                r.references.c_str(), r.lines.c_str());
}

void printRecordJson(const NewsRecord& r, int batch, bool comma) {
    std::printf("  {\"batch\": %d, \"area\": %d, \"from\": %s, \"date\": %s, \"message_id\": %s, \"subject\": %s, "
                "\"references\": %s, \"lines\": %s, \"start\": %d, \"end\": %d, \"length\": %d}%s\n",
                batch, r.area, jsonString(r.from).c_str(), jsonString(r.date).c_str(),
                jsonString(r.messageId).c_str(), jsonString(r.subject).c_str(), jsonString(r.references).c_str(),
                jsonString(r.lines).c_str(), r.start, r.end, r.end - r.start, comma ? "," : "");
}

struct Sites {
    std::string first, second;
    int32_t verbosity = 2;
    int32_t bits = 0;
};

// Takes the options the importers share; false on a malformed number.
bool takeSites(std::vector<std::string>& args, Sites* s) {
    std::string v = "2", b = "0";
    takeOption(args, "--site", &s->first);
    takeOption(args, "--local-site", &s->second);
    takeOption(args, "--verbosity", &v);
    takeOption(args, "--bits", &b);
    return parseInt32(v, &s->verbosity) && parseInt32(b, &s->bits) && s->bits >= 0;
}

// Calls IMPNEWS until no job is left (1) or it fails (-1), printing each
// batch's records as the host would read them. Returns the last result.
int32_t importAllNews(const std::string& spoolDir, const std::string& storeDir, const Sites& s, bool quiet,
                      bool json, int* batches, size_t* articles) {
    const std::string hdrPath = inDir(spoolDir, "Header.Msg");
    std::vector<std::pair<int, NewsRecord>> all;
    int32_t r;
    for (;;) {
        std::vector<char> spool = directoryBuffer(spoolDir);
        std::vector<char> store = directoryBuffer(storeDir);
        r = IMPNEWS(spool.data(), store.data(), s.first.c_str(), s.second.c_str(), s.verbosity, s.bits);
        if (r != 0) break;
        ++*batches;
        std::string bytes;
        readWholeFile(hdrPath, &bytes);  // absent when the batch filed nothing
        std::vector<NewsRecord> recs = parseNewsHeaders(bytes);
        *articles += recs.size();
        for (size_t i = 0; i < recs.size(); ++i) {
            if (json) {
                all.emplace_back(*batches, recs[i]);
            } else if (!quiet) {
                printRecord(recs[i], *batches, i + 1);
            }
        }
    }
    if (json) {
        std::printf("[\n");
        for (size_t i = 0; i < all.size(); ++i) printRecordJson(all[i].second, all[i].first, i + 1 < all.size());
        std::printf("]\n");
    }
    if (r < 0) std::fprintf(stderr, "brem: news import failed (see %s)\n", inDir(storeDir, "news.log").c_str());
    return r;
}

const char* kSiteHelp =
    "  --site, --local-site  the two UUCP site names that map the execute files'\n"
    "                        data file names to local spool names\n"
    "  --verbosity N         log verbosity (default 2)\n"
    "  --bits N              0 (default): news batches arrive plain; above 0:\n"
    "                        compressed (\"#! cunbatch\"), expanded by zorpack\n";

int importNews(std::vector<std::string>& args) {
    Sites s;
    bool quiet = takeFlag(args, "--quiet");
    bool json = takeFlag(args, "--json");
    if (!takeSites(args, &s) || args.size() != 2) {
        std::fprintf(stderr, "usage: brem import-news SPOOL STORE [--site NAME] [--local-site NAME] [--verbosity N] "
                             "[--bits N] [--quiet] [--json]\n");
        return kExitUsage;
    }
    int batches = 0;
    size_t articles = 0;
    int32_t r = importAllNews(args[0], args[1], s, quiet, json, &batches, &articles);
    if (!json) std::printf("%d news batch%s filed, %zu article%s\n", batches, batches == 1 ? "" : "es", articles,
                           articles == 1 ? "" : "s");
    return r < 0 ? kExitFailed : kExitOk;
}

int cycle(std::vector<std::string>& args) {
    Sites s;
    bool quiet = takeFlag(args, "--quiet");
    if (!takeSites(args, &s) || args.size() != 2) {
        std::fprintf(stderr, "usage: brem cycle SPOOL STORE [--site NAME] [--local-site NAME] [--verbosity N] "
                             "[--bits N] [--quiet]\n");
        return kExitUsage;
    }
    int mails = 0;
    for (;;) {
        std::vector<char> spool = directoryBuffer(args[0]);
        std::vector<char> store = directoryBuffer(args[1]);
        if (IMPMAIL(spool.data(), store.data(), s.first.c_str(), s.second.c_str(), s.verbosity) != 0) break;
        ++mails;
    }
    std::printf("%d mail%s imported\n", mails, mails == 1 ? "" : "s");
    int batches = 0;
    size_t articles = 0;
    int32_t r = importAllNews(args[0], args[1], s, quiet, false, &batches, &articles);
    std::printf("%d news batch%s filed, %zu article%s\n", batches, batches == 1 ? "" : "es", articles,
                articles == 1 ? "" : "s");
    return r < 0 ? kExitFailed : kExitOk;
}

}  // namespace

void registerNewsVerbs(VerbTable& verbs) {
    verbs["import-news"] = {
        "import every inbound news job of a spool into a store",
        std::string("usage: brem import-news SPOOL STORE [OPTIONS] [--quiet] [--json]\n"
                    "  Calls IMPNEWS until no news job is left and prints the records of\n"
                    "  each batch's SPOOL/Header.Msg (area, start, length and the kept\n"
                    "  headers). Articles go to the areas that STORE/area.dat gives their\n"
                    "  newsgroups; the log is STORE/news.log.\n") +
            kSiteHelp,
        importNews};
    verbs["cycle"] = {"run a whole inbound cycle: all mail, then all news",
                      std::string("usage: brem cycle SPOOL STORE [OPTIONS] [--quiet]\n"
                                  "  Calls IMPMAIL until no mail job is left, then IMPNEWS until no\n"
                                  "  news job is left, as a host does after a transfer.\n") +
                          kSiteHelp,
                      cycle};
}

}  // namespace brem::cli
