#include "encode/uu_state.h"

#include <cstring>
#include <vector>

namespace brem::encode {

void UuState::reset() {
    inPath.clear();
    outPath.clear();
    beginName.clear();
    countDir.clear();
    std::memcpy(alphabet, kUuAlphabet, 64);
    // The UU alphabet's table is the same for every call: built once.
    static const auto plain = [] {
        UuState s;
        std::memcpy(s.alphabet, kUuAlphabet, 64);
        s.buildTable([](unsigned char) {});
        return std::vector<int16_t>(s.table, s.table + 256);
    }();
    std::memcpy(table, plain.data(), sizeof table);
    fullChar = 'M';
    fullLength = 45;
    label = "UUencode";
    total = 0;
    part = 1;
    line = 0;
    lineLimit = 0;
}

UuState& uuState() {
    static UuState state;
    return state;
}

}  // namespace brem::encode
