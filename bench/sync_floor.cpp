// The floor under a durable mail import: per mail, what no importer that
// loses nothing can do without, with nothing else around it. It appends the
// message and its record (the same bytes as import_bench's) to two files,
// puts each on the disk with fdatasync, then deletes the mail's two spool
// files, in a spool and a store on the same disk as the import's.
//   sync_floor DIR COUNT SIZE
// Prints "bytes seconds" of the timed part alone, as import_bench does.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "mail_text.h"

namespace {

void appendSynced(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::fdatasync(fd) != 0 || ::close(fd) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: sync_floor DIR COUNT SIZE\n");
        return 2;
    }
    const std::string dir = argv[1], spool = dir + "/spool", store = dir + "/store";
    const int count = std::atoi(argv[2]);
    const size_t size = static_cast<size_t>(std::atoi(argv[3]));
    std::filesystem::create_directories(spool);
    std::filesystem::create_directories(store);
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%06d", i);
        put(spool + "/0C" + seq + ".X", std::string("U uucp hub\nF D.hubA") + seq + "\nC rmail reader@mybox\n");
        const std::string m = mailText(size, i);
        total += m.size();
        put(spool + "/0A" + seq + ".D", m);
    }
    const double t0 = now();
    long long areaSize = 1;
    for (int i = 0; i < count; ++i) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%06d", i);
        const std::string m = mailText(size, i);
        appendSynced(store + "/mailarea.txt", m);
        appendSynced(store + "/mail.hdr", mailRecordText(i, areaSize, areaSize + static_cast<long long>(m.size())));
        areaSize += static_cast<long long>(m.size());
        if (::unlink((spool + "/0C" + seq + ".X").c_str()) != 0 || ::unlink((spool + "/0A" + seq + ".D").c_str()) != 0) {
            std::perror("unlink");
            return 1;
        }
    }
    std::printf("%zu %.4f\n", total, now() - t0);
    return 0;
}
