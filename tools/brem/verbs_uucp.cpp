// brem rmail and brem rnews: the commands a UUCP of the system (Taylor's
// uuxqt on Debian) runs to deliver what a neighbour sent, the recipients as
// arguments and the mail or the news batch on standard input. They store it
// as the importers store a spool job, through the importers' own code, under
// the store's run lock. Their exit status follows sendmail's rmail, which a
// UUCP understands: 0 stored; 75 (EX_TEMPFAIL) not stored now, the UUCP
// keeps the job and runs it again later; 1 never storable, the UUCP gives the
// job up and tells the sender; 2 a wrong command line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "inbound/mail_import.h"
#include "inbound/news_import.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "runs.h"
#include "store/store.h"
#include "store_care.h"
#include "store/layout.h"

namespace brem::cli {

namespace {

constexpr int kExitTryLater = 75;  // EX_TEMPFAIL of <sysexits.h>
constexpr int32_t kDeliveryWait = 300;

// The options both verbs take; the problem in words, or empty.
struct DeliveryOptions {
    std::string store;
    int32_t verbosity = 2, wait = kDeliveryWait;
};
std::string takeDeliveryOptions(std::vector<std::string>& args, DeliveryOptions* o) {
    if (!takeOption(args, "--store", &o->store) || o->store.empty()) return "--store STORE is missing";
    std::string problem = takeNumber(args, "--verbosity", INT32_MIN, INT32_MAX, &o->verbosity);
    if (problem.empty()) problem = takeNumber(args, "--wait", 0, 86400, &o->wait);
    return problem;
}

// Standard input, whole, into `path` in the store: the importers read what
// they store from a file. False (and told) when it cannot be.
bool takeStandardInput(const char* verb, const std::string& path) {
    // A working file: made afresh, never written through what stands there.
    plat::deleteFile(path);
    plat::Stream out;
    if (!out.open(path, "wbx")) {
        std::fprintf(stderr, "brem %s: cannot create %s: %s\n", verb, path.c_str(), plat::lastErrorText().c_str());
        return false;
    }
    std::vector<char> buf(64 * 1024);
    const plat::FileHandle in = plat::standardInput();
    for (;;) {
        int64_t got = plat::readFile(in, buf.data(), buf.size());
        if (got == 0) break;
        if (got < 0) {
            std::fprintf(stderr, "brem %s: cannot read standard input: %s\n", verb, plat::lastErrorText().c_str());
            out.discard();
            plat::deleteFile(path);
            return false;
        }
        out.write(buf.data(), static_cast<size_t>(got));
    }
    if (!out.close()) {
        std::fprintf(stderr, "brem %s: cannot write %s: %s\n", verb, path.c_str(), plat::lastErrorText().c_str());
        plat::deleteFile(path);
        return false;
    }
    return true;
}

// The store checked and locked; kExitOk, or the status to exit with.
int openStore(const DeliveryOptions& o, RunLock* lock) {
    if (!usableDirectory(o.store, "store directory")) return kExitTryLater;
    return lock->take(o.store, o.wait) == kExitOk ? kExitOk : kExitTryLater;
}

const char* const kRmailUsage = "usage: brem rmail --store STORE [--verbosity N] [--wait SECONDS] RECIPIENT...\n";

int rmail(std::vector<std::string>& args) {
    DeliveryOptions o;
    std::string problem = takeDeliveryOptions(args, &o);
    if (problem.empty() && args.empty()) problem = "RECIPIENT is missing";
    if (!problem.empty()) return usageError("rmail", problem, kRmailUsage);
    RunLock lock;
    if (int status = openStore(o, &lock)) return status;
    const std::string dir = store::withSeparator(o.store), incoming = dir + layout::kMailDeliveryWork;
    if (!takeStandardInput("rmail", incoming)) return kExitTryLater;
    std::string recipients, reason;
    for (const std::string& r : args) recipients += (recipients.empty() ? "" : " ") + r;
    plat::Stream data;
    int32_t stored = data.open(incoming, "rb") ? inbound::DeliverMail(dir, recipients, data, o.verbosity, &reason) : -1;
    data.close();
    plat::deleteFile(incoming);
    if (stored != 0) {
        std::fprintf(stderr, "brem rmail: not stored in %s: %s; the mail is kept for another try\n", o.store.c_str(),
                     reason.empty() ? "its file cannot be read" : reason.c_str());
        return kExitTryLater;
    }
    return kExitOk;
}

const char* const kRnewsUsage = "usage: brem rnews --store STORE [--verbosity N] [--wait SECONDS]\n";

int rnews(std::vector<std::string>& args) {
    DeliveryOptions o;
    std::string problem = takeDeliveryOptions(args, &o);
    if (problem.empty()) problem = positionalProblem(args, {});
    if (!problem.empty()) return usageError("rnews", problem, kRnewsUsage);
    RunLock lock;
    if (int status = openStore(o, &lock)) return status;
    const std::string dir = store::withSeparator(o.store), incoming = dir + layout::kNewsDeliveryWork;
    if (!takeStandardInput("rnews", incoming)) return kExitTryLater;
    std::string reason;
    int32_t filed = inbound::DeliverNewsBatch(dir, dir, incoming, o.verbosity, &reason);
    plat::deleteFile(incoming);  // a plain batch filed is in the working files now
    if (filed == 0) return kExitOk;
    std::fprintf(stderr, "brem rnews: not filed in %s: %s%s\n", o.store.c_str(), reason.c_str(),
                 filed == 1 ? "" : "; the batch is kept for another try");
    return filed == 1 ? kExitFailed : kExitTryLater;
}

}  // namespace

void registerUucpVerbs(VerbTable& verbs) {
    verbs["rmail"] = {
        "store one mail from standard input, as a UUCP's rmail command",
        std::string(kRmailUsage) +
            "  What a UUCP of this system (Taylor's uuxqt) runs for a mail job: the\n"
            "  message on standard input is stored in STORE as mail import stores a\n"
            "  job's data file (mailarea.txt and its record in mail.hdr, the record's\n"
            "  To line \"To: RECIPIENT...\"), whole or not at all, under the store's\n"
            "  lock. The log is STORE/mail.log.\n"
            "  Exit 0 stored; 75 not stored now (the store busy past --wait, missing,\n"
            "  or not writable; the reason on standard error): the UUCP keeps the job\n"
            "  and tries again; 2 a wrong command line.\n"
            "  --verbosity N         log verbosity (default 2)\n"
            "  --wait SECONDS        how long to wait for another run's lock on the\n"
            "                        store (default 300)\n",
        rmail};
    verbs["rnews"] = {
        "file one news batch from standard input, as a UUCP's rnews command",
        std::string(kRnewsUsage) +
            "  What a UUCP of this system (Taylor's uuxqt) runs for a news job: the\n"
            "  batch on standard input, plain (\"#! rnews\") or compressed (\"#!\n"
            "  cunbatch\", expanded by zorpack), is filed in STORE as news import files\n"
            "  a job's batch: each article to the area STORE/area.dat gives its\n"
            "  newsgroups, whole batch or nothing, under the store's lock. The working\n"
            "  files of news import and Header.Msg (the records of the batch, brem\n"
            "  list-news STORE) lie in STORE. The log is STORE/news.log.\n"
            "  Exit 0 filed; 1 the input is no news batch (the UUCP gives the job up);\n"
            "  75 not filed now (the store busy past --wait, missing or not writable,\n"
            "  no area.dat, the batch cannot be expanded; the reason on standard\n"
            "  error): the UUCP keeps the job and tries again; 2 a wrong command line.\n"
            "  --verbosity N         log verbosity (default 2)\n"
            "  --wait SECONDS        how long to wait for another run's lock on the\n"
            "                        store (default 300)\n",
        rnews};
}

}  // namespace brem::cli
