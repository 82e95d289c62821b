// H263Decoder: gathers the RTP payloads of one H.263 stream and decodes them into pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
 * packet: DecodePacket(payload, length, lost, marker, sequence, timestamp)
 * with the payload that starts with the RFC 2190 header; it adopts width() x
 * height() as the frame size; when PictureReady() it calls FinishFrame() and
 * shows GetFramePtr() (Y, U, V planes of width*height*3/2 bytes, null before
 * the first picture). Not thread-safe: one thread at a time.
 *
 * Packets are decoded in sequence order, whatever the first sequence number
 * and in whatever order they arrive. A missing packet is waited for until two
 * later pictures have ended and the stream has run on by the wait: 50 ms at
 * first, raised by packets that came later than that up to 250 ms (90 kHz
 * timestamps), or until the slots run out; then it is given up. Decoding
 * resumes at the next packet that can be decoded on its own: one that begins
 * with a start code, or a mode B packet of the same picture (its header says
 * where it begins); a picture whose first packet was lost takes its coding
 * type from the payload headers. Decoding begins at an intra picture start,
 * or, once older packets could no longer come, at the oldest packet it can
 * begin with.
 * A picture ends with its marker packet, or, where that was lost, at the next
 * packet of another timestamp or with a picture start code; it is handed out
 * then, with whatever was lost filled from the picture before. When two are
 * completed at once, FinishFrame hands out the later, and a picture sink sees
 * both.
 */
class H263Decoder : public H263DecoderBase {
public:
    static constexpr int kSlots = 256;      ///< 250 ms of a CIF stream of 36 packets a picture
    static constexpr int kSlotBytes = 2000;

    H263Decoder();
    ~H263Decoder() override;

    /** Hands one payload to the decoder; always true (bad payloads are dropped). */
    bool DecodePacket(const uint8_t *payload, int length, bool lost_previous, bool marker,
                      unsigned sequence, uint32_t timestamp);
    /** Keeps the payload and decodes every packet that is now next in sequence. */
    virtual void Decode(const uint8_t *payload, int length, bool marker, unsigned sequence,
                        uint32_t timestamp);
    /** Receives every picture completed (Y, U, V without gaps), valid during the call. */
    using PictureSink = std::function<void(const uint8_t *yuv, int width, int height)>;
    void SetPictureSink(PictureSink sink) { sink_ = std::move(sink); }
    /** Whether a picture was completed since the last FinishFrame. */
    bool PictureReady() const { return ready_; }
    /** Publishes the last completed picture. */
    void FinishFrame();
    /** The picture published by FinishFrame (Y, U, V without gaps), or null. */
    const uint8_t *GetFramePtr() const { return handed_out_; }

    void colorhist(uint32_t *histogram) const override;
    void info(char *text) const override;
    void redraw() override;

private:
    struct PacketSlot {
        uint16_t sequence = 0;
        uint32_t timestamp = 0;
        int marker = 0;
        int f = 0, sbit = 0, ebit = 0, src = 0;
        uint8_t header[8] = {};
        int length = 0;
        bool waiting = false;   ///< holds a packet not decoded yet
        std::vector<uint8_t> data = std::vector<uint8_t>(kSlotBytes, 0);
    };

    PacketSlot &slot(uint16_t sequence) { return slots_[sequence & (kSlots - 1)]; }
    bool holds(uint16_t sequence) const
    {
        const PacketSlot &s = slots_[sequence & (kSlots - 1)];
        return s.waiting && s.sequence == sequence;
    }
    bool can_begin(const PacketSlot &slot) const;
    void restart();
    void note_lateness(uint32_t timestamp);
    void decode_in_order();
    bool begin_decoding();
    void decode_next();
    bool give_up_waiting() const;
    void make_room(uint16_t sequence);
    void break_bitstream();
    void feed(PacketSlot &slot);
    void resume_after_loss(const PacketSlot &slot);
    void decode_bytes(const uint8_t *data, size_t length, bool flush);
    void end_bitstream();
    void end_picture();
    void publish();
    void new_format(int source_format);

    PacketSlot slots_[kSlots];
    bool have_window_ = false;  ///< a packet was received: next_ is valid
    bool started_ = false;      ///< decoding has begun
    uint16_t next_ = 0;         ///< the next packet to decode (before that, the oldest held)
    uint16_t newest_ = 0;       ///< the highest sequence number received
    uint32_t newest_timestamp_ = 0;
    int32_t wait_;              ///< how far the stream runs on before a missing packet is given up
    int on_time_pictures_ = 0;  ///< pictures ended since the last late packet
    int carry_ = -1;            ///< the last byte of the last packet: the next one may share it
    int carry_ebit_ = 0;        ///< that packet's EBIT
    bool contiguous_ = false;   ///< the next packet continues the one decoded last
    bool in_picture_ = false;   ///< a picture was begun and has not ended
    uint32_t picture_timestamp_ = 0;
    bool have_picture_ = false;
    bool ready_ = false;
    int source_format_ = 0;
    h263::H263DecState *core_ = nullptr;
    std::vector<uint8_t> picture_;      ///< the last completed picture, without gaps
    const uint8_t *handed_out_ = nullptr;
    PictureSink sink_;
};
