// Buffered file streams with the C runtime's modes, over platform.h.
//
// Modes:
//   "rb"  read, bytes unchanged
//   "r"   read as text: a CR LF pair reads as LF, and a byte 0x1A ends the input
//   "wb"  create or truncate, write bytes unchanged
//   "wbx" create a new file, write bytes unchanged; fails when the name is
//         taken by anything, a link included (C11's exclusive mode)
//   "ab"  append (created when missing), bytes unchanged
//   "at"  append as text: every LF is written as CR LF, so the logs and index
//         files hold the same bytes on disk on every system
//
// A Stream owns its handle: the destructor closes it quietly; close() reports
// whether every buffered byte reached the system and the close succeeded, and
// writers check it before they report success. Write errors are sticky.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace brem::plat {

class Stream {
public:
    Stream() = default;
    ~Stream();
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&& other) noexcept;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Opens `path` with one of the modes above. False when the system refuses
    // (or the mode is unknown); the stream is then closed.
    // `bufferSize` sets how many bytes one system read or write moves (64 KB
    // unless given); a reader that takes one bounded piece of a large file
    // asks for little more than that piece.
    // A file created is Private unless `access` says otherwise (platform.h).
    bool open(const std::string& path, const char* mode, size_t bufferSize = 0, Access access = Access::Private);
    // Opens for binary reading a file someone else put where it is, as
    // plat::openUntrusted opens it (no link followed, nothing waited on, a
    // regular file only); anything but Opened leaves the stream closed.
    Untrusted openUntrusted(const std::string& path, size_t bufferSize = 0);
    bool isOpen() const { return handle_ != kNoFile; }

    // Reading. get() returns the next byte (0 to 255) or -1 at the end of the
    // input or on a read error (readError() tells which).
    int get() {
        if (pos_ < end_) {
            int c = static_cast<unsigned char>(buf_[pos_]);
            if (!text_ || (c != '\r' && c != 0x1A)) {
                ++pos_;
                return c;
            }
        }
        return getSlow();
    }
    // Reads up to n bytes; returns the count (below n only at the end).
    size_t read(void* out, size_t n);
    // Reads a line as the C runtime's fgets with a buffer of maxChars + 1:
    // up to maxChars bytes, stopping after an LF. False when nothing was
    // read (the end of the input). `line` holds the bytes, NULs included.
    bool getLine(std::string& line, size_t maxChars);
    // The bytes already buffered for reading, refilled when none are left:
    // sets *data and returns their count (0 at the end of the input). For
    // binary reading streams; consume() takes n of them.
    size_t peek(const char** data);
    void consume(size_t n) { pos_ += n; }
    bool atEnd() const { return eof_; }
    bool readError() const { return readError_; }

    // Writing. Each returns false once a write has failed.
    bool put(char c) {
        if (wpos_ < bufSize_ && !text_ && writable_) {
            buf_[wpos_++] = c;
            return true;
        }
        return putSlow(c);
    }
    bool write(const void* data, size_t n);
    bool write(const std::string& s) { return write(s.data(), s.size()); }
    // Copies up to n bytes from a reading stream (both binary), buffer to
    // buffer. Returns the count copied: below n at the end of `in` or when a
    // read or write failed (readError() / writeFailed() tell which).
    size_t transferFrom(Stream& in, size_t n);
    bool print(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool vprint(const char* fmt, va_list ap);
    // Hands the buffered bytes to the system.
    bool flush();
    // Flushes and waits until every byte written is on the disk (syncFile).
    // A sync that fails counts as a failed write: what was written may be
    // lost.
    bool sync();
    bool writeFailed() const { return writeError_; }

    // Absolute position of the next byte to read or write (bytes of the file).
    int64_t tell() const;
    // Positions at an absolute offset (reading or writing streams); false for
    // a negative offset or an error. Clears the end-of-input state.
    bool seek(int64_t offset);
    // The file's size from the file system, after flushing what is buffered.
    int64_t size();
    // Cuts the file back to `size` bytes (after flushing); used to take back a
    // failed append.
    bool truncate(int64_t size);

    // Flushes and closes. False when a write, the flush or the close failed.
    bool close();
    // Closes without flushing what is still buffered (the bytes are dropped).
    void discard();

private:
    void attach(FileHandle h, OpenMode om, bool text, size_t bufferSize);
    int getSlow();
    bool putSlow(char c);
    bool fill();
    bool writeRaw(const char* data, size_t n);

    FileHandle handle_ = kNoFile;
    std::unique_ptr<char[]> buf_;
    size_t bufSize_ = 0;
    size_t pos_ = 0;    // reading: next byte in buf_
    size_t end_ = 0;    // reading: bytes in buf_
    size_t wpos_ = 0;   // writing: bytes waiting in buf_
    int64_t filePos_ = 0;  // offset of the system's position
    bool text_ = false;
    bool writable_ = false;
    bool append_ = false;
    bool eof_ = false;
    bool readError_ = false;
    bool writeError_ = false;
};

}  // namespace brem::plat
