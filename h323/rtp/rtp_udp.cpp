// RTP_UDP: the data and RTCP sockets, with the traffic hook on every datagram.
#include <h323/rtp/rtp_session.h>

#include <h323/codecs/codec.h>
#include <h323/rtp/jitter.h>
#include <h323/transports/traffic_hook.h>

#include <pwlib/ptrace.h>

#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>

#include <vector>

RTP_UDP::RTP_UDP(unsigned id, const PString &cname) : RTP_Session(id, cname), controlBuffer(2048) {}

RTP_UDP::~RTP_UDP()
{
    Close(FALSE);
    jitter.reset(); // its thread reads from this session's sockets
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
    if (!socket.ReadFrom(frame.GetPointer(capacity), capacity, from, port)) {
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
    (void)fromDataChannel;
    return count > 0 ? int(count) : 0;
}

BOOL RTP_UDP::ReadData(RTP_DataFrame &frame)
{
    while (!closed && !readingClosed) {
        int which = PSocket::Select(dataSocket, controlSocket, PMaxTimeInterval);
        if (which == -2 || which == -3) {
            controlBuffer.SetSize(2048);
            int n = ReadDataOrControlPDU(controlSocket, controlBuffer, FALSE);
            if (n < 0 || readingClosed)
                return FALSE;
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
                return FALSE;
            if (n == 0)
                continue;
            if (!frame.SetPacketSize(n)) {
                PTRACE(3, "RTP\tmalformed RTP of " << n << " bytes dropped");
                continue;
            }
            if (!OnReceiveData(frame, sessionID == 2 ? 90 : 8))
                continue;
            MaybeSendReport();
            return TRUE;
        }
        if (which > 0) // the sockets closed or failed
            return FALSE;
    }
    return FALSE;
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
        std::vector<BYTE> copy(static_cast<size_t>(size));
        hook->OnDatagramSending(frame.GetPointer(), copy.data(), size);
        ok = dataSocket.WriteTo(copy.data(), size, to, remoteDataPort);
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
        std::vector<BYTE> copy(static_cast<size_t>(size));
        hook->OnDatagramSending(frame.GetPointer(), copy.data(), size);
        return controlSocket.WriteTo(copy.data(), size, to, remoteControlPort);
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
