// Code page 850 conversion, DECODE_ISO, the quoted-printable writer and
// WRITEQUOTED, checked against the system's iconv and Python's quopri.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include "brem32.h"
#include "encode/charset.h"
#include "encode/quoted_printable.h"
#include "platform/fault.h"
#include "support/test_support.h"

using namespace brem;
using brem::test::ScratchDir;
using brem::test::toHost;

namespace {

// One ISO-8859-1 byte in code page 850 by the system's iconv; -1 when it has none.
int systemCp850(unsigned char in) {
    iconv_t cd = iconv_open("CP850", "ISO-8859-1");
    if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
    char src[1] = {static_cast<char>(in)};
    char dst[8];
    char* ip = src;
    char* op = dst;
    size_t il = 1, ol = sizeof dst;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    return (r == static_cast<size_t>(-1) || op - dst != 1) ? -1 : static_cast<unsigned char>(dst[0]);
}

struct Decoded {
    int32_t result;
    std::string out;
    std::string message;
};

Decoded decodeIso(const ScratchDir& d, const std::string& input) {
    test::writeFile(d.file("in.qp"), input);
    std::string in = toHost(d.file("in.qp")), out = toHost(d.file("out.txt"));
    std::vector<char> msg(out.size() + 64, '\0');
    Decoded r{DECODE_ISO(in.c_str(), out.c_str(), msg.data()), "", ""};
    r.out = test::readFile(d.file("out.txt"));
    r.message = msg.data();
    return r;
}

// The writer run over a string, under no conversion.
std::string encodeQp(const std::string& input) {
    ScratchDir d;
    struct Source {
        const std::string* s;
        size_t i;
    } src{&input, 0};
    auto next = [](void* ctx) -> int {
        auto* s = static_cast<Source*>(ctx);
        return s->i < s->s->size() ? static_cast<unsigned char>((*s->s)[s->i++]) : encode::kEndOfInput;
    };
    encode::SelectConversion(encode::kIso8859_1, encode::kIso8859_1);
    plat::Stream out;
    EXPECT_TRUE(out.open(d.file("qp"), "wb"));
    EXPECT_TRUE(encode::WriteQuotedPrintable(encode::kModeBody, encode::kTransferQuotedPrintable,
                                             encode::kIso8859_1, encode::ByteSource{next, &src}, out));
    EXPECT_TRUE(out.close());
    return test::readFile(d.file("qp"));
}

}  // namespace

TEST(CodePage850, TableAgreesWithTheSystemsIconvApartFromTheBlankedBytes) {
    ASSERT_NE(systemCp850('A'), -2) << "iconv has no CP850";
    for (int b = 0x80; b <= 0xFF; ++b) {
        SCOPED_TRACE(b);
        int mine = encode::kIsoToCp850[b - 0x80];
        if (b <= 0xA0) {
            EXPECT_EQ(mine, 0x20);  // C1 controls and the no-break space
        } else if (b == 0xAD) {
            EXPECT_EQ(mine, '-');
        } else if (b == 0xB8) {
            EXPECT_EQ(mine, ',');
        } else {
            EXPECT_EQ(mine, systemCp850(static_cast<unsigned char>(b)));
        }
    }
    EXPECT_TRUE(encode::SelectConversion(5, 7));
    EXPECT_EQ(encode::Convert(encode::SelectedTable(), 0xE9), 0x82);
    EXPECT_EQ(encode::Convert(encode::SelectedTable(), 'e'), 'e');
    EXPECT_TRUE(encode::SelectConversion(5, 5));
    EXPECT_EQ(encode::SelectedTable(), nullptr);
}

TEST(DecodeIso, EscapesSoftBreaksAndConversion) {
    ScratchDir d;
    Decoded r = decodeIso(d, "caf=E9 =3D 1=\r\n2\r\n");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, "Success");
    EXPECT_EQ(r.out, "caf\x82 = 12\r\n");
    // Soft breaks before LF, before CR, and at the end of the input.
    EXPECT_EQ(decodeIso(d, "ab=\ncd=\r\nef=").out, "abcdef");
    // Lower-case letters are taken by their codes: =e9 still gives 0xE9, =9e gives 0xBE.
    EXPECT_EQ(decodeIso(d, "=e9=9e\n").out, "\x82\xF3\n");
    // Raw 8-bit bytes convert too; C1 controls and the no-break space become blanks.
    EXPECT_EQ(decodeIso(d, "\xA0\x85\xFC\xC4\xA3\xAD\xB8\n").out, "  \x81\x8E\x9C-,\n");
    // An escape cut off by the end of the input yields nothing.
    EXPECT_EQ(decodeIso(d, "x=4").out, "x");
}

TEST(DecodeIso, ANulEndsItsLineAndNoMore) {
    ScratchDir d;
    EXPECT_EQ(decodeIso(d, "=00gone\nkept\n").out, "kept\n");
    EXPECT_EQ(decodeIso(d, std::string("ab\0cd\nef\n", 9)).out, "abef\n");
    // On a long line the cut reaches at most 255 bytes from the line's start.
    EXPECT_EQ(decodeIso(d, "=00" + std::string(300, 'a') + "\n").out, std::string(48, 'a') + "\n");
}

TEST(DecodeIso, LongLinesDecodeWhole) {
    ScratchDir d;
    // An escape or soft break that straddles the 255th byte of a line is
    // decoded like any other.
    std::string line = std::string(254, 'a') + "=E9" + std::string(10, 'b') + "=\n";
    EXPECT_EQ(decodeIso(d, line + "c\n").out, std::string(254, 'a') + "\x82" + std::string(10, 'b') + "c\n");
    line = std::string(254, 'a') + "=\n";
    EXPECT_EQ(decodeIso(d, line + "c\n").out, std::string(254, 'a') + "c\n");
}

TEST(DecodeIso, FailureMessages) {
    ScratchDir d;
    std::vector<char> msg(512);
    std::string missing = toHost(d.file("nosuch")), out = toHost(d.file("o"));
    EXPECT_EQ(DECODE_ISO(missing.c_str(), out.c_str(), msg.data()), -2);
    EXPECT_EQ(std::string(msg.data()), " Error while opening input-file " + missing + ".\n");
    test::writeFile(d.file("in"), "keep=E9");
    std::string in = toHost(d.file("in")), bad = toHost(d.file("no/dir/o"));
    EXPECT_EQ(DECODE_ISO(in.c_str(), bad.c_str(), msg.data()), -2);
    EXPECT_EQ(std::string(msg.data()), "Error while opening output-file " + bad + "\n");
    // An output that names the input is refused before it could empty it.
    std::string sameByOtherName = d.hostPath() + "\\.\\IN";
    EXPECT_EQ(DECODE_ISO(in.c_str(), sameByOtherName.c_str(), msg.data()), -2);
    EXPECT_EQ(std::string(msg.data()), "Error while opening output-file " + sameByOtherName + "\n");
    EXPECT_EQ(test::readFile(d.file("in")), "keep=E9");
    // A write that fails leaves no cut-short output.
    plat::fault::armDiskFull(0);
    EXPECT_EQ(DECODE_ISO(in.c_str(), out.c_str(), msg.data()), -2);
    plat::fault::disarm();
    EXPECT_EQ(std::string(msg.data()), "Error while writing output-file " + out + "\n");
    EXPECT_FALSE(test::exists(d.file("o")));
}

TEST(QuotedPrintableWriter, BlanksBeforeLineEndsAndTheEnd) {
    EXPECT_EQ(encodeQp("a b\n"), "a b\n");
    EXPECT_EQ(encodeQp("a \n"), "a =\n\n");
    EXPECT_EQ(encodeQp("a "), "a =\n");
    EXPECT_EQ(encodeQp("a\t\r\n"), "a\t=\n=0D\n");
    EXPECT_EQ(encodeQp("  x"), "  x");
    EXPECT_EQ(encodeQp(""), "");
}

TEST(QuotedPrintableWriter, EscapesAndSoftBreaks) {
    EXPECT_EQ(encodeQp("\xE9=~!<>\x7F"), "=E9=3D~!<>=7F");
    EXPECT_EQ(encodeQp(std::string("a\0b", 3)), "a=00b");  // a NUL is data, not the end
    EXPECT_EQ(encodeQp(std::string(80, 'x')), std::string(75, 'x') + "=\n" + std::string(5, 'x'));
    EXPECT_EQ(encodeQp(std::string(73, 'x') + "\xE9"), std::string(73, 'x') + "=\n=E9");
    EXPECT_EQ(encodeQp(std::string(72, 'x') + "\xE9" + "y"), std::string(72, 'x') + "=E9=\ny");
    // A blank is not safe: from column 73 it goes to the next line. The byte
    // looked ahead after it is handled as if it came from the source.
    EXPECT_EQ(encodeQp(std::string(73, 'x') + " y"), std::string(73, 'x') + "=\n y");
    EXPECT_EQ(encodeQp(std::string(72, 'x') + " \xE9"), std::string(72, 'x') + " =\n=E9");
}

TEST(WriteQuoted, FilesAndErrorTexts) {
    ScratchDir d;
    test::writeFile(d.file("in"), "caf\xE9 = ok\n");
    std::string in = toHost(d.file("in")), out = toHost(d.file("out"));
    std::vector<char> err(512);
    EXPECT_EQ(WRITEQUOTED(in.c_str(), out.c_str(), err.data(), nullptr), 0);
    EXPECT_EQ(test::readFile(d.file("out")), "caf=E9 =3D ok\n");
    test::writeFile(d.file("empty"), "");
    std::string empty = toHost(d.file("empty"));
    EXPECT_EQ(WRITEQUOTED(empty.c_str(), out.c_str(), err.data(), nullptr), 0);
    EXPECT_EQ(test::fileSize(d.file("out")), 0);

    std::string missing = toHost(d.file("nosuch"));
    EXPECT_EQ(WRITEQUOTED(missing.c_str(), out.c_str(), err.data(), nullptr), -1);
    EXPECT_EQ(std::string(err.data()), "Cannot open in bound file \r\n");
    std::string bad = toHost(d.file("no/dir/out"));
    EXPECT_EQ(WRITEQUOTED(in.c_str(), bad.c_str(), err.data(), nullptr), -1);
    EXPECT_EQ(std::string(err.data()), "Cannot open out file " + bad + "\r\n");
    EXPECT_EQ(WRITEQUOTED(in.c_str(), in.c_str(), err.data(), nullptr), -1);
    EXPECT_EQ(std::string(err.data()), "Cannot open out file " + in + "\r\n");
    EXPECT_EQ(test::readFile(d.file("in")), "caf\xE9 = ok\n");

    plat::fault::armDiskFull(3);
    EXPECT_EQ(WRITEQUOTED(in.c_str(), out.c_str(), err.data(), nullptr), -1);
    plat::fault::disarm();
    EXPECT_EQ(std::string(err.data()), "Cannot write out file " + out + "\r\n");
    EXPECT_FALSE(test::exists(d.file("out")));
}

// Interoperation with an independent coder: Python's quopri decodes what
// WRITEQUOTED writes back to the input, and DECODE_ISO turns what quopri
// encodes into the bytes iconv gives.
TEST(QuotedPrintableInterop, RoundTripsWithPython) {
    ScratchDir d;
    std::string text;
    uint32_t seed = 12345;
    for (int line = 0; line < 400; ++line) {
        seed = seed * 1103515245u + 12345u;
        int len = static_cast<int>((seed >> 16) % 300);
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            unsigned v = (seed >> 16) & 0xFF;
            // Mostly text, with blanks, tabs, '=', CRs and 8-bit bytes mixed in.
            const char common[] = "abc XYZ 0123 =\t.,;";
            text.push_back(v < 160 ? common[v % (sizeof common - 1)] : static_cast<char>(v));
        }
        if (line % 7 == 0) text += " ";
        text += "\n";
    }
    text += "last line without end \t";
    test::writeFile(d.file("plain"), text);
    std::string plain = toHost(d.file("plain")), qp = toHost(d.file("plain.qp"));
    std::vector<char> err(512);
    ASSERT_EQ(WRITEQUOTED(plain.c_str(), qp.c_str(), err.data(), nullptr), 0);
    std::string encoded = test::readFile(d.file("plain.qp"));
    size_t longest = 0, from = 0;
    for (size_t lf; (lf = encoded.find('\n', from)) != std::string::npos; from = lf + 1) {
        longest = std::max(longest, lf - from);
    }
    EXPECT_LE(longest, 76u);

    test::writeFile(d.file("check.py"),
                    "import quopri, sys\n"
                    "d = sys.argv[1]\n"
                    "ok = quopri.decodestring(open(d + '/plain.qp', 'rb').read()) == open(d + '/plain', 'rb').read()\n"
                    "# Latin-1 text without C1 controls, LF lines, encoded by quopri for the decoder\n"
                    "latin = bytes(b for b in open(d + '/plain', 'rb').read() if b not in range(0x80, 0xA0) and b != 13)\n"
                    "open(d + '/latin', 'wb').write(latin)\n"
                    "open(d + '/latin.qp', 'wb').write(quopri.encodestring(latin))\n"
                    "sys.exit(0 if ok else 1)\n");
    ASSERT_EQ(test::runCommand("python3 '" + d.file("check.py") + "' '" + d.path() + "'"), 0)
        << "quopri does not decode WRITEQUOTED's output to its input";
    ASSERT_EQ(test::runCommand("iconv -f ISO-8859-1 -t CP850 < '" + d.file("latin") + "' > '" + d.file("latin.850") +
                               "'"),
              0);

    std::string latinQp = toHost(d.file("latin.qp")), mine = toHost(d.file("latin.mine"));
    ASSERT_EQ(DECODE_ISO(latinQp.c_str(), mine.c_str(), err.data()), 0);
    std::string latin = test::readFile(d.file("latin"));
    std::string expected = test::readFile(d.file("latin.850"));
    ASSERT_EQ(expected.size(), latin.size());
    for (size_t i = 0; i < latin.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(latin[i]);
        if (b == 0xA0) expected[i] = ' ';
        if (b == 0xAD) expected[i] = '-';
        if (b == 0xB8) expected[i] = ',';
    }
    EXPECT_TRUE(test::readFile(d.file("latin.mine")) == expected);
}
