// The header scan of mail import on arbitrary messages: whatever the header
// block holds, each kept line is one that begins with its name and lies in the
// block, and the record built from them is exactly six lines.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "inbound/header_line.h"
#include "inbound/mail_import.h"

using namespace brem;

namespace {

void checkKept(const std::string& kept, const char* name, std::string_view message) {
    if (kept.empty()) return;
    FUZZ_CHECK(inbound::startsNoCase(kept, name));
    FUZZ_CHECK(kept.size() <= 2000);
    FUZZ_CHECK(message.find(kept) != std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const inbound::MailHeaders h = inbound::ScanMailHeaders(message);
    checkKept(h.from, "From: ", message);
    checkKept(h.date, "Date: ", message);
    checkKept(h.messageId, "Message-Id", message);
    checkKept(h.subject, "Subject: ", message);
    checkKept(h.cc, "Cc: ", message);

    const std::string record = inbound::MailRecordLines("To: someone\n", h);
    size_t lines = 0;
    for (char c : record) lines += c == '\n';
    FUZZ_CHECK(lines == 6 && record.back() == '\n');
    return 0;
}
