// Traffic masking: the XOR rules and the stack hook that applies them while the switch is on.
#include <core/traffic_masking.h>

#include <h323/transports/traffic_hook.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

namespace
{

std::atomic<int> maskingSwitch{0};

// The masks repeated over a 64-bit word; a datagram's word starts at an even byte, so its
// little-endian pattern is second, first, second, first, ...
constexpr uint64_t kStreamWord = 0x0101010101010101ull * kTcpMask;
constexpr uint64_t kDatagramWord =
    0x0001000100010001ull * (uint64_t(kFirstUdpMask) << 8 | kSecondUdpMask);

inline void XorWords(const BYTE *in, BYTE *out, size_t n, uint64_t word)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, in + i, 8);
        w ^= word;
        std::memcpy(out + i, &w, 8);
    }
    // The tail starts at a multiple of 8, so the pattern's byte order still holds.
    for (; i < n; i++)
        out[i] = BYTE(in[i] ^ BYTE(word >> (8 * (i & 7))));
}

class MaskingHook final : public H323TrafficHook
{
  public:
    void OnStreamReceived(BYTE *data, PINDEX size) const override
    {
        MaskStream(data, data, size_t(size));
    }
    void OnStreamSending(const BYTE *data, BYTE *out, PINDEX size) const override
    {
        MaskStream(data, out, size_t(size));
    }
    void OnDatagramReceived(BYTE *data, PINDEX size) const override
    {
        MaskDatagram(data, data, size_t(size));
    }
    void OnDatagramSending(const BYTE *data, BYTE *out, PINDEX size) const override
    {
        MaskDatagram(data, out, size_t(size));
    }
};

const MaskingHook maskingHook;

} // namespace

static_assert(std::endian::native == std::endian::little, "the word patterns are little-endian");

void SetTrafficMasking(int value)
{
    maskingSwitch.store(value);
    H323SetTrafficHook(value != 0 ? &maskingHook : nullptr);
}

int GetTrafficMasking()
{
    return maskingSwitch.load();
}

void MaskStream(const BYTE *in, BYTE *out, size_t n)
{
    XorWords(in, out, n, kStreamWord);
}

void MaskDatagram(const BYTE *in, BYTE *out, size_t n)
{
    if (n == 0)
        return;
    XorWords(in, out, n, kDatagramWord);
    // The last byte always takes the first mask; an even last position took the second.
    if (((n - 1) & 1) == 0)
        out[n - 1] ^= BYTE(kFirstUdpMask ^ kSecondUdpMask);
}
