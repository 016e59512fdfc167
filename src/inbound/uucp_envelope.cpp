#include "inbound/uucp_envelope.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "text/ascii.h"
#include "text/calendar.h"

namespace brem::inbound {

namespace {

bool allDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> w;
    std::string cur;
    for (char c : s + " ") {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    return w;
}

// The date of an envelope line in the form the mbox "From " line has,
// from the words that follow the address ("Mon Oct  6 21:14:02 1997", also
// with a zone before the year or in the order of a Date header). The time is
// the sending site's own, as the line gives it; empty when it is no date.
std::string envelopeDate(const std::vector<std::string>& w) {
    int month = 0, day = 0, hh = -1, mm = 0, ss = 0;
    int64_t year = -1;
    for (const std::string& t : w) {
        if (t.find(':') != std::string::npos) {
            if (hh < 0 && std::sscanf(t.c_str(), "%d:%d:%d", &hh, &mm, &ss) < 2) hh = -1;
        } else if (allDigits(t)) {
            if (t.size() <= 2 && day == 0) day = std::stoi(t);
            else if (year < 0) year = std::stoll(t) + (t.size() <= 2 ? (std::stoi(t) < 50 ? 2000 : 1900) : 0);
        } else if (month == 0 && t.size() >= 3) {
            for (int m = 0; m < 12; ++m)
                if (ascii::equalsNoCase(t.substr(0, 3), calendar::kMonths[m]) && (t.size() == 3 || std::isalpha(static_cast<unsigned char>(t[3]))))
                    month = m + 1;
        }
    }
    if (month == 0 || day < 1 || day > 31 || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 60 ||
        year < 1970 || year > 9999)
        return std::string();
    int64_t days = calendar::daysFromCivil(year, month, day);
    char out[64];
    std::snprintf(out, sizeof out, "%s %s %2d %02d:%02d:%02d %lld", calendar::kDays[((days % 7) + 7) % 7], calendar::kMonths[month - 1], day,
                  hh, mm, ss, static_cast<long long>(year));
    return out;
}

}  // namespace

Envelope ParseEnvelope(const std::string& head) {
    Envelope e;
    std::string path, user;
    size_t at = 0;
    for (bool first = true;; first = false) {
        const char* open = first ? "From " : ">From ";
        const size_t openSize = first ? 5 : 6;
        size_t lf = head.find('\n', at);
        if (lf == std::string::npos || head.compare(at, openSize, open) != 0) break;
        std::string line = head.substr(at + openSize, lf - at - openSize);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> w = words(line);
        if (w.empty()) break;
        // The site that passed the message on is named by "remote from SITE";
        // a line without one may carry the path in its address instead.
        std::string address = w[0];
        size_t remote = w.size();
        for (size_t i = 1; i + 2 < w.size(); ++i)
            if (w[i] == "remote" && w[i + 1] == "from") remote = i;
        if (remote < w.size()) {
            path += w[remote + 2] + "!";
        } else if (size_t bang = address.rfind('!'); bang != std::string::npos && bang > 0) {
            path += address.substr(0, bang + 1);
            address = address.substr(bang + 1);
        }
        user = address;
        if (first) e.date = envelopeDate(std::vector<std::string>(w.begin() + 1, w.begin() + static_cast<long>(remote)));
        at = lf + 1;
        e.bytes = at;
    }
    if (e.bytes > 0) e.sender = path + user;
    for (unsigned char c : e.sender)
        if (c <= 0x20 || c == 0x7f) e.sender = "MAILER-DAEMON";
    return e;
}

}  // namespace brem::inbound
