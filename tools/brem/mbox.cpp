#include "mbox.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "text/ascii.h"
#include "text/calendar.h"

namespace brem::cli {

namespace {

std::string trimmed(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// The header's value: what follows its first colon.
std::string headerValue(const std::string& line) {
    size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : trimmed(line.substr(colon + 1));
}

bool allDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Minutes east of UTC of a zone word; false when it is not one.
bool zoneMinutes(const std::string& z, int* minutes) {
    if (z.size() == 5 && (z[0] == '+' || z[0] == '-') && allDigits(z.substr(1))) {
        int v = std::stoi(z.substr(1, 2)) * 60 + std::stoi(z.substr(3, 2));
        *minutes = z[0] == '-' ? -v : v;
        return true;
    }
    static const struct {
        const char* name;
        int hours;
    } kNames[] = {{"UT", 0},   {"UTC", 0},  {"GMT", 0},  {"Z", 0},    {"EST", -5}, {"EDT", -4},
                  {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& n : kNames) {
        if (ascii::equalsNoCase(z, n.name)) {
            *minutes = n.hours * 60;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string mboxSender(const std::string& fromLine) {
    std::string v = headerValue(fromLine);
    std::string addr;
    size_t lt = v.rfind('<');
    size_t gt = lt == std::string::npos ? std::string::npos : v.find('>', lt);
    if (gt != std::string::npos) {
        addr = trimmed(v.substr(lt + 1, gt - lt - 1));
    } else {
        // "addr (Name)": comments aside, the first word.
        std::string plain;
        int depth = 0;
        for (char c : v) {
            if (c == '(') ++depth;
            else if (c == ')' && depth > 0) --depth;
            else if (depth == 0) plain.push_back(c);
        }
        plain = trimmed(plain);
        addr = plain.substr(0, plain.find_first_of(" \t"));
    }
    bool usable = !addr.empty();
    for (unsigned char c : addr) usable = usable && c > 0x20 && c != 0x7f;
    return usable ? addr : "MAILER-DAEMON";
}

std::string mboxDate(const std::string& dateLine) {
    static const char* const kFixed = "Thu Jan  1 00:00:00 1970";
    // Words of the value, commas taken as blanks: [Day,] DD Mon YYYY HH:MM[:SS] [zone]
    std::vector<std::string> w;
    std::string cur;
    for (char c : headerValue(dateLine) + " ") {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    size_t i = 0;
    if (i < w.size() && !w[i].empty() && std::isalpha(static_cast<unsigned char>(w[i][0]))) ++i;  // day name
    if (w.size() < i + 4 || !allDigits(w[i]) || !allDigits(w[i + 2])) return kFixed;
    int day = std::stoi(w[i]);
    int month = 0;
    for (int m = 0; m < 12; ++m)
        if (w[i + 1].size() >= 3 && ascii::equalsNoCase(w[i + 1].substr(0, 3), calendar::kMonths[m])) month = m + 1;
    int64_t year = std::stoll(w[i + 2]);
    if (w[i + 2].size() <= 2) year += year < 50 ? 2000 : 1900;
    int hh = 0, mm = 0, ss = 0;
    if (std::sscanf(w[i + 3].c_str(), "%d:%d:%d", &hh, &mm, &ss) < 2) return kFixed;
    if (month == 0 || day < 1 || day > 31 || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 60 ||
        year < 1970 || year > 9999)
        return kFixed;
    int zone = 0;
    if (w.size() > i + 4) zoneMinutes(w[i + 4], &zone);
    int64_t t = calendar::daysFromCivil(year, month, day) * 86400 + hh * 3600 + mm * 60 + ss - zone * 60;
    if (t < 0) return kFixed;
    int64_t days = t / 86400, rest = t % 86400;
    int m, d;
    calendar::civilFromDays(days, &year, &m, &d);
    char out[64];
    std::snprintf(out, sizeof out, "%s %s %2d %02d:%02d:%02d %lld", calendar::kDays[days % 7], calendar::kMonths[m - 1], d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60),
                  static_cast<long long>(year));
    return out;
}

std::string shareRead(int64_t done, int64_t total, const std::string& name) {
    int64_t percent = total > 0 ? done * 100 / total : 100;
    return std::to_string(percent) + "% of " + name;
}

void FromQuoting::release(std::string& out) {
    out.append(marks_, '>');
    out.append("From ", matched_);
    marks_ = matched_ = 0;
}

void FromQuoting::feed(const char* data, size_t n, std::string& out) {
    static const char kFrom[] = "From ";
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        switch (state_) {
            case State::InLine: {
                // The rest of the line up to its LF goes out at once.
                const void* lf = std::memchr(data + i, '\n', n - i);
                size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) + 1 : n;
                out.append(data + i, end - i);
                i = end - 1;
                if (lf) state_ = State::LineStart;
                continue;
            }
            case State::LineStart:
                if (c == '>') {
                    ++marks_;
                    continue;
                }
                if (c == 'F') {
                    matched_ = 1;
                    state_ = State::Matching;
                    continue;
                }
                break;
            case State::Matching:
                if (c == kFrom[matched_]) {
                    if (++matched_ == 5) {
                        if (format_ == MboxFormat::Mboxrd) {
                            if (quote_) ++marks_;
                            else if (marks_ > 0) --marks_;
                        } else if (quote_ ? marks_ == 0 : marks_ == 1) {
                            marks_ = quote_ ? 1 : 0;
                        }
                        release(out);
                        state_ = State::InLine;
                    }
                    continue;
                }
                break;
        }
        // The line is no "From " line: what was held back goes out as it was.
        release(out);
        out.push_back(c);
        state_ = c == '\n' ? State::LineStart : State::InLine;
    }
}

void FromQuoting::finish(std::string& out) {
    release(out);
    reset();
}

}  // namespace brem::cli
