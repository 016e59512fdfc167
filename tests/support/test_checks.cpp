// The shared checks that need no system call: the activity log read as
// messages, and byte comparisons that show where two files part. Built into
// the native and the Windows test support alike.
#include <algorithm>
#include <iomanip>
#include <sstream>

#include "support/test_support.h"

namespace brem::test {

std::vector<std::string> logMessages(const std::string& log) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t tab = log.find('\t', pos);
        size_t next = log.find("\r\n20", pos);
        size_t end = next == std::string::npos ? log.size() : next + 2;
        out.push_back(log.substr(tab + 1, end - tab - 1));
        pos = end;
    }
    return out;
}

bool hasLine(const std::string& log, const std::string& message) {
    for (const std::string& m : logMessages(log)) {
        if (m == message) return true;
    }
    return false;
}

namespace {

// 16 bytes a row from `from`, hex then printable, the byte at `mark` bracketed.
std::string hexRows(const std::string& bytes, size_t from, size_t to, size_t mark) {
    std::ostringstream s;
    for (size_t row = from; row < to; row += 16) {
        s << "  " << std::hex << std::setw(8) << std::setfill('0') << row << " ";
        std::string text;
        for (size_t i = row; i < row + 16; ++i) {
            if (i >= to) {
                s << "   ";
                continue;
            }
            unsigned char c = static_cast<unsigned char>(bytes[i]);
            s << (i == mark ? '[' : ' ') << std::setw(2) << static_cast<unsigned>(c);
            text.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '.');
        }
        s << "  " << text << "\n";
    }
    return s.str();
}

}  // namespace

::testing::AssertionResult sameBytes(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    size_t from = at < 32 ? 0 : (at - 32) / 16 * 16;
    return ::testing::AssertionFailure()
           << "the bytes differ first at offset " << at << " (got " << got.size() << " bytes, want " << want.size()
           << ")\ngot:\n" << hexRows(got, from, std::min(got.size(), at + 48), at) << "want:\n"
           << hexRows(want, from, std::min(want.size(), at + 48), at);
}

}  // namespace brem::test
