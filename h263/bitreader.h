// BitReader: bounds-checked most-significant-bit-first bit reader over a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

/**
 * Reads never touch memory outside [data, data + size): past the end the
 * reader yields 0 bits, and the position keeps counting so callers can see
 * that they ran past the end.
 */
class BitReader {
public:
    BitReader() = default;
    BitReader(const uint8_t *data, size_t size) { reset(data, size); }

    void reset(const uint8_t *data, size_t size)
    {
        data_ = data;
        size_ = size;
        next_ = 0;
        window_ = 0;
        valid_ = 0;
        refill();
    }

    /** The next n bits (0..32) without consuming them. */
    uint32_t showbits(int n) const
    {
        return n ? static_cast<uint32_t>(window_ >> (64 - n)) : 0;
    }
    void flushbits(int n)
    {
        window_ = n < 64 ? window_ << n : 0;
        valid_ -= n;
        // Refilled after every flush: the test for whether it is needed would be
        // as hard to predict as the codes are long.
        refill();
    }
    uint32_t getbits(int n)
    {
        uint32_t v = showbits(n);
        flushbits(n);
        return v;
    }
    uint32_t getbits1() { return getbits(1); }

    /** Bits consumed since the start of the buffer (bytes loaded minus the bits still held). */
    size_t position() const { return next_ * 8 - static_cast<size_t>(valid_); }
    size_t size_bits() const { return size_ * 8; }
    const uint8_t *data() const { return data_; }

private:
    void refill()
    {
        if (next_ + 8 <= size_) {
            // Eight bytes at once; the bits past the whole bytes taken are the
            // stream's own, so loading them again later changes nothing.
            uint64_t w;
            std::memcpy(&w, data_ + next_, 8);
            window_ |= valid_ < 64 ? __builtin_bswap64(w) >> valid_ : 0;
            int bytes = (64 - valid_) >> 3;
            next_ += static_cast<size_t>(bytes);
            valid_ += 8 * bytes;
            return;
        }
        while (valid_ <= 56) {
            uint64_t byte = next_ < size_ ? data_[next_] : 0;
            next_++;
            window_ |= byte << (56 - valid_);
            valid_ += 8;
        }
    }

    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t next_ = 0;       // next byte to load
    uint64_t window_ = 0;   // valid bits at the top
    int valid_ = 0;
};
