// Checks of the store as a host sees it: an index file (mail.hdr, Header.Msg)
// parsed into its records, and each record's range read back through READMESSAGE,
// chunk by chunk, against the bytes the message was received with. Shared by
// the fault sweeps and the soak run.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "brem32.h"

namespace brem::test {

// One record of an index file: its lines without their CR LF and the range
// it gives.
struct IndexRecord {
    std::vector<std::string> lines;
    int64_t start = 0;
    int64_t end = 0;
};
using MailRecord = IndexRecord;

// The shape of an index file's records: how many lines each has and which of
// them hold the start and the end.
struct IndexLayout {
    const char* file;
    size_t lines;
    size_t startLine;  // 0-based
    size_t endLine;
};
inline constexpr IndexLayout kMailHdr{"mail.hdr", 8, 6, 7};
inline constexpr IndexLayout kHeaderMsg{"Header.Msg", 9, 7, 8};  // line 1 names the area

// Splits an index file into records. False, with the reason, when it holds a
// partial line, a record shorter than its line count, or an address that is
// not a number (a half-written record).
inline bool parseIndex(const std::string& bytes, const IndexLayout& layout, std::vector<IndexRecord>& out,
                       std::string& why) {
    out.clear();
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t eol = bytes.find("\r\n", pos);
        if (eol == std::string::npos) {
            why = std::string(layout.file) + " ends in a partial line";
            return false;
        }
        lines.push_back(bytes.substr(pos, eol - pos));
        pos = eol + 2;
    }
    if (lines.size() % layout.lines != 0) {
        why = std::string(layout.file) + " holds " + std::to_string(lines.size()) + " lines, not whole records of " +
              std::to_string(layout.lines);
        return false;
    }
    for (size_t i = 0; i < lines.size(); i += layout.lines) {
        IndexRecord r;
        r.lines.assign(lines.begin() + static_cast<long>(i), lines.begin() + static_cast<long>(i + layout.lines));
        const std::string& s = r.lines[layout.startLine];
        const std::string& e = r.lines[layout.endLine];
        char* endp = nullptr;
        r.start = std::strtoll(s.c_str(), &endp, 10);
        bool okStart = !s.empty() && *endp == '\0';
        r.end = std::strtoll(e.c_str(), &endp, 10);
        bool okEnd = !e.empty() && *endp == '\0';
        if (!okStart || !okEnd || r.start < 1 || r.end < r.start) {
            why = "record " + std::to_string(i / layout.lines + 1) + " of " + layout.file + " has a bad address: " + s +
                  " / " + e;
            return false;
        }
        out.push_back(std::move(r));
    }
    return true;
}

inline bool parseMailHdr(const std::string& bytes, std::vector<MailRecord>& out, std::string& why) {
    return parseIndex(bytes, kMailHdr, out, why);
}

// Reads [start, start + length) of an area back through READMESSAGE and
// undoes the reader's line ends (each LF comes with one CR put before it), so
// that `out` holds the bytes as stored. False with the reason on a failure.
inline bool readStoredBytes(const std::string& storeHost, int32_t area, int32_t start, int32_t length,
                            std::string& out, std::string& why) {
    out.clear();
    std::vector<char> text(32302), err(512);
    int32_t done = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        int32_t r = READMESSAGE(storeHost.c_str(), area, start + done, length - done, text.data(), err.data());
        if (r < 0) {
            why = "READMESSAGE failed at " + std::to_string(start + done) + ": " + std::string(err.data());
            return false;
        }
        bool whole = r == length - done + 1;
        int32_t taken = whole ? length - done : r;
        if (taken < 0 || (!whole && taken == 0)) {
            why = "READMESSAGE made no progress";
            return false;
        }
        size_t i = 0;
        for (int32_t got = 0; got < taken; ++i) {
            if (i + 1 >= text.size()) {
                why = "a chunk longer than its result says";
                return false;
            }
            if (text[i] == '\r' && text[i + 1] == '\n') continue;  // the CR the reader put in
            out.push_back(text[i]);
            ++got;
        }
        done += taken;
        if (whole) return true;
    }
    why = "READMESSAGE never finished";
    return false;
}

// Reads [start, start + length) of an area back as the host does and compares
// it with `expect` (the bytes as stored, LF line ends): every chunk must be
// the matching slice with each LF as CR LF. False with the reason otherwise.
inline bool readsBackAs(const std::string& storeHost, int32_t area, int32_t start, int32_t length,
                        const std::string& expect, std::string& why) {
    if (static_cast<int64_t>(expect.size()) != length) {
        why = "stored length " + std::to_string(length) + ", message length " + std::to_string(expect.size());
        return false;
    }
    std::string got;
    if (!readStoredBytes(storeHost, area, start, length, got, why)) return false;
    if (got != expect) {
        size_t at = 0;
        while (at < got.size() && at < expect.size() && got[at] == expect[at]) ++at;
        why = "bytes differ at " + std::to_string(start + static_cast<int64_t>(at));
        return false;
    }
    return true;
}

// One mail job as the transfer leaves it in the spool.
struct MailJob {
    std::string executeName;  // e.g. "0C0001.X"
    std::string dataName;     // e.g. "0A0001.D"
    std::string recipient;    // unique per job: identifies its record
    std::string data;         // the message as received

    std::string executeText(const std::string& site = "hub") const {
        // The UUCP name "D.<site>A<nnnn>" maps to the local "0A<nnnn>.D".
        return "U uucp " + site + "\nF D." + site + dataName.substr(1, dataName.size() - 3) + "\nC rmail " +
               recipient + "\n";
    }
};

}  // namespace brem::test
