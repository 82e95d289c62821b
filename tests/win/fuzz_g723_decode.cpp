// Fuzz target: G.723.1 frames into the coder library's decoder and a decoding ACM stream.
//
// The input is a run of chunks, each a length byte (its low 5 bits) and up to that many frame
// bytes, decoded one call each; then the whole input is one payload for the stream.
#include <win/g723lib.h>
#include <win/msacm.h>
#include <win/msacm_testing.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{

HACMSTREAM OpenStream()
{
    win::testing::InstallAcmDriver(win::testing::G7231AcmDriver());
    std::vector<BYTE> g7231 = win::testing::G7231AcmFormat(), pcm = win::testing::PcmAcmFormat();
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, reinterpret_cast<LPWAVEFORMATEX>(g7231.data()),
                      reinterpret_cast<LPWAVEFORMATEX>(pcm.data()), nullptr, 0, 0, 0))
        std::abort();
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    DWORD decoder = g723_dec_init();
    if (!decoder)
        std::abort();
    int16_t pcm[240];
    for (size_t i = 0; i < size;) {
        size_t length = data[i++] & 31u;
        if (length > size - i)
            length = size - i;
        if (g723_decode(decoder, data + i, unsigned(length), pcm, sizeof pcm) != 480)
            std::abort();
        i += length;
    }
    g723_dec_cleanup(decoder);

    static HACMSTREAM stream = OpenStream();
    std::vector<BYTE> src(data, data + size), dst(8 * 480);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = src.empty() ? dst.data() : src.data();
    h.cbSrcLength = DWORD(size);
    h.pbDst = dst.data();
    h.cbDstLength = DWORD(dst.size());
    if (acmStreamPrepareHeader(stream, &h, 0) || acmStreamConvert(stream, &h, 0) ||
        acmStreamUnprepareHeader(stream, &h, 0))
        std::abort();
    if (h.cbSrcLengthUsed > size || h.cbDstLengthUsed % 480 || h.cbDstLengthUsed > dst.size())
        std::abort();
    return 0;
}
