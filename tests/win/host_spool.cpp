// Mail import over a spool that the transfer changes between calls, through
// the DLL: the library keeps its last search of the spool from call to call
// and must still see what others added or removed.
#include "host.h"

using namespace wintest;

namespace {

using ImpMail = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t);

void mailJob(const std::string& spool, const std::string& seq, const std::string& who) {
    writeFile(spool + "\\0C" + seq + ".X", "F D.hubA" + seq + "\nC rmail " + who + "@mybox\n");
    writeFile(spool + "\\0A" + seq + ".D", "From: " + who + "\n\nhi\n");
}

void importFollowsTheTransfer() {
    std::string root = scratchDir();
    std::string spool = subdir(root, "spool");
    std::string store = subdir(root, "store");
    auto impmail = fn<ImpMail>("IMPMAIL");
    if (!impmail) return;
    auto call = [&] {
        std::vector<char> sp = dirBuffer(spool), st = dirBuffer(store);
        return impmail(sp.data(), st.data(), "hub", "mybox", 0);
    };
    mailJob(spool, "00002", "b");
    mailJob(spool, "00004", "d");
    mailJob(spool, "00006", "f");
    WT_EQ(call(), 0);
    DeleteFileA((spool + "\\0C00006.X").c_str());
    DeleteFileA((spool + "\\0A00006.D").c_str());
    mailJob(spool, "00001", "a");
    WT_EQ(call(), 0);
    WT_EQ(call(), 0);
    WT_EQ(call(), -1);
    mailJob(spool, "00003", "c");
    WT_EQ(call(), 0);
    WT_EQ(call(), -1);
    // The list in hand is used up first (d), then the spool listed again
    // (a); a job gone meanwhile (f) is passed over.
    WT_EQ(readFile(store + "\\mailarea.txt"), std::string("\nFrom: b\n\nhi\nFrom: d\n\nhi\nFrom: a\n\nhi\nFrom: c\n\nhi\n"));
    WT_EQ(listDir(spool).size(), 0u);
}

Register r1("spool: mail import follows the transfer between calls", importFollowsTheTransfer);

}  // namespace
