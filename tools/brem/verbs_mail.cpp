// Verbs of mail import and of reading the store.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "inbound.h"
#include "runs.h"
#include "store/store.h"
#include "store/layout.h"

namespace brem::cli {

namespace {

const char* const kImportMailUsage =
    "usage: brem import-mail SPOOL STORE [--neighbour NAME] [--local-site NAME] [--verbosity N] [--wait SECONDS] "
    "[--quiet] [--json]\n";

int importMail(std::vector<std::string>& args) {
    ImportCommand c;
    RunLock lock;
    if (int status = prepareImport("import-mail", args, kImportMailUsage, &c, &lock)) return status;
    MailRun run;
    // The records are shown as they come, JSON ones too: the array comes
    // first and the counts after it, so that nothing of a long run is kept.
    JsonArrayOut mails;
    RecordOutput show;
    if (c.json) {
        std::printf("{\"mail\": ");
        mails.open();
        show = {RecordOutput::Kind::Json, &mails};
    } else if (!c.quiet) {
        show.kind = RecordOutput::Kind::Text;
    }
    bool ok = importAllMail(c.spool, c.store, c.o, show, &run);
    std::vector<LeftJob> left = jobsLeft(c.spool, c.store, c.o, JobKinds::Mail);
    const int status = !ok ? kExitFailed : left.empty() ? kExitOk : kExitWorkLeft;
    if (c.json) {
        mails.close(" ");
        std::printf(",\n \"ok\": %s, \"status\": %d, \"mails\": %d,\n \"left\": %s}\n",
                    status == kExitOk ? "true" : "false", status, run.imported, leftJson(left).c_str());
    } else if (!c.quiet) {
        std::printf("%d mail%s imported\n", run.imported, run.imported == 1 ? "" : "s");
    }
    reportLeft(left, c.spool);
    return status;
}

int listMail(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (args.size() != 1) return usageError("list-mail", positionalProblem(args, {"STORE"}), "usage: brem list-mail STORE [--json]\n");
    const std::string hdr = layout::join(args[0], layout::kMailIndex);
    store::RecordReader recs;
    if (!recs.open(hdr)) {
        std::fprintf(stderr, "brem: cannot open %s: %s\n", hdr.c_str(), openProblem(hdr, false).c_str());
        return kExitFailed;
    }
    JsonArrayOut out;
    if (json) out.open();
    size_t index = 0;
    for (MailRecord r; recs.next(r);) {
        if (json) {
            out.add(mailRecordJson(r));
        } else {
            printMailRecord(r, ++index);
        }
    }
    if (json) {
        out.close();
        std::printf("\n");
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
    const char* usage = "usage: brem read STORE AREA START LENGTH [--reader message|news|mapi|extract]\n";
    std::string problem = positionalProblem(args, {"STORE", "AREA", "START", "LENGTH"});
    if (!problem.empty()) return usageError("read", problem, usage);
    const char* names[] = {"AREA", "START", "LENGTH"};
    int32_t* values[] = {&area, &start, &length};
    for (int i = 0; i < 3; ++i) {
        if (!parseInt32(args[static_cast<size_t>(i) + 1], values[i])) {
            return usageError("read", std::string(names[i]) + ": '" + args[static_cast<size_t>(i) + 1] +
                                          "' is not a whole number",
                              usage);
        }
    }
    std::string error;
    int32_t r = readStoredToStdout(args[0], area, start, length, kind, &error);
    if (r < 0) {
        // The library's text names no file; the one it was given is named.
        std::string leaf = store::readPath("", area, kind == ReadKind::Mapi).substr(1);
        std::fprintf(stderr, "brem: %s\n", explainFailure(error, layout::join(args[0], leaf), false).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void registerMailVerbs(VerbTable& verbs) {
    verbs["import-mail"] = {
        "import every inbound mail job of a spool into a store",
        std::string("usage: brem import-mail SPOOL STORE [OPTIONS] [--quiet] [--json]\n"
                    "  Calls IMPMAIL until no mail job is left and prints the record of each\n"
                    "  imported mail, then how many were imported (--quiet: nothing when all\n"
                    "  went well; --json: only one object with the array mail of the records,\n"
                    "  as list-mail --json gives them, ok (true for exit status 0), status,\n"
                    "  mails and the array left). Mail jobs still in the spool afterwards,\n"
                    "  and whatever an import set aside into SPOOL/bad/, are listed on\n"
                    "  standard error with the reason (exit 3). The log is STORE/mail.log.\n") +
            kImportOptionsHelp + kWaitHelp,
        importMail};
    verbs["list-mail"] = {"list the records of a store's mail.hdr",
                          "usage: brem list-mail STORE [--json]\n"
                          "  Prints each eight-line record of STORE/mail.hdr with its area address;\n"
                          "  --json: a JSON array of objects with the keys to, from, date,\n"
                          "  message_id, subject, cc (each the header's value, null where the\n"
                          "  record holds a placeholder), start, end, length and raw (the\n"
                          "  record's eight lines as stored).\n",
                          listMail};
    verbs["read"] = {"read a stored message back by area, start and length",
                     "usage: brem read STORE AREA START LENGTH [--reader message|news|mapi|extract]\n"
                     "  Reads the range chunk by chunk as a host does (READMESSAGE by default)\n"
                     "  and prints the text with CR LF line ends. --reader extract prints the\n"
                     "  body alone (EXTRACTMESSAGE).\n",
                     readVerb};
}

}  // namespace brem::cli
