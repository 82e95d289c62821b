// TPKT framing (RFC 1006 clause 6) for H.225.0 call signalling and H.245 over TCP.
#include <h323/tpkt/tpkt.h>

namespace h323::tpkt {

const char *status_name(Status s)
{
    switch (s) {
    case Status::ok: return "ok";
    case Status::need_more: return "need more data";
    case Status::closed: return "stream closed";
    case Status::truncated: return "stream ended inside a frame";
    case Status::bad_version: return "not a TPKT version 3 header";
    case Status::bad_length: return "TPKT length out of bounds";
    case Status::too_long: return "payload too long for one TPKT frame";
    case Status::io_error: return "stream error";
    }
    return "unknown";
}

Status write_frame(const uint8_t *payload, size_t size, std::vector<uint8_t> &out)
{
    if (size > kMaxFrame - kHeaderSize)
        return Status::too_long;
    size_t len = size + kHeaderSize;
    out.push_back(kVersion);
    out.push_back(0); // reserved
    out.push_back(static_cast<uint8_t>(len >> 8));
    out.push_back(static_cast<uint8_t>(len));
    out.insert(out.end(), payload, payload + size);
    return Status::ok;
}

Status parse_header(const uint8_t *p, size_t n, size_t max_frame, size_t &payload_size)
{
    if (n >= 1 && p[0] != kVersion)
        return Status::bad_version;
    if (n < kHeaderSize)
        return Status::need_more;
    size_t len = size_t(p[2]) << 8 | p[3];
    if (len < kHeaderSize || len > max_frame)
        return Status::bad_length;
    payload_size = len - kHeaderSize;
    return Status::ok;
}

namespace {

/** Reads exactly n bytes; closed when the stream ends before the first byte. */
Status read_exact(const ReadFn &read, uint8_t *p, size_t n)
{
    size_t done = 0;
    while (done < n) {
        long r = read(p + done, n - done);
        if (r < 0)
            return Status::io_error;
        if (r == 0)
            return done == 0 ? Status::closed : Status::truncated;
        done += size_t(r);
    }
    return Status::ok;
}

} // namespace

Status read_frame(const ReadFn &read, std::vector<uint8_t> &payload, size_t max_frame)
{
    uint8_t hdr[kHeaderSize];
    Status s = read_exact(read, hdr, kHeaderSize);
    if (s != Status::ok)
        return s;
    size_t n;
    s = parse_header(hdr, kHeaderSize, max_frame, n);
    if (s != Status::ok)
        return s;
    payload.resize(n);
    if (n == 0)
        return Status::ok;
    s = read_exact(read, payload.data(), n);
    if (s == Status::closed)
        s = Status::truncated;
    if (s != Status::ok)
        payload.clear();
    return s;
}

Status write_frame(const WriteFn &write, const uint8_t *payload, size_t size)
{
    std::vector<uint8_t> frame;
    frame.reserve(size + kHeaderSize);
    Status s = write_frame(payload, size, frame);
    if (s != Status::ok)
        return s;
    size_t done = 0;
    while (done < frame.size()) {
        long w = write(frame.data() + done, frame.size() - done);
        if (w <= 0)
            return Status::io_error;
        done += size_t(w);
    }
    return Status::ok;
}

Status Reassembler::next(std::vector<uint8_t> &payload)
{
    if (error_ != Status::ok)
        return error_;
    size_t n;
    Status s = parse_header(buf_.data() + start_, buf_.size() - start_, max_frame_, n);
    if (s == Status::need_more)
        return s;
    if (s != Status::ok)
        return error_ = s;
    if (buf_.size() - start_ < kHeaderSize + n)
        return Status::need_more;
    const uint8_t *p = buf_.data() + start_ + kHeaderSize;
    payload.assign(p, p + n);
    start_ += kHeaderSize + n;
    if (start_ == buf_.size()) {
        buf_.clear();
        start_ = 0;
    } else if (start_ > 65536) {
        buf_.erase(buf_.begin(), buf_.begin() + long(start_));
        start_ = 0;
    }
    return Status::ok;
}

} // namespace h323::tpkt
