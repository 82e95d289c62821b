// The service's traffic masking: one XOR mask on streams, two alternating on datagrams.
#include <tools/masking/masking.h>

namespace toolmask {

void MaskStream(const uint8_t *in, uint8_t *out, size_t n)
{
    for (size_t i = 0; i < n; i++)
        out[i] = uint8_t(in[i] ^ kStreamMask);
}

void MaskDatagram(const uint8_t *in, uint8_t *out, size_t n)
{
    for (size_t i = 0; i < n; i++)
        out[i] = uint8_t(in[i] ^ ((i & 1) || i + 1 == n ? kOddMask : kEvenMask));
}

void MaskingHook::OnStreamReceived(BYTE *data, PINDEX size) const
{
    MaskStream(data, data, size_t(size));
}

void MaskingHook::OnStreamSending(const BYTE *data, BYTE *out, PINDEX size) const
{
    MaskStream(data, out, size_t(size));
}

void MaskingHook::OnDatagramReceived(BYTE *data, PINDEX size) const
{
    MaskDatagram(data, data, size_t(size));
}

void MaskingHook::OnDatagramSending(const BYTE *data, BYTE *out, PINDEX size) const
{
    MaskDatagram(data, out, size_t(size));
}

} // namespace toolmask
