// Test endpoints of the stack.
#include "stack_support.h"

#include <h323/asn1/gen/h245.h>
#include <h323/transports/transport_address.h>

namespace stacktest {

TestConnection::TestConnection(TestEndPoint &ep, unsigned ref) : H323Connection(ep, ref), test(ep) {}

H323Connection::AnswerCallResponse TestConnection::OnAnswerCall(const PString &, const H323SignalPDU &,
                                                               H323SignalPDU &)
{
    test.events.Add("answer-asked");
    return test.behaviour.answer;
}

void TestConnection::OnUserInputString(const PString &value)
{
    test.events.Add("string " + std::string(value.GetText()));
}

void TestConnection::OnUserInputTone(char tone, unsigned duration, unsigned channel, unsigned ts)
{
    test.events.Add(std::string("tone ") + tone);
    H323Connection::OnUserInputTone(tone, duration, channel, ts); // the base hands it on as a string
}

TestGatekeeper::TestGatekeeper(H323EndPoint &ep, H323Transport *t, EventLog &e)
    : H323Gatekeeper(ep, t), events(e)
{
}

BOOL TestGatekeeper::OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf)
{
    std::string text;
    if (rcf.HasOptionalField(H225_RegistrationConfirm::e_nonStandardData))
        text = rcf.m_nonStandardData.m_data.AsString();
    events.Add("rcf " + text);
    return H323Gatekeeper::OnReceiveRegistrationConfirm(rcf);
}

BOOL TestGatekeeper::OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq)
{
    events.Add("urq");
    return H323Gatekeeper::OnReceiveUnregistrationRequest(urq);
}

TestEndPoint::TestEndPoint(const std::string &alias, std::vector<std::string> codecs)
{
    SetLocalUserName(alias.c_str());
    SetSoundChannelPlayDevice("Null");
    SetSoundChannelRecordDevice("Null");
    SetSilenceDetectionMode(H323AudioCodec::NoSilenceDetection);
    SetAutoStartReceiveVideo(FALSE);
    SetAutoStartTransmitVideo(FALSE);
    for (const std::string &c : codecs) {
        if (c == "PCMU")
            SetCapability(0, 0, new H323_G711Capability(H323_G711Capability::muLaw));
        else if (c == "PCMA")
            SetCapability(0, 0, new H323_G711Capability(H323_G711Capability::ALaw));
        else
            SetCapability(0, 0, new H323_GSM0610Capability);
    }
    StartListener(H323TransportAddress("127.0.0.1:0"));
}

TestEndPoint::~TestEndPoint()
{
    ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    RemoveGatekeeper(-1);
}

PString TestEndPoint::Address() const
{
    auto a = GetInterfaceAddresses();
    return a.empty() ? PString() : PString(a.front());
}

PString TestEndPoint::Call(const PString &party)
{
    PString token;
    if (MakeCall(party, token) == nullptr)
        return PString();
    return token;
}

H323Connection *TestEndPoint::CreateConnection(unsigned ref)
{
    return new TestConnection(*this, ref);
}

H323Connection *TestEndPoint::CreateConnection(unsigned ref, void *userData, H323Transport *transport,
                                               H323SignalPDU *setup)
{
    if (setup != nullptr && behaviour.refuseConnection) {
        events.Add("refused-connection");
        return nullptr;
    }
    return H323EndPoint::CreateConnection(ref, userData, transport, setup);
}

H323Gatekeeper *TestEndPoint::CreateGatekeeper(H323Transport *transport)
{
    TestGatekeeper *gk = new TestGatekeeper(*this, transport, events);
    gk->SetRequestTimeouts(300, 300);
    return gk;
}

BOOL TestEndPoint::OnIncomingCall(H323Connection &c, const H323SignalPDU &, H323SignalPDU &)
{
    events.Add("incoming " + std::string(c.GetRemotePartyName().GetText()));
    if (!behaviour.forward.empty())
        return !c.ForwardCall(behaviour.forward.c_str());
    if (behaviour.busy) {
        c.ClearCall(H323CallEndReasons::EndedByLocalBusy);
        return FALSE;
    }
    return TRUE;
}

BOOL TestEndPoint::OnAlerting(H323Connection &, const H323SignalPDU &, const PString &)
{
    events.Add("alerting");
    return TRUE;
}

BOOL TestEndPoint::OnConnectionForwarded(H323Connection &, const PString &party, const H323SignalPDU &)
{
    events.Add("forwarded " + std::string(party.GetText()));
    return behaviour.followForward;
}

void TestEndPoint::OnConnectionEstablished(H323Connection &c, const PString &)
{
    H323Channel *ch = c.FindChannel(1, FALSE);
    lastCodec = ch ? std::string(ch->GetCapability().GetFormatName().GetText()) : "";
    events.Add("established " + lastCodec);
}

void TestEndPoint::OnConnectionCleared(H323Connection &c, const PString &)
{
    events.Add("cleared " + std::to_string(int(c.GetCallEndReason())));
}

void TestEndPoint::OnClosedLogicalChannel(H323Connection &, const H323Channel &channel)
{
    events.Add(std::string("channel-closed ") +
               (channel.GetDirection() == H323Channel::IsReceiver ? "rx" : "tx"));
}

void TestEndPoint::OnCallCreditServiceControl(const PString &amount, BOOL mode)
{
    events.Add("credit " + std::string(amount.GetText()) + (mode ? " debit" : " credit"));
}

int WaitCleared(TestEndPoint &ep, int timeoutMs)
{
    std::string line = ep.events.WaitFor("cleared ", timeoutMs);
    return line.empty() ? -1 : std::atoi(line.c_str() + 8);
}

} // namespace stacktest
