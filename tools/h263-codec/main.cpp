// h263-codec: codes raw YUV 4:2:0 into H.263 and back, as streams or RFC 2190 packets.
//
//   h263-codec encode IN.yuv WIDTHxHEIGHT OUT.263      elementary stream out
//   h263-codec decode IN.263 OUT.yuv                   prints the picture size
//   h263-codec packets IN.yuv WIDTHxHEIGHT OUT.rtpdump RFC 2190 payloads out
//   h263-codec depacketise IN.rtpdump OUT.yuv          payloads in, pictures out
//
// Packet file: the 8 bytes "H263RTP\n", then one record per packet (packet_records.h).
// Records appear in the order the packets are received, which need not be their
// sequence order; a picture is written once it has ended.
#include "h263/decoder.h"
#include "h263/encoder.h"
#include "h263/packetiser.h"
#include "h263/print.h"
#include "h263/stream_decoder.h"
#include "tools/h263-codec/packet_records.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char kMagic[8] = {'H', '2', '6', '3', 'R', 'T', 'P', '\n'};

void print_message(const char *text)
{
    std::fputs(text, stderr);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: h263-codec encode IN.yuv WIDTHxHEIGHT OUT.263\n"
                 "       h263-codec decode IN.263 OUT.yuv\n"
                 "       h263-codec packets IN.yuv WIDTHxHEIGHT OUT.rtpdump\n"
                 "       h263-codec depacketise IN.rtpdump OUT.yuv\n");
    return 2;
}

bool parse_size(const char *text, int &w, int &h)
{
    char x = 0;
    return std::sscanf(text, "%d%c%d", &w, &x, &h) == 3 && (x == 'x' || x == 'X') && w > 0 &&
           h > 0 && w % 2 == 0 && h % 2 == 0 && w <= 4096 && h <= 4096;
}

bool read_file(const char *path, std::vector<uint8_t> &data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "h263-codec: cannot open %s\n", path);
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

struct Output {
    std::FILE *f = nullptr;
    explicit Output(const char *path) : f(std::fopen(path, "wb"))
    {
        if (!f)
            std::fprintf(stderr, "h263-codec: cannot create %s\n", path);
    }
    ~Output()
    {
        if (f)
            std::fclose(f);
    }
    bool write(const void *p, size_t n) { return std::fwrite(p, 1, n, f) == n; }
};

/** Codes every picture of a YUV file; calls sink with each payload and its marker. */
template <typename Sink>
int code_pictures(const char *in_path, const char *size, Sink sink)
{
    int w, h;
    if (!parse_size(size, w, h)) {
        std::fprintf(stderr, "h263-codec: bad size %s (want WIDTHxHEIGHT)\n", size);
        return 2;
    }
    std::FILE *in = std::fopen(in_path, "rb");
    if (!in) {
        std::fprintf(stderr, "h263-codec: cannot open %s\n", in_path);
        return 1;
    }
    H263Encoder enc(0, 0);
    size_t bytes = static_cast<size_t>(w) * h * 3 / 2;
    int pictures = 0;
    uint8_t payload[H263Encoder::kMaxPayload];
    for (;;) {
        enc.SetSize(w, h);
        if (std::fread(enc.GetFramePtr(), 1, bytes, in) != bytes)
            break;
        if (enc.ProcessOneFrame() == 0) {
            std::fclose(in);
            std::fprintf(stderr, "h263-codec: %dx%d cannot be coded\n", w, h);
            return 1;
        }
        pictures++;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            if (!sink(payload, len, !enc.PacketsOutstanding())) {
                std::fclose(in);
                std::fprintf(stderr, "h263-codec: write failed\n");
                return 1;
            }
        }
    }
    std::fclose(in);
    std::printf("%d pictures %dx%d\n", pictures, w, h);
    return 0;
}

int encode(const char *in, const char *size, const char *out_path)
{
    Output out(out_path);
    if (!out.f)
        return 1;
    std::vector<uint8_t> stream;
    int ebit = 0;
    return code_pictures(in, size, [&](const uint8_t *p, unsigned len, bool marker) {
        h263::join_payload(p, len, stream, ebit);
        if (!marker)
            return true;
        bool ok = out.write(stream.data(), stream.size());
        stream.clear();
        ebit = 0;
        return ok;
    });
}

int packets(const char *in, const char *size, const char *out_path)
{
    Output out(out_path);
    if (!out.f || !out.write(kMagic, sizeof kMagic))
        return 1;
    unsigned seq = 0;
    uint32_t timestamp = 0;
    return code_pictures(in, size, [&](const uint8_t *p, unsigned len, bool marker) {
        uint8_t rec[9] = {static_cast<uint8_t>(seq >> 8),       static_cast<uint8_t>(seq),
                          static_cast<uint8_t>(marker ? 3 : 2), static_cast<uint8_t>(timestamp >> 24),
                          static_cast<uint8_t>(timestamp >> 16), static_cast<uint8_t>(timestamp >> 8),
                          static_cast<uint8_t>(timestamp),      static_cast<uint8_t>(len >> 8),
                          static_cast<uint8_t>(len)};
        seq = (seq + 1) & 0xffff;
        if (marker)
            timestamp += h263tool::kPictureTicks;
        return out.write(rec, sizeof rec) && out.write(p, len);
    });
}

bool write_picture(Output &out, const uint8_t *yuv, int w, int h)
{
    return out.write(yuv, static_cast<size_t>(w) * h * 3 / 2);
}

int decode(const char *in_path, const char *out_path)
{
    std::vector<uint8_t> data;
    if (!read_file(in_path, data))
        return 1;
    Output out(out_path);
    if (!out.f)
        return 1;
    int w = 0, h = 0;
    bool ok = true;
    H263StreamDecoder dec([&](const H263PictureView &v) {
        w = v.width;
        h = v.height;
        for (int j = 0; j < h; j++)
            ok &= out.write(v.y + j * v.y_stride, static_cast<size_t>(w));
        for (const uint8_t *p : {v.u, v.v})
            for (int j = 0; j < h / 2; j++)
                ok &= out.write(p + j * v.c_stride, static_cast<size_t>(w / 2));
    });
    dec.decode(data.data(), data.size(), true);
    if (!ok) {
        std::fprintf(stderr, "h263-codec: write failed\n");
        return 1;
    }
    if (dec.pictures() == 0) {
        std::fprintf(stderr, "h263-codec: no picture decoded\n");
        return 1;
    }
    std::printf("%dx%d, %d pictures\n", w, h, dec.pictures());
    return 0;
}

int depacketise(const char *in_path, const char *out_path)
{
    std::vector<uint8_t> data;
    if (!read_file(in_path, data))
        return 1;
    if (data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0) {
        std::fprintf(stderr, "h263-codec: %s is not a packet file\n", in_path);
        return 1;
    }
    Output out(out_path);
    if (!out.f)
        return 1;
    H263Decoder dec;
    int pictures = 0;
    bool ok = true;
    dec.SetPictureSink([&](const uint8_t *yuv, int w, int h) {
        ok = ok && write_picture(out, yuv, w, h);
        pictures++;
    });
    h263tool::PacketRecordReader records(data.data() + sizeof kMagic, data.size() - sizeof kMagic);
    for (h263tool::PacketRecord r; records.next(r) && !records.truncated();)
        dec.DecodePacket(r.payload, static_cast<int>(r.length), false, r.marker, r.sequence,
                         r.timestamp);
    if (records.truncated())
        std::fprintf(stderr, "h263-codec: packet file truncated\n");
    if (!ok) {
        std::fprintf(stderr, "h263-codec: write failed\n");
        return 1;
    }
    if (!pictures) {
        std::fprintf(stderr, "h263-codec: no picture decoded\n");
        return 1;
    }
    std::printf("%dx%d, %d pictures\n", dec.width(), dec.height(), pictures);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (std::getenv("H263_CODEC_VERBOSE"))
        SetH263DebugPrint(print_message);
    if (argc < 2)
        return usage();
    std::string cmd = argv[1];
    if (cmd == "encode" && argc == 5)
        return encode(argv[2], argv[3], argv[4]);
    if (cmd == "decode" && argc == 4)
        return decode(argv[2], argv[3]);
    if (cmd == "packets" && argc == 5)
        return packets(argv[2], argv[3], argv[4]);
    if (cmd == "depacketise" && argc == 4)
        return depacketise(argv[2], argv[3]);
    return usage();
}
