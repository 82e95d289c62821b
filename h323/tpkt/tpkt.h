// TPKT framing (RFC 1006 clause 6: version 3, reserved 0, 16-bit length) over a byte stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace h323::tpkt {

inline constexpr size_t kHeaderSize = 4;
inline constexpr uint8_t kVersion = 3;
/** The largest frame the 16-bit length field can describe. */
inline constexpr size_t kMaxFrame = 65535;

enum class Status : uint8_t {
    ok,
    need_more,   // the buffer holds no complete frame yet
    closed,      // the stream ended between frames
    truncated,   // the stream ended inside a frame
    bad_version, // the first octet is not 3
    bad_length,  // the length is below the header size or above the accepted bound
    too_long,    // write: the payload does not fit one frame
    io_error,
};

const char *status_name(Status s);

/** Appends one frame holding payload to out. */
Status write_frame(const uint8_t *payload, size_t size, std::vector<uint8_t> &out);

/**
 * Checks the header at p (n bytes available) and gives the payload length; need_more until
 * four octets are there. max_frame bounds the accepted frame length (header included).
 */
Status parse_header(const uint8_t *p, size_t n, size_t max_frame, size_t &payload_size);

/** Reads up to n bytes; returns the count, 0 at the end of the stream, -1 on an error. */
using ReadFn = std::function<long(uint8_t *, size_t)>;
/** Writes up to n bytes; returns the count written or -1 on an error. */
using WriteFn = std::function<long(const uint8_t *, size_t)>;

/**
 * Reads one frame from a stream: the header first, checked before the payload is
 * allocated, then exactly the payload. A frame of length 4 gives an empty payload.
 */
Status read_frame(const ReadFn &read, std::vector<uint8_t> &payload, size_t max_frame = kMaxFrame);

/** Writes one frame to a stream. */
Status write_frame(const WriteFn &write, const uint8_t *payload, size_t size);

/** Splits frames out of a byte stream fed in pieces (for non-blocking transports). */
class Reassembler {
  public:
    explicit Reassembler(size_t max_frame = kMaxFrame) : max_frame_(max_frame) {}
    void feed(const uint8_t *data, size_t n) { buf_.insert(buf_.end(), data, data + n); }
    /** Takes the next complete frame's payload; an error is final for the stream. */
    Status next(std::vector<uint8_t> &payload);
    size_t buffered() const { return buf_.size() - start_; }

  private:
    size_t max_frame_;
    std::vector<uint8_t> buf_;
    size_t start_ = 0;
    Status error_ = Status::ok;
};

} // namespace h323::tpkt
