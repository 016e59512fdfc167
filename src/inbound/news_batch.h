// Reading a plain news batch: the "#! rnews n" lines that count each article,
// and the header lines an article's record keeps. The reader works on any
// source that reads lines as a binary stream does (a file, or bytes held in
// memory), so the filing step and its tests read batches the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "inbound/byte_lines.h"
#include "inbound/header_line.h"

namespace brem::inbound {

// The header lines an article's record keeps, with the width each is kept
// in (terminating NUL counted, as the record's readers have always counted
// it).
enum ArticleField { kFrom, kSubject, kDate, kMessageId, kReferences, kLines, kNewsgroups, kFieldCount };

inline constexpr size_t kRnewsLineChars = 39;
inline constexpr size_t kArticleHeaderChars = 499;

// A decimal count as the batch and area.dat write them: blanks skipped, an
// optional sign, digits up to the first other character (none: 0), held
// within the signed 32-bit range.
int32_t ParseDecimal(std::string_view text);

// The count of a "#! rnews " line (nine characters, letter case ignored),
// never below 0; false for any other line.
bool RnewsCount(std::string_view line, int64_t& count);

// One article's kept header lines. Each starts empty: nothing of the article
// before it can end up in its record.
struct ArticleHeaders {
    std::string kept[kFieldCount];

    // Keeps `line` when it begins with one of the kept prefixes; returns the
    // field it was kept as, kFieldCount for none.
    int take(std::string_view line);
};

// Record lines 1 to 7: the area, then From, Date, Message-ID, Subject,
// References (the Message-ID line again when there was none) and Lines, each
// ending in one LF (a missing header gives its prefix alone).
void AppendArticleRecord(std::string& out, int32_t area, const ArticleHeaders& headers);

// Bytes held in memory, read with a binary stream's line and position calls.
class MemorySource {
public:
    explicit MemorySource(std::string_view bytes) : lines_(bytes) {}
    bool getLine(std::string& line, size_t maxChars) {
        std::string_view v;
        if (!lines_.next(v, maxChars)) {
            line.clear();
            return false;
        }
        line.assign(v);
        return true;
    }
    int64_t tell() const { return static_cast<int64_t>(lines_.position()); }
    bool seek(int64_t offset) {
        if (offset < 0) return false;
        lines_.seek(static_cast<size_t>(offset));
        return true;
    }
    bool readError() const { return false; }

private:
    ByteLines lines_;
};

struct Article {
    int64_t count = 0;     // n of its "#! rnews n" line
    int64_t position = 0;  // offset of its first byte in the batch
    int32_t area = 0;      // from its last Newsgroups line; 0 when none matched
    ArticleHeaders headers;
};

// Walks a batch article by article. `lookUp` is given every Newsgroups line
// as read and sets the area; false from it stops the walk.
template <class Source>
class BatchReader {
public:
    using LookUp = std::function<bool(const std::string& newsgroupsLine, int32_t& area)>;
    enum class Step { Article, End, Stopped };

    BatchReader(Source& source, LookUp lookUp) : source_(source), lookUp_(std::move(lookUp)) {}

    // Skips to the next "#! rnews " line and scans the article's header
    // block, within the article's own bytes: up to its empty line, its count
    // or the end of the batch. Lines between articles are skipped.
    Step next(Article& a) {
        for (;;) {
            if (!source_.getLine(line_, kRnewsLineChars)) return Step::End;
            if (RnewsCount(line_, a.count)) break;
        }
        a.position = source_.tell();
        a.area = 0;
        a.headers = ArticleHeaders();
        for (int64_t remaining = a.count; remaining > 0;) {
            size_t most = static_cast<size_t>(std::min<int64_t>(remaining, kArticleHeaderChars));
            if (!source_.getLine(line_, most)) break;
            remaining -= static_cast<int64_t>(line_.size());
            if (line_.size() == 1 && line_[0] == '\n') break;
            if (a.headers.take(line_) == kNewsgroups && !lookUp_(line_, a.area)) return Step::Stopped;
        }
        return Step::Article;
    }
    // Positions the source just past the article.
    void skip(const Article& a) { source_.seek(a.position + a.count); }

private:
    Source& source_;
    LookUp lookUp_;
    std::string line_;
};

}  // namespace brem::inbound
