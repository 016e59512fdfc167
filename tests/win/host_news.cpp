// News import through the DLL's exported IMPNEWS, with zorpack.exe beside
// the host program expanding a batch that the real compress made.
#include <cstdlib>
#include <cstring>

#include "host.h"

using namespace wintest;

namespace {

using ImpNews = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t, int32_t);

// The articles of the batch, without their "#! rnews" lines.
std::string articlesOf(const std::string& batch) {
    std::string out;
    size_t pos = 0;
    while (pos < batch.size()) {
        size_t lf = batch.find('\n', pos);
        long n = std::strtol(batch.c_str() + pos + 9, nullptr, 10);
        out += batch.substr(lf + 1, static_cast<size_t>(n));
        pos = lf + 1 + static_cast<size_t>(n);
    }
    return out;
}

void compressedJobIsExpandedAndFiled() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    std::string batch = readFile(dataDir() + "\\news_batch.txt");
    std::string data = readFile(dataDir() + "\\news_cunbatch16.D");
    WT_CHECK(!batch.empty() && data.compare(0, 12, "#! cunbatch\n") == 0);
    writeFile(spool + "\\0C0006.X", "U news hubsite\nF D.hubsiteN0006\nI D.hubsiteN0006\nC rnews\n");
    writeFile(spool + "\\0N0006.D", data);
    writeFile(store + "\\area.dat", "rec.arts.movies\n3\n");

    auto impnews = fn<ImpNews>("IMPNEWS");
    if (!impnews) return;
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(impnews(sp.data(), st.data(), "hubsite", "mybox", 4, 16), 0);
    WT_EQ(std::string(sp.data()), spool + "\\");
    WT_EQ(readFile(spool + "\\$7b60051"), batch);
    std::string articles = articlesOf(batch);
    WT_EQ(readFile(store + "\\area3.txt"), "\n" + articles);
    std::string hdr = readFile(spool + "\\Header.Msg");
    WT_CHECK(hdr.find("3\r\nFrom: dora@peer.example\r\n") == 0);
    WT_CHECK(hdr.find("\r\n" + std::to_string(1 + articles.size()) + "\r\n") != std::string::npos);
    std::string log = readFile(store + "\\news.log");
    WT_CHECK(log.find("\texecuting zorpack.exe -d -b 16 " + spool + "\\$7b60051\r\n") != std::string::npos);
    WT_CHECK(log.find("\tDeCompression complete\r\n") != std::string::npos);
    WT_CHECK(!exists(spool + "\\0C0006.X"));
    WT_CHECK(!exists(spool + "\\0N0006.D"));
    WT_EQ(impnews(sp.data(), st.data(), "hubsite", "mybox", 0, 16), 1);
}

void failedExpansionSetsTheJobAside() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    std::string data = readFile(dataDir() + "\\news_cunbatch16.D");
    WT_CHECK(data.size() > 40);
    if (data.size() < 40) return;
    data[20] = static_cast<char>(0xff);  // a code far beyond the table
    data[21] = static_cast<char>(0xff);
    writeFile(spool + "\\0C0006.X", "F D.hubsiteN0006\nC rnews\n");
    writeFile(spool + "\\0N0006.D", data);
    writeFile(store + "\\area.dat", "rec.arts.movies\n3\n");
    auto impnews = fn<ImpNews>("IMPNEWS");
    if (!impnews) return;
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(impnews(sp.data(), st.data(), "hubsite", "mybox", 0, 16), -1);
    // Set aside whole, where it holds back no later job.
    WT_EQ(readFile(spool + "\\bad\\0N0006.D"), data);
    WT_CHECK(exists(spool + "\\bad\\0C0006.X"));
    WT_CHECK(!exists(store + "\\area3.txt"));
    WT_CHECK(readFile(store + "\\news.log").find("\tCannot open input after decompress!\r\n") != std::string::npos);
}

void plainJobIsFiled() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    std::string batch = readFile(dataDir() + "\\news_batch.txt");
    writeFile(spool + "\\0c0007.x", "F D.hubsiteN0007\nC RNEWS\n");
    writeFile(spool + "\\0N0007.D", batch);
    writeFile(store + "\\area.dat", "news.software.readers\n4\nrec.arts.movies\n3\n");
    auto impnews = fn<ImpNews>("IMPNEWS");
    if (!impnews) return;
    std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
    WT_EQ(impnews(sp.data(), st.data(), "hubsite", "mybox", 0, 0), 0);
    std::vector<std::string> expected = {"$7b60051", "$7b60051.int", "Header.Msg"};
    WT_CHECK(listDir(spool) == expected);
    WT_CHECK(readFile(store + "\\area4.txt").find("Subject: Offline reader for dial-up\n") != std::string::npos);
    WT_CHECK(readFile(store + "\\area3.txt").find("Subject: Festival schedule\n") != std::string::npos);
}

Register r1("news: compressed job expanded by zorpack.exe and filed", compressedJobIsExpandedAndFiled);
Register r2("news: failed expansion sets the job aside whole", failedExpansionSetsTheJobAside);
Register r3("news: plain job filed", plainJobIsFiled);

}  // namespace
