// Verbs of the content encodings: MIME attachments and the UU coder.
#include <cstdio>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "platform/stream.h"
#include "runs.h"

namespace brem::cli {

namespace {

std::string leafOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The coder decodes what carries one of these extensions (or none).
bool looksEncoded(const std::string& path) {
    std::string leaf = leafOf(path);
    size_t dot = leaf.rfind('.');
    if (dot == std::string::npos) return true;
    std::string ext = leaf.substr(dot, 4);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return ext == ".enc" || ext == ".xxe" || ext == ".uue";
}

// UUENCODE answers 0 whatever happens; an input that cannot be opened is
// found here, so that a script sees it in the exit status. The library's
// platform layer looks for it as the library will: `\` as a separator and
// names found case-blind, on every system.
bool readable(const std::string& path) {
    brem::plat::Stream f;
    return f.open(path, "rb");
}

// Why a coder given `in` and `out` failed, as far as the system tells: the
// input that cannot be read, or the output that cannot be written.
std::string coderProblem(const std::string& in, const std::string& out) {
    std::string why = openProblem(in, false);
    if (!why.empty()) return "cannot open " + in + ": " + why;
    why = openProblem(out, true);
    if (!why.empty()) return "cannot write " + out + ": " + why;
    return "see the message above";
}

// The directory a path lies in ("." for a bare name).
std::string directoryOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

int extractAttachment(std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: brem extract-attachment MESSAGE OUT\n");
        return kExitUsage;
    }
    if (MIMEDECODE(args[0].c_str(), args[1].c_str()) != 0) {
        std::fprintf(stderr, "brem: MIMEDECODE failed for %s -> %s: %s\n", args[0].c_str(), args[1].c_str(),
                     coderProblem(args[0], args[1]).c_str());
        return kExitFailed;
    }
    std::string bytes;
    if (readWholeFile(args[1], &bytes)) std::printf("%s: %zu bytes\n", args[1].c_str(), bytes.size());
    else std::printf("%s: no attachment (the output was given up)\n", args[1].c_str());
    return kExitOk;
}

int attach(std::vector<std::string>& args) {
    std::string name;
    bool named = takeOption(args, "--name", &name);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: brem encode-attachment FILE OUT [--name NAME]\n");
        return kExitUsage;
    }
    if (!named) name = leafOf(args[0]);
    if (MIMEENCODE(args[0].c_str(), args[1].c_str(), name.c_str()) != 0) {
        std::fprintf(stderr, "brem: MIMEENCODE failed for %s -> %s: %s\n", args[0].c_str(), args[1].c_str(),
                     coderProblem(args[0], args[1]).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int uuencode(std::vector<std::string>& args) {
    std::string out, name, dir = ".", size = "0";
    takeOption(args, "--out", &out);
    takeOption(args, "--name", &name);
    takeOption(args, "--count-dir", &dir);
    takeOption(args, "--part-size", &size);
    int32_t partSize = 0;
    if (args.size() != 1 || !parseInt32(size, &partSize)) {
        std::fprintf(stderr, "usage: brem uuencode FILE [--out OUT] [--name NAME] [--count-dir DIR] [--part-size N]\n");
        return kExitUsage;
    }
    if (looksEncoded(args[0])) {
        std::fprintf(stderr, "brem: %s would be decoded (its extension is .enc, .xxe, .uue or none)\n",
                     args[0].c_str());
        return kExitUsage;
    }
    if (!readable(args[0])) {
        std::fprintf(stderr, "brem: cannot open %s: %s\n", args[0].c_str(), openProblem(args[0], false).c_str());
        return kExitFailed;
    }
    // UUENCODE answers 0 alike when it could not write its parts: a missing
    // directory is found here.
    if (!usableDirectory(directoryOf(out.empty() ? args[0] : out), "output directory") ||
        !usableDirectory(dir, "count-file directory"))
        return kExitFailed;
    UUENCODE(args[0].c_str(), out.c_str(), name.c_str(), dir.c_str(), partSize);
    return kExitOk;
}

int uudecode(std::vector<std::string>& args) {
    std::string out;
    takeOption(args, "--out", &out);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: brem uudecode FILE [--out OUT]\n");
        return kExitUsage;
    }
    if (!looksEncoded(args[0])) {
        std::fprintf(stderr, "brem: %s would be encoded (only .enc, .xxe, .uue or no extension are decoded)\n",
                     args[0].c_str());
        return kExitUsage;
    }
    // Without an extension the coder reads FILE.enc.
    std::string leaf = leafOf(args[0]);
    std::string input = leaf.find('.') == std::string::npos ? args[0] + ".enc" : args[0];
    if (!readable(input)) {
        std::fprintf(stderr, "brem: cannot open %s: %s\n", input.c_str(), openProblem(input, false).c_str());
        return kExitFailed;
    }
    UUENCODE(args[0].c_str(), out.c_str(), "", ".", 0);
    return kExitOk;
}

}  // namespace

void registerEncodeVerbs(VerbTable& verbs) {
    verbs["extract-attachment"] = {
        "write the first base64 attachment of a message file to a file",
        "usage: brem extract-attachment MESSAGE OUT\n"
        "  Calls MIMEDECODE: the first base64 body of MESSAGE is decoded into OUT.\n"
        "  When the message never names an attachment other than OUT, OUT is\n"
        "  replaced at the end by $$$$$$$$.$$$ of the current directory, or removed.\n",
        extractAttachment};
    verbs["encode-attachment"] = {"encode a file as a MIME base64 attachment body",
                       "usage: brem encode-attachment FILE OUT [--name NAME]\n"
                       "  Calls MIMEENCODE: OUT receives the attachment's MIME header (named\n"
                       "  NAME, by default FILE's file name), a blank line and FILE in base64.\n",
                       attach};
    verbs["uuencode"] = {
        "UU-encode a file into part files",
        "usage: brem uuencode FILE [--out OUT] [--name NAME] [--count-dir DIR] [--part-size N]\n"
        "  Calls UUENCODE: FILE is encoded into OUT (default FILE) with the extension\n"
        "  .enc, split into parts of N x 16 lines (0, the default: one file) named\n"
        "  x.enc, x.en2 ... x.e99; NAME goes into the begin lines (default FILE's\n"
        "  name); DIR/ncode.dat receives the number of part files (default DIR: .).\n"
        "  Progress and diagnostics are printed by the library; an existing output\n"
        "  asks before it is overwritten (the end of standard input answers yes).\n"
        "  Exit 1 when FILE cannot be opened.\n",
        uuencode};
    verbs["uudecode"] = {
        "decode a UU- or XX-encoded file (and its part files)",
        "usage: brem uudecode FILE [--out OUT]\n"
        "  Calls UUENCODE on FILE (.enc, .xxe, .uue, or no extension: FILE.enc),\n"
        "  following the part files x.en2, x.en3 ...; the bytes go to OUT or to the\n"
        "  name of the begin line in the current directory. An alphabet given in a\n"
        "  \"table\" or \"charmap\" line (XX) is used. Progress and diagnostics are\n"
        "  printed by the library. Exit 1 when the input cannot be opened.\n",
        uudecode};
}

}  // namespace brem::cli
