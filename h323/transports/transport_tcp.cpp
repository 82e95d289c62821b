// H323TransportTCP: TPKT framing (RFC 1006) over TCP, with the traffic hook on every byte.
#include <h323/transports/transport_tcp.h>

#include <h323/transports/traffic_hook.h>

#include <pwlib/ptrace.h>

#include <cstring>
#include <vector>

namespace {
constexpr BYTE kTpktVersion = 3;
constexpr PINDEX kTpktHeader = 4;
constexpr PINDEX kMaxPdu = 65535;
} // namespace

H323TransportTCP::H323TransportTCP(H323EndPoint &ep, PIPSocket::Address binding, BOOL listen)
    : H323Transport(ep), localBinding(binding)
{
    if (listen) {
        listener = new PTCPSocket();
        if (!listener->Listen(localBinding, 1, 0, PSocket::CanReuseAddress)) {
            PTRACE(1, "H323TCP\tcannot listen for the control channel: "
                          << listener->GetErrorText());
            delete listener;
            listener = nullptr;
        }
    }
}

H323TransportTCP::~H323TransportTCP()
{
    Close();
    delete listener;
}

BOOL H323TransportTCP::Open(PChannel *channel, BOOL autoDelete)
{
    PTCPSocket *tcp = dynamic_cast<PTCPSocket *>(channel);
    if (tcp == nullptr || !tcp->IsOpen()) {
        if (autoDelete)
            delete channel;
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    }
    AttachSocket(tcp, autoDelete);
    tcp->GetPeerAddress(remoteAddress, remotePort);
    return TRUE;
}

BOOL H323TransportTCP::SetRemoteAddress(const H323TransportAddress &address)
{
    return address.GetIpAndPort(remoteAddress, remotePort, H323TransportAddress::DefaultSignalPort);
}

H323TransportAddress H323TransportTCP::GetRemoteAddress() const
{
    if (remotePort == 0)
        return H323TransportAddress();
    return H323TransportAddress(remoteAddress, remotePort);
}

H323TransportAddress H323TransportTCP::GetLocalAddress() const
{
    PIPSocket::Address ip;
    WORD port = 0;
    if (socket != nullptr && socket->IsOpen() && socket->GetLocalAddress(ip, port))
        return H323TransportAddress(ip, port);
    PWaitAndSignal lock(listenerMutex);
    if (listener != nullptr)
        return H323TransportAddress(localBinding, listener->GetPort());
    return H323TransportAddress();
}

BOOL H323TransportTCP::Connect()
{
    if (!remoteAddress.IsValid() || remotePort == 0)
        return SetErrorValues(BadParameter, 0, LastGeneralError);
    PTCPSocket *tcp = new PTCPSocket(remotePort);
    AttachSocket(tcp, TRUE);
    if (closed)
        return SetErrorValues(Interrupted, 0, LastGeneralError);
    if (tcp->Connect(remoteAddress))
        return TRUE;
    CopySocketError(LastGeneralError);
    PTRACE(3, "H323TCP\tconnect to " << remoteAddress << ":" << remotePort
                                     << " failed: " << tcp->GetErrorText());
    return FALSE;
}

BOOL H323TransportTCP::AcceptControlChannel(const PTimeInterval &timeout)
{
    PTCPSocket *l;
    {
        PWaitAndSignal lock(listenerMutex);
        l = listener;
    }
    if (l == nullptr)
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    l->SetReadTimeout(timeout);
    PTCPSocket *tcp = new PTCPSocket();
    BOOL ok = tcp->Accept(*l);
    {
        PWaitAndSignal lock(listenerMutex);
        if (listener != nullptr) {
            listener->Close();
        }
    }
    if (!ok) {
        SetErrorValues(tcp->GetErrorCode(), tcp->GetErrorNumber(), LastGeneralError);
        delete tcp;
        return FALSE;
    }
    return Open(tcp, TRUE);
}

BOOL H323TransportTCP::Close()
{
    {
        PWaitAndSignal lock(listenerMutex);
        if (listener != nullptr)
            listener->Close();
    }
    return H323Transport::Close();
}

BOOL H323TransportTCP::ReadPDU(PBYTEArray &pdu)
{
    const H323TrafficHook *hook = H323GetTrafficHook();
    BYTE header[kTpktHeader];

    if (!ReadBlock(header, 1))
        return FALSE;
    if (hook != nullptr)
        hook->OnStreamReceived(header, 1);
    if (header[0] != kTpktVersion)
        return SetErrorValues(ProtocolFailure, 0, LastReadError);

    PTimeInterval oldTimeout = GetReadTimeout();
    SetReadTimeout(PDUBodyTimeout);
    BOOL ok = ReadBlock(header + 1, kTpktHeader - 1);
    if (ok) {
        if (hook != nullptr)
            hook->OnStreamReceived(header + 1, kTpktHeader - 1);
        PINDEX length = (PINDEX(header[2]) << 8) | header[3];
        if (length < kTpktHeader) {
            ok = SetErrorValues(ProtocolFailure, 0, LastReadError);
        } else {
            PINDEX bodySize = length - kTpktHeader;
            pdu.SetSize(bodySize);
            if (bodySize > 0) {
                ok = ReadBlock(pdu.GetPointer(bodySize), bodySize);
                if (ok && hook != nullptr)
                    hook->OnStreamReceived(pdu.GetPointer(bodySize), bodySize);
            }
        }
    }
    SetReadTimeout(oldTimeout);
    if (!ok)
        pdu.SetSize(0);
    return ok;
}

BOOL H323TransportTCP::WritePDU(const PBYTEArray &pdu)
{
    PINDEX bodySize = pdu.GetSize();
    if (bodySize + kTpktHeader > kMaxPdu)
        return SetErrorValues(BadParameter, 0, LastWriteError);

    PINDEX total = bodySize + kTpktHeader;
    std::vector<BYTE> frame(size_t(total) * 2);
    BYTE *plain = frame.data();
    plain[0] = kTpktVersion;
    plain[1] = 0;
    plain[2] = BYTE(total >> 8);
    plain[3] = BYTE(total);
    if (bodySize > 0)
        std::memcpy(plain + kTpktHeader, pdu.GetPointer(), size_t(bodySize));

    const BYTE *wire = plain;
    if (const H323TrafficHook *hook = H323GetTrafficHook()) {
        BYTE *out = plain + total;
        hook->OnStreamSending(plain, out, total);
        wire = out;
    }
    PWaitAndSignal lock(writeMutex);
    return Write(wire, total);
}
