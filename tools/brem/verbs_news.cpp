// Verbs of news import, of the news index and of the whole inbound cycle.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "inbound.h"
#include "runs.h"
#include "store_care.h"
#include "store/layout.h"
#include "text/ascii.h"

namespace brem::cli {

namespace {

const char* kBitsHelp =
    "  --bits N              0 (default): news batches arrive plain; 9 to 16:\n"
    "                        compressed (\"#! cunbatch\"), expanded by zorpack\n";

std::string newsSummary(const NewsRun& run) {
    int64_t articles = run.articles;
    return std::to_string(run.batches) + " news batch" + (run.batches == 1 ? "" : "es") + " filed, " +
           std::to_string(articles) + " article" + (articles == 1 ? "" : "s");
}

const char* const kImportNewsUsage =
    "usage: brem import-news SPOOL STORE [--neighbour NAME] [--local-site NAME] [--verbosity N] [--bits N] "
    "[--wait SECONDS] [--quiet] [--json]\n";

int importNews(std::vector<std::string>& args) {
    ImportCommand c;
    RunLock lock;
    if (int status = prepareImport("import-news", args, kImportNewsUsage, &c, &lock)) return status;
    NewsRun run;
    // The records are shown as they come (see import-mail).
    JsonArrayOut articles;
    RecordOutput show;
    if (c.json) {
        std::printf("{\"news\": ");
        articles.open();
        show = {RecordOutput::Kind::Json, &articles};
    } else if (!c.quiet) {
        show.kind = RecordOutput::Kind::Text;
    }
    int32_t r = importAllNews(c.spool, c.store, c.o, show, &run);
    std::vector<LeftJob> left = jobsLeft(c.spool, c.store, c.o, JobKinds::News);
    const int status = r < 0 ? kExitFailed : left.empty() ? kExitOk : kExitWorkLeft;
    if (c.json) {
        articles.close(" ");
        std::printf(",\n \"ok\": %s, \"status\": %d, \"news_batches\": %d, \"articles\": %lld,\n \"left\": %s}\n",
                    status == kExitOk ? "true" : "false", status, run.batches, static_cast<long long>(run.articles),
                    leftJson(left).c_str());
    } else if (!c.quiet) {
        std::printf("%s\n", newsSummary(run).c_str());
    }
    reportLeft(left, c.spool);
    return status;
}

int listNews(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (args.size() != 1) return usageError("list-news", positionalProblem(args, {"SPOOL"}), "usage: brem list-news SPOOL [--json]\n");
    // A path that names the index itself is taken as well as its directory.
    std::string path = args[0];
    size_t cut = path.find_last_of("/\\");
    std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
    // IMPNEWS deletes Header.Msg whenever it looks at a job, and it is not
    // there until a batch files an article: in a spool that exists its
    // absence means no records, not a failure.
    bool inSpool = !ascii::equalsNoCase(leaf, layout::kNewsIndex);
    if (inSpool) path = layout::join(path, layout::kNewsIndex);
    store::RecordReader recs;
    std::error_code ec;
    if (!recs.open(path) && !(inSpool && std::filesystem::is_directory(args[0], ec))) {
        std::fprintf(stderr, "brem: cannot open %s: %s\n", path.c_str(), openProblem(path, false).c_str());
        return kExitFailed;
    }
    JsonArrayOut out;
    if (json) out.open();
    size_t index = 0;
    for (NewsRecord r; recs.next(r);) {
        if (json) {
            out.add(newsRecordJson(r, 0));
        } else {
            printNewsRecord(r, 0, ++index);
        }
    }
    if (json) {
        out.close();
        std::printf("\n");
    }
    return kExitOk;
}

const char* const kCycleUsage =
    "usage: brem cycle SPOOL STORE [--neighbour NAME] [--local-site NAME] [--verbosity N] [--bits N] "
    "[--wait SECONDS] [--quiet] [--json]\n";

int cycle(std::vector<std::string>& args) {
    ImportCommand c;
    RunLock lock;
    if (int status = prepareImport("cycle", args, kCycleUsage, &c, &lock)) return status;
    // The records are shown as they come (see import-mail).
    JsonArrayOut mails, articles;
    RecordOutput showMail, showNews;
    if (c.json) {
        std::printf("{\"mail\": ");
        mails.open();
        showMail = {RecordOutput::Kind::Json, &mails};
        showNews = {RecordOutput::Kind::Json, &articles};
    } else if (!c.quiet) {
        showMail.kind = showNews.kind = RecordOutput::Kind::Text;
    }
    MailRun mail;
    bool mailOk = importAllMail(c.spool, c.store, c.o, showMail, &mail);
    if (c.json) {
        mails.close(" ");
        std::printf(",\n \"news\": ");
        articles.open();
    }
    // News is taken even after a failed mail import: the two kinds of job
    // are independent, and a host's cycle goes on to the news the same way.
    NewsRun news;
    int32_t r = importAllNews(c.spool, c.store, c.o, showNews, &news);
    bool ok = mailOk && r >= 0;
    // What an import cut off between its two deletions left: the data file
    // of a mail that is in the store.
    std::vector<std::string> removed = removeStoredCopies(c.spool, c.store);
    // Every job left counts here, those of no known kind too: nothing else
    // will take them.
    std::vector<LeftJob> left = jobsLeft(c.spool, c.store, c.o, JobKinds::All);
    const int status = !ok ? kExitFailed : left.empty() ? kExitOk : kExitWorkLeft;
    if (c.json) {
        articles.close(" ");
        std::string names;
        for (const std::string& n : removed) names += (names.empty() ? "" : ", ") + jsonString(n);
        std::printf(",\n \"ok\": %s, \"status\": %d, \"mails\": %d, \"news_batches\": %d, \"articles\": %lld,\n"
                    " \"removed\": [%s],\n \"left\": %s}\n",
                    status == kExitOk ? "true" : "false", status, mail.imported, news.batches,
                    static_cast<long long>(news.articles), names.c_str(), leftJson(left).c_str());
    } else if (!c.quiet) {
        std::printf("%d mail%s imported\n%s\n", mail.imported, mail.imported == 1 ? "" : "s",
                    newsSummary(news).c_str());
        for (const std::string& n : removed) {
            std::printf("removed %s: the data file of a mail already in the store, left by an import that was cut "
                        "off\n",
                        n.c_str());
        }
    }
    reportLeft(left, c.spool);
    return status;
}

}  // namespace

void registerNewsVerbs(VerbTable& verbs) {
    verbs["import-news"] = {
        "import every inbound news job of a spool into a store",
        std::string("usage: brem import-news SPOOL STORE [OPTIONS] [--quiet] [--json]\n"
                    "  Calls IMPNEWS until no news job is left and prints the records of\n"
                    "  each batch's SPOOL/Header.Msg (area, start, length and the kept\n"
                    "  headers), then how many batches and articles were filed (--quiet:\n"
                    "  nothing when all went well; --json: only one object with the array\n"
                    "  news of the records, each with its batch number, ok (true for exit\n"
                    "  status 0), status, news_batches, articles and the array left). A bad\n"
                    "  job (a link, a FIFO, a corrupt or oversized batch) is set aside into\n"
                    "  SPOOL/bad/ and the import goes on with the next. News jobs still in\n"
                    "  the spool afterwards, and what SPOOL/bad/ holds, are listed on standard\n"
                    "  error with the reason (exit 3).\n"
                    "  Articles go to the areas that STORE/area.dat gives their newsgroups;\n"
                    "  the log is STORE/news.log.\n") +
            kImportOptionsHelp + kBitsHelp + kWaitHelp,
        importNews};
    verbs["list-news"] = {"list the records of a spool's Header.Msg (the last filed batch)",
                          "usage: brem list-news SPOOL [--json]\n"
                          "  Prints each nine-line record of SPOOL/Header.Msg (SPOOL may also name\n"
                          "  the file itself): the articles of the batch filed last. IMPNEWS removes\n"
                          "  it whenever it looks at a job, so a spool without it lists nothing.\n"
                          "  --json: a JSON array of objects with the keys area, from, date,\n"
                          "  message_id, subject, references (each the header's value; null for\n"
                          "  none), lines (a number or null), start, end, length and raw (the\n"
                          "  record's nine lines as stored).\n",
                          listNews};
    verbs["cycle"] = {"run a whole inbound cycle: all mail, then all news",
                      std::string("usage: brem cycle SPOOL STORE [OPTIONS] [--quiet] [--json]\n"
                                  "  Calls IMPMAIL until no mail job is left, then IMPNEWS until no\n"
                                  "  news job is left, as a host does after a transfer, printing each\n"
                                  "  record and a summary (--quiet: nothing when all went well). --json\n"
                                  "  prints one object: the arrays mail and news of the records, ok\n"
                                  "  (true for exit status 0), status, mails, news_batches, articles,\n"
                                  "  removed and left (the jobs still in the spool and in SPOOL/bad/). A\n"
                                  "  data file that no execute file names, an hour old, whose bytes are\n"
                                  "  a mail in the store (left by an import that was cut off) is removed.\n"
                                  "  Exit 1 when either import failed, 3 when jobs are left or set aside\n"
                                  "  into SPOOL/bad/ (each listed on standard error with the reason), 4\n"
                                  "  when another run holds the store. The verb for cron.\n") +
                          kImportOptionsHelp + kBitsHelp + kWaitHelp,
                      cycle};
}

}  // namespace brem::cli
