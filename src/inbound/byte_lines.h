// Lines of bytes held in memory, cut exactly as a binary stream's getLine()
// cuts them from a file: up to a most number of bytes, ending after an LF.
// The parsers of the inbound files work on these lines, so that the same
// bytes give the same result whether they come from a file or from memory.
#pragma once

#include <cstring>
#include <string_view>

namespace brem::inbound {

class ByteLines {
public:
    explicit ByteLines(std::string_view bytes) : bytes_(bytes) {}

    // The next line of at most `maxChars` bytes; false at the end.
    bool next(std::string_view& line, size_t maxChars) {
        if (pos_ >= bytes_.size() || maxChars == 0) return false;
        size_t take = bytes_.size() - pos_;
        if (take > maxChars) take = maxChars;
        const void* lf = std::memchr(bytes_.data() + pos_, '\n', take);
        if (lf) take = static_cast<size_t>(static_cast<const char*>(lf) - (bytes_.data() + pos_)) + 1;
        line = bytes_.substr(pos_, take);
        pos_ += take;
        return true;
    }
    size_t position() const { return pos_; }
    void seek(size_t pos) { pos_ = pos < bytes_.size() ? pos : bytes_.size(); }
    size_t size() const { return bytes_.size(); }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace brem::inbound
