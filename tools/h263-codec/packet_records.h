// The packet records of the h263-codec tool's packet files, which the decoder fuzz target
// reads too: sequence number (2 bytes, big-endian), flags (1 byte: bit 0 the RTP marker,
// bit 1 a timestamp follows), the RTP timestamp (4 bytes, big-endian, 90 kHz) when flagged,
// payload length (2 bytes, big-endian), then the payload (RFC 2190 header and data).
// Records without a timestamp count their pictures by the markers before them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace h263tool {

/** One picture at 30000/1001 pictures a second, in 90 kHz units. */
constexpr uint32_t kPictureTicks = 3003;

struct PacketRecord {
    unsigned sequence = 0;
    bool marker = false;
    uint32_t timestamp = 0;
    const uint8_t *payload = nullptr;
    size_t length = 0;
};

/** Reads the records of data one after the other. */
class PacketRecordReader {
public:
    PacketRecordReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    /**
     * The next record; false at the end, or where a record's head is cut short. A payload
     * cut short is given as far as it goes, and truncated() tells.
     */
    bool next(PacketRecord &r)
    {
        if (pos_ + 5 > size_)
            return false;
        const uint8_t *d = data_ + pos_;
        r.sequence = static_cast<unsigned>(d[0] << 8 | d[1]);
        r.marker = d[2] & 1;
        r.timestamp = counted_;
        size_t at = 3;
        if (d[2] & 2) {
            if (pos_ + at + 6 > size_) {
                truncated_ = true;
                return false;
            }
            r.timestamp = static_cast<uint32_t>(d[3]) << 24 | d[4] << 16 | d[5] << 8 | d[6];
            at += 4;
        }
        r.length = static_cast<size_t>(d[at] << 8 | d[at + 1]);
        pos_ += at + 2;
        r.payload = data_ + pos_;
        if (r.length > size_ - pos_) {
            r.length = size_ - pos_;
            truncated_ = true;
        }
        pos_ += r.length;
        if (r.marker)
            counted_ += kPictureTicks;
        return true;
    }
    bool truncated() const { return truncated_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t counted_ = 0;      ///< the timestamp of records without one
    bool truncated_ = false;
};

} // namespace h263tool
