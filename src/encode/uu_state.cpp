#include "encode/uu_state.h"

namespace brem::encode {

void UuState::reset() {
    inPath.clear();
    outPath.clear();
    beginName.clear();
    countDir.clear();
    alphabet[0] = '`';
    for (int v = 1; v < 64; ++v) alphabet[v] = static_cast<char>(32 + v);
    buildTable([](unsigned char) {});
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
