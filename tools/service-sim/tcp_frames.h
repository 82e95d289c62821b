// TPKT-framed Q.931 on the simulator's TCP connections: listeners, connecting, whole frames.
#pragma once

#include <tools/service-sim/udp_socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Q931;

namespace servicesim {

/** A listening TCP socket on address:port (0: any free port); -1 with error set. */
int OpenListener(const std::string &address, uint16_t port, uint16_t *bound, std::string *error);
/** A TCP connection to to, waiting at most timeoutMs; -1 when it cannot be made. */
int ConnectTo(const Endpoint &to, int timeoutMs);
/** Writes all n bytes; false when the connection failed. */
bool WriteAll(int fd, const uint8_t *p, size_t n);

/** Reads one whole TPKT frame (header included, as received) with a time-out; empty on failure. */
std::vector<uint8_t> ReadFrame(int fd, bool masking, int timeoutMs);
/** The Q.931 message of a frame as received (unmasked first when masking), or false. */
bool FrameMessage(const std::vector<uint8_t> &frame, bool masking, Q931 &q931);
/** The frame of a message, masked when masking; empty when it cannot be encoded. */
std::vector<uint8_t> MessageFrame(const Q931 &q931, bool masking);

/** Cuts a byte stream into whole TPKT frames, each kept as it was received. */
class FrameSplitter
{
  public:
    explicit FrameSplitter(bool masking) : masking_(masking) {}
    void Feed(const uint8_t *data, size_t n) { buffer_.insert(buffer_.end(), data, data + n); }
    /** The next whole frame; false when none is complete yet or the stream is broken. */
    bool Next(std::vector<uint8_t> &frame);
    /** The stream holds something that is no TPKT frame. */
    bool Broken() const { return broken_; }

  private:
    bool masking_;
    bool broken_ = false;
    std::vector<uint8_t> buffer_;
};

} // namespace servicesim
