// Mail import on an arbitrary execute file and data file: the input is the
// execute file's bytes, a NUL NUL separator, and the data file's bytes. The
// data file lies under the name the seeds' F lines map to and under the
// execute file's fallback name. Whatever the bytes, the call returns, and a
// message it reports imported has a whole record whose range reads back as
// the data file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"
#include "fuzz_support.h"
#include "support/store_check.h"

using namespace brem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find(std::string("\0\0", 2));
    std::string execute = input.substr(0, cut);
    std::string message = cut == std::string::npos ? std::string() : input.substr(cut + 2);

    std::string spool = fuzz::emptiedDir("spool");
    std::string store = fuzz::emptiedDir("store");
    fuzz::writeBytes(spool + "/0C0001.X", execute);
    fuzz::writeBytes(spool + "/0A1234.D", message);  // D.hubA1234
    fuzz::writeBytes(spool + "/0C0001.D", message);  // the fallback

    std::string sp = fuzz::toHost(spool), st = fuzz::toHost(store);
    std::vector<char> spBuf(sp.begin(), sp.end()), stBuf(st.begin(), st.end());
    spBuf.resize(sp.size() + 8, '\0');
    stBuf.resize(st.size() + 8, '\0');
    int32_t r = IMPMAIL(spBuf.data(), stBuf.data(), "hub", "mybox", 5);
    FUZZ_CHECK(r == 0 || r == -1);

    std::FILE* f = std::fopen((store + "/mail.hdr").c_str(), "rb");
    std::string hdr;
    if (f) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) hdr.append(buf, n);
        std::fclose(f);
    }
    std::vector<test::MailRecord> records;
    std::string why;
    FUZZ_CHECK(test::parseMailHdr(hdr, records, why));
    FUZZ_CHECK(records.size() == (r == 0 ? 1u : 0u));
    if (r == 0) {
        const test::MailRecord& rec = records[0];
        // An F line may name the execute file itself as the data file.
        int32_t start = static_cast<int32_t>(rec.start), length = static_cast<int32_t>(rec.end - rec.start);
        FUZZ_CHECK(test::readsBackAs(st, 0, start, length, message, why) ||
                   test::readsBackAs(st, 0, start, length, execute, why));
    }
    return 0;
}
