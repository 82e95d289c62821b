// RTP_JitterBuffer: play-out scheduling by arrival time and timestamps, with adaptation.
#include <h323/rtp/jitter.h>

#include <h323/rtp/rtp_session.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

#include <algorithm>

namespace {
/// Packets without a late one before the delay may shrink by one step.
constexpr unsigned kShrinkAfter = 500;
/// A timestamp this far (in delays) from the expected one starts a new talk spurt.
constexpr int64_t kResyncFactor = 4;

PInt64 NowMs()
{
    return PTimer::Tick().GetMilliSeconds();
}
} // namespace

RTP_JitterBuffer::RTP_JitterBuffer(RTP_Session &s, unsigned minD, unsigned maxD, unsigned units)
    : session(s), minDelay(minD), maxDelay(maxD < minD ? minD : maxD), timeUnits(units ? units : 8),
      currentDelay(minD)
{
    maxEntries = maxDelay / (timeUnits * 10) + 32; // room for 10 ms packets over the maximum
}

RTP_JitterBuffer::~RTP_JitterBuffer()
{
    Close();
}

void RTP_JitterBuffer::SetDelay(unsigned minD, unsigned maxD)
{
    PWaitAndSignal lock(mutex);
    minDelay = minD;
    maxDelay = maxD < minD ? minD : maxD;
    if (currentDelay < minDelay)
        currentDelay = minDelay;
    if (currentDelay > maxDelay)
        currentDelay = maxDelay;
}

void RTP_JitterBuffer::Close()
{
    closed = true;
    wake.Signal();
}

std::unique_ptr<RTP_DataFrame> RTP_JitterBuffer::TakeSpare()
{
    if (spare.empty())
        return std::make_unique<RTP_DataFrame>();
    std::unique_ptr<RTP_DataFrame> frame = std::move(spare.back());
    spare.pop_back();
    return frame;
}

void RTP_JitterBuffer::Recycle(std::unique_ptr<RTP_DataFrame> frame)
{
    if (spare.size() < maxEntries)
        spare.push_back(std::move(frame));
}

void RTP_JitterBuffer::DropOldest()
{
    Recycle(std::move(buffer.front().frame));
    buffer.pop_front();
}

bool RTP_JitterBuffer::TakeIn(const PTimeInterval &timeout)
{
    PTimeInterval wait = timeout;
    // At most a buffer's worth at a time: a flood does not hold up the play-out.
    for (unsigned taken = 0; taken < maxEntries; taken++) {
        std::unique_ptr<RTP_DataFrame> frame = TakeSpare();
        PInt64 arrival = 0;
        int got = session.ReadDataWithin(*frame, wait, arrival);
        if (got <= 0) {
            Recycle(std::move(frame));
            if (got < 0)
                closed = true;
            else
                takenInAt = NowMs();
            return !closed;
        }
        Insert(std::move(frame), arrival);
        wait = 0;
    }
    return !closed;
}

PInt64 RTP_JitterBuffer::PlayoutTime(DWORD timestamp) const
{
    int32_t delta = int32_t(timestamp - baseTimestamp);
    return baseTime + delta / PInt64(timeUnits);
}

void RTP_JitterBuffer::Insert(std::unique_ptr<RTP_DataFrame> frame, PInt64 arrival)
{
    DWORD ts = frame->GetTimestamp();
    PWaitAndSignal lock(mutex);
    if (!synced) {
        synced = true;
        baseTimestamp = ts;
        baseTime = arrival + currentDelay / timeUnits;
        nextTimestamp = ts;
    } else {
        int32_t ahead = int32_t(ts - nextTimestamp);
        int64_t limit = kResyncFactor * int64_t(maxDelay > 0 ? maxDelay : 8000);
        if (ahead < -limit || ahead > limit * 8) {
            // The sender jumped (restart or a long pause): a new time base.
            while (!buffer.empty())
                DropOldest();
            baseTimestamp = ts;
            baseTime = arrival + currentDelay / timeUnits;
            nextTimestamp = ts;
        } else if (ahead < 0) {
            packetsTooLate++;
            onTimeCount = 0;
            if (currentDelay + 10 * timeUnits <= maxDelay) {
                currentDelay += 10 * timeUnits;
                baseTime += 10; // later play-out for everything from now on
            }
            Recycle(std::move(frame));
            return;
        } else if (PlayoutTime(ts) < arrival) {
            onTimeCount = 0; // arrived on the edge: make room before the next one
            if (currentDelay + 10 * timeUnits <= maxDelay) {
                currentDelay += 10 * timeUnits;
                baseTime += 10;
            }
        } else if (++onTimeCount >= kShrinkAfter && currentDelay > minDelay) {
            onTimeCount = 0;
            unsigned step = 10 * timeUnits;
            if (currentDelay - step < minDelay)
                step = currentDelay - minDelay;
            currentDelay -= step;
            baseTime -= step / timeUnits;
        }
    }
    // Consecutive packets give the packet duration (more than one frame each for some
    // codecs); a gap in the sequence numbers may hide silence and says nothing.
    WORD seq = frame->GetSequenceNumber();
    if (haveLast && seq == WORD(lastSequence + 1) && int32_t(ts - lastTimestamp) > 0)
        frameDuration = ts - lastTimestamp;
    if (!haveLast || int16_t(seq - lastSequence) > 0) {
        haveLast = true;
        lastSequence = seq;
        lastTimestamp = ts;
    }
    auto pos = buffer.end();
    while (pos != buffer.begin()) {
        auto prev = pos - 1;
        int32_t d = int32_t(ts - prev->frame->GetTimestamp());
        if (d > 0)
            break;
        if (d == 0) {
            Recycle(std::move(frame)); // duplicate
            return;
        }
        pos = prev;
    }
    buffer.insert(pos, Entry{std::move(frame), arrival});
    while (buffer.size() > maxEntries) // overrun: the oldest goes
        DropOldest();
}

BOOL RTP_JitterBuffer::ReadData(RTP_DataFrame &out)
{
    int got;
    while ((got = TakeFrame(out, 0, kForever)) == 0) {
    }
    return got > 0;
}

int RTP_JitterBuffer::TakeFrame(RTP_DataFrame &out, PInt64 playBy, PInt64 giveUpAt)
{
    for (;;) {
        if (closed)
            return -1;
        if (NowMs() != takenInAt && !TakeIn(0))
            return -1;
        PInt64 wait;
        bool waitForData = false;
        PInt64 now = NowMs();
        // A frame due after giveUpAt is left for the next call, however late this one runs:
        // a caller whose playing takes real time (a blocking sound device) gets back to its
        // other work.
        const PInt64 horizon = std::max(std::min(now, giveUpAt), playBy);
        {
            PWaitAndSignal lock(mutex);
            if (!synced) {
                wait = -1;
            } else {
                // After a packet of unknown duration the next one received sets the position.
                if (positionUnknown && !buffer.empty()) {
                    nextTimestamp = buffer.front().frame->GetTimestamp();
                    positionUnknown = false;
                }
                // Drop what is already behind the play-out position.
                while (!buffer.empty() &&
                       int32_t(buffer.front().frame->GetTimestamp() - nextTimestamp) < 0)
                    DropOldest();
                PInt64 due = PlayoutTime(nextTimestamp);
                if (due <= horizon) {
                    if (!buffer.empty() && buffer.front().frame->GetTimestamp() == nextTimestamp) {
                        Entry e = std::move(buffer.front());
                        buffer.pop_front();
                        lastHoldMs = unsigned(now - e.arrival);
                        out = *e.frame;
                        out.SetPacketSize(e.frame->GetPacketSize());
                        nextTimestamp = e.frame->GetTimestamp() + frameDuration;
                        positionUnknown = frameDuration == 0;
                        Recycle(std::move(e.frame));
                        return 1;
                    }
                    // Missing at its time: an empty frame stands for it, once the packet
                    // duration is known (before that, wait for the next packet).
                    waitForData = positionUnknown || (frameDuration == 0 && buffer.empty());
                }
                if (waitForData) {
                    wait = 20;
                } else if (due <= horizon) {
                    DWORD step = frameDuration > 0 ? frameDuration : 160;
                    if (!buffer.empty()) {
                        DWORD gap = buffer.front().frame->GetTimestamp() - nextTimestamp;
                        if (gap < step)
                            step = gap;
                    }
                    out.SetPayloadSize(0);
                    out.SetTimestamp(nextTimestamp);
                    nextTimestamp += step;
                    return 1;
                } else {
                    wait = due - now;
                }
            }
        }
        if (now >= giveUpAt)
            return 0;
        const bool needData = wait < 0 || waitForData;
        if (giveUpAt != kForever && (wait < 0 || wait > giveUpAt - now))
            wait = giveUpAt - now;
        if (needData) {
            // Nothing plays before a packet comes: wait for one on the session.
            if (!TakeIn(wait < 0 ? PMaxTimeInterval : PTimeInterval(wait)))
                return -1;
        } else {
            // Packets that come meanwhile wait in the socket with their arrival time.
            wake.Wait(PTimeInterval(wait));
        }
    }
}
