// The G.723.1 coder library over libavcodec's "g723_1" encoder and decoder.
#include <win/g723lib.h>
#include <win/internal/g723_frame.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace win::g723
{
namespace
{

// Stands in for an erased frame: a 6.3 kbit/s frame whose first pitch lag is a forbidden code.
// The decoder conceals it as G.723.1 prescribes: after speech it repeats the last excitation
// with falling gain; during silence it goes on with comfort noise.
constexpr BYTE kErasedFrame[kMaxFrameBytes] = {0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Erasures in a row after speech that are concealed; later ones are muted here, as libavcodec
// keeps replaying (and amplifying) stale excitation from its third erasure on.
constexpr int kConcealedErasures = 2;

// Reads a frame's bits least significant first, as G.723.1 packs them.
class BitReader
{
  public:
    explicit BitReader(const BYTE *bytes) : bytes(bytes) {}
    unsigned Read(unsigned count)
    {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i, ++position)
            value |= ((bytes[position >> 3] >> (position & 7)) & 1u) << i;
        return value;
    }
    void Skip(unsigned count) { position += count; }

  private:
    const BYTE *bytes;
    unsigned position = 0;
};

// Whether a whole 6.3 or 5.3 kbit/s frame carries a forbidden pitch lag or gain index, which
// makes it an erased frame.
bool HasForbiddenCode(const BYTE *frame)
{
    BitReader bits(frame);
    const bool fullRate = bits.Read(2) == 0; /* RATEFLAG, VADFLAG */
    bits.Skip(24);                           /* LPC indices */
    unsigned lag[2];
    lag[0] = bits.Read(7); /* ACL0 */
    bits.Skip(2);          /* ACL1 */
    lag[1] = bits.Read(7); /* ACL2 */
    bits.Skip(2);          /* ACL3 */
    if (lag[0] > 123 || lag[1] > 123)
        return true;
    for (unsigned i = 0; i < 4; ++i) {
        unsigned gain = bits.Read(12); /* GAIN0..GAIN3 */
        unsigned entries = 170;
        if (fullRate && lag[i >> 1] + 18 < 58) {
            gain &= 0x7FF; // the top bit is the pulse-train flag
            entries = 85;
        }
        if (gain / 24 >= entries)
            return true;
    }
    return false;
}

class Coder
{
  public:
    explicit Coder(bool encoder) : encoder(encoder) {}
    ~Coder()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
    Coder(const Coder &) = delete;
    Coder &operator=(const Coder &) = delete;

    bool Open();
    int Encode(const void *pcm, BYTE *out);
    int Decode(const BYTE *in, unsigned inBytes, void *pcm);

    const bool encoder;

  private:
    AVCodecContext *context = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    // One coded frame with the zeroed padding libavcodec's bit reader may look into.
    BYTE input[kMaxFrameBytes + AV_INPUT_BUFFER_PADDING_SIZE] = {};
    bool speech = false; // the last frame was speech, or an erasure concealed as speech
    int erasures = 0;    // erased frames in a row since the last speech frame
};

bool Coder::Open()
{
    const AVCodec *codec = encoder ? avcodec_find_encoder(AV_CODEC_ID_G723_1)
                                   : avcodec_find_decoder(AV_CODEC_ID_G723_1);
    if (!codec)
        return false;
    context = avcodec_alloc_context3(codec);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (!context || !frame || !packet)
        return false;
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    if (encoder) {
        context->sample_fmt = AV_SAMPLE_FMT_S16;
        context->bit_rate = 6300;
    }
    if (avcodec_open2(context, codec, nullptr) < 0)
        return false;
    if (encoder) {
        frame->format = AV_SAMPLE_FMT_S16;
        frame->nb_samples = kSamplesPerFrame;
        frame->sample_rate = 8000;
        if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 ||
            av_frame_get_buffer(frame, 0) < 0)
            return false;
    }
    return true;
}

int Coder::Encode(const void *pcm, BYTE *out)
{
    if (av_frame_make_writable(frame) < 0)
        return -1;
    std::memcpy(frame->data[0], pcm, kPcmBytes);
    if (avcodec_send_frame(context, frame) < 0 || avcodec_receive_packet(context, packet) < 0)
        return -1;
    int written = -1;
    if (packet->size > 0 && packet->size <= static_cast<int>(kMaxFrameBytes)) {
        std::memcpy(out, packet->data, packet->size);
        written = packet->size;
    }
    av_packet_unref(packet);
    return written;
}

int Coder::Decode(const BYTE *in, unsigned inBytes, void *pcm)
{
    unsigned length = in && inBytes ? FrameLength(in[0]) : kMaxFrameBytes;
    bool erased = !in || inBytes < length;
    if (!erased && length >= 20)
        erased = HasForbiddenCode(in);
    if (erased) {
        if (speech && ++erasures > kConcealedErasures) {
            std::memset(pcm, 0, kPcmBytes);
            return static_cast<int>(kPcmBytes);
        }
        std::memcpy(input, kErasedFrame, kMaxFrameBytes);
        length = kMaxFrameBytes;
    } else {
        std::memcpy(input, in, length);
        std::memset(input + length, 0, kMaxFrameBytes - length);
        speech = length >= 20;
        erasures = 0;
    }
    packet->data = input;
    packet->size = static_cast<int>(length);
    int result = -1;
    if (avcodec_send_packet(context, packet) >= 0 && avcodec_receive_frame(context, frame) >= 0) {
        if (frame->format == AV_SAMPLE_FMT_S16P && frame->nb_samples == int(kSamplesPerFrame)) {
            std::memcpy(pcm, frame->data[0], kPcmBytes);
            result = static_cast<int>(kPcmBytes);
        }
        av_frame_unref(frame);
    }
    packet->data = nullptr;
    packet->size = 0;
    if (result < 0)
        std::memset(pcm, 0, kPcmBytes);
    return result;
}

// Live coder states by handle. A handle is looked up under the lock and then used without it:
// each handle belongs to one thread, and releasing one never moves another.
class Table
{
  public:
    DWORD Add(std::unique_ptr<Coder> coder)
    {
        std::lock_guard<std::mutex> lock(mutex);
        do
            ++last;
        while (last == 0 || coders.count(last));
        coders.emplace(last, std::move(coder));
        return last;
    }

    Coder *Find(DWORD handle, bool encoder)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = coders.find(handle);
        return it != coders.end() && it->second->encoder == encoder ? it->second.get() : nullptr;
    }

    void Remove(DWORD handle, bool encoder)
    {
        std::unique_ptr<Coder> released;
        std::lock_guard<std::mutex> lock(mutex);
        auto it = coders.find(handle);
        if (it != coders.end() && it->second->encoder == encoder) {
            released = std::move(it->second);
            coders.erase(it);
        }
    }

  private:
    std::mutex mutex;
    std::unordered_map<DWORD, std::unique_ptr<Coder>> coders;
    DWORD last = 0;
};

Table &Coders()
{
    static Table table;
    return table;
}

DWORD Create(bool encoder)
{
    auto coder = std::make_unique<Coder>(encoder);
    if (!coder->Open())
        return 0;
    return Coders().Add(std::move(coder));
}

} // namespace
} // namespace win::g723

using namespace win::g723;

DWORD g723_enc_init()
{
    return Create(true);
}

DWORD g723_dec_init()
{
    return Create(false);
}

int g723_encode(DWORD encoder, const void *pcm, unsigned pcmBytes, BYTE *out, unsigned outBytes)
{
    Coder *coder = Coders().Find(encoder, true);
    if (!coder || !pcm || !out || pcmBytes < kPcmBytes || outBytes < kMaxFrameBytes)
        return -1;
    return coder->Encode(pcm, out);
}

int g723_decode(DWORD decoder, const BYTE *in, unsigned inBytes, void *pcm, unsigned pcmBytes)
{
    Coder *coder = Coders().Find(decoder, false);
    if (!coder || !pcm || pcmBytes < kPcmBytes)
        return -1;
    return coder->Decode(in, inBytes, pcm);
}

void g723_enc_cleanup(DWORD encoder)
{
    Coders().Remove(encoder, true);
}

void g723_dec_cleanup(DWORD decoder)
{
    Coders().Remove(decoder, false);
}
