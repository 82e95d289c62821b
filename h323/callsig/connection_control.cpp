// H323Connection: H.245 over the signalling channel (tunnelled) or a separate TCP channel.
#include <h323/callsig/connection.h>
#include <h323/callsig/control_thread.h>

#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/endpoint/endpoint.h>
#include <h323/h245/h245_control.h>
#include <h323/transports/interface_address.h>
#include <h323/transports/transport_tcp.h>

#include <pwlib/ptrace.h>


void H323Connection::StartControlNegotiations()
{
    if (control->IsStarted() || releaseStarted)
        return;
    if (!h245Tunneling && (controlChannel == nullptr))
        return; // starts once the separate channel is up
    control->Start();
    if (h245Tunneling && !writingSignalPDU)
        FlushTunnelledPDUs();
}

BOOL H323Connection::WriteControlPDU(const H245_MultimediaSystemControlMessage &pdu)
{
    std::vector<uint8_t> bytes;
    asn1::Result r = asn1::encode(pdu, bytes);
    if (!r) {
        PTRACE(1, "H245\tcannot encode " << h323::H245MessageName(pdu) << ": " << r.message());
        return FALSE;
    }
    PTRACE(4, "H245\tsend " << h323::H245MessageName(pdu));
    PWaitAndSignal lock(innerMutex);
    if (controlChannel != nullptr && controlChannel->IsOpen())
        return controlChannel->WritePDU(PBYTEArray(bytes.data(), PINDEX(bytes.size())));
    if (!h245Tunneling)
        return FALSE;
    pendingTunnelPDUs.emplace_back(bytes.begin(), bytes.end());
    // A PDU built during a signalling message rides in it; otherwise it goes at once.
    if (!writingSignalPDU && phase >= ConnectedPhase)
        FlushTunnelledPDUs();
    return TRUE;
}

BOOL H323Connection::HandleControlData(const PBYTEArray &data)
{
    H245_MultimediaSystemControlMessage pdu;
    asn1::Result r = asn1::decode(data.GetPointer(), size_t(data.GetSize()), pdu);
    if (!r) {
        PTRACE(2, "H245\tundecodable PDU dropped: " << r.message());
        return TRUE;
    }
    // The call's end may have been reported: only the peer's end session still counts.
    if (mediaClosed && !(pdu.GetTag() == H245_MultimediaSystemControlMessage::e_command &&
                         pdu.command().GetTag() == H245_CommandMessage::e_endSessionCommand))
        return TRUE;
    return control->HandlePDU(pdu);
}

void H323Connection::OnEndSessionReceived()
{
    endSessionReceived = true;
    endSessionSync.Signal();
    if (!releaseStarted)
        ClearCall(EndedByRemoteUser);
}

BOOL H323Connection::CreateControlListener(H225_TransportAddress &h245Address)
{
    if (controlChannel != nullptr)
        return FALSE;
    PIPSocket::Address local;
    if (signallingChannel != nullptr) {
        PIPSocket::Address remote;
        signallingChannel->GetRemoteAddress().GetIpAddress(remote);
        local = h323::LocalInterfaceFor(remote);
    }
    H323TransportTCP *listener = new H323TransportTCP(endpoint, local, TRUE);
    if (!listener->IsListening()) {
        delete listener;
        return FALSE;
    }
    PIPSocket::Address ignored;
    WORD port = 0;
    listener->GetLocalAddress().GetIpAndPort(ignored, port);
    H323TransportAddress(local, port).SetPDU(h245Address);
    controlChannel = listener;
    controlThread = new h323::ControlChannelThread(*this);
    controlThread->Resume();
    return TRUE;
}

void H323Connection::OnReceivedH245Address(const H225_TransportAddress &address)
{
    if (controlChannel != nullptr || releaseStarted)
        return;
    StartControlChannel(H323TransportAddress(address));
}

BOOL H323Connection::StartControlChannel(const H323TransportAddress &h245Address)
{
    H323TransportTCP *channel = new H323TransportTCP(endpoint);
    if (!channel->SetRemoteAddress(h245Address)) {
        delete channel;
        return FALSE;
    }
    controlChannel = channel;
    controlThread = new h323::ControlChannelThread(*this);
    controlThread->Resume();
    return TRUE;
}

void H323Connection::ControlLoop()
{
    H323TransportTCP *channel = static_cast<H323TransportTCP *>(controlChannel);
    bool up = channel->IsListening()
                  ? channel->AcceptControlChannel(endpoint.GetControlChannelRequestTimeout())
                  : channel->Connect();
    if (!up) {
        PTRACE(2, "H245\tthe separate control channel did not come up");
        if (!releaseStarted && phase >= ConnectedPhase && !IsEstablished())
            ClearCall(EndedByTransportFail);
        return;
    }
    {
        PWaitAndSignal lock(innerMutex);
        if (releaseStarted)
            return;
        if (phase >= ConnectedPhase || endpoint.IsH245inSetup())
            control->Start();
    }
    PBYTEArray data;
    while (channel->ReadPDU(data)) {
        PWaitAndSignal lock(innerMutex);
        if (!control->IsStarted())
            control->Start();
        HandleControlData(data);
    }
    if (!releaseStarted && !endSessionReceived)
        PTRACE(3, "H245\tcontrol channel of " << callToken << " closed");
}
