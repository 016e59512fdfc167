// Verbs of mail import and of reading the store.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "inbound.h"

namespace brem::cli {

namespace {

std::string stripLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

std::vector<std::string> mailJson(const std::vector<MailRecord>& recs) {
    std::vector<std::string> objects;
    for (const MailRecord& r : recs) objects.push_back(mailRecordJson(r));
    return objects;
}

int importMail(std::vector<std::string>& args) {
    ImportOptions o;
    bool quiet = takeFlag(args, "--quiet");
    bool json = takeFlag(args, "--json");
    if (!takeImportOptions(args, &o) || args.size() != 2) {
        std::fprintf(stderr, "usage: brem import-mail SPOOL STORE [--neighbour NAME] [--local-site NAME] "
                             "[--verbosity N] [--quiet] [--json]\n");
        return kExitUsage;
    }
    MailRun run;
    if (!importAllMail(args[0], args[1], o, !quiet && !json, &run)) return kExitFailed;
    if (json) {
        printJsonArray(mailJson(run.records));
        std::printf("\n");
    } else {
        std::printf("%d mail%s imported\n", run.imported, run.imported == 1 ? "" : "s");
    }
    return kExitOk;
}

int listMail(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: brem list-mail STORE [--json]\n");
        return kExitUsage;
    }
    std::string bytes;
    if (!readWholeFile(inDirectory(args[0], "mail.hdr"), &bytes)) {
        std::fprintf(stderr, "brem: cannot open %s\n", inDirectory(args[0], "mail.hdr").c_str());
        return kExitFailed;
    }
    std::vector<MailRecord> recs = parseMailHeaders(bytes);
    if (json) {
        printJsonArray(mailJson(recs));
        std::printf("\n");
    } else {
        for (size_t i = 0; i < recs.size(); ++i) printMailRecord(recs[i], i + 1);
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
        std::string("usage: brem import-mail SPOOL STORE [OPTIONS] [--quiet] [--json]\n"
                    "  Calls IMPMAIL until no mail job is left and prints the record of each\n"
                    "  imported mail, then how many were imported (--quiet: only that line;\n"
                    "  --json: only a JSON array of the records, as list-mail --json gives).\n"
                    "  The log is STORE/mail.log.\n") +
            kImportOptionsHelp,
        importMail};
    verbs["list-mail"] = {"list the records of a store's mail.hdr",
                          "usage: brem list-mail STORE [--json]\n"
                          "  Prints each eight-line record of STORE/mail.hdr with its area address;\n"
                          "  --json: a JSON array of objects with the keys to, from, date,\n"
                          "  message_id, subject, cc, start, end and length.\n",
                          listMail};
    verbs["read"] = {"read a stored message back by area, start and length",
                     "usage: brem read STORE AREA START LENGTH [--reader message|news|mapi|extract]\n"
                     "  Reads the range chunk by chunk as a host does (READMESSAGE by default)\n"
                     "  and prints the text with CR LF line ends. --reader extract prints the\n"
                     "  body alone (EXTRACTMESSAGE).\n",
                     readVerb};
}

}  // namespace brem::cli
