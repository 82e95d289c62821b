// Transmitter: the packet queue and buffer pool between a video encoder and its RTP sender.
#pragma once

#include <cstdint>

/**
 * Holds the coded payloads of one picture until the sender fetches them, and
 * recycles their buffers. Not thread-safe: one encoder thread uses it.
 */
class Transmitter {
public:
    static constexpr int kHeaderBytes = 24;    ///< room for a payload header
    static constexpr int kDataBytes = 2052;    ///< data buffer; data starts at byte 4
    static constexpr int kDataOffset = 4;

    struct Packet {
        Packet *next = nullptr;
        int lenHdr = 0;                 ///< header bytes in hdr
        int lenBuf = 0;                 ///< data bytes at data + kDataOffset
        uint8_t hdr[kHeaderBytes] = {};
        uint8_t *data = nullptr;        ///< kDataBytes bytes
    };

    Transmitter() = default;
    virtual ~Transmitter();
    Transmitter(const Transmitter &) = delete;
    Transmitter &operator=(const Transmitter &) = delete;

    /** Largest payload, header included, that the sender accepts. */
    virtual int MaxPacketSize() const { return 1024; }

    /** A packet buffer from the pool, or a new one when the pool is empty. */
    Packet *GetPacket();
    /** Appends a filled packet to the tail of the queue. */
    void StorePacket(Packet *pkt);
    /** Takes the packet at the head of the queue; null when the queue is empty. */
    Packet *TakePacket();
    /** Returns a packet buffer to the pool. */
    void ReleasePacket(Packet *pkt);
    /** True while packets wait in the queue. */
    bool PacketsOutstanding() const { return head_ != nullptr; }

private:
    Packet *head_ = nullptr;
    Packet *tail_ = nullptr;
    Packet *pool_ = nullptr;
};
