// H263Encoder: codes captured YUV 4:2:0 frames into RFC 2190 RTP payloads.
#pragma once

#include "h263/bitwriter.h"
#include "h263/picture_coder.h"

#include "pwlib/vic/transmitter.h"
#include "pwlib/vic/video_frame.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

/**
 * One encoder per transmit channel. The codec class calls, per RTP frame to
 * send: SetSize(w, h); when PacketsOutstanding() is false, it reads a frame
 * into GetFramePtr() (w*h*3/2 bytes) and calls ProcessOneFrame(); then
 * ReadOnePacket(payload, length), setting the RTP marker when no packets
 * remain. Not thread-safe: one thread at a time.
 */
class H263Encoder {
public:
    /** Largest payload ReadOnePacket writes: an 8-byte header and up to 2048 data bytes. */
    static constexpr unsigned kMaxPayload = 8 + 2048;

    H263Encoder(int, int);
    virtual ~H263Encoder();
    H263Encoder(const H263Encoder &) = delete;
    H263Encoder &operator=(const H263Encoder &) = delete;

    /** Codes a frame and queues its payloads; returns the bytes queued (headers plus data). */
    virtual int Consume(const VideoFrame *frame);
    /** Stores the size and resizes the frame buffer to width*height*3/2 bytes. */
    virtual void SetSize(int width, int height);

    /** The frame buffer the next captured picture is read into; null without a frame. */
    uint8_t *GetFramePtr();
    /** Codes the object's own frame. */
    int ProcessOneFrame();
    /**
     * Copies the next queued payload (header, then data) into buffer, which
     * must hold kMaxPayload bytes, and sets length; length 0 when none waits.
     */
    void ReadOnePacket(uint8_t *buffer, unsigned &length);
    /** Whether the transmitter's queue holds payloads. */
    bool PacketsOutstanding() const { return transmitter_ && transmitter_->PacketsOutstanding(); }

    /** The reconstruction of the last coded picture (the next picture's reference). */
    const uint8_t *LastReconstruction() const { return stores_[reference_].data(); }

    int width() const { return width_; }
    int height() const { return height_; }

private:
    void Init();
    void allocate_bit_buffer(size_t bytes);
    void allocate_stores(int width, int height);

    int width_ = 0, height_ = 0;
    std::unique_ptr<Transmitter> transmitter_;
    std::unique_ptr<VideoFrame> frame_;
    std::vector<uint8_t> stores_[3];    // reference, previous source, reconstruction
    int reference_ = 0, reconstruction_ = 2;
    /** calloc'd: zero pages that a picture never reaches are never touched. */
    std::unique_ptr<uint8_t, void (*)(void *)> bit_buffer_{nullptr, std::free};
    size_t bit_buffer_bytes_ = 0;
    BitWriter bits_;
    h263::MacroblockInfo mb_info_;
    std::vector<int> mb_start_;
    std::vector<int> mb_quant_;
    int store_width_ = 0, store_height_ = 0;
    bool first_picture_done_ = false;
    int effort_ = 3;
    int quant_ = 10;
    h263::PictureCoder coder_;
};
