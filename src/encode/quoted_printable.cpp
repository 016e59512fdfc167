#include "encode/quoted_printable.h"

#include <cstring>
#include <memory>

#include "encode/charset.h"
#include "platform/winpath.h"

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

namespace {

// The decoder as a machine over bytes, so that it takes its input in blocks
// of any size: input is counted in pieces (a piece ends after an LF or after
// 255 bytes); an escape or soft break is decoded whole wherever the piece
// ends, and a NUL, decoded or literal, drops the rest of its piece.
class QpDecoder {
public:
    QpDecoder(BlockSink& out, const unsigned char* table, size_t outSize)
        : out_(out), buf_(new char[outSize]), outSize_(outSize) {
        for (int c = 0; c < 256; ++c) conv_[c] = static_cast<char>(Convert(table, static_cast<unsigned char>(c)));
    }

    void feed(const unsigned char* p, size_t n) {
        size_t i = 0;
        while (i < n) {
            if (state_ == Plain) {
                i = plainRun(p, i, n);
                if (i == n) break;
            }
            unsigned char c = p[i++];
            bool ends = step(c);
            switch (state_) {
                case Plain:  // '=' or NUL
                    state_ = c == '=' ? AfterEq : ends ? Plain : Cutting;
                    break;
                case AfterEq:
                    if (c == '\n') state_ = Plain;                   // soft break
                    else if (c == '\r') state_ = ends ? Plain : Cutting;  // the line ends at the '='
                    else {
                        high_ = c;
                        state_ = AfterHigh;
                    }
                    break;
                case AfterHigh: {
                    unsigned char v = static_cast<unsigned char>((digitValue(high_) * 16 + digitValue(c)) & 0xFF);
                    if (v == 0) {
                        state_ = ends ? Plain : Cutting;
                    } else {
                        put(conv_[v]);
                        state_ = Plain;
                    }
                    break;
                }
                case Cutting:
                    if (ends) state_ = Plain;
                    break;
            }
        }
    }

    // Hands on what is held; false once a write failed.
    bool flush() {
        if (held_ > 0 && ok_ && !out_.write(buf_.get(), held_)) ok_ = false;
        held_ = 0;
        return ok_;
    }

private:
    enum State { Plain, AfterEq, AfterHigh, Cutting };

    // Counts one byte into the current piece; true when it ends the piece.
    bool step(unsigned char c) {
        if (c == '\n' || ++piece_ >= kPieceBytes) {
            piece_ = 0;
            return true;
        }
        return false;
    }
    void put(char c) {
        if (held_ == outSize_) flush();
        buf_[held_++] = c;
    }
    // Converts bytes that stand for themselves, up to the next '=' or NUL.
    size_t plainRun(const unsigned char* p, size_t i, size_t n) {
        int piece = piece_;
        while (i < n) {
            unsigned char c = p[i];
            if (c == '=' || c == 0) break;
            if (held_ == outSize_) flush();
            buf_[held_++] = conv_[c];
            piece = (c == '\n' || piece + 1 >= kPieceBytes) ? 0 : piece + 1;
            ++i;
        }
        piece_ = piece;
        return i;
    }

    BlockSink& out_;
    std::unique_ptr<char[]> buf_;
    const size_t outSize_;
    size_t held_ = 0;
    char conv_[256];
    State state_ = Plain;
    int piece_ = 0;
    unsigned char high_ = 0;
    bool ok_ = true;
};

}  // namespace

bool DecodeQuotedPrintable(BlockSource& in, BlockSink& out) {
    const size_t size = blockFor(in, 16);
    QpDecoder d(out, SelectedTable(), size);
    std::unique_ptr<char[]> block(new char[size]);
    for (;;) {
        size_t got = in.read(block.get(), size);
        if (got == 0) break;
        d.feed(reinterpret_cast<const unsigned char*>(block.get()), got);
    }
    return d.flush();
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
    StreamSource source(in);
    StreamSink sink(out);
    bool written = DecodeQuotedPrintable(source, sink);
    bool readFailed = in.readError();
    // On the disk, and its name too, before "Success".
    bool closed = out.sync() && out.close() && plat::syncDirectory(plat::directoryOf(outPath));
    if (readFailed || !written || !closed) {
        // A cut-short output must not pass for the whole text.
        plat::deleteFile(outPath);
        if (readFailed) {
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
