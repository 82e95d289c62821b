// BitWriter: most-significant-bit-first bit writer into a caller-owned byte buffer.
#pragma once

#include <cstdint>
#include <cstring>

/**
 * Bit position p is bit 7 - (p mod 8) of byte p / 8. Writes that would pass
 * the capacity are dropped and set the overflow flag, so a full buffer never
 * corrupts memory. Earlier contents after the position need not be clear.
 */
struct BitWriter {
    uint8_t *buffer = nullptr;
    int capacity = 0;   ///< bits
    int position = 0;   ///< bits written since the start of the buffer
    bool overflow = false;

    void reset() { position = 0; overflow = false; }

    /** Writes the low count bits of value (count 0..32), most significant first. */
    void put_bits(uint32_t value, int count)
    {
        if (count <= 0)
            return;
        if (count > capacity - position) {
            overflow = true;
            return;
        }
        uint64_t v = count == 32 ? value : (value & ((1u << count) - 1));
        int p = position;
        uint8_t *b = buffer + (p >> 3);
        int used = p & 7;                 // bits of *b already written
        position = p + count;
        if ((p >> 3) + 8 <= (capacity >> 3)) {
            // Eight bytes at once: the bits before the position stay, the value
            // follows them, zeros after it (nothing after the position needs to be kept).
            uint64_t word;
            std::memcpy(&word, b, 8);
            word = __builtin_bswap64(word);
            word = (word & ~(~0ull >> used)) | (v << (64 - used - count));
            word = __builtin_bswap64(word);
            std::memcpy(b, &word, 8);
            return;
        }
        int total = used + count;         // bits from the start of *b
        // Align v so that its last bit lands at bit position p + count - 1.
        uint64_t word = v << (64 - total);
        uint8_t keep = used ? static_cast<uint8_t>(b[0] & (0xff00u >> used)) : 0;
        b[0] = static_cast<uint8_t>(keep | (word >> 56));
        for (int i = 1; i * 8 < total; i++)
            b[i] = static_cast<uint8_t>(word >> (56 - 8 * i));
    }

    void put_bit(int bit) { put_bits(bit ? 1u : 0u, 1); }

    /** Writes one bit per character of a text of '0' and '1'. */
    void put_bit_string(const char *text)
    {
        for (; *text; text++)
            put_bit(*text == '1');
    }

    /** Whether BitAppender may append bits more bits (it stores eight bytes at a time). */
    bool has_room(int bits) const { return capacity - position >= bits + 64; }

    int bits_to_byte_boundary() const { return (8 - (position & 7)) & 7; }

    /** Writes 0 bits up to the next byte boundary; returns how many. */
    int byte_align()
    {
        int n = bits_to_byte_boundary();
        put_bits(0, n);
        return n;
    }
};

/**
 * Appends codes to a BitWriter without a capacity test per code: the caller
 * makes sure of the room first (BitWriter::has_room). Each code goes out with
 * one eight-byte store behind the bits written so far; the position reaches the
 * writer when the appender ends.
 */
class BitAppender {
public:
    explicit BitAppender(BitWriter &bw)
        : bw_(bw), p_(bw.buffer + (bw.position >> 3)), n_(bw.position & 7)
    {
        acc_ = n_ ? static_cast<uint64_t>(*p_ >> (8 - n_)) : 0;
    }
    ~BitAppender() { bw_.position = static_cast<int>(p_ - bw_.buffer) * 8 + n_; }
    BitAppender(const BitAppender &) = delete;
    BitAppender &operator=(const BitAppender &) = delete;

    /** Appends the low len bits of code (len 1..56), most significant first. */
    void put(uint64_t code, int len)
    {
        acc_ = acc_ << len | code;
        n_ += len;      // below 8 + 56: the pending bits fit the eight bytes stored
        const uint64_t word = __builtin_bswap64(acc_ << (64 - n_));
        std::memcpy(p_, &word, 8);
        p_ += n_ >> 3;
        n_ &= 7;
    }

private:
    BitWriter &bw_;
    uint8_t *p_;    ///< the byte that holds the pending bits
    int n_;         ///< pending bits, 0..7
    uint64_t acc_;  ///< the pending bits in its low n_ bits (higher bits are stale)
};
