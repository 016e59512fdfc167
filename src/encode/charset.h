// The 8-bit character-set conversion that the quoted-printable coders run
// under. The conversion is selected beforehand and stays selected for the
// whole library until the next selection; it is kept here and nowhere else.
#pragma once

#include <cstdint>

namespace brem::encode {

// The character-set codes the host's mail programs use.
inline constexpr int32_t kIso8859_1 = 5;
inline constexpr int32_t kCodePage850 = 7;

// ISO-8859-1 bytes 0x80 to 0xFF in IBM code page 850. The C1 controls and the
// no-break space become blanks, the soft hyphen a '-' and the cedilla a ',',
// since a DOS screen shows none of them usefully.
extern const unsigned char kIsoToCp850[128];

// Selects the conversion from `from` to `to`: ISO-8859-1 to code page 850
// selects the table above, one set to itself selects none. False for any
// other pair, which leaves no table selected.
bool SelectConversion(int32_t from, int32_t to);

// The table bytes 0x80 to 0xFF go through, or nullptr when none is selected.
const unsigned char* SelectedTable();

// The output set of the selected conversion.
int32_t SelectedOutputSet();

// One byte through the selected conversion.
inline unsigned char Convert(const unsigned char* table, unsigned char c) {
    return (table && c >= 0x80) ? table[c - 0x80] : c;
}

}  // namespace brem::encode
