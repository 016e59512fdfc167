// Verbs of mail and news export: each prepares the spool as a host does and
// makes one UUCP job.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"

namespace brem::cli {

namespace {

std::string joinPath(const std::string& dir, const char* leaf) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + leaf;
    return dir + "/" + leaf;
}

// This system's UUCP site name: --local-site, as the importers call it;
// --site is the old spelling, still taken so that existing scripts keep
// working. False (a usage error) when it is missing or given twice.
bool takeLocalSite(std::vector<std::string>& args, std::string* site) {
    std::string a, b;
    bool haveA = takeOption(args, "--local-site", &a), haveB = takeOption(args, "--site", &b);
    if (haveA && haveB) std::fprintf(stderr, "brem: --local-site and --site name the same site; give one\n");
    *site = haveA ? a : b;
    return haveA != haveB;
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool readStdin(std::string* out) {
    out->clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) out->append(buf, n);
    return !std::ferror(stdin);
}

// The number of the job just written, from the store's counter file.
int32_t lastJobNumber(const std::string& store) {
    std::string bytes;
    if (!readWholeFile(joinPath(store, "export.dat"), &bytes) || bytes.size() < 4) return 0;
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return static_cast<int32_t>(u);
}

void printJob(const std::string& what, const std::string& spool, const std::string& store, bool json) {
    char n[16];
    int32_t job = lastJobNumber(store);
    std::snprintf(n, sizeof n, "%04d", job);
    if (json) {
        std::string dir = joinPath(spool, "");
        std::printf("{\"job\": %d, \"what\": %s, \"cmd\": %s, \"xqt\": %s, \"dat\": %s}\n", job,
                    jsonString(what).c_str(), jsonString(dir + n + ".CMD").c_str(),
                    jsonString(dir + n + ".XQT").c_str(), jsonString(dir + n + ".DAT").c_str());
        return;
    }
    std::printf("%s: job %s (%s.CMD, %s.XQT, %s.DAT in %s)\n", what.c_str(), n, n, n, n, spool.c_str());
}

int exportMail(std::vector<std::string>& args) {
    std::string to, site, from, v = "2";
    bool json = takeFlag(args, "--json");
    bool haveTo = takeOption(args, "--to", &to);
    bool haveSite = takeLocalSite(args, &site);
    takeOption(args, "--from", &from);
    takeOption(args, "--verbosity", &v);
    int32_t verbosity = 0;
    if (!haveTo || !haveSite || args.size() < 2 || args.size() > 3 || !parseInt32(v, &verbosity)) {
        std::fprintf(stderr, "usage: brem export-mail SPOOL STORE --to RECIPIENT --local-site NAME [--from SENDER] "
                             "[--verbosity N] [--json] [FILE|-]\n");
        return kExitUsage;
    }
    const std::string& spool = args[0];
    const std::string& store = args[1];
    std::string message;
    bool fromStdin = args.size() == 2 || args[2] == "-";
    if (fromStdin ? !readStdin(&message) : !readWholeFile(args[2], &message)) {
        std::fprintf(stderr, "brem: cannot read %s\n", fromStdin ? "standard input" : args[2].c_str());
        return kExitFailed;
    }
    const std::string outgoing = joinPath(spool, "rmail.z");
    if (!writeWholeFile(outgoing, message)) {
        std::fprintf(stderr, "brem: cannot write %s\n", outgoing.c_str());
        return kExitFailed;
    }
    if (EXPMAIL(spool.c_str(), store.c_str(), to.c_str(), site.c_str(), from.c_str(), verbosity) != 0) {
        std::fprintf(stderr, "brem: EXPMAIL failed (see %s); the message stays in %s\n",
                     joinPath(store, "mail.log").c_str(), outgoing.c_str());
        return kExitFailed;
    }
    printJob("mail to " + to, spool, store, json);
    return kExitOk;
}

int exportNews(std::vector<std::string>& args) {
    std::string site, v = "2", b = "0";
    bool json = takeFlag(args, "--json");
    bool haveSite = takeLocalSite(args, &site);
    takeOption(args, "--verbosity", &v);
    takeOption(args, "--bits", &b);
    int32_t verbosity = 0, bits = 0;
    if (!haveSite || args.size() < 3 || !parseInt32(v, &verbosity) || !parseInt32(b, &bits) || bits < 0) {
        std::fprintf(stderr, "usage: brem export-news SPOOL STORE --local-site NAME [--bits N] [--verbosity N] "
                             "[--json] ARTICLE...\n");
        return kExitUsage;
    }
    const std::string spool = args[0];
    const std::string store = args[1];
    std::string batch;
    for (size_t i = 2; i < args.size(); ++i) {
        std::string article;
        if (!readWholeFile(args[i], &article)) {
            std::fprintf(stderr, "brem: cannot read %s\n", args[i].c_str());
            return kExitFailed;
        }
        batch += "#! rnews " + std::to_string(article.size()) + "\n" + article;
    }
    int32_t count = static_cast<int32_t>(args.size() - 2);
    // Compressed, the library has the batch compressed from "rnews"; plain,
    // it sends "rnews.z" as it is.
    const std::string batchPath = joinPath(spool, bits > 0 ? "rnews" : "rnews.z");
    if (!writeWholeFile(batchPath, batch)) {
        std::fprintf(stderr, "brem: cannot write %s\n", batchPath.c_str());
        return kExitFailed;
    }
    std::vector<char> spoolBuf = directoryBuffer(spool, 1);
    std::vector<char> storeBuf = directoryBuffer(store, 1);
    if (EXPNEWS(spoolBuf.data(), storeBuf.data(), site.c_str(), count, verbosity, bits) != 0) {
        std::fprintf(stderr, "brem: EXPNEWS failed (see %s); the batch stays in %s\n",
                     joinPath(store, "news.log").c_str(), batchPath.c_str());
        return kExitFailed;
    }
    if (bits > 0) std::remove(batchPath.c_str());  // the plain batch has been sent compressed
    printJob(std::to_string(count) + (count == 1 ? " article" : " articles") +
                 (bits > 0 ? ", compressed with " + std::to_string(bits) + " bits" : std::string(", plain")),
             spool, store, json);
    return kExitOk;
}

}  // namespace

void registerExportVerbs(VerbTable& verbs) {
    verbs["export-mail"] = {
        "export one outgoing mail as a UUCP job",
        "usage: brem export-mail SPOOL STORE --to RECIPIENT --local-site NAME [--from SENDER]\n"
        "                        [--verbosity N] [--json] [FILE|-]\n"
        "  Writes the message (FILE, or standard input when FILE is - or missing) to\n"
        "  SPOOL/rmail.z and calls EXPMAIL, which makes it the job NNNN.CMD, NNNN.XQT,\n"
        "  NNNN.DAT for rmail RECIPIENT at the neighbour. NAME is this system's UUCP\n"
        "  site name (old spelling: --site); SENDER is only logged. The number comes\n"
        "  from STORE/export.dat; the log is STORE/mail.log (verbosity 2 by default).\n"
        "  --json: the job as {\"job\", \"what\", \"cmd\", \"xqt\", \"dat\"}.\n",
        exportMail};
    verbs["export-news"] = {
        "export article files as one UUCP news batch",
        "usage: brem export-news SPOOL STORE --local-site NAME [--bits N] [--verbosity N] [--json]\n"
        "                        ARTICLE...\n"
        "  Builds an rnews batch of the article files, each behind its \"#! rnews LENGTH\"\n"
        "  line, and calls EXPNEWS. With --bits N (9 to 16) the batch is written to\n"
        "  SPOOL/rnews and compressed by zorpack into a \"#! cunbatch\" job; without it\n"
        "  (or with 0) it is written to SPOOL/rnews.z and sent plain. NAME is this\n"
        "  system's UUCP site name (old spelling: --site). The log is STORE/news.log\n"
        "  (verbosity 2 by default). --json: the job as export-mail --json gives it.\n",
        exportNews};
}

}  // namespace brem::cli
