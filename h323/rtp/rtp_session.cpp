// RTP_Session: sequence numbers, reception statistics and RTCP reports (RFC 3550 clause 6).
#include <h323/rtp/rtp_session.h>

#include <h323/rtp/jitter.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

#include <chrono>
#include <random>

namespace {

DWORD RandomWord()
{
    static std::mt19937 rng{std::random_device{}()};
    static PMutex lock;
    PWaitAndSignal hold(lock);
    return DWORD(rng());
}

/// NTP time (seconds since 1900 in 32.32 fixed point).
uint64_t NtpNow()
{
    using namespace std::chrono;
    auto now = system_clock::now().time_since_epoch();
    uint64_t us = uint64_t(duration_cast<microseconds>(now).count());
    uint64_t secs = us / 1000000 + 2208988800ULL;
    uint64_t frac = ((us % 1000000) << 32) / 1000000;
    return (secs << 32) | frac;
}

} // namespace

RTP_Session::RTP_Session(unsigned id, const PString &cname)
    : sessionID(id), canonicalName(cname), syncSourceOut(RandomWord()),
      lastSentSequence(WORD(RandomWord()))
{
    if (canonicalName.IsEmpty())
        canonicalName = psprintf("kestrelin@%08x", unsigned(syncSourceOut));
}

RTP_Session::~RTP_Session() = default;

void RTP_Session::SetJitterBufferSize(unsigned minDelay, unsigned maxDelay, unsigned timeUnits)
{
    if (minDelay == 0) {
        jitter.reset();
        return;
    }
    if (!jitter)
        jitter.reset(new RTP_JitterBuffer(*this, minDelay, maxDelay, timeUnits));
    else
        jitter->SetDelay(minDelay, maxDelay);
}

BOOL RTP_Session::ReadData(RTP_DataFrame &frame)
{
    PInt64 arrival;
    return ReadDataWithin(frame, PMaxTimeInterval, arrival) > 0;
}

BOOL RTP_Session::ReadBufferedData(RTP_DataFrame &frame)
{
    if (jitter)
        return jitter->ReadData(frame);
    return ReadData(frame);
}

int RTP_Session::ReadBufferedDataWithin(RTP_DataFrame &frame, PInt64 playBy, PInt64 giveUpAt)
{
    if (jitter)
        return jitter->TakeFrame(frame, playBy, giveUpAt);
    PInt64 arrival = 0;
    PInt64 left = giveUpAt - PTimer::Tick().GetMilliSeconds();
    return ReadDataWithin(frame, PTimeInterval(left > 0 ? left : 0), arrival);
}

void RTP_Session::OnSendData(RTP_DataFrame &frame)
{
    frame.SetSyncSource(syncSourceOut);
    frame.SetSequenceNumber(++lastSentSequence);
    lastSentTimestamp = frame.GetTimestamp();
    packetsSent++;
    octetsSent += DWORD(frame.GetPayloadSize());
}

void RTP_Session::MaybeSendReport()
{
    PInt64 now = PTimer::Tick().GetMilliSeconds();
    PInt64 last = lastReportTime;
    if (now - last < ReportInterval)
        return;
    if (!lastReportTime.compare_exchange_strong(last, now))
        return; // another thread sends it
    if (last != 0)
        SendReport();
}

BOOL RTP_Session::OnReceiveData(const RTP_DataFrame &frame, unsigned timeUnits, PInt64 arrivalMs)
{
    PWaitAndSignal lock(receiveMutex);
    WORD seq = frame.GetSequenceNumber();
    if (!haveReceived || frame.GetSyncSource() != syncSourceIn) {
        haveReceived = true;
        syncSourceIn = frame.GetSyncSource();
        expectedSequence = WORD(seq + 1);
        firstSequenceExtended = seq;
        cycles = 0;
        jitterEstimate = 0;
        lastTransit = 0;
    } else {
        int16_t delta = int16_t(seq - expectedSequence);
        if (delta < 0) {
            PTRACE(5, "RTP\tlate or repeated packet " << seq);
            return FALSE;
        }
        if (delta > 0)
            packetsLost += DWORD(delta);
        if (seq < expectedSequence)
            cycles += 0x10000;
        expectedSequence = WORD(seq + 1);
    }
    // Another payload type in the stream (comfort noise, tones as events, a stray sender's
    // codec) is not this channel's media: its sequence number is taken, its data is not.
    const unsigned expected = receivePayloadType;
    if (expected != RTP_DataFrame::IllegalPayloadType && frame.GetPayloadType() != expected) {
        packetsOtherPayloadType++;
        PTRACE(4, "RTP\tpacket " << seq << " of payload type " << unsigned(frame.GetPayloadType())
                                 << " dropped (expecting " << expected << ")");
        return FALSE;
    }
    packetsReceived++;
    octetsReceived += DWORD(frame.GetPayloadSize());
    // Interarrival jitter: transit time differences in timestamp units.
    PInt64 arrival = arrivalMs * timeUnits;
    PInt64 transit = arrival - PInt64(frame.GetTimestamp());
    if (lastTransit != 0) {
        PInt64 d = transit - lastTransit;
        if (d < 0)
            d = -d;
        jitterEstimate += DWORD(d) - ((jitterEstimate + 8) >> 4);
    }
    lastTransit = transit;
    return TRUE;
}

BOOL RTP_Session::OnReceiveControl(const BYTE *data, PINDEX size)
{
    PINDEX offset = 0;
    while (offset + 4 <= size) {
        const BYTE *p = data + offset;
        if ((p[0] >> 6) != 2)
            return FALSE;
        PINDEX length = 4 * ((PINDEX(p[2]) << 8 | p[3]) + 1);
        if (offset + length > size)
            return FALSE;
        switch (p[1]) {
        case RTP_ControlFrame::e_SenderReport:
        case RTP_ControlFrame::e_ReceiverReport:
            reportsReceived++;
            break;
        case RTP_ControlFrame::e_Goodbye:
            PTRACE(3, "RTP\tsession " << sessionID << " got BYE");
            break;
        default:
            break;
        }
        offset += length;
    }
    return offset == size;
}

BOOL RTP_Session::SendReport()
{
    RTP_ControlFrame report;
    bool sender = packetsSent > 0;
    DWORD received;
    DWORD lost;
    DWORD highest;
    DWORD jitterValue;
    DWORD source;
    bool haveSource;
    {
        PWaitAndSignal lock(receiveMutex);
        haveSource = haveReceived;
        source = syncSourceIn;
        received = packetsReceived;
        lost = packetsLost;
        highest = cycles + WORD(expectedSequence - 1);
        jitterValue = jitterEstimate >> 4;
    }
    report.StartPacket(sender ? RTP_ControlFrame::e_SenderReport
                              : RTP_ControlFrame::e_ReceiverReport,
                       haveSource ? 1 : 0);
    report.Append32(syncSourceOut);
    if (sender) {
        uint64_t ntp = NtpNow();
        report.Append32(DWORD(ntp >> 32));
        report.Append32(DWORD(ntp));
        report.Append32(lastSentTimestamp);
        report.Append32(packetsSent);
        report.Append32(octetsSent);
    }
    if (haveSource) {
        report.Append32(source);
        DWORD expected = received + lost;
        BYTE fraction = expected > 0 ? BYTE((uint64_t(lost) * 256) / expected) : 0;
        DWORD cumulative = lost > 0x7fffff ? 0x7fffff : lost;
        report.Append32((DWORD(fraction) << 24) | cumulative);
        report.Append32(highest);
        report.Append32(jitterValue);
        report.Append32(0); // LSR
        report.Append32(0); // DLSR
    }
    report.EndPacket();

    report.StartPacket(RTP_ControlFrame::e_SourceDescription, 1);
    report.Append32(syncSourceOut);
    BYTE item[2] = {RTP_ControlFrame::e_CNAME, BYTE(canonicalName.GetLength())};
    report.Append(item, 2);
    report.Append(reinterpret_cast<const BYTE *>((const char *)canonicalName),
                  canonicalName.GetLength());
    BYTE end = RTP_ControlFrame::e_END;
    report.Append(&end, 1);
    report.EndPacket();
    return WriteControl(report);
}

BOOL RTP_Session::SendBYE()
{
    RTP_ControlFrame bye;
    bye.StartPacket(packetsSent > 0 ? RTP_ControlFrame::e_SenderReport
                                    : RTP_ControlFrame::e_ReceiverReport,
                    0);
    bye.Append32(syncSourceOut);
    if (packetsSent > 0) {
        uint64_t ntp = NtpNow();
        bye.Append32(DWORD(ntp >> 32));
        bye.Append32(DWORD(ntp));
        bye.Append32(lastSentTimestamp);
        bye.Append32(packetsSent);
        bye.Append32(octetsSent);
    }
    bye.EndPacket();
    bye.StartPacket(RTP_ControlFrame::e_Goodbye, 1);
    bye.Append32(syncSourceOut);
    bye.EndPacket();
    return WriteControl(bye);
}
