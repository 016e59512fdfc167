// Where the coders' parsers take their bytes from and put their results: a
// file for the exports, memory for the fuzz targets and the tests. The
// parsers see only these two interfaces; the file code is a thin layer that
// opens the files and feeds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/stream.h"

namespace brem::encode {

class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Up to n bytes into buf; 0 at the end of the input (a read error ends
    // it as the end would).
    virtual size_t read(char* buf, size_t n) = 0;
    // The most a read is worth asking for at once: the parsers size their
    // blocks by it (never above kLargestBlock), so that a small input in
    // memory costs no large buffers.
    virtual size_t blockSize() const { return kLargestBlock; }
    static constexpr size_t kLargestBlock = 1 << 16;
};

// A parser's block for `src`: its block size, at least `least`.
inline size_t blockFor(const BlockSource& src, size_t least) {
    size_t n = src.blockSize();
    if (n > BlockSource::kLargestBlock) n = BlockSource::kLargestBlock;
    return n < least ? least : n;
}

class BlockSink {
public:
    virtual ~BlockSink() = default;
    virtual bool write(const char* data, size_t n) = 0;
};

class MemorySource : public BlockSource {
public:
    MemorySource(const char* data, size_t size) : data_(data), left_(size) {}
    size_t read(char* buf, size_t n) override {
        if (n > left_) n = left_;
        std::memcpy(buf, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }
    size_t blockSize() const override { return left_; }

private:
    const char* data_;
    size_t left_;
};

class StreamSource : public BlockSource {
public:
    explicit StreamSource(plat::Stream& s) : s_(s) {}
    size_t read(char* buf, size_t n) override { return s_.read(buf, n); }

private:
    plat::Stream& s_;
};

class StreamSink : public BlockSink {
public:
    explicit StreamSink(plat::Stream& s) : s_(s) {}
    bool write(const char* data, size_t n) override { return s_.write(data, n); }

private:
    plat::Stream& s_;
};

class StringSink : public BlockSink {
public:
    bool write(const char* data, size_t n) override {
        bytes.append(data, n);
        return true;
    }
    std::string bytes;
};

}  // namespace brem::encode
