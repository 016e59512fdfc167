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
};

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
