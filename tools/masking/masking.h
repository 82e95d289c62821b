// The service's traffic masking for the command-line tools: XOR masks on streams and datagrams.
#pragma once

#include <h323/transports/traffic_hook.h>

#include <cstddef>
#include <cstdint>

namespace toolmask {

inline constexpr uint8_t kStreamMask = 0xB4;
inline constexpr uint8_t kOddMask = 0x1D;  ///< odd bytes and the last byte of a datagram
inline constexpr uint8_t kEvenMask = 0xE6; ///< the other bytes of a datagram

/** Masks (or unmasks: the rule is its own inverse) bytes of a TCP stream. */
void MaskStream(const uint8_t *in, uint8_t *out, size_t n);
/** Masks (or unmasks) one whole datagram. */
void MaskDatagram(const uint8_t *in, uint8_t *out, size_t n);

/** The masking as the stack's traffic hook. */
class MaskingHook : public H323TrafficHook
{
  public:
    void OnStreamReceived(BYTE *data, PINDEX size) const override;
    void OnStreamSending(const BYTE *data, BYTE *out, PINDEX size) const override;
    void OnDatagramReceived(BYTE *data, PINDEX size) const override;
    void OnDatagramSending(const BYTE *data, BYTE *out, PINDEX size) const override;
};

} // namespace toolmask
