// H323TransportUDP: one RAS PDU per datagram, with the traffic hook over each datagram.
#include <h323/transports/transport_udp.h>

#include <h323/transports/traffic_hook.h>

#include <pwlib/ptrace.h>

#include <vector>

H323TransportUDP::H323TransportUDP(H323EndPoint &ep, PIPSocket::Address binding, WORD localPort)
    : H323Transport(ep)
{
    udp = new PUDPSocket();
    AttachSocket(udp, TRUE);
    // Exclusive: a shared UDP port hands this socket's replies to whichever socket bound last,
    // and with address reuse even a port-0 bind may be given a port another socket holds.
    if (!udp->Listen(binding, 5, localPort, PSocket::AddressIsExclusive))
        PTRACE(1, "H323UDP\tcannot bind RAS socket: " << udp->GetErrorText());
}

H323TransportUDP::~H323TransportUDP()
{
    Close();
}

BOOL H323TransportUDP::Connect()
{
    PWaitAndSignal lock(addressMutex);
    return remotePort != 0;
}

BOOL H323TransportUDP::SetRemoteAddress(const H323TransportAddress &address)
{
    PIPSocket::Address ip;
    WORD port;
    if (!address.GetIpAndPort(ip, port, H323TransportAddress::DefaultRasPort))
        return FALSE;
    PWaitAndSignal lock(addressMutex);
    remoteAddress = ip;
    remotePort = port;
    return TRUE;
}

H323TransportAddress H323TransportUDP::GetRemoteAddress() const
{
    PWaitAndSignal lock(addressMutex);
    if (remotePort == 0)
        return H323TransportAddress();
    return H323TransportAddress(remoteAddress, remotePort);
}

H323TransportAddress H323TransportUDP::GetLocalAddress() const
{
    PIPSocket::Address ip;
    WORD port = 0;
    if (!udp->GetLocalAddress(ip, port))
        return H323TransportAddress();
    return H323TransportAddress(ip, port);
}

H323TransportAddress H323TransportUDP::GetLastReceivedAddress() const
{
    PWaitAndSignal lock(addressMutex);
    return H323TransportAddress(lastAddress, lastPort);
}

BOOL H323TransportUDP::ReadPDU(PBYTEArray &pdu)
{
    for (;;) {
        PIPSocket::Address from;
        WORD fromPort = 0;
        udp->SetReadTimeout(GetReadTimeout());
        BYTE *buffer = pdu.GetPointer(MaxDatagram);
        if (!udp->ReadFrom(buffer, MaxDatagram, from, fromPort)) {
            CopySocketError(LastReadError);
            if (udp->GetErrorCode(LastReadError) == BufferTooSmall)
                continue; // an oversized datagram is dropped
            pdu.SetSize(0);
            return FALSE;
        }
        PINDEX count = udp->GetLastReadCount();
        {
            PWaitAndSignal lock(addressMutex);
            if (!promiscuous && remotePort != 0 &&
                (from != remoteAddress || fromPort != remotePort)) {
                PTRACE(3, "H323UDP\tdatagram from " << from << ":" << fromPort << " ignored");
                continue;
            }
            lastAddress = from;
            lastPort = fromPort;
        }
        pdu.SetSize(count);
        if (const H323TrafficHook *hook = H323GetTrafficHook())
            hook->OnDatagramReceived(pdu.GetPointer(count), count);
        lastReadCount_ = count;
        return TRUE;
    }
}

BOOL H323TransportUDP::WritePDU(const PBYTEArray &pdu)
{
    PIPSocket::Address to;
    WORD port;
    {
        PWaitAndSignal lock(addressMutex);
        to = remoteAddress;
        port = remotePort;
    }
    if (port == 0)
        return SetErrorValues(BadParameter, 0, LastWriteError);
    PINDEX size = pdu.GetSize();
    const BYTE *wire = pdu.GetPointer();
    std::vector<BYTE> copy;
    if (const H323TrafficHook *hook = H323GetTrafficHook()) {
        copy.resize(size_t(size));
        hook->OnDatagramSending(pdu.GetPointer(), copy.data(), size);
        wire = copy.data();
    }
    PWaitAndSignal lock(writeMutex);
    if (!udp->WriteTo(wire, size, to, port))
        return CopySocketError(LastWriteError);
    return TRUE;
}
