// Fuzz target: TPKT framing of a byte stream, whole and fed in pieces.
#include <h323/tpkt/tpkt.h>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t at = 0;
    auto read = [&](uint8_t *p, size_t n) {
        size_t k = std::min(n, size - at);
        std::memcpy(p, data + at, k);
        at += k;
        return long(k);
    };
    std::vector<uint8_t> payload;
    std::vector<std::vector<uint8_t>> whole;
    while (h323::tpkt::read_frame(read, payload, 4096) == h323::tpkt::Status::ok)
        whole.push_back(payload);
    h323::tpkt::Reassembler r(4096);
    size_t frames = 0;
    for (size_t i = 0; i < size; i += 7) {
        r.feed(data + i, std::min<size_t>(7, size - i));
        while (r.next(payload) == h323::tpkt::Status::ok) {
            if (frames >= whole.size() || whole[frames] != payload)
                std::abort(); // both readers must see the same frames
            frames++;
        }
    }
    if (frames != whole.size())
        std::abort();
    return 0;
}
