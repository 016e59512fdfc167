// The UU coder's working state. The coder keeps its paths, alphabet, decode
// table and counters in this one library-wide place, set up afresh by every
// call; so the library makes one coder call at a time.
#pragma once

#include <cstdint>
#include <string>

namespace brem::encode {

struct UuState {
    static constexpr int16_t kNotInAlphabet = -1;
    // The UU alphabet: the grave accent for 0, then '!' to '_'.
    static constexpr char kUuAlphabet[65] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";

    std::string inPath;     // the current input (the part being read when decoding)
    std::string outPath;    // the current output (the part being written when encoding)
    std::string beginName;  // the name of the "begin" lines
    std::string countDir;   // where "ncode.dat" goes

    char alphabet[64];      // the alphabet in use
    int16_t table[256];     // byte -> 6-bit value, or kNotInAlphabet
    unsigned char fullChar; // the character of a full 45-byte line
    int fullLength;         // its value in the table
    const char* label;      // "UUencode" or "UUdecode"

    int64_t total;      // bytes encoded or decoded
    int part;           // part file number, from 1
    int line;           // line number in the current file
    int64_t lineLimit;  // lines per part file (0: no limit)

    // Back to the state every call starts from: the UU alphabet, nothing counted.
    void reset();
    // Builds the decode table from `alphabet`; calls `duplicate` for each
    // character met a second time (it keeps its first position).
    template <typename F>
    void buildTable(F duplicate) {
        for (int16_t& v : table) v = kNotInAlphabet;
        for (int i = 0; i < 64; ++i) {
            unsigned char c = static_cast<unsigned char>(alphabet[i]);
            if (table[c] != kNotInAlphabet) {
                duplicate(c);
                continue;
            }
            table[c] = static_cast<int16_t>(i);
        }
    }
};

UuState& uuState();

}  // namespace brem::encode
