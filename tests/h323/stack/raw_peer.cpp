// Peers driven by hand on the stack's own message classes.
#include "raw_peer.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/callsig/connection.h>
#include <h323/rtp/rtp_session.h>

#include <gtest/gtest.h>

namespace stacktest {

// ---- RawCallee ----

RawCallee::RawCallee(H323EndPoint &ep, WORD port) : endpoint(ep)
{
    EXPECT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1, port));
}

unsigned RawCallee::AcceptSetup(H323SignalPDU *setupOut)
{
    PTCPSocket *socket = new PTCPSocket;
    listener.SetReadTimeout(5000);
    if (!socket->Accept(listener)) {
        delete socket;
        return 0;
    }
    transport.reset(new H323TransportTCP(endpoint));
    transport->Open(socket, TRUE);
    transport->SetReadTimeout(5000);
    H323SignalPDU setup;
    if (!setup.Read(*transport) || setup.GetQ931().GetMessageType() != Q931::SetupMsg)
        return 0;
    if (setupOut != nullptr)
        *setupOut = setup;
    return setup.GetQ931().GetCallReference();
}

void RawCallee::Send(unsigned callReference, Q931::MsgTypes type)
{
    H323Connection as(endpoint, callReference);
    H323SignalPDU pdu;
    switch (type) {
    case Q931::CallProceedingMsg:
        pdu.BuildCallProceeding(as);
        break;
    case Q931::AlertingMsg:
        pdu.BuildAlerting(as);
        break;
    default:
        pdu.BuildConnect(as);
        break;
    }
    EXPECT_TRUE(pdu.Write(*transport));
}

void RawCallee::SendConnectWithH245(unsigned callReference, WORD port)
{
    H323Connection as(endpoint, callReference);
    H323SignalPDU pdu;
    H225_Connect_UUIE &connect = pdu.BuildConnect(as);
    connect.IncludeOptionalField(H225_Connect_UUIE::e_h245Address);
    H323TransportAddress(PIPSocket::Address(127, 0, 0, 1), port).SetPDU(connect.m_h245Address);
    pdu.m_h323_uu_pdu.m_h245Tunneling = false;
    EXPECT_TRUE(pdu.Write(*transport));
}

void RawCallee::SendFastConnect(unsigned callReference, const H323SignalPDU &setupPDU,
                                WORD mediaPort, WORD h245Port)
{
    H323Connection as(endpoint, callReference);
    H323SignalPDU pdu;
    H225_Connect_UUIE &connect = pdu.BuildConnect(as);
    const H225_Setup_UUIE &setup = setupPDU.m_h323_uu_pdu.m_h323_message_body.setup();
    using Mux = H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters;
    for (const asn1::OctetString &offer : setup.m_fastStart) {
        H245_OpenLogicalChannel olc;
        if (!asn1::decode(offer.data(), offer.size(), olc) ||
            olc.m_forwardLogicalChannelParameters.m_dataType.GetTag() == H245_DataType::e_nullData ||
            olc.m_forwardLogicalChannelParameters.m_multiplexParameters.GetTag() !=
                Mux::e_h2250LogicalChannelParameters)
            continue;
        // The caller's channel to us: it sends where we say.
        H245_H2250LogicalChannelParameters &param =
            olc.m_forwardLogicalChannelParameters.m_multiplexParameters.h2250LogicalChannelParameters();
        param.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaChannel);
        H323TransportAddress(PIPSocket::Address(127, 0, 0, 1), mediaPort).SetPDU(param.m_mediaChannel);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(asn1::encode(olc, bytes));
        connect.IncludeOptionalField(H225_Connect_UUIE::e_fastStart);
        connect.m_fastStart.push_back(asn1::OctetString(bytes.begin(), bytes.end()));
        break;
    }
    if (h245Port != 0) {
        connect.IncludeOptionalField(H225_Connect_UUIE::e_h245Address);
        H323TransportAddress(PIPSocket::Address(127, 0, 0, 1), h245Port).SetPDU(connect.m_h245Address);
    }
    pdu.m_h323_uu_pdu.m_h245Tunneling = h245Port == 0;
    EXPECT_TRUE(pdu.Write(*transport));
}

void RawCallee::SendKeypad(unsigned callReference, const std::string &text)
{
    H323Connection as(endpoint, callReference);
    H323SignalPDU pdu;
    pdu.BuildInformation(as);
    pdu.GetQ931().SetKeypad(text);
    EXPECT_TRUE(pdu.Write(*transport));
}

void RawCallee::SendReleaseComplete(unsigned callReference)
{
    H323Connection as(endpoint, callReference);
    H323SignalPDU pdu;
    pdu.BuildReleaseComplete(as);
    pdu.m_h323_uu_pdu.m_h245Tunneling = false;
    EXPECT_TRUE(pdu.Write(*transport));
}

void RawCallee::Drain()
{
    PBYTEArray data;
    while (transport->ReadPDU(data)) {
    }
}

// ---- RawCaller ----

/// An originating connection that is never run: it builds the fast start offer and holds
/// the RTP session the offer names.
class RawCaller::Offer : public H323Connection
{
  public:
    explicit Offer(H323EndPoint &ep) : H323Connection(ep, ep.GetNextCallReference())
    {
        originating = TRUE;
    }
    void Build(asn1::Array<asn1::OctetString> &fastStart)
    {
        BuildFastStartList(fastStart);
        // Only the offer to receive (the callee sends, we do not), on the loopback address:
        // a connection that never signals binds its session to every interface.
        asn1::Array<asn1::OctetString> receiveOnly;
        for (const asn1::OctetString &data : fastStart) {
            H245_OpenLogicalChannel olc;
            if (!asn1::decode(data.data(), data.size(), olc) ||
                olc.m_forwardLogicalChannelParameters.m_dataType.GetTag() != H245_DataType::e_nullData)
                continue;
            H245_H2250LogicalChannelParameters &param =
                olc.m_reverseLogicalChannelParameters.m_multiplexParameters.h2250LogicalChannelParameters();
            for (H245_TransportAddress *a : {&param.m_mediaChannel, &param.m_mediaControlChannel}) {
                PIPSocket::Address ip;
                WORD port = 0;
                H323TransportAddress(*a).GetIpAndPort(ip, port);
                H323TransportAddress(PIPSocket::Address(127, 0, 0, 1), port).SetPDU(*a);
            }
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(asn1::encode(olc, bytes));
            receiveOnly.push_back(asn1::OctetString(bytes.begin(), bytes.end()));
        }
        fastStart = receiveOnly;
    }
    RTP_UDP &Session() { return *rtpSessions.begin()->second; }
};

RawCaller::RawCaller(H323EndPoint &ep) : endpoint(ep), offer(new Offer(ep)) {}

RawCaller::~RawCaller()
{
    if (transport)
        transport->Close();
}

bool RawCaller::Call(const PString &address)
{
    transport.reset(new H323TransportTCP(endpoint));
    if (!transport->SetRemoteAddress(H323TransportAddress(address)) || !transport->Connect())
        return false;
    transport->SetReadTimeout(5000);
    H323SignalPDU pdu;
    H225_Setup_UUIE &setup = pdu.BuildSetup(*offer, H323TransportAddress(address));
    offer->Build(setup.m_fastStart);
    setup.IncludeOptionalField(H225_Setup_UUIE::e_fastStart);
    pdu.m_h323_uu_pdu.m_h245Tunneling = false;
    return pdu.Write(*transport);
}

bool RawCaller::WaitForConnect(int timeoutMs)
{
    transport->SetReadTimeout(timeoutMs);
    H323SignalPDU pdu;
    while (pdu.Read(*transport))
        if (pdu.GetQ931().GetMessageType() == Q931::ConnectMsg)
            return true;
    return false;
}

RTP_UDP &RawCaller::Media()
{
    return offer->Session();
}

void RawCaller::SendReleaseComplete()
{
    H323SignalPDU pdu;
    pdu.BuildReleaseComplete(*offer);
    pdu.m_h323_uu_pdu.m_h245Tunneling = false;
    EXPECT_TRUE(pdu.Write(*transport));
}

} // namespace stacktest
