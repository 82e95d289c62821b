// Fuzz target for the H.263 decoder: the first byte chooses an elementary stream (even)
// or RFC 2190 packet records as the h263-codec tool stores them (odd).
#include "h263/decoder.h"
#include "h263/stream_decoder.h"
#include "tools/h263-codec/packet_records.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if ((data[0] & 1) == 0) {
        unsigned sum = 0;
        H263StreamDecoder dec([&sum](const H263PictureView &v) {
            sum += v.y[0] + v.u[v.c_stride * (v.height / 2 - 1)] + v.y[v.width - 1];
        });
        // Two calls: a segment may span the boundary between them.
        size_t half = (size - 1) / 2;
        dec.decode(data + 1, half, false);
        dec.decode(data + 1 + half, size - 1 - half, true);
        return static_cast<int>(sum & 0);
    }
    H263Decoder dec;
    h263tool::PacketRecordReader records(data + 1, size - 1);
    for (h263tool::PacketRecord r; records.next(r);) {
        dec.DecodePacket(r.payload, static_cast<int>(r.length), false, r.marker, r.sequence,
                         r.timestamp);
        if (r.marker || dec.PictureReady()) {
            dec.FinishFrame();
            if (const uint8_t *pic = dec.GetFramePtr()) {
                if (dec.width() <= 0 || dec.height() <= 0)
                    __builtin_trap(); // a picture handed out must have the announced size
                volatile uint8_t last = pic[dec.width() * dec.height() * 3 / 2 - 1];
                (void)last;
            }
        }
    }
    return 0;
}
