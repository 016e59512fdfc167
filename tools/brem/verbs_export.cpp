// Verbs of mail and news export: each prepares the spool as a host does and
// makes one UUCP job.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "outbound/uucp_job.h"
#include "runs.h"
#include "store/layout.h"

namespace brem::cli {

namespace {

// This system's UUCP site name: --local-site, as the importers call it;
// --site is the old spelling, still taken so that existing scripts keep
// working. The problem in words when it is missing or given twice.
std::string takeLocalSite(std::vector<std::string>& args, std::string* site) {
    std::string a, b;
    bool haveA = takeOption(args, "--local-site", &a), haveB = takeOption(args, "--site", &b);
    if (haveA && haveB) return "--local-site and --site name the same site; give one";
    if (!haveA && !haveB) return "--local-site NAME is missing (this system's UUCP site name)";
    *site = haveA ? a : b;
    // The library refuses such a name too; saying so here leaves nothing
    // half done in the spool.
    const std::string problem = outbound::SiteNameProblem(*site);
    return problem.empty() ? std::string() : "--local-site: " + problem;
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
    const outbound::CounterContents counter = outbound::ReadSequenceCounter(layout::withSeparator(store));
    return counter.bytes >= 4 ? counter.last : 0;
}

// The job just written, as a line of text or a JSON object.
std::string jobText(const std::string& what, const std::string& spool, const std::string& store, bool json) {
    const int32_t job = lastJobNumber(store);
    const std::string cmd = layout::jobFileName(job, layout::kCommandFile),
                      xqt = layout::jobFileName(job, layout::kExecuteFile),
                      dat = layout::jobFileName(job, layout::kDataFile);
    if (json) {
        return "{\"job\": " + std::to_string(job) + ", \"what\": " + jsonString(what) +
               ", \"cmd\": " + jsonString(layout::join(spool, cmd)) + ", \"xqt\": " + jsonString(layout::join(spool, xqt)) +
               ", \"dat\": " + jsonString(layout::join(spool, dat)) + "}";
    }
    return what + ": job " + cmd.substr(0, cmd.find('.')) + " (" + cmd + ", " + xqt + ", " + dat + " in " + spool + ")";
}

// Prints the jobs of one run: one line each, or in JSON one object, or with
// --send-waiting an array of the jobs in the order they were made.
void printJobs(const std::vector<std::string>& jobs, bool json, bool asArray, bool quiet) {
    if (quiet) return;
    if (json && asArray) {
        std::printf("[");
        for (size_t i = 0; i < jobs.size(); ++i) std::printf("%s%s", i ? ",\n " : "", jobs[i].c_str());
        std::printf("]\n");
        return;
    }
    for (const std::string& j : jobs) std::printf("%s\n", j.c_str());
}

// Bytes in a file; 0 when it is missing or empty (nothing waits in it).
int64_t waitingBytes(const std::string& path) {
    std::string bytes;
    return readWholeFile(plat::systemPath(path), &bytes) ? static_cast<int64_t>(bytes.size()) : 0;
}

// Where an export's failure is told: the log's last line, or why there is
// no log to look in.
std::string failureDetails(const std::string& store, const char* logName) {
    const std::string logPath = layout::join(store, logName);
    std::string last = lastLogLine(logPath);
    if (!last.empty()) return shown(last) + " (details in " + logPath + ")";
    std::string why = openProblem(logPath, true);
    return logPath + " was not written" + (why.empty() ? std::string() : ": " + why);
}

// The To line of a message, for telling the user which message waits.
std::string toLineOf(const std::string& path) {
    std::string bytes;
    readWholeFile(plat::systemPath(path), &bytes);
    for (size_t pos = 0; pos < bytes.size();) {
        size_t lf = bytes.find('\n', pos);
        std::string line = bytes.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;  // the end of the header
        if (line.size() > 3 && (line[0] == 'T' || line[0] == 't') && (line[1] == 'O' || line[1] == 'o') &&
            line[2] == ':') {
            size_t b = line.find_first_not_of(" \t", 3);
            return b == std::string::npos ? std::string() : line.substr(b);
        }
        if (lf == std::string::npos) break;
        pos = lf + 1;
    }
    return std::string();
}

const char* const kExportMailUsage =
    "usage: brem export-mail SPOOL STORE --to RECIPIENT --local-site NAME [--from SENDER] [--verbosity N]\n"
    "                        [--send-waiting RECIPIENT] [--wait SECONDS] [--quiet] [--json] [FILE|-]\n";

struct ExportMailArgs {
    std::string to, site, from, waitingTo;
    bool json = false, quiet = false, haveTo = false, sendWaiting = false;
    int32_t verbosity = 2, wait = 0;
};

// "" when the command line is sound, else what is wrong with it.
std::string parseExportMailArgs(std::vector<std::string>& args, ExportMailArgs* a) {
    a->json = takeFlag(args, "--json");
    a->quiet = takeFlag(args, "--quiet");
    a->haveTo = takeOption(args, "--to", &a->to);
    a->sendWaiting = takeOption(args, "--send-waiting", &a->waitingTo);
    std::string problem = takeLocalSite(args, &a->site);
    takeOption(args, "--from", &a->from);
    if (problem.empty()) problem = takeNumber(args, "--verbosity", INT32_MIN, INT32_MAX, &a->verbosity);
    if (problem.empty()) problem = takeWait(args, &a->wait);
    if (problem.empty() && !a->haveTo && !a->sendWaiting) problem = "--to RECIPIENT is missing";
    if (problem.empty() && args.size() < 2) problem = positionalProblem(args, {"SPOOL", "STORE"});
    if (problem.empty() && args.size() > (a->haveTo ? 3u : 2u)) problem = "unexpected argument '" + args.back() + "'";
    if (problem.empty() && a->sendWaiting && a->waitingTo.empty())
        problem = "--send-waiting needs the waiting message's RECIPIENT";
    // The remote site runs rmail with the recipient on its command line.
    if (problem.empty() && a->haveTo && !outbound::RecipientProblem(a->to).empty())
        problem = "--to: " + outbound::RecipientProblem(a->to);
    if (problem.empty() && a->sendWaiting && !outbound::RecipientProblem(a->waitingTo).empty())
        problem = "--send-waiting: " + outbound::RecipientProblem(a->waitingTo);
    return problem;
}

// The new message, from FILE or standard input; false (and told) when it
// cannot be read.
bool readNewMessage(const std::vector<std::string>& args, std::string* message) {
    bool fromStdin = args.size() == 2 || args[2] == "-";
    if (fromStdin ? readStdin(message) : readWholeFile(args[2], message)) return true;
    std::string why = fromStdin ? std::string() : openProblem(args[2], false);
    std::fprintf(stderr, "brem: cannot read %s%s\n", fromStdin ? "standard input" : args[2].c_str(),
                 why.empty() ? "" : (": " + why).c_str());
    return false;
}

// Sends the message an export that failed left in "rmail.z", when asked
// to; writing the new one over it would lose it. kExitOk when there was
// none or it was sent.
int sendWaitingMail(const std::string& spool, const std::string& store, const ExportMailArgs& a,
                    std::vector<std::string>* jobs) {
    const std::string outgoing = layout::join(spool, layout::kOutgoingMail);
    int64_t waiting = waitingBytes(outgoing);
    if (!waiting) {
        if (a.sendWaiting && !a.quiet) std::fprintf(stderr, "brem: no message was waiting in %s\n", outgoing.c_str());
        return kExitOk;
    }
    if (!a.sendWaiting) {
        std::string waitingFor = shown(toLineOf(outgoing));
        std::fprintf(stderr,
                     "brem: %s already holds an outgoing message that was never sent (%lld bytes%s); "
                     "nothing was written.\n"
                     "  Look at it in %s. To send it first and then the new one, give\n"
                     "  --send-waiting %s\n",
                     outgoing.c_str(), static_cast<long long>(waiting),
                     waitingFor.empty() ? "" : (", To: " + waitingFor).c_str(), outgoing.c_str(),
                     waitingFor.empty() ? "RECIPIENT" : waitingFor.c_str());
        return kExitFailed;
    }
    if (EXPMAIL(spool.c_str(), store.c_str(), a.waitingTo.c_str(), a.site.c_str(), a.from.c_str(), a.verbosity) != 0) {
        std::fprintf(stderr, "brem: EXPMAIL failed for the waiting message: %s; it stays in %s\n",
                     failureDetails(store, layout::kMailLog).c_str(), outgoing.c_str());
        return kExitFailed;
    }
    jobs->push_back(jobText("mail to " + a.waitingTo + " (the waiting message)", spool, store, a.json));
    return kExitOk;
}

int exportMail(std::vector<std::string>& args) {
    ExportMailArgs a;
    std::string problem = parseExportMailArgs(args, &a);
    if (!problem.empty()) return usageError("export-mail", problem, kExportMailUsage);
    const std::string& spool = args[0];
    const std::string& store = args[1];
    if (!usableDirectory(spool, "spool directory") || !usableDirectory(store, "store directory")) return kExitFailed;
    // The new message is read before anything is sent, so that a message
    // that cannot be read stops the run with nothing half done.
    std::string message;
    if (a.haveTo && !readNewMessage(args, &message)) return kExitFailed;
    RunLock lock;
    if (int status = lock.take(store, a.wait)) return status;
    std::vector<std::string> jobs;
    if (int status = sendWaitingMail(spool, store, a, &jobs)) return status;
    auto finish = [&](int status) {
        printJobs(jobs, a.json, a.sendWaiting, a.quiet);
        return status;
    };
    if (!a.haveTo) return finish(kExitOk);
    const std::string outgoing = layout::join(spool, layout::kOutgoingMail);
    if (!writeWholeFile(outgoing, message)) {
        std::fprintf(stderr, "brem: cannot write %s: %s\n", outgoing.c_str(), openProblem(outgoing, true).c_str());
        return finish(kExitFailed);
    }
    if (EXPMAIL(spool.c_str(), store.c_str(), a.to.c_str(), a.site.c_str(), a.from.c_str(), a.verbosity) != 0) {
        std::fprintf(stderr, "brem: EXPMAIL failed: %s; the message stays in %s (send it later with --send-waiting %s)\n",
                     failureDetails(store, layout::kMailLog).c_str(), outgoing.c_str(), a.to.c_str());
        return finish(kExitFailed);
    }
    jobs.push_back(jobText("mail to " + a.to, spool, store, a.json));
    return finish(kExitOk);
}

size_t countArticles(const std::string& batch) {
    size_t n = 0;
    for (size_t pos = 0; (pos = batch.find("#! rnews ", pos)) != std::string::npos; pos += 9) {
        if (pos == 0 || batch[pos - 1] == '\n') ++n;
    }
    return n;
}

const char* const kExportNewsUsage =
    "usage: brem export-news SPOOL STORE --local-site NAME [--bits N] [--verbosity N] [--send-waiting]\n"
    "                        [--wait SECONDS] [--quiet] [--json] ARTICLE...\n";

// Sends the batch that an earlier export left in the spool: "rnews" still
// to be compressed, or "rnews.z" to go as it is. Returns kExitOk when there
// was none or it was sent.
int sendWaitingBatch(const std::string& spool, const std::string& store, const std::string& site,
                     int32_t verbosity, int32_t bits, bool json, std::vector<std::string>* jobs) {
    const std::string plain = layout::join(spool, layout::kOutgoingNewsPlain),
                      ready = layout::join(spool, layout::kOutgoingNews);
    int64_t plainBytes = waitingBytes(plain), readyBytes = waitingBytes(ready);
    if (plainBytes == 0 && readyBytes == 0) return kExitOk;
    if (plainBytes > 0 && readyBytes > 0) {
        std::fprintf(stderr,
                     "brem: both %s and %s hold a batch; which of them is to go cannot be told. Look at both, "
                     "move one away, and try again; nothing was sent\n",
                     plain.c_str(), ready.c_str());
        return kExitFailed;
    }
    std::string batch;
    readWholeFile(plat::systemPath(plainBytes > 0 ? plain : ready), &batch);
    if (readyBytes > 0 && batch.size() >= 2 && static_cast<unsigned char>(batch[0]) == 0x1f &&
        static_cast<unsigned char>(batch[1]) == 0x9d) {
        std::fprintf(stderr,
                     "brem: %s holds compressed data without the batch it was made from; sent as it is it "
                     "would reach the neighbour unreadable. Look at it and move it away; nothing was sent\n",
                     ready.c_str());
        return kExitFailed;
    }
    // A batch waiting to be compressed goes plain when no --bits is given.
    int32_t waitingBits = plainBytes > 0 ? bits : 0;
    if (plainBytes > 0 && bits == 0 && !plat::moveFile(plain, ready)) {
        std::fprintf(stderr, "brem: cannot move %s to %s: %s\n", plain.c_str(), ready.c_str(),
                     plat::lastErrorText().c_str());
        return kExitFailed;
    }
    int32_t count = static_cast<int32_t>(countArticles(batch));
    std::vector<char> spoolBuf = directoryBuffer(spool, 1);
    std::vector<char> storeBuf = directoryBuffer(store, 1);
    if (EXPNEWS(spoolBuf.data(), storeBuf.data(), site.c_str(), count, verbosity, waitingBits) != 0) {
        std::fprintf(stderr, "brem: EXPNEWS failed for the waiting batch: %s; it stays in %s\n",
                     failureDetails(store, layout::kNewsLog).c_str(), waitingBits > 0 ? plain.c_str() : ready.c_str());
        return kExitFailed;
    }
    if (waitingBits > 0) std::remove(plat::systemPath(plain).c_str());
    jobs->push_back(jobText(std::to_string(count) + (count == 1 ? " article" : " articles") + " (the waiting batch)",
                            spool, store, json));
    return kExitOk;
}

struct ExportNewsArgs {
    std::string site;
    bool json = false, quiet = false, sendWaiting = false;
    int32_t verbosity = 2, bits = 0, wait = 0;
};

// "" when the command line is sound, else what is wrong with it.
std::string parseExportNewsArgs(std::vector<std::string>& args, ExportNewsArgs* a) {
    a->json = takeFlag(args, "--json");
    a->quiet = takeFlag(args, "--quiet");
    a->sendWaiting = takeFlag(args, "--send-waiting");
    std::string problem = takeLocalSite(args, &a->site);
    if (problem.empty()) problem = takeNumber(args, "--verbosity", INT32_MIN, INT32_MAX, &a->verbosity);
    if (problem.empty()) problem = takeNumber(args, "--bits", 0, 16, &a->bits);
    if (problem.empty() && a->bits > 0 && a->bits < 9)
        problem = "--bits: " + std::to_string(a->bits) + " is out of range";
    if (problem.find("out of range") != std::string::npos) problem = problem.substr(0, problem.find(" (")) + " (0 for a plain batch, or 9 to 16)";
    if (problem.empty()) problem = takeWait(args, &a->wait);
    if (problem.empty() && args.size() < 3 && !(a->sendWaiting && args.size() == 2)) {
        problem = positionalProblem(args, {"SPOOL", "STORE", "ARTICLE"});
    }
    return problem;
}

// The articles named after SPOOL and STORE as one batch; false (and told)
// when one cannot be read.
bool readArticles(const std::vector<std::string>& args, std::string* batch) {
    for (size_t i = 2; i < args.size(); ++i) {
        std::string article;
        if (!readWholeFile(args[i], &article)) {
            std::fprintf(stderr, "brem: cannot read %s: %s\n", args[i].c_str(), openProblem(args[i], false).c_str());
            return false;
        }
        *batch += "#! rnews " + std::to_string(article.size()) + "\n" + article;
    }
    return true;
}

// True (and told) when an earlier export left a batch in the spool: the
// new one would be written over it.
bool batchWaits(const std::string& spool) {
    for (const char* leaf : {layout::kOutgoingNewsPlain, layout::kOutgoingNews}) {
        const std::string path = layout::join(spool, leaf);
        if (int64_t waiting = waitingBytes(path)) {
            std::fprintf(stderr,
                         "brem: %s already holds a news batch that was never sent (%lld bytes); nothing was "
                         "written.\n  Look at it in %s. To send it first and then the new batch, give "
                         "--send-waiting\n",
                         path.c_str(), static_cast<long long>(waiting), path.c_str());
            return true;
        }
    }
    return false;
}

int exportNews(std::vector<std::string>& args) {
    ExportNewsArgs a;
    std::string problem = parseExportNewsArgs(args, &a);
    if (!problem.empty()) return usageError("export-news", problem, kExportNewsUsage);
    const std::string spool = args[0];
    const std::string store = args[1];
    if (!usableDirectory(spool, "spool directory") || !usableDirectory(store, "store directory")) return kExitFailed;
    std::string batch;
    if (!readArticles(args, &batch)) return kExitFailed;
    int32_t count = static_cast<int32_t>(args.size() - 2);
    RunLock lock;
    if (int status = lock.take(store, a.wait)) return status;
    std::vector<std::string> jobs;
    auto finish = [&](int status) {
        printJobs(jobs, a.json, a.sendWaiting, a.quiet);
        return status;
    };
    if (a.sendWaiting) {
        if (int status = sendWaitingBatch(spool, store, a.site, a.verbosity, a.bits, a.json, &jobs)) return status;
    } else if (batchWaits(spool)) {
        return kExitFailed;
    }
    if (count == 0) return finish(kExitOk);
    // Compressed, the library has the batch compressed from "rnews"; plain,
    // it sends "rnews.z" as it is.
    const std::string batchPath = layout::join(spool, a.bits > 0 ? layout::kOutgoingNewsPlain : layout::kOutgoingNews);
    if (!writeWholeFile(batchPath, batch)) {
        std::fprintf(stderr, "brem: cannot write %s: %s\n", batchPath.c_str(), openProblem(batchPath, true).c_str());
        return finish(kExitFailed);
    }
    std::vector<char> spoolBuf = directoryBuffer(spool, 1);
    std::vector<char> storeBuf = directoryBuffer(store, 1);
    if (EXPNEWS(spoolBuf.data(), storeBuf.data(), a.site.c_str(), count, a.verbosity, a.bits) != 0) {
        std::fprintf(stderr, "brem: EXPNEWS failed: %s; the batch stays in %s (send it later with --send-waiting)\n",
                     failureDetails(store, layout::kNewsLog).c_str(), batchPath.c_str());
        return finish(kExitFailed);
    }
    if (a.bits > 0) std::remove(batchPath.c_str());  // the plain batch has been sent compressed
    const std::string how =
        a.bits > 0 ? ", compressed with " + std::to_string(a.bits) + " bits" : std::string(", plain");
    const std::string what = std::to_string(count) + (count == 1 ? " article" : " articles") + how;
    jobs.push_back(jobText(what, spool, store, a.json));
    return finish(kExitOk);
}

}  // namespace

void registerExportVerbs(VerbTable& verbs) {
    verbs["export-mail"] = {
        "export one outgoing mail as a UUCP job",
        std::string("usage: brem export-mail SPOOL STORE --to RECIPIENT --local-site NAME [--from SENDER]\n"
        "                        [--verbosity N] [--send-waiting RECIPIENT] [--wait SECONDS]\n"
        "                        [--quiet] [--json] [FILE|-]\n"
        "  Writes the message (FILE, or standard input when FILE is - or missing) to\n"
        "  SPOOL/rmail.z and calls EXPMAIL, which makes it the job NNNN.CMD, NNNN.XQT,\n"
        "  NNNN.DAT for rmail RECIPIENT at the neighbour. NAME is this system's UUCP\n"
        "  site name (old spelling: --site); SENDER is only logged. The number comes\n"
        "  from STORE/export.dat; the log is STORE/mail.log (verbosity 2 by default).\n"
        "  When SPOOL/rmail.z already holds a message (an export that failed left it),\n"
        "  nothing is written and the exit status is 1; --send-waiting RECIPIENT\n"
        "  sends that message to RECIPIENT first, then the new one (without --to: only\n"
        "  the waiting one). --quiet: nothing printed when all went well.\n"
        "  --json: the job as {\"job\", \"what\", \"cmd\", \"xqt\", \"dat\"}; with\n"
        "  --send-waiting an array of the jobs in the order they were made.\n") +
            kWaitHelp,
        exportMail};
    verbs["export-news"] = {
        "export article files as one UUCP news batch",
        std::string("usage: brem export-news SPOOL STORE --local-site NAME [--bits N] [--verbosity N]\n"
        "                        [--send-waiting] [--wait SECONDS] [--quiet] [--json] ARTICLE...\n"
        "  Builds an rnews batch of the article files, each behind its \"#! rnews LENGTH\"\n"
        "  line, and calls EXPNEWS. With --bits N (9 to 16) the batch is written to\n"
        "  SPOOL/rnews and compressed by zorpack into a \"#! cunbatch\" job; without it\n"
        "  (or with 0) it is written to SPOOL/rnews.z and sent plain. NAME is this\n"
        "  system's UUCP site name (old spelling: --site). The log is STORE/news.log\n"
        "  (verbosity 2 by default). When SPOOL/rnews or SPOOL/rnews.z already holds\n"
        "  a batch (an export that failed left it), nothing is written and the exit\n"
        "  status is 1; --send-waiting sends that batch first (compressed when it is\n"
        "  in rnews and --bits is given), then the new one (without ARTICLE: only the\n"
        "  waiting one). --quiet: nothing printed when all went well. --json: the job\n"
        "  as export-mail --json gives it.\n") +
            kWaitHelp,
        exportNews};
}

}  // namespace brem::cli
