// A source that hands over an input in reads of varying sizes, so that a
// parser fed in blocks must give the same result however its input is cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "encode/byte_io.h"

namespace brem::fuzz {

class ChunkedSource : public encode::BlockSource {
public:
    // Reads are 1 to 2 * `step` bytes long, in a pattern set by `seed`.
    ChunkedSource(const char* data, size_t size, uint8_t seed, size_t step)
        : data_(data), left_(size), state_(seed | 1u), step_(step ? step : 1) {}
    size_t read(char* buf, size_t n) override {
        state_ = state_ * 1103515245u + 12345u;
        size_t k = 1 + (state_ >> 16) % (2 * step_);
        if (k > n) k = n;
        if (k > left_) k = left_;
        std::memcpy(buf, data_, k);
        data_ += k;
        left_ -= k;
        return k;
    }
    size_t blockSize() const override { return 2 * step_; }

private:
    const char* data_;
    size_t left_;
    uint32_t state_;
    size_t step_;
};

}  // namespace brem::fuzz
