// RTP_UDP: the data and RTCP sockets, with the traffic hook on every datagram.
#include <h323/rtp/rtp_session.h>

#include <h323/codecs/codec.h>
#include <h323/rtp/jitter.h>
#include <h323/transports/traffic_hook.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>

#include <algorithm>
#include <vector>

namespace {

/// The calling thread's buffer for the hook's copy of a datagram being sent.
BYTE *HookBuffer(PINDEX size)
{
    thread_local std::vector<BYTE> buffer;
    if (buffer.size() < size_t(size))
        buffer.resize(size_t(size));
    return buffer.data();
}

} // namespace

RTP_UDP::RTP_UDP(unsigned id, const PString &cname) : RTP_Session(id, cname), controlBuffer(2048) {}

RTP_UDP::~RTP_UDP()
{
    Close(FALSE);
    jitter.reset(); // it reads from this session's sockets
}

BOOL RTP_UDP::Open(PIPSocket::Address local, WORD portBase, WORD portMax, BYTE)
{
    localAddress = local;
    if (portBase & 1)
        portBase++;
    for (unsigned port = portBase; port + 1 <= portMax; port += 2) {
        if (!dataSocket.Listen(local, 1, WORD(port), PSocket::AddressIsExclusive))
            continue;
        if (controlSocket.Listen(local, 1, WORD(port + 1), PSocket::AddressIsExclusive)) {
            localDataPort = WORD(port);
            localControlPort = WORD(port + 1);
            return TRUE;
        }
        dataSocket.Close();
    }
    PTRACE(1, "RTP\tno free port pair in " << portBase << "-" << portMax);
    return FALSE;
}

BOOL RTP_UDP::SetRemoteSocketInfo(PIPSocket::Address address, WORD port, BOOL isDataPort)
{
    if (!address.IsValid() || port == 0)
        return FALSE;
    {
        PWaitAndSignal lock(remoteMutex);
        remoteAddress = address;
    }
    if (isDataPort) {
        remoteDataPort = port;
        if (remoteControlPort == 0)
            remoteControlPort = WORD(port + 1);
    } else {
        remoteControlPort = port;
        if (remoteDataPort == 0)
            remoteDataPort = WORD(port - 1);
    }
    return TRUE;
}

PIPSocket::Address RTP_UDP::GetRemoteAddress() const
{
    PWaitAndSignal lock(remoteMutex);
    return remoteAddress;
}

int RTP_UDP::ReadDataOrControlPDU(PUDPSocket &socket, PBYTEArray &frame, BOOL fromDataChannel)
{
    PIPSocket::Address from;
    WORD port;
    PINDEX capacity = frame.GetSize() > 0 ? frame.GetSize() : RTP_DataFrame::MaxPacketSize;
    BOOL received =
        fromDataChannel
            ? socket.ReadFrom(frame.GetPointer(capacity), capacity, from, port, lastArrival)
            : socket.ReadFrom(frame.GetPointer(capacity), capacity, from, port);
    if (!received) {
        if (socket.GetErrorCode(PChannel::LastReadError) == PChannel::BufferTooSmall)
            return 0; // oversized datagram dropped
        return -1;
    }
    PINDEX count = socket.GetLastReadCount();
    {
        PWaitAndSignal lock(remoteMutex);
        if (remoteAddress.IsValid() && from != remoteAddress) {
            PTRACE(4, "RTP\tdatagram from " << from << " ignored");
            return 0;
        }
    }
    if (const H323TrafficHook *hook = H323GetTrafficHook())
        hook->OnDatagramReceived(frame.GetPointer(count), count);
    return count > 0 ? int(count) : 0;
}

int RTP_UDP::ReadDataWithin(RTP_DataFrame &frame, const PTimeInterval &timeout, PInt64 &arrival)
{
    const bool forever = timeout >= PMaxTimeInterval;
    const PInt64 end = PTimer::Tick().GetMilliSeconds() + timeout.GetMilliSeconds();
    while (!closed && !readingClosed) {
        PInt64 rest = forever ? 0 : std::max<PInt64>(end - PTimer::Tick().GetMilliSeconds(), 0);
        int which = PSocket::Select(dataSocket, controlSocket,
                                    forever ? PMaxTimeInterval : PTimeInterval(rest));
        if (which == 0)
            return 0; // nothing in time
        if (which == -2 || which == -3) {
            controlBuffer.SetSize(2048);
            int n = ReadDataOrControlPDU(controlSocket, controlBuffer, FALSE);
            if (n < 0 || readingClosed)
                return -1;
            if (n > 0 && !OnReceiveControl(controlBuffer.GetPointer(), n))
                PTRACE(3, "RTP\tmalformed RTCP of " << n << " bytes dropped");
            if (which == -2)
                continue;
        }
        if (which == -1 || which == -3) {
            // A video payload may hold a GOB or macroblock longer than an Ethernet frame.
            frame.SetSize(sessionID == OpalMediaFormat::DefaultVideoSessionID
                              ? PINDEX(RTP_DataFrame::MinHeaderSize + H323VideoCodec::MaxPayloadSize)
                              : PINDEX(RTP_DataFrame::MaxPacketSize));
            int n = ReadDataOrControlPDU(dataSocket, frame, TRUE);
            if (n < 0 || readingClosed)
                return -1;
            if (n == 0)
                continue;
            if (!frame.SetPacketSize(n)) {
                PTRACE(3, "RTP\tmalformed RTP of " << n << " bytes dropped");
                continue;
            }
            if (!OnReceiveData(frame, sessionID == 2 ? 90 : 8, lastArrival))
                continue;
            MaybeSendReport();
            arrival = lastArrival;
            return 1;
        }
        if (which > 0) // the sockets closed or failed
            return -1;
    }
    return -1;
}

BOOL RTP_UDP::WriteData(RTP_DataFrame &frame)
{
    if (closed || remoteDataPort == 0)
        return FALSE;
    OnSendData(frame);
    PINDEX size = frame.GetPacketSize();
    PIPSocket::Address to = GetRemoteAddress();
    BOOL ok;
    if (const H323TrafficHook *hook = H323GetTrafficHook()) {
        BYTE *copy = HookBuffer(size);
        hook->OnDatagramSending(frame.GetPointer(), copy, size);
        ok = dataSocket.WriteTo(copy, size, to, remoteDataPort);
    } else {
        ok = dataSocket.WriteTo(frame.GetPointer(), size, to, remoteDataPort);
    }
    MaybeSendReport();
    return ok;
}

BOOL RTP_UDP::WriteControl(RTP_ControlFrame &frame)
{
    if (remoteControlPort == 0)
        return FALSE;
    PINDEX size = frame.GetCompoundSize();
    PIPSocket::Address to = GetRemoteAddress();
    if (const H323TrafficHook *hook = H323GetTrafficHook()) {
        BYTE *copy = HookBuffer(size);
        hook->OnDatagramSending(frame.GetPointer(), copy, size);
        return controlSocket.WriteTo(copy, size, to, remoteControlPort);
    }
    return controlSocket.WriteTo(frame.GetPointer(), size, to, remoteControlPort);
}

void RTP_UDP::Close(BOOL reading)
{
    if (!reading && !byeSent.exchange(true) && remoteControlPort != 0 && controlSocket.IsOpen())
        SendBYE();
    readingClosed = true;
    if (reading) {
        if (closed)
            return; // the sockets are gone already
        // Sending goes on: end the readers with a datagram of our own (it is dropped).
        if (jitter)
            jitter->Close();
        BYTE poke = 0;
        PIPSocket::Address self = localAddress.IsAny() ? PIPSocket::Address(127, 0, 0, 1) : localAddress;
        controlSocket.WriteTo(&poke, 1, self, localDataPort);
        dataSocket.WriteTo(&poke, 1, self, localControlPort);
        return;
    }
    closed = true;
    if (jitter)
        jitter->Close();
    dataSocket.Close();
    controlSocket.Close();
}
