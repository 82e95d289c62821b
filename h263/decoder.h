// H263Decoder: gathers the RTP payloads of one H.263 stream and decodes them into pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace h263 {
struct H263DecState;
}

/** A display of decoded pictures; the decoder only keeps the list. */
struct H263Renderer {
    H263Renderer *next = nullptr;
    int colour = 0;
    int update_count = 0;
};

/** Base of the decoder: picture size, renderer list and the per-block time stamps. */
class H263DecoderBase {
public:
    H263DecoderBase() = default;
    virtual ~H263DecoderBase();
    H263DecoderBase(const H263DecoderBase &) = delete;
    H263DecoderBase &operator=(const H263DecoderBase &) = delete;

    virtual void colorhist(uint32_t *histogram) const = 0;
    virtual void info(char *text) const { text[0] = 0; }
    virtual void stats(char *text) const { text[0] = 0; }
    virtual void resize(int width, int height);
    virtual void attach(H263Renderer *renderer);
    virtual void detach(H263Renderer *renderer);
    virtual void redraw() = 0;

    int width() const { return width_; }
    int height() const { return height_; }

protected:
    void age_blocks();

    int header_length_ = 0;
    H263Renderer *renderers_ = nullptr;
    int width_ = 0, height_ = 0;
    int colour_ = 1;
    int decimation_ = 422;
    int now_ = 1;
    std::vector<uint8_t> block_stamps_;
    int block_count_ = 0;
};

/**
 * The receive side of one H.263 channel. The codec class calls, per RTP
 * packet: DecodePacket(payload, length, lost, marker, sequence) with the
 * payload that starts with the RFC 2190 header; it adopts width() x height()
 * as the frame size; on the marker it calls FinishFrame() and shows
 * GetFramePtr() (Y, U, V planes of width*height*3/2 bytes, null before the
 * first picture). Not thread-safe: one thread at a time.
 */
class H263Decoder : public H263DecoderBase {
public:
    static constexpr int kSlots = 64;
    static constexpr int kSlotBytes = 2000;

    H263Decoder();
    ~H263Decoder() override;

    /** Hands one payload to the decoder; always true (bad payloads are dropped). */
    bool DecodePacket(const uint8_t *payload, int length, bool lost_previous, bool marker,
                      unsigned sequence);
    /** Gathers and decodes whatever complete runs of packets the slots hold. */
    virtual void Decode(const uint8_t *payload, int length, bool marker, unsigned sequence);
    /** Publishes the last decoded picture. */
    void FinishFrame();
    /** The picture published by FinishFrame (Y, U, V without gaps), or null. */
    const uint8_t *GetFramePtr() const { return handed_out_; }

    void colorhist(uint32_t *histogram) const override;
    void info(char *text) const override;
    void redraw() override;

private:
    struct PacketSlot {
        uint16_t sequence = 0;
        int marker = 0;
        int f = 0, sbit = 0, ebit = 0, src = 0;
        int length = 0;     ///< 0: empty
        bool used = false;  ///< a packet was stored here (its number stays when emptied)
        std::vector<uint8_t> data = std::vector<uint8_t>(kSlotBytes, 0);
    };

    bool find_run(int &first, int &count) const;
    void decode_run(const uint8_t *data, size_t length, bool flush);
    void new_core(int source_format);

    std::vector<uint8_t> reassembly_;
    PacketSlot slots_[kSlots];
    bool have_picture_ = false;
    int source_format_ = 0;
    int format_width_ = 0, format_height_ = 0;
    h263::H263DecState *core_ = nullptr;
    std::vector<uint8_t> picture_;      ///< the last decoded picture, without gaps
    const uint8_t *handed_out_ = nullptr;
};
