// RTP_JitterBuffer: an adaptive play-out buffer for received audio.
#pragma once

#include <h323/rtp/rtp_frame.h>

#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class RTP_Session;

/// Holds received packets until their play-out time: the arrival of the first packet of a
/// talk spurt plus the current delay, advanced by the timestamps. The delay starts at the
/// minimum, grows (up to the maximum) when packets arrive after their play-out time and
/// shrinks back when none has been late for a while. The channel's thread takes frames in
/// timestamp order with ReadData, which also takes in what the session has received (with
/// the arrival times the system noted): between two frames the thread sleeps until the next
/// one is due, so a frame costs it one wake-up, however the packets come.
class RTP_JitterBuffer
{
  public:
    /// Delays in timestamp units (ms x timeUnits).
    RTP_JitterBuffer(RTP_Session &session, unsigned minDelay, unsigned maxDelay,
                     unsigned timeUnits = 8);
    ~RTP_JitterBuffer();
    RTP_JitterBuffer(const RTP_JitterBuffer &) = delete;
    RTP_JitterBuffer &operator=(const RTP_JitterBuffer &) = delete;

    void SetDelay(unsigned minDelay, unsigned maxDelay);
    /// No limit for TakeFrame's giveUpAt.
    static constexpr PInt64 kForever = INT64_MAX;

    /// Waits for the next frame's play-out time and gives it; a frame that did not arrive
    /// in time comes as an empty payload with its timestamp. FALSE once closed.
    BOOL ReadData(RTP_DataFrame &frame);
    /// As ReadData, for a thread with other work: a frame due by playBy (ms of PTimer::Tick)
    /// is given at once, even before its time; otherwise it waits for the next frame at most
    /// until giveUpAt. 1 with a frame, 0 when none was due by then (one that came due later
    /// waits for the next call, however long the caller took), -1 once closed.
    int TakeFrame(RTP_DataFrame &frame, PInt64 playBy, PInt64 giveUpAt);
    /// Any thread: ends ReadData (the session's sockets are closed by the session).
    void Close();

    /// The current delay in ms.
    unsigned GetCurrentDelay() const { return currentDelay / timeUnits; }
    DWORD GetPacketsTooLate() const { return packetsTooLate; }
    /// Milliseconds the last frame handed out spent in the buffer.
    unsigned GetLastHoldTime() const { return lastHoldMs; }

  private:
    struct Entry {
        std::unique_ptr<RTP_DataFrame> frame;
        PInt64 arrival; // ms
    };
    /// Takes in the packets received, waiting at most timeout for the first; FALSE once
    /// the session is closed.
    bool TakeIn(const PTimeInterval &timeout);
    /// Files a packet that arrived at arrival (ms), or drops it.
    void Insert(std::unique_ptr<RTP_DataFrame> frame, PInt64 arrival);
    PInt64 PlayoutTime(DWORD timestamp) const;
    /// A frame to receive into: a spare one, or a new one.
    std::unique_ptr<RTP_DataFrame> TakeSpare();
    void Recycle(std::unique_ptr<RTP_DataFrame> frame);
    /// Removes the oldest packet of the buffer (not empty), keeping its frame for reuse.
    void DropOldest();

    RTP_Session &session;
    unsigned minDelay;
    unsigned maxDelay;
    unsigned timeUnits;
    unsigned maxEntries;

    PMutex mutex;
    PSyncPoint wake;           // signalled by Close
    std::deque<Entry> buffer;  // by timestamp
    PInt64 takenInAt = -1;     // when TakeIn last found nothing more (ms)
    /// Frames to receive into again (of the reading thread).
    std::vector<std::unique_ptr<RTP_DataFrame>> spare;
    bool synced = false;
    PInt64 baseTime = 0;       // play-out time of baseTimestamp (ms)
    DWORD baseTimestamp = 0;
    DWORD nextTimestamp = 0;   // the timestamp ReadData gives next
    DWORD frameDuration = 0;   // timestamp units per packet, 0 until two consecutive ones came
    bool positionUnknown = false; // the last packet's duration was not known
    bool haveLast = false;
    WORD lastSequence = 0;     // the newest packet received so far
    DWORD lastTimestamp = 0;
    unsigned currentDelay;     // timestamp units
    unsigned onTimeCount = 0;  // packets since the last late one
    std::atomic<bool> closed{false};
    std::atomic<DWORD> packetsTooLate{0};
    std::atomic<unsigned> lastHoldMs{0};
};
