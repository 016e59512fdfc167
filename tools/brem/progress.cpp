#include "progress.h"

#include <cstdlib>

#include "platform/platform.h"

namespace brem::cli {

namespace {

size_t terminalWidth() {
    // COLUMNS when the shell exports it; a classic console's 80 otherwise.
    if (const char* c = std::getenv("COLUMNS")) {
        long w = std::strtol(c, nullptr, 10);
        if (w >= 20 && w <= 1000) return static_cast<size_t>(w);
    }
    return 80;
}

}  // namespace

bool isTerminal(std::FILE* stream) { return plat::isTerminal(stream); }

std::string progressText(const std::string& what, int64_t done, int64_t total, const std::string& detail,
                         size_t width) {
    std::string line = what + ": " + std::to_string(done);
    if (total >= 0) {
        line += "/" + std::to_string(total);
        if (total > 0) line += " (" + std::to_string(done * 100 / total) + "%)";
    }
    if (!detail.empty()) {
        line += "  ";
        // Control bytes of a header line would move the cursor.
        for (unsigned char c : detail) line.push_back(c < 0x20 || c == 0x7f ? ' ' : static_cast<char>(c));
    }
    size_t room = width > 1 ? width - 1 : 0;
    if (line.size() > room) line.resize(room);
    return line;
}

Progress::Progress(std::string what, std::FILE* out) : Progress(std::move(what), out, isTerminal(out)) {}

Progress::Progress(std::string what, std::FILE* out, bool active)
    : what_(std::move(what)), out_(out), active_(active) {}

Progress::~Progress() { clear(); }

void Progress::step(int64_t done, int64_t total, const std::string& detail) {
    if (!active_) return;
    auto now = std::chrono::steady_clock::now();
    bool last = total >= 0 && done >= total;
    if (drawn_ && !last && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::string line = progressText(what_, done, total, detail, terminalWidth());
    // Back to the start of the line; blanks cover what a longer line left.
    std::string out = "\r" + line;
    if (line.size() < shown_) out += std::string(shown_ - line.size(), ' ') + "\r" + line;
    std::fwrite(out.data(), 1, out.size(), out_);
    std::fflush(out_);
    shown_ = line.size();
    drawn_ = true;
}

void Progress::clear() {
    if (!active_ || shown_ == 0) {
        drawn_ = false;
        return;
    }
    std::string out = "\r" + std::string(shown_, ' ') + "\r";
    std::fwrite(out.data(), 1, out.size(), out_);
    std::fflush(out_);
    shown_ = 0;
    drawn_ = false;
}

}  // namespace brem::cli
