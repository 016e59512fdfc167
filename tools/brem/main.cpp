// brem: drives every export of brem32 from the command line.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "store_care.h"

namespace brem::cli {

bool takeOption(std::vector<std::string>& args, const std::string& name, std::string* value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            *value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (args[i].rfind(name + "=", 0) == 0) {
            *value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool parseInt32(const std::string& text, int32_t* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

int usageError(const std::string& verb, const std::string& what, const std::string& usage) {
    std::fprintf(stderr, "brem %s: %s\n%s", verb.c_str(), what.c_str(), usage.c_str());
    if (!usage.empty() && usage.back() != '\n') std::fputc('\n', stderr);
    return kExitUsage;
}

std::string positionalProblem(const std::vector<std::string>& args, const std::vector<std::string>& names) {
    if (args.size() < names.size()) {
        std::string missing;
        for (size_t i = args.size(); i < names.size(); ++i) missing += (missing.empty() ? "" : " and ") + names[i];
        return missing + (names.size() - args.size() == 1 ? " is missing" : " are missing");
    }
    if (args.size() > names.size()) return "unexpected argument '" + args[names.size()] + "'";
    return std::string();
}

std::string takeNumber(std::vector<std::string>& args, const std::string& name, int32_t lo, int32_t hi,
                       int32_t* out) {
    std::string text;
    if (!takeOption(args, name, &text)) return std::string();
    int32_t v = 0;
    if (!parseInt32(text, &v)) return name + ": '" + text + "' is not a whole number";
    if (v < lo || v > hi) {
        return name + ": " + text + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
    }
    *out = v;
    return std::string();
}

std::vector<char> directoryBuffer(const std::string& dir, size_t calls) {
    std::vector<char> buf(dir.size() + calls + 1, '\0');
    std::memcpy(buf.data(), dir.data(), dir.size());
    return buf;
}

bool readWholeFile(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    std::fclose(f);
    return true;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
static size_t utf8Sequence(const std::string& s, size_t i) {
    auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned c = at(i);
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

std::string jsonString(const std::string& s) {
    std::string o = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            // Header lines of old mail carry ISO-8859-1 bytes; JSON must be
            // UTF-8, so a byte that starts no UTF-8 sequence is given as the
            // ISO-8859-1 character of the same value.
            size_t n = utf8Sequence(s, i);
            if (n > 0) {
                o.append(s, i, n);
                i += n - 1;
            } else {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                o += b;
            }
            continue;
        }
        switch (c) {
            case '"': o += "\\\""; break;
            case '\\': o += "\\\\"; break;
            case '\n': o += "\\n"; break;
            case '\r': o += "\\r"; break;
            case '\t': o += "\\t"; break;
            default:
                if (c < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", c);
                    o += b;
                } else {
                    o.push_back(static_cast<char>(c));
                }
        }
    }
    return o + "\"";
}

int32_t readStoredToStdout(const std::string& dir, int32_t area, int32_t start, int32_t length, ReadKind kind,
                           std::string* error, std::string* textOut) {
    std::vector<char> text(32302 + 16);
    std::vector<char> err(dir.size() + 512);
    int32_t result = -1;
    // A host reads on from start + result with length - result until the
    // library says the whole range was read (result length + 1).
    for (;;) {
        err[0] = '\0';
        switch (kind) {
            case ReadKind::Message: result = READMESSAGE(dir.c_str(), area, start, length, text.data(), err.data()); break;
            case ReadKind::News: result = READNEWS(dir.c_str(), area, start, length, text.data(), err.data()); break;
            case ReadKind::Mapi: result = READMAPIMSG(dir.c_str(), area, start, length, text.data(), err.data()); break;
            case ReadKind::Extract:
                result = EXTRACTMESSAGE(dir.c_str(), area, start, length, text.data(), err.data());
                break;
        }
        if (result < 0) {
            if (error) *error = err.data();
            return result;
        }
        size_t n = std::strlen(text.data());
        if (textOut) {
            textOut->append(text.data(), n);
        } else {
            std::fwrite(text.data(), 1, n, stdout);
        }
        if (result > length || length <= 0) return result;
        if (kind == ReadKind::Extract) {
            // EXTRACTMESSAGE counts body bytes and does not say how long the
            // header was. The header's size H is found as the smallest range
            // length that yields body bytes (H + 1); the body then reads on as
            // a plain range from start + H + result.
            int32_t lo = 0, hi = length;  // invariant: lo <= H < hi
            while (hi - lo > 1) {
                int32_t mid = lo + (hi - lo) / 2;
                int32_t r = EXTRACTMESSAGE(dir.c_str(), area, start, mid, text.data(), err.data());
                if (r == 1) lo = mid; else hi = mid;
            }
            int32_t header = lo;
            start += header;
            length -= header;
            kind = ReadKind::Message;
        }
        start += result;
        length -= result;
    }
}

}  // namespace brem::cli

namespace {

// True when the verb's usage text names the option ("--name" followed by
// anything but another name character).
bool usageNames(const std::string& usage, const std::string& option) {
    for (size_t at = usage.find(option); at != std::string::npos; at = usage.find(option, at + 1)) {
        size_t after = at + option.size();
        char c = after < usage.size() ? usage[after] : ' ';
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')) return true;
    }
    return false;
}

// The verb list: on standard output when asked for, on standard error when
// brem was run without a verb (a usage error that must not pass for output).
void printVerbs(const brem::cli::VerbTable& verbs, std::FILE* out) {
    std::fprintf(out, "usage: brem VERB [ARGUMENTS]   (brem VERB --help for a verb's options)\n\nverbs:\n");
    for (const auto& [name, verb] : verbs) std::fprintf(out, "  %-14s %s\n", name.c_str(), verb.summary.c_str());
    std::fprintf(out, "\nexit status: 0 success, 1 failure, 2 wrong command line, 3 jobs left in the spool,\n"
                      "4 the store is in use by another run (brem --version prints the version)\n");
}

// Every option of a verb is in its usage text. Anything else written like an
// option is a usage error, so that a misspelt option is never taken for a
// file name or silently ignored. False (and told) on such an option.
bool optionsKnown(const char* verb, const std::string& usage, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string option = a.substr(0, a.find('='));
            if (!usageNames(usage, option)) {
                std::fprintf(stderr, "brem %s: unknown option '%s' (brem %s --help lists its options)\n", verb,
                             option.c_str(), verb);
                return false;
            }
        }
    }
    return true;
}

// True (and told) when an option that takes a value is given last without
// one.
bool lastOptionLacksValue(const char* verb, const std::string& usage, const std::vector<std::string>& args) {
    if (args.empty() || args.back().size() <= 2 || args.back().compare(0, 2, "--") != 0 ||
        args.back().find('=') != std::string::npos)
        return false;
    const std::string option = args.back() + " ";
    for (size_t at = usage.find(option); at != std::string::npos; at = usage.find(option, at + 1)) {
        char next = at + option.size() < usage.size() ? usage[at + option.size()] : ' ';
        if (next >= 'A' && next <= 'Z') {
            size_t end = usage.find_first_of(" ]\n", at + option.size());
            std::fprintf(stderr, "brem %s: %s needs a value (%s)\n", verb, args.back().c_str(),
                         usage.substr(at + option.size(), end - at - option.size()).c_str());
            return true;
        }
    }
    return false;
}

void registerVerbs(brem::cli::VerbTable& verbs) {
    brem::cli::registerMailVerbs(verbs);
    brem::cli::registerDialVerbs(verbs);
    brem::cli::registerWriteVerbs(verbs);
    brem::cli::registerExportVerbs(verbs);
    brem::cli::registerEncodeVerbs(verbs);
    brem::cli::registerNewsVerbs(verbs);
    brem::cli::registerStoreVerbs(verbs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("brem %s\n", BREM_VERSION);
        return brem::cli::kExitOk;
    }
    brem::cli::VerbTable verbs;
    registerVerbs(verbs);

    // "brem help VERB" is "brem VERB --help".
    if (argc == 3 && std::strcmp(argv[1], "help") == 0) {
        auto verb = verbs.find(argv[2]);
        if (verb == verbs.end()) {
            std::fprintf(stderr, "brem: unknown verb '%s' (brem --help lists the verbs)\n", argv[2]);
            return brem::cli::kExitUsage;
        }
        std::printf("%s", verb->second.usage.c_str());
        return brem::cli::kExitOk;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printVerbs(verbs, argc < 2 ? stderr : stdout);
        return argc < 2 ? brem::cli::kExitUsage : brem::cli::kExitOk;
    }
    auto it = verbs.find(argv[1]);
    if (it == verbs.end()) {
        std::fprintf(stderr, "brem: unknown verb '%s' (brem --help lists the verbs)\n", argv[1]);
        return brem::cli::kExitUsage;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (brem::cli::takeFlag(args, "--help") || brem::cli::takeFlag(args, "-h")) {
        std::printf("%s", it->second.usage.c_str());
        return brem::cli::kExitOk;
    }
    if (!optionsKnown(argv[1], it->second.usage, args) || lastOptionLacksValue(argv[1], it->second.usage, args))
        return brem::cli::kExitUsage;
    return it->second.run(args);
}
