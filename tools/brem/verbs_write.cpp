// Verbs of the host's writers, file services and character-set decoding.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "inbound.h"
#include "runs.h"
#include "store/store.h"

namespace brem::cli {

namespace {

// Room for any of the library's texts and the longest path it names.
std::vector<char> errorBuffer(const std::vector<std::string>& paths) {
    size_t longest = 0;
    for (const std::string& p : paths) longest = std::max(longest, p.size());
    return std::vector<char>(longest + 512, '\0');
}

// The library's error text, completed with the file and the system's
// reason where it does not give them.
void reportFailure(const char* what, const char* text, const std::string& path = std::string(),
                   bool forWriting = false) {
    std::fprintf(stderr, "brem: %s failed: %s\n", what, explainFailure(text, path, forWriting).c_str());
}

int writeMessage(std::vector<std::string>& args) {
    bool wrap = takeFlag(args, "--wrap");
    bool json = takeFlag(args, "--json");
    std::string file;
    bool toFile = takeOption(args, "--file", &file);
    int32_t area = 0, wait = 0;
    const char* usage = "usage: brem write-message STORE AREA TEXTFILE [--wrap] [--wait SECONDS] [--json]\n"
                        "       brem write-message --file PATH TEXTFILE [--json]\n";
    std::string problem = takeWait(args, &wait);
    if (problem.empty()) {
        problem = toFile ? positionalProblem(args, {"TEXTFILE"}) : positionalProblem(args, {"STORE", "AREA", "TEXTFILE"});
    }
    if (problem.empty() && !toFile && !parseInt32(args[1], &area)) problem = "AREA: '" + args[1] + "' is not a whole number";
    if (!problem.empty()) return usageError("write-message", problem, usage);
    const std::string& textFile = args.back();
    std::string text;
    if (!readWholeFile(textFile, &text)) {
        std::fprintf(stderr, "brem: cannot open %s: %s\n", textFile.c_str(), openProblem(textFile, false).c_str());
        return kExitFailed;
    }
    // A store's area files are written by one run at a time.
    RunLock lock;
    if (!toFile) {
        if (!usableDirectory(args[0], "store directory")) return kExitFailed;
        if (int status = lock.take(args[0], wait)) return status;
    }
    // The library takes the text up to its first NUL, as a host's string.
    text = text.c_str();
    int32_t start = 0, length = 0;
    std::vector<char> err = errorBuffer({args[0], file});
    int32_t r;
    if (toFile) {
        r = WRITEUUCP(file.c_str(), &start, &length, text.c_str(), err.data());
    } else if (wrap) {
        r = WRITEMFORM(args[0].c_str(), area, &start, &length, text.c_str(), err.data());
    } else {
        r = WRITEMESSAGE(args[0].c_str(), area, &start, &length, text.c_str(), err.data());
    }
    if (r != 0) {
        std::string target = toFile ? file : layout::join(args[0], store::writePath("", area).substr(1));
        reportFailure(toFile ? "WRITEUUCP" : wrap ? "WRITEMFORM" : "WRITEMESSAGE", err.data(), target, true);
        return kExitFailed;
    }
    if (json) {
        std::printf("{\"start\": %d, \"length\": %d}\n", start, length);
    } else {
        std::printf("start %d length %d\n", start, length);
    }
    return kExitOk;
}

int attachFile(std::vector<std::string>& args) {
    bool hold = takeFlag(args, "--hold");
    std::string prefix, prefixFile;
    bool withPrefix = takeOption(args, "--prefix", &prefix);
    if (takeOption(args, "--prefix-file", &prefixFile)) {
        if (!readWholeFile(prefixFile, &prefix)) {
            std::fprintf(stderr, "brem: cannot open %s: %s\n", prefixFile.c_str(), openProblem(prefixFile, false).c_str());
            return kExitFailed;
        }
        prefix = prefix.c_str();
        withPrefix = true;
    }
    if (args.size() != 2 && args.size() != 3) {
        return usageError("attach", args.size() < 2 ? positionalProblem(args, {"DIR", "SOURCE"})
                                          : positionalProblem(args, {"DIR", "SOURCE", "NAME"}),
                          "usage: brem attach DIR SOURCE [NAME] [--hold] [--prefix TEXT | --prefix-file FILE]\n");
    }
    std::string name = args.size() == 3 ? args[2] : args[1].substr(args[1].find_last_of("/\\") + 1);
    std::vector<char> err = errorBuffer(args);
    int32_t r = withPrefix ? GENUUCP(args[0].c_str(), args[1].c_str(), name.c_str(), prefix.c_str(), err.data(),
                                     hold ? 1 : 0)
                           : FILEATTACH(args[0].c_str(), args[1].c_str(), name.c_str(), err.data(), hold ? 1 : 0);
    if (r != 0) {
        reportFailure(withPrefix ? "GENUUCP" : "FILEATTACH", err.data());
        return kExitFailed;
    }
    // Shown in the separator style of the directory as given.
    const char* sep = args[0].find('\\') == std::string::npos && args[0].find('/') != std::string::npos ? "/" : "\\";
    std::printf("%s %s%s%s%s\n", hold ? "written to" : "appended to", args[0].c_str(), sep,
                hold ? (std::string(layout::kHoldDirectory) + sep).c_str() : "", name.c_str());
    return kExitOk;
}

int quoteFile(std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("quote", positionalProblem(args, {"IN", "OUT"}), "usage: brem quote IN OUT\n");
    }
    std::vector<char> err = errorBuffer(args);
    if (WRITEQUOTED(args[0].c_str(), args[1].c_str(), err.data(), nullptr) != 0) {
        // The library names the output file but not the input.
        bool aboutInput = std::strstr(err.data(), "in bound") != nullptr;
        reportFailure("WRITEQUOTED", err.data(), aboutInput ? args[0] : args[1], !aboutInput);
        return kExitFailed;
    }
    return kExitOk;
}

int decodeIso(std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("decode-iso", positionalProblem(args, {"IN", "OUT"}), "usage: brem decode-iso IN OUT\n");
    }
    std::vector<char> msg = errorBuffer(args);
    int32_t r = DECODE_ISO(args[0].c_str(), args[1].c_str(), msg.data());
    if (r != 0) {
        // Which of the two files the message is about: the input when it
        // cannot be read, the output otherwise.
        bool inputBad = !openProblem(args[0], false).empty();
        reportFailure("DECODE_ISO", msg.data(), inputBad ? args[0] : args[1], !inputBad);
        return kExitFailed;
    }
    return kExitOk;
}

int makeDir(std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("make-dir", positionalProblem(args, {"DIR"}), "usage: brem make-dir DIR\n");
    }
    if (GENDIR(args[0].c_str()) != 0) {
        std::string why = plat::lastErrorText();
        if (plat::directoryExists(args[0]) || plat::fileExists(args[0])) why = "it exists already";
        std::fprintf(stderr, "brem: GENDIR failed: %s cannot be created: %s\n", args[0].c_str(), why.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int checkDir(std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("check-dir", positionalProblem(args, {"DIR"}), "usage: brem check-dir DIR\n");
    }
    if (CHKDIR(args[0].c_str()) != 0) {
        std::string why = plat::lastErrorText();
        std::fprintf(stderr, "brem: CHKDIR failed: %s is no directory that can be entered: %s\n", args[0].c_str(),
                     why.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int renameFile(std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("rename", positionalProblem(args, {"OLD", "NEW"}), "usage: brem rename OLD NEW\n");
    }
    if (FILERENAME(args[0].c_str(), args[1].c_str()) != 0) {
        std::string why = plat::lastErrorText();
        if (!plat::fileExists(args[0]) && !plat::directoryExists(args[0])) why = openProblem(args[0], false);
        else if (plat::fileExists(args[1]) || plat::directoryExists(args[1])) why = args[1] + " exists already";
        std::fprintf(stderr, "brem: FILERENAME failed: %s cannot become %s: %s\n", args[0].c_str(), args[1].c_str(),
                     why.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void registerWriteVerbs(VerbTable& verbs) {
    verbs["write-message"] = {
        "append a message from a file to an area, printing its start and length",
        "usage: brem write-message STORE AREA TEXTFILE [--wrap] [--wait SECONDS] [--json]\n"
        "       brem write-message --file PATH TEXTFILE [--json]\n"
        "  Appends the text of TEXTFILE (up to a NUL byte; CRs are dropped) to the\n"
        "  area's file of STORE (0 mailarea.txt, N areaN.txt) with WRITEMESSAGE, or\n"
        "  with WRITEMFORM when --wrap is given (a line breaks after the first blank\n"
        "  past column 80). With --file the text goes to PATH itself (WRITEUUCP).\n"
        "  Prints \"start S length L\", the address to read it back with brem read.\n"
        "  Writing to a store takes its lock (--wait SECONDS: how long to wait for\n"
        "  another run, default 0; exit 4 when it is still held).\n",
        writeMessage};
    verbs["attach"] = {
        "copy a file into a directory or its hold directory",
        "usage: brem attach DIR SOURCE [NAME] [--hold] [--prefix TEXT | --prefix-file FILE]\n"
        "  Copies SOURCE to the end of DIR\\NAME (NAME: the source's file name) with\n"
        "  FILEATTACH; with --hold into DIR\\hold\\NAME as a fresh file (the hold\n"
        "  directory is made when missing). With a prefix the text is written before\n"
        "  the copy (GENUUCP).\n",
        attachFile};
    verbs["quote"] = {"write a file as quoted-printable (WRITEQUOTED)",
                      "usage: brem quote IN OUT\n"
                      "  Writes IN as quoted-printable text with LF line ends to OUT, which must\n"
                      "  be another file.\n",
                      quoteFile};
    verbs["decode-iso"] = {"decode a quoted-printable ISO-8859-1 file to code page 850",
                           "usage: brem decode-iso IN OUT\n"
                           "  Decodes the quoted-printable ISO-8859-1 text of IN into IBM code page\n"
                           "  850 text in OUT (DECODE_ISO).\n",
                           decodeIso};
    verbs["make-dir"] = {"create one directory (GENDIR)",
                         "usage: brem make-dir DIR\n"
                         "  Calls GENDIR, which creates DIR, one level: its parent must exist.\n"
                         "  Exit 0 when DIR was created; 1 when it exists already, its parent is\n"
                         "  missing or the system refuses (the reason is given).\n",
                         makeDir};
    verbs["check-dir"] = {"check that a directory exists and can be entered (CHKDIR)",
                          "usage: brem check-dir DIR\n"
                          "  Calls CHKDIR, which makes DIR the current directory of brem's own\n"
                          "  process: exit 0 when DIR exists and can be entered, 1 otherwise.\n",
                          checkDir};
    verbs["rename"] = {"rename or move a file without replacing one (FILERENAME)",
                       "usage: brem rename OLD NEW\n"
                       "  Calls FILERENAME: the file OLD takes the name NEW, also in another\n"
                       "  directory of the same volume. An existing NEW is never replaced. Exit\n"
                       "  0 when renamed; 1 when OLD is missing, NEW exists or the system\n"
                       "  refuses (the reason is given).\n",
                       renameFile};
}

}  // namespace brem::cli
