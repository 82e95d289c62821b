// H323EndPoint: construction, identity, settings and the default call-backs.
#include <h323/endpoint/endpoint.h>

#include <h323/asn1/gen/h225.h>
#include <h323/callsig/connection.h>
#include <h323/channels/channel.h>
#include <h323/ras/gatekeeper.h>
#include <h323/transports/listener_tcp.h>
#include <h323/transports/transport_udp.h>

#include <pwlib/pprocess.h>
#include <pwlib/ptrace.h>

namespace {
// H.221 vendor code of this endpoint (T.35 country code of the United States).
constexpr unsigned kT35CountryCode = 181;
constexpr unsigned kT35Extension = 0;
constexpr unsigned kManufacturerCode = 0x4b45;
} // namespace

H323EndPoint::H323EndPoint()
{
    PProcess &process = PProcess::Current();
    PString user = process.GetUserName();
    localAliasNames.AppendString(user.IsEmpty() ? PString("kestrelin") : user);
    productName = process.GetManufacturer().IsEmpty()
                      ? process.GetName()
                      : process.GetManufacturer() + " " + process.GetName();
    productVersion = process.GetVersion(TRUE) + " (Kestrelin)";
}

H323EndPoint::~H323EndPoint()
{
    RemoveListener(nullptr);
    ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    RemoveGatekeeper(-1);
}

void H323EndPoint::SetEndpointTypeInfo(H225_EndpointType &info) const
{
    info.IncludeOptionalField(H225_EndpointType::e_vendor);
    H225_VendorIdentifier &vendor = info.m_vendor;
    vendor.m_vendor.m_t35CountryCode = kT35CountryCode;
    vendor.m_vendor.m_t35Extension = kT35Extension;
    vendor.m_vendor.m_manufacturerCode = kManufacturerCode;
    vendor.IncludeOptionalField(H225_VendorIdentifier::e_productId);
    vendor.m_productId.SetString(productName.GetText());
    vendor.IncludeOptionalField(H225_VendorIdentifier::e_versionId);
    vendor.m_versionId.SetString(productVersion.GetText());

    unsigned type = terminalType;
    if (type >= 160) {
        info.IncludeOptionalField(H225_EndpointType::e_mcu);
        info.m_mc = true;
    } else if (type >= 120) {
        info.IncludeOptionalField(H225_EndpointType::e_gatekeeper);
    } else if (type >= 60 && type != 70) {
        info.IncludeOptionalField(H225_EndpointType::e_gateway);
    } else {
        info.IncludeOptionalField(H225_EndpointType::e_terminal);
        info.m_mc = type == e_TerminalAndMC;
    }
}

BOOL H323EndPoint::IsTerminal() const
{
    return terminalType == e_TerminalOnly || terminalType == e_TerminalAndMC;
}

void H323EndPoint::SetVendorIdentification(const PString &product, const PString &version)
{
    productName = product;
    productVersion = version;
}

void H323EndPoint::SetLocalUserName(const PString &name)
{
    if (name.IsEmpty())
        return;
    localAliasNames.RemoveAll();
    localAliasNames.AppendString(name);
}

BOOL H323EndPoint::AddAliasName(const PString &name)
{
    if (name.IsEmpty() || localAliasNames.GetStringsIndex(name) != P_MAX_INDEX)
        return FALSE;
    localAliasNames.AppendString(name);
    return TRUE;
}

void H323EndPoint::SetGatekeeperPassword(const PString &password)
{
    gatekeeperPassword = password;
}

PINDEX H323EndPoint::SetCapability(PINDEX descriptorNum, PINDEX simultaneous,
                                   H323Capability *capability)
{
    return capabilities.SetCapability(descriptorNum, simultaneous, capability);
}

void H323EndPoint::SetAudioJitterDelay(unsigned minDelay, unsigned maxDelay)
{
    if (minDelay < 10)
        minDelay = 10;
    if (maxDelay < minDelay)
        maxDelay = minDelay;
    if (maxDelay > 10000)
        maxDelay = 10000;
    minAudioJitterDelay = minDelay;
    maxAudioJitterDelay = maxDelay;
}

void H323EndPoint::SetSoundChannelBufferDepth(unsigned depth)
{
    soundChannelBuffers = depth > 0 ? depth : 1;
}

void H323EndPoint::SetRtpIpPorts(WORD base, WORD max)
{
    if (base < 1024)
        base = 1024;
    if (max <= base)
        max = WORD(base + 99 < 65535 ? base + 99 : 65535);
    rtpPortBase = base;
    rtpPortMax = max;
}

WORD H323EndPoint::NextRtpPortBase()
{
    unsigned span = unsigned(rtpPortMax - rtpPortBase + 1) & ~1u;
    if (span < 2)
        return rtpPortBase;
    unsigned offset = (nextRtpPort.fetch_add(2) % span) & ~1u;
    return WORD(rtpPortBase + offset);
}

unsigned H323EndPoint::GetNextCallReference()
{
    unsigned ref;
    do
        ref = ++lastCallReference % 32768;
    while (ref == 0);
    return ref;
}

// ---- default call-backs ----

H323Gatekeeper *H323EndPoint::CreateGatekeeper(H323Transport *transport)
{
    return new H323Gatekeeper(*this, transport);
}

BOOL H323EndPoint::OnIncomingCall(H323Connection &, const H323SignalPDU &, H323SignalPDU &)
{
    return TRUE;
}

BOOL H323EndPoint::OnAlerting(H323Connection &, const H323SignalPDU &, const PString &)
{
    return TRUE;
}

BOOL H323EndPoint::OnConnectionForwarded(H323Connection &, const PString &, const H323SignalPDU &)
{
    return FALSE;
}

void H323EndPoint::OnConnectionEstablished(H323Connection &, const PString &) {}

void H323EndPoint::OnConnectionCleared(H323Connection &, const PString &) {}

H323Connection *H323EndPoint::CreateConnection(unsigned callReference)
{
    return new H323Connection(*this, callReference);
}

H323Connection *H323EndPoint::CreateConnection(unsigned callReference, void *, H323Transport *,
                                               H323SignalPDU *)
{
    return CreateConnection(callReference);
}

BOOL H323EndPoint::OnStartLogicalChannel(H323Connection &, H323Channel &)
{
    return TRUE;
}

void H323EndPoint::OnClosedLogicalChannel(H323Connection &, const H323Channel &) {}

BOOL H323EndPoint::OpenVideoChannel(H323Connection &, BOOL, H323VideoCodec &)
{
    return FALSE;
}

void H323EndPoint::OnCallCreditServiceControl(const PString &, BOOL) {}

// ---- listeners ----

BOOL H323EndPoint::StartListener(const H323TransportAddress &address)
{
    PString host = address.GetHostName();
    PIPSocket::Address ip;
    if (!host.IsEmpty() && host != "*" && !address.GetIpAddress(ip))
        return FALSE;
    // An explicit port 0 asks for any free port; no port at all means the standard one.
    bool anyPort = address.GetLength() >= 2 && address.Right(2) == ":0";
    WORD port = address.GetPort() != 0 ? address.GetPort()
                : anyPort                ? WORD(0)
                                         : WORD(H323TransportAddress::DefaultSignalPort);
    std::unique_ptr<H323ListenerTCP> listener(new H323ListenerTCP(*this, ip, port));
    if (!listener->Open())
        return FALSE;
    PWaitAndSignal lock(listenerMutex);
    listeners.push_back(std::move(listener));
    return TRUE;
}

BOOL H323EndPoint::StartListeners(const PStringArray &addresses)
{
    BOOL all = addresses.GetSize() > 0;
    for (const PString &a : addresses)
        if (!StartListener(H323TransportAddress(a)))
            all = FALSE;
    return all;
}

BOOL H323EndPoint::RemoveListener(H323ListenerTCP *listener)
{
    std::vector<std::unique_ptr<H323ListenerTCP>> removed;
    {
        PWaitAndSignal lock(listenerMutex);
        for (auto it = listeners.begin(); it != listeners.end();) {
            if (listener == nullptr || it->get() == listener) {
                removed.push_back(std::move(*it));
                it = listeners.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &l : removed)
        l->Close();
    return !removed.empty();
}

std::vector<H323TransportAddress> H323EndPoint::GetInterfaceAddresses() const
{
    PWaitAndSignal lock(listenerMutex);
    std::vector<H323TransportAddress> result;
    for (const auto &l : listeners)
        result.push_back(l->GetTransportAddress());
    return result;
}

H323TransportAddress H323EndPoint::GetSignalAddress(const PIPSocket::Address &local) const
{
    PWaitAndSignal lock(listenerMutex);
    if (listeners.empty())
        return H323TransportAddress();
    H323TransportAddress bound = listeners.front()->GetTransportAddress();
    PIPSocket::Address ip;
    bound.GetIpAddress(ip);
    if (ip.IsAny())
        ip = local;
    if (ip.IsAny())
        PIPSocket::GetHostAddress(ip);
    return H323TransportAddress(ip, listeners.front()->GetPort());
}
