#include "store/stored_copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "store/index_reader.h"
#include "store/layout.h"
#include "store/store.h"

namespace brem::store {

bool SameBytes(plat::Stream& a, int64_t fromA, plat::Stream& b, int64_t fromB, int64_t length) {
    constexpr size_t kPiece = 64 * 1024;
    if (!a.seek(fromA) || !b.seek(fromB)) return false;
    std::vector<char> x(kPiece), y(kPiece);
    for (int64_t left = length; left > 0;) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(left, kPiece));
        if (a.read(x.data(), want) != want || b.read(y.data(), want) != want ||
            std::memcmp(x.data(), y.data(), want) != 0)
            return false;
        left -= static_cast<int64_t>(want);
    }
    return true;
}

int64_t StoredMailRecord(const std::string& dir, const std::string& path) {
    plat::Stream file;
    if (file.openUntrusted(path) != plat::Untrusted::Opened) return 0;
    const int64_t size = file.size();
    IndexReader reader(MailRecordSlots());
    plat::Stream area;
    if (size < 0 || !reader.open(withSeparator(dir) + layout::kMailIndex) || !area.open(readPath(dir, kMailArea), "rb"))
        return 0;
    const int firstByte = area.get();
    IndexItem item;
    while (reader.next(item)) {
        if (item.kind != IndexItem::Kind::Record) continue;
        const MailRecord r = MailRecordOf(item);
        // The first message of an area begun without a line end lies from
        // offset 0, one byte before its recorded start.
        const int64_t from = r.start == 1 && firstByte >= 0 && firstByte != '\n' ? 0 : r.start;
        if (r.end - from == size && SameBytes(area, from, file, 0, size)) return item.number;
    }
    return 0;
}

}  // namespace brem::store
