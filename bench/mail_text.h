// The mails the benchmarks import: the same bytes for the import and for the
// floor it is measured against.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Seconds on the steady clock.
inline double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Writes a whole file, or ends the benchmark with the reason.
inline void put(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

// A mail of about `size` bytes: four header lines and lines of words.
inline std::string mailText(size_t size, int n) {
    static const char* words[] = {"modem", "line", "news", "batch", "spool", "hello", "the", "a", "and", "mail"};
    std::string id = std::to_string(n);
    std::string m = "From: Writer " + id + " <w" + id + "@hub.example>\nDate: Tue, 7 Oct 1997 06:01:58 -0400\n"
                    "Message-ID: <" + id + "@hub.example>\nSubject: bench message " + id + "\n\n";
    unsigned r = static_cast<unsigned>(n) * 2654435761u + 1;
    size_t col = 0;
    while (m.size() < size) {
        r = r * 1103515245u + 12345u;
        const char* w = words[(r >> 16) % 10];
        m += w;
        col += std::strlen(w) + 1;
        m += col > 66 ? '\n' : ' ';
        if (col > 66) col = 0;
    }
    m += '\n';
    return m;
}

// The record mail import writes for mailText(size, n) to "reader@mybox",
// with its CR LF line ends, as long as it is on disk.
inline std::string mailRecordText(int n, long long start, long long end) {
    std::string id = std::to_string(n);
    return "To: reader@mybox\r\nFrom: Writer " + id + " <w" + id + "@hub.example>\r\n"
           "Date: Tue, 7 Oct 1997 06:01:58 -0400\r\nMessage-ID: <" + id + "@hub.example>\r\n"
           "Subject: bench message " + id + "\r\nNO CC\r\n" + std::to_string(start) + "\r\n" +
           std::to_string(end) + "\r\n";
}

}  // namespace
