#include "platform/stream.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/fault.h"

namespace brem::plat {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

Stream::~Stream() { discard(); }

Stream::Stream(Stream&& other) noexcept { *this = std::move(other); }

Stream& Stream::operator=(Stream&& other) noexcept {
    if (this != &other) {
        discard();
        handle_ = std::exchange(other.handle_, kNoFile);
        buf_ = std::move(other.buf_);
        bufSize_ = std::exchange(other.bufSize_, 0);
        pos_ = other.pos_;
        end_ = other.end_;
        wpos_ = other.wpos_;
        filePos_ = other.filePos_;
        text_ = other.text_;
        writable_ = other.writable_;
        append_ = other.append_;
        eof_ = other.eof_;
        readError_ = other.readError_;
        writeError_ = other.writeError_;
    }
    return *this;
}

bool Stream::open(const std::string& path, const char* mode, size_t bufferSize, Access access) {
    discard();
    std::string m = mode ? mode : "";
    OpenMode om;
    bool text = false;
    if (m == "rb") {
        om = OpenMode::Read;
    } else if (m == "r" || m == "rt") {
        om = OpenMode::Read;
        text = true;
    } else if (m == "wb") {
        om = OpenMode::Create;
    } else if (m == "wbx") {
        om = OpenMode::CreateNew;
    } else if (m == "ab") {
        om = OpenMode::Append;
    } else if (m == "at") {
        om = OpenMode::Append;
        text = true;
    } else {
        return false;
    }
    FileHandle h = openFile(path, om, access);
    if (h == kNoFile) return false;
    attach(h, om, text, bufferSize);
    return true;
}

Untrusted Stream::openUntrusted(const std::string& path, size_t bufferSize) {
    discard();
    FileHandle h = kNoFile;
    Untrusted r = plat::openUntrusted(path, &h);
    if (r == Untrusted::Opened) attach(h, OpenMode::Read, false, bufferSize);
    return r;
}

void Stream::attach(FileHandle h, OpenMode om, bool text, size_t bufferSize) {
    text_ = text;
    handle_ = h;
    writable_ = om != OpenMode::Read;
    append_ = om == OpenMode::Append;
    pos_ = end_ = wpos_ = 0;
    eof_ = readError_ = writeError_ = false;
    filePos_ = 0;
    if (append_) {
        int64_t s = fileSize(h);
        filePos_ = s < 0 ? 0 : s;
    }
    size_t want = bufferSize ? bufferSize : kBufferSize;
    if (!buf_ || bufSize_ != want) {
        buf_.reset(new char[want]);
        bufSize_ = want;
    }
}

bool Stream::fill() {
    if (handle_ == kNoFile || writable_ || eof_) return false;
    int64_t n = readFile(handle_, buf_.get(), bufSize_);
    if (n <= 0) {
        if (n < 0) readError_ = true;
        eof_ = true;
        pos_ = end_ = 0;
        return false;
    }
    filePos_ += n;
    pos_ = 0;
    end_ = static_cast<size_t>(n);
    return true;
}

int Stream::getSlow() {
    if (pos_ >= end_ && !fill()) return -1;
    int c = static_cast<unsigned char>(buf_[pos_]);
    if (!text_) {
        ++pos_;
        return c;
    }
    // Text mode, as the C runtime reads it: 0x1A ends the input and stays
    // unread; CR LF reads as LF; a lone CR is kept.
    if (c == 0x1A) {
        eof_ = true;
        return -1;
    }
    ++pos_;
    if (c != '\r') return c;
    if (pos_ >= end_ && !fill()) return '\r';
    if (buf_[pos_] == '\n') {
        ++pos_;
        return '\n';
    }
    return '\r';
}

size_t Stream::peek(const char** data) {
    if (pos_ >= end_ && !fill()) return 0;
    *data = buf_.get() + pos_;
    return end_ - pos_;
}

size_t Stream::read(void* out, size_t n) {
    char* o = static_cast<char*>(out);
    size_t got = 0;
    if (text_) {
        while (got < n) {
            int c = get();
            if (c < 0) break;
            o[got++] = static_cast<char>(c);
        }
        return got;
    }
    while (got < n) {
        if (pos_ >= end_ && n - got >= bufSize_ && handle_ != kNoFile && !writable_ && !eof_) {
            // A large read goes straight to the caller, without the buffer.
            int64_t r = readFile(handle_, o + got, n - got);
            if (r <= 0) {
                if (r < 0) readError_ = true;
                eof_ = true;
                pos_ = end_ = 0;
                break;
            }
            filePos_ += r;
            pos_ = end_ = 0;
            got += static_cast<size_t>(r);
            continue;
        }
        if (pos_ >= end_ && !fill()) break;
        size_t take = end_ - pos_;
        if (take > n - got) take = n - got;
        std::memcpy(o + got, buf_.get() + pos_, take);
        pos_ += take;
        got += take;
    }
    return got;
}

bool Stream::getLine(std::string& line, size_t maxChars) {
    line.clear();
    if (!text_) {
        // Binary lines are taken from the buffer a run at a time.
        while (line.size() < maxChars) {
            if (pos_ >= end_ && !fill()) break;
            size_t take = end_ - pos_;
            if (take > maxChars - line.size()) take = maxChars - line.size();
            const char* from = buf_.get() + pos_;
            const void* lf = std::memchr(from, '\n', take);
            if (lf) take = static_cast<size_t>(static_cast<const char*>(lf) - from) + 1;
            line.append(from, take);
            pos_ += take;
            if (lf) break;
        }
        return !line.empty();
    }
    while (line.size() < maxChars) {
        int c = get();
        if (c < 0) break;
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

bool Stream::writeRaw(const char* data, size_t n) {
    if (n == 0) return true;
    int64_t w = writeFile(handle_, data, n);
    if (w > 0) filePos_ += w;
    if (w != static_cast<int64_t>(n)) {
        writeError_ = true;
        return false;
    }
    return true;
}

bool Stream::flush() {
    if (handle_ == kNoFile || !writable_) return handle_ != kNoFile;
    if (fault::shouldFail(fault::Op::Flush)) {
        writeError_ = true;
        wpos_ = 0;
        return false;
    }
    size_t n = wpos_;
    wpos_ = 0;
    if (writeError_) return false;
    return writeRaw(buf_.get(), n);
}

bool Stream::sync() {
    if (handle_ == kNoFile || !writable_ || !flush()) return false;
    if (!syncFile(handle_)) {
        writeError_ = true;
        return false;
    }
    return true;
}

bool Stream::putSlow(char c) {
    if (handle_ == kNoFile || !writable_ || writeError_) return false;
    if (text_ && c == '\n') {
        if (wpos_ + 2 > bufSize_ && !flush()) return false;
        buf_[wpos_++] = '\r';
        buf_[wpos_++] = '\n';
        return true;
    }
    if (wpos_ >= bufSize_ && !flush()) return false;
    buf_[wpos_++] = c;
    return true;
}

bool Stream::write(const void* data, size_t n) {
    if (handle_ == kNoFile || !writable_ || writeError_) return false;
    const char* p = static_cast<const char*>(data);
    if (text_) {
        // Runs without a line feed go in whole; each LF goes out as CR LF.
        while (n > 0) {
            const void* lf = std::memchr(p, '\n', n);
            size_t run = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
            while (run > 0) {
                if (wpos_ >= bufSize_ && !flush()) return false;
                size_t take = run < bufSize_ - wpos_ ? run : bufSize_ - wpos_;
                std::memcpy(buf_.get() + wpos_, p, take);
                wpos_ += take;
                p += take;
                n -= take;
                run -= take;
            }
            if (lf) {
                if (wpos_ + 2 <= bufSize_) {
                    buf_[wpos_++] = '\r';
                    buf_[wpos_++] = '\n';
                } else if (!putSlow('\n')) {
                    return false;
                }
                ++p;
                --n;
            }
        }
        return true;
    }
    if (wpos_ + n <= bufSize_) {
        std::memcpy(buf_.get() + wpos_, p, n);
        wpos_ += n;
        return true;
    }
    if (!flush()) return false;
    if (n >= bufSize_) return writeRaw(p, n);
    std::memcpy(buf_.get(), p, n);
    wpos_ = n;
    return true;
}

size_t Stream::transferFrom(Stream& in, size_t n) {
    if (handle_ == kNoFile || !writable_ || text_ || in.text_ || writeError_) return 0;
    size_t done = 0;
    while (done < n) {
        if (in.pos_ >= in.end_ && !in.fill()) break;
        if (wpos_ >= bufSize_ && !flush()) break;
        size_t take = in.end_ - in.pos_;
        if (take > n - done) take = n - done;
        if (take > bufSize_ - wpos_) take = bufSize_ - wpos_;
        std::memcpy(buf_.get() + wpos_, in.buf_.get() + in.pos_, take);
        wpos_ += take;
        in.pos_ += take;
        done += take;
    }
    return done;
}

bool Stream::vprint(const char* fmt, va_list ap) {
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < sizeof small) return write(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    return write(big.data(), static_cast<size_t>(n));
}

bool Stream::print(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool ok = vprint(fmt, ap);
    va_end(ap);
    return ok;
}

int64_t Stream::tell() const {
    if (writable_) return filePos_ + static_cast<int64_t>(wpos_);
    return filePos_ - static_cast<int64_t>(end_ - pos_);
}

bool Stream::seek(int64_t offset) {
    if (handle_ == kNoFile || offset < 0) return false;
    if (writable_) {
        if (!flush()) return false;
        if (!seekFile(handle_, offset)) return false;
        filePos_ = offset;
        return true;
    }
    // A seek inside the bytes already buffered needs no system call.
    int64_t bufStart = filePos_ - static_cast<int64_t>(end_);
    if (end_ > 0 && offset >= bufStart && offset <= filePos_) {
        pos_ = static_cast<size_t>(offset - bufStart);
        eof_ = false;
        return true;
    }
    if (!seekFile(handle_, offset)) return false;
    filePos_ = offset;
    pos_ = end_ = 0;
    eof_ = false;
    return true;
}

int64_t Stream::size() {
    if (handle_ == kNoFile) return -1;
    if (writable_ && !flush()) return -1;
    return fileSize(handle_);
}

bool Stream::truncate(int64_t size) {
    if (handle_ == kNoFile || !writable_) return false;
    wpos_ = 0;  // whatever is still buffered lies past the cut
    if (!truncateFile(handle_, size)) return false;
    if (append_) {
        filePos_ = size;
        return seekFile(handle_, size);
    }
    return true;
}

bool Stream::close() {
    if (handle_ == kNoFile) return true;
    bool ok = true;
    if (writable_) ok = flush();
    ok = !writeError_ && ok;
    if (!closeFile(handle_)) ok = false;
    handle_ = kNoFile;
    return ok;
}

void Stream::discard() {
    if (handle_ == kNoFile) return;
    closeFile(handle_);
    handle_ = kNoFile;
    wpos_ = 0;
}

}  // namespace brem::plat
