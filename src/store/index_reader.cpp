#include "store/index_reader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "text/ascii.h"

namespace brem::store {

namespace {

// Longer lines than any record line the importers write (a Cc line is kept
// to 2048 bytes); what lies beyond is skipped, so that a file of binary
// garbage without line ends cannot make the reader hold all of it.
constexpr size_t kLineKept = 64 * 1024;

// What a line shows in a message: its start, with control bytes as dots.
std::string shown(const std::string& text) {
    std::string s = text.substr(0, 40);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '.';
    if (text.size() > 40) s += "...";
    return s;
}

}  // namespace

const std::vector<SlotRule>& MailRecordSlots() {
    static const std::vector<SlotRule> slots = {
        {"To", {"To:"}},
        {"From", {"From:"}},
        {"Date", {"Date:"}},
        {"Message id", {"Message-I"}},
        {"Subject", {"Subject:"}},
        {"Cc", {"Cc:", kNoCcLine}},
        {"Start", {}},
        {"End", {}},
    };
    return slots;
}

const std::vector<SlotRule>& NewsRecordSlots() {
    static const std::vector<SlotRule> slots = {
        {"Area", {}},
        {"From", {"From:"}},
        {"Date", {"Date:"}},
        {"Message-ID", {"Message-ID:"}},
        {"Subject", {"Subject:"}},
        {"References", {"References:", "Message-ID:"}},
        {"Lines", {"Lines:"}},
        {"Start", {}},
        {"End", {}},
    };
    return slots;
}

bool ParseRecordNumber(const std::string& text, int32_t* value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool StartsWithNoCase(const std::string& line, const char* prefix) { return ascii::startsNoCase(line, prefix); }

namespace {

// A record's number as the C library reads a whole line as one: blanks and
// a sign before the digits are taken, anything after them is not.
bool readNumber(const std::string& text, int32_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

int32_t recordNumber(const std::string& text) {
    int32_t v = 0;
    readNumber(text, &v);
    return v;
}

const std::string& lineAt(const std::vector<std::string>& lines, size_t i) {
    static const std::string none;
    return i < lines.size() ? lines[i] : none;
}

std::vector<std::string> textsOf(const IndexItem& item) {
    std::vector<std::string> texts;
    texts.reserve(item.lines.size());
    for (const IndexLine& l : item.lines) texts.push_back(l.text);
    return texts;
}

}  // namespace

MailRecord MailRecordOf(const std::vector<std::string>& lines) {
    MailRecord r;
    r.to = lineAt(lines, 0);
    r.from = lineAt(lines, 1);
    r.date = lineAt(lines, 2);
    r.messageId = lineAt(lines, 3);
    r.subject = lineAt(lines, 4);
    r.cc = lineAt(lines, 5);
    r.start = recordNumber(lineAt(lines, 6));
    r.end = recordNumber(lineAt(lines, 7));
    r.raw = lines;
    return r;
}

NewsRecord NewsRecordOf(const std::vector<std::string>& lines) {
    NewsRecord r;
    r.area = recordNumber(lineAt(lines, 0));
    r.from = lineAt(lines, 1);
    r.date = lineAt(lines, 2);
    r.messageId = lineAt(lines, 3);
    r.subject = lineAt(lines, 4);
    r.references = lineAt(lines, 5);
    r.lines = lineAt(lines, 6);
    r.start = recordNumber(lineAt(lines, 7));
    r.end = recordNumber(lineAt(lines, 8));
    r.raw = lines;
    return r;
}

MailRecord ParseMailRecord(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size() && lines.size() < kMailRecordLines;) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string::npos) lf = text.size();
        std::string line = text.substr(pos, lf - pos);
        while (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = lf + 1;
    }
    return MailRecordOf(lines);
}

MailRecord MailRecordOf(const IndexItem& item) { return MailRecordOf(textsOf(item)); }
NewsRecord NewsRecordOf(const IndexItem& item) { return NewsRecordOf(textsOf(item)); }

bool NewsRecord::hasReferences() const { return ascii::startsNoCase(references, "References:"); }

bool NewsRecord::lineCount(int32_t* count) const {
    const size_t colon = lines.find(':');
    std::string n = colon == std::string::npos ? std::string() : lines.substr(colon + 1);
    while (!n.empty() && (n.front() == ' ' || n.front() == '\t')) n.erase(0, 1);
    while (!n.empty() && (n.back() == ' ' || n.back() == '\t')) n.pop_back();
    int32_t v = 0;
    if (!readNumber(n, &v) || v < 0) return false;
    *count = v;
    return true;
}

bool RecordReader::open(const std::string& path, int64_t from) {
    pos_ = end_ = 0;
    if (!in_.open(path, "rb")) return false;
    if (from > 0 && in_.seek(from)) pos_ = end_ = from;
    return true;
}

bool RecordReader::nextLines(size_t count) {
    lines_.resize(count);
    for (size_t i = 0; i < count; ++i) {
        std::string& line = lines_[i];
        if (!in_.getLine(line, kLineKept)) return false;
        pos_ += static_cast<int64_t>(line.size());
        if (line.back() != '\n') {
            std::string rest;
            while (in_.getLine(rest, kLineKept)) {
                pos_ += static_cast<int64_t>(rest.size());
                if (rest.back() == '\n') break;
            }
        }
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    }
    end_ = pos_;
    return true;
}

bool RecordReader::next(MailRecord& r) {
    if (!nextLines(kMailRecordLines)) return false;
    r = MailRecordOf(lines_);
    return true;
}

bool RecordReader::next(NewsRecord& r) {
    if (!nextLines(kNewsRecordLines)) return false;
    r = NewsRecordOf(lines_);
    return true;
}

bool IndexReader::open(const std::string& path) {
    window_.clear();
    pos_ = items_ = linesSkipped_ = 0;
    if (!in_.open(path, "rb")) return false;
    size_ = in_.size();
    return true;
}

bool IndexReader::readLine(IndexLine& line) {
    line.offset = pos_;
    line.cut = false;
    if (!in_.getLine(line.text, kLineKept)) return false;
    pos_ += static_cast<int64_t>(line.text.size());
    if (line.text.back() != '\n') {
        std::string rest;
        while (in_.getLine(rest, kLineKept)) {
            line.cut = true;
            pos_ += static_cast<int64_t>(rest.size());
            if (rest.back() == '\n') break;
        }
    }
    if (!line.text.empty() && line.text.back() == '\n') line.text.pop_back();
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    return true;
}

bool IndexReader::fill(size_t count) {
    while (window_.size() < count) {
        IndexLine line;
        if (!readLine(line)) return false;
        window_.push_back(std::move(line));
    }
    return true;
}

size_t IndexReader::firstMisfit(std::string* problem) const {
    for (size_t k = 0; k < slots_.size() && k < window_.size(); ++k) {
        const SlotRule& rule = slots_[k];
        const IndexLine& line = window_[k];
        bool fits = false;
        if (rule.prefixes.empty()) {
            int32_t v;
            fits = !line.cut && ParseRecordNumber(line.text, &v);
        } else {
            for (const char* p : rule.prefixes) fits = fits || StartsWithNoCase(line.text, p);
        }
        if (!fits) {
            if (problem) {
                std::string want;
                if (rule.prefixes.empty()) {
                    want = "a number";
                } else {
                    for (const char* p : rule.prefixes) want += (want.empty() ? "\"" : " or \"") + std::string(p) + "\"";
                }
                *problem = "line " + std::to_string(k + 1) + " (" + rule.name + ") should be " + want + " but is \"" +
                           shown(line.text) + "\"";
            }
            return k;
        }
    }
    return slots_.size();
}

bool IndexReader::next(IndexItem& item) {
    const size_t n = slots_.size();
    fill(n);
    if (window_.empty()) return false;
    item = IndexItem();
    item.number = ++items_;
    item.offset = window_.front().offset;
    item.hostOutOfStep = linesSkipped_ % static_cast<int64_t>(n) != 0;

    std::string problem;
    size_t bad = firstMisfit(&problem);
    if (bad == n && window_.size() < n) bad = window_.size();  // every line there fits: cut short
    if (bad == n) {
        item.kind = IndexItem::Kind::Record;
        item.lines.assign(window_.begin(), window_.end());
        item.lineCount = static_cast<int64_t>(n);
        window_.clear();
        return true;
    }
    if (window_.size() < n && bad == window_.size()) {
        item.kind = IndexItem::Kind::Partial;
        item.badSlot = bad;
        item.problem = "the file ends after line " + std::to_string(window_.size()) + " of " + std::to_string(n) +
                       " (" + slots_[bad].name + " is missing)";
        item.lines.assign(window_.begin(), window_.end());
        item.lineCount = static_cast<int64_t>(window_.size());
        linesSkipped_ += item.lineCount;
        window_.clear();
        return true;
    }

    // Damaged: skip lines until two in a row fit the first two slots (one at
    // the end of the file), where the next record most likely begins.
    item.kind = IndexItem::Kind::Damaged;
    item.badSlot = bad;
    item.problem = problem;
    do {
        if (item.lines.size() < n) item.lines.push_back(window_.front());
        window_.pop_front();
        ++item.lineCount;
        fill(2);
        if (window_.empty()) break;
        std::string ignored;
        size_t fit = firstMisfit(&ignored);
        if (fit >= 2 || (window_.size() == 1 && fit >= 1)) break;
    } while (true);
    linesSkipped_ += item.lineCount;
    return true;
}

}  // namespace brem::store
