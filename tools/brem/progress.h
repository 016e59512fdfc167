// A progress line on standard error for long work (a big batch, many jobs).
// It is drawn only when the stream is a terminal: redirected to a file or a
// pipe, as under cron or in a script, brem writes no progress at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace brem::cli {

// True when the stream is an interactive terminal.
bool isTerminal(std::FILE* stream);

// The text of one progress line: "WHAT: DONE" or "WHAT: DONE/TOTAL (P%)",
// then the detail, cut so that the line stays within width - 1 columns
// (the last column is left free so the terminal never wraps).
std::string progressText(const std::string& what, int64_t done, int64_t total, const std::string& detail,
                         size_t width);

class Progress {
public:
    // Active when `out` is a terminal.
    explicit Progress(std::string what, std::FILE* out = stderr);
    Progress(std::string what, std::FILE* out, bool active);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool active() const { return active_; }
    // Redraws the line; total -1 when unknown. Redraws at most ten times a
    // second, except for the first and the last step (done == total).
    void step(int64_t done, int64_t total = -1, const std::string& detail = std::string());
    // Erases the line, so that other output can follow on a clean line; the
    // next step draws it again.
    void clear();

private:
    std::string what_;
    std::FILE* out_;
    bool active_;
    size_t shown_ = 0;  // columns of the line now on the terminal
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace brem::cli
