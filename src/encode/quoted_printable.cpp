#include "encode/quoted_printable.h"

#include <cstring>

#include "encode/charset.h"

namespace brem::encode {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Printable ASCII except the blank and '=' stands for itself.
inline bool isSafe(unsigned char c) { return c >= 0x21 && c <= 0x7E && c != '='; }

// The value of one escape digit: '0' to '9' their digit, every other byte
// its code minus 55 ('A' to 'F' give 10 to 15).
inline int digitValue(int c) { return (c >= '0' && c <= '9') ? c - '0' : c - 55; }

// The longest piece of a line that a NUL's cut reaches.
constexpr int kPieceBytes = 255;

void putMessage(char* message, const std::string& text) {
    if (message) std::memcpy(message, text.c_str(), text.size() + 1);
}

}  // namespace

bool WriteQuotedPrintable(int mode, int transferEncoding, int32_t charset, ByteSource source, plat::Stream& out) {
    if (mode != kModeBody || transferEncoding != kTransferQuotedPrintable || charset != kIso8859_1) return false;
    const unsigned char* table = SelectedTable();
    int column = 0;
    int c = source();
    while (c != kEndOfInput) {
        unsigned char b = Convert(table, static_cast<unsigned char>(c));
        if (b == '\n') {
            out.put('\n');
            column = 0;
            c = source();
            continue;
        }
        if (column >= 75 || (!isSafe(b) && column >= 73)) {
            out.write("=\n", 2);
            column = 0;
        }
        if (isSafe(b)) {
            out.put(static_cast<char>(b));
            ++column;
        } else if (b == ' ' || b == '\t') {
            // A blank at the end of a line would be lost in transit: look
            // ahead, and protect it with a soft break when the line ends here.
            int n = source();
            out.put(static_cast<char>(b));
            if (n == '\n' || n == '\r' || n == kEndOfInput) {
                out.write("=\n", 2);
                column = 0;
            } else {
                ++column;
            }
            c = n;  // handled next in place of a byte from the source
            continue;
        } else {
            char esc[3] = {'=', kHex[b >> 4], kHex[b & 15]};
            out.write(esc, 3);
            column += 3;
        }
        c = source();
    }
    return !out.writeFailed();
}

DecodeStatus DecodeQuotedPrintable(plat::Stream& in, plat::Stream& out) {
    const unsigned char* table = SelectedTable();
    // Input bytes of the current piece: a piece ends after an LF or after
    // 255 bytes. An escape or soft break is decoded whole wherever the piece
    // ends; only the cut after a NUL stops at the piece's end.
    int piece = 0;
    bool pieceEnds = false;
    auto take = [&]() -> int {
        int c = in.get();
        if (c < 0) {
            pieceEnds = true;
            return -1;
        }
        pieceEnds = c == '\n' || ++piece >= kPieceBytes;
        if (pieceEnds) piece = 0;
        return c;
    };
    for (;;) {
        int c = take();
        if (c < 0) break;
        bool cut = false;
        if (c == '=') {
            int h = take();
            if (h < 0) break;               // '=' at the end of the input: a soft break
            if (h == '\n') continue;        // soft break: '=' and its line end go
            if (h == '\r') {
                cut = !pieceEnds;           // the line ends at the '='
            } else {
                int l = take();
                if (l < 0) break;           // the input ends inside the escape
                unsigned char v = static_cast<unsigned char>((digitValue(h) * 16 + digitValue(l)) & 0xFF);
                if (v == 0) {
                    cut = !pieceEnds;
                } else {
                    out.put(static_cast<char>(Convert(table, v)));
                }
            }
        } else if (c == 0) {
            cut = !pieceEnds;
        } else {
            out.put(static_cast<char>(Convert(table, static_cast<unsigned char>(c))));
        }
        if (cut) {
            do {
                if (take() < 0) break;
            } while (!pieceEnds);
        }
    }
    if (in.readError()) return DecodeStatus::ReadFailed;
    return out.writeFailed() ? DecodeStatus::WriteFailed : DecodeStatus::Ok;
}

int32_t DecodeIso(const std::string& inPath, const std::string& outPath, char* message) {
    plat::Stream in;
    if (!in.open(inPath, "rb")) {
        putMessage(message, " Error while opening input-file " + inPath + ".\n");
        return -2;
    }
    // Creating the output empties it: an output that names the input would
    // leave nothing to decode, and the input would be lost.
    plat::Stream out;
    if (plat::sameFile(inPath, outPath) || !out.open(outPath, "wb")) {
        putMessage(message, "Error while opening output-file " + outPath + "\n");
        return -2;
    }
    SelectConversion(kIso8859_1, kCodePage850);
    DecodeStatus st = DecodeQuotedPrintable(in, out);
    bool closed = out.close();
    if (st != DecodeStatus::Ok || !closed) {
        // A cut-short output must not pass for the whole text.
        plat::deleteFile(outPath);
        if (st == DecodeStatus::ReadFailed) {
            putMessage(message, "Error while reading input-file " + inPath + "\n");
        } else {
            putMessage(message, "Error while writing output-file " + outPath + "\n");
        }
        return -2;
    }
    putMessage(message, "Success");
    return 0;
}

}  // namespace brem::encode
