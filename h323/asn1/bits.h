// Bit reader and writer for the aligned PER codec (most significant bit first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace asn1 {

/** Appends bits to a byte vector; the vector grows as needed. */
class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t> &out) : out_(out), bits_(out.size() * 8) {}

    size_t bit_pos() const { return bits_; }
    size_t byte_pos() const { return (bits_ + 7) / 8; }
    std::vector<uint8_t> &buffer() { return out_; }
    /** Continues after bytes appended to the buffer by someone else. */
    void sync_to_end() { bits_ = out_.size() * 8; }

    /** Writes the low n bits of v (n <= 64). */
    void put_bits(uint64_t v, unsigned n)
    {
        while (n > 0) {
            if (bits_ % 8 == 0)
                out_.push_back(0);
            unsigned room = 8 - bits_ % 8;
            unsigned take = n < room ? n : room;
            uint8_t chunk = static_cast<uint8_t>((v >> (n - take)) & ((1u << take) - 1));
            out_.back() |= static_cast<uint8_t>(chunk << (room - take));
            bits_ += take;
            n -= take;
        }
    }
    void put_bit(bool b) { put_bits(b ? 1 : 0, 1); }
    /** Pads with zero bits to the next octet boundary. */
    void align() { bits_ = (bits_ + 7) / 8 * 8; }
    /** Writes whole octets; the writer must be aligned unless unaligned is set. */
    void put_bytes(const uint8_t *p, size_t n)
    {
        if (n == 0)
            return;
        if (bits_ % 8 == 0) {
            out_.insert(out_.end(), p, p + n);
            bits_ += n * 8;
        } else {
            for (size_t i = 0; i < n; i++)
                put_bits(p[i], 8);
        }
    }

  private:
    std::vector<uint8_t> &out_;
    size_t bits_;
};

/** Reads bits from a buffer; every read is bounds-checked. */
class BitReader {
  public:
    BitReader(const uint8_t *data, size_t size_bytes)
        : data_(data), end_(size_bytes * 8), pos_(0)
    {
    }

    size_t bit_pos() const { return pos_; }
    size_t bits_left() const { return end_ - pos_; }
    const uint8_t *data() const { return data_; }

    /** Reads n bits (n <= 64) into v; false past the end. */
    bool get_bits(unsigned n, uint64_t &v)
    {
        if (n > bits_left())
            return false;
        uint64_t r = 0;
        while (n > 0) {
            unsigned avail = 8 - pos_ % 8;
            unsigned take = n < avail ? n : avail;
            uint8_t byte = data_[pos_ / 8];
            uint8_t chunk = static_cast<uint8_t>((byte >> (avail - take)) & ((1u << take) - 1));
            r = (r << take) | chunk;
            pos_ += take;
            n -= take;
        }
        v = r;
        return true;
    }
    bool get_bit(bool &b)
    {
        uint64_t v;
        if (!get_bits(1, v))
            return false;
        b = v != 0;
        return true;
    }
    /** Skips to the next octet boundary; false if that is past the end. */
    bool align()
    {
        size_t p = (pos_ + 7) / 8 * 8;
        if (p > end_)
            return false;
        pos_ = p;
        return true;
    }
    /** Points p at the next n whole octets (the reader must be aligned) and skips them. */
    bool get_bytes(size_t n, const uint8_t *&p)
    {
        if (n > bits_left() / 8)
            return false;
        p = data_ + pos_ / 8;
        pos_ += n * 8;
        return true;
    }

  private:
    const uint8_t *data_;
    size_t end_;
    size_t pos_;
};

} // namespace asn1
