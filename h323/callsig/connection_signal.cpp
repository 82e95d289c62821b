// H323Connection: the call-signalling state machine (H.225.0 clause 8) for both directions.
#include <h323/callsig/connection.h>

#include <h323/asn1/per.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/endpoint/endpoint.h>
#include <h323/h245/h245_control.h>
#include <h323/pdu/addresses.h>
#include <h323/ras/gatekeeper.h>
#include <h323/transports/transport_tcp.h>

#include <pwlib/ptrace.h>

using Body = H225_H323_UU_PDU_h323_message_body;

// ---- the two directions ----

void H323Connection::RunOutgoingCall(const PString &alias, const H323TransportAddress &address)
{
    OutgoingCall(alias, address);
    signallingDone.Signal(); // the last touch of this thread: the cleaner may delete now
}

void H323Connection::OutgoingCall(const PString &alias, const H323TransportAddress &address)
{
    {
        // The program may read these in OnConnectionCleared while this thread still runs.
        PWaitAndSignal lock(innerMutex);
        if (releaseStarted)
            return;
        originating = TRUE;
        if (!alias.IsEmpty())
            remotePartyAliases.AppendString(alias);
        if (h323::IsDialedDigits(alias.GetText()))
            remotePartyNumber = alias;
    }
    H323TransportAddress destination = address;

    if (H323Gatekeeper *gk = endpoint.AcquireGatekeeper()) {
        if (gk->IsRegistered()) {
            H323Gatekeeper::AdmissionInfo info;
            info.callReference = callReference;
            info.callIdentifier = callIdentifier.ToOctets();
            info.conferenceIdentifier = conferenceIdentifier.ToOctets();
            if (!alias.IsEmpty())
                info.destinationAliases.AppendString(alias);
            info.destinationAddress = address;
            info.bandwidth = bandwidthAvailable;
            if (gk->AdmissionRequest(info)) {
                admitted = true;
                if (!info.destCallSignalAddress.IsEmpty())
                    destination = info.destCallSignalAddress;
            } else {
                endpoint.ReleaseGatekeeper(gk);
                ClearCall(info.rejected ? h323::EndReasonFromAdmissionReject(info.rejectReason)
                                        : EndedByGatekeeper);
                return;
            }
        }
        endpoint.ReleaseGatekeeper(gk);
    }

    if (destination.IsEmpty() || releaseStarted) {
        ClearCall(EndedByNoUser);
        return;
    }
    H323TransportTCP *transport = new H323TransportTCP(endpoint);
    {
        PWaitAndSignal lock(innerMutex);
        remotePartyAddress = destination;
        signallingChannel = transport;
    }
    if (!transport->SetRemoteAddress(destination) || releaseStarted || !transport->Connect()) {
        if (!releaseStarted)
            ClearCall(h323::EndReasonFromConnectErrno(
                transport->GetErrorNumber(PChannel::LastGeneralError)));
        return;
    }
    {
        PWaitAndSignal lock(innerMutex);
        if (releaseStarted)
            return;
        H323SignalPDU setup;
        H225_Setup_UUIE &uuie = setup.BuildSetup(*this, destination);
        if (fastStartEnabled) {
            BuildFastStartList(uuie.m_fastStart);
            if (uuie.m_fastStart.size() > 0) {
                uuie.IncludeOptionalField(H225_Setup_UUIE::e_fastStart);
                fastStartState = FastStartInitiate;
            }
        }
        if (!h245Tunneling && endpoint.IsH245inSetup() && CreateControlListener(uuie.m_h245Address))
            uuie.IncludeOptionalField(H225_Setup_UUIE::e_h245Address);
        if (!WriteSignalPDU(setup)) {
            ClearCall(EndedByTransportFail);
            return;
        }
        answerTimer.RunOnce(endpoint.GetSignallingChannelCallTimeout());
    }
    SignallingLoop();
}

void H323Connection::RunIncomingCall(H323Transport *transport, H323SignalPDU &setupPDU)
{
    originating = FALSE;
    {
        PWaitAndSignal lock(innerMutex);
        signallingChannel = transport;
        transport->SetReadTimeout(PMaxTimeInterval);
        remotePartyAddress = transport->GetRemoteAddress();
        HandleSignalPDU(setupPDU);
    }
    SignallingLoop();
    signallingDone.Signal(); // the last touch of this thread: the cleaner may delete now
}

void H323Connection::SignallingLoop()
{
    H323SignalPDU pdu;
    while (!remoteReleased) {
        if (!pdu.Read(*signallingChannel)) {
            if (!releaseStarted) {
                signallingLost = true;
                ClearCall(EndedByTransportFail);
            }
            break;
        }
        if (!pdu.IsValid())
            continue; // a broken PDU is dropped; the call goes on
        PWaitAndSignal lock(innerMutex);
        if (!HandleSignalPDU(pdu))
            break;
    }
}

BOOL H323Connection::HandleSignalPDU(H323SignalPDU &pdu)
{
    const Q931 &q931 = pdu.GetQ931();
    PTRACE(4, "H225\treceived " << Q931::MessageName(q931.GetMessageTypeValue()) << " for "
                               << callToken);
    // The call's end may have been reported: nothing more reaches the application.
    if (mediaClosed && q931.GetMessageType() != Q931::ReleaseCompleteMsg)
        return TRUE;
    if (pdu.HasUserUser() &&
        pdu.m_h323_uu_pdu.HasOptionalField(H225_H323_UU_PDU::e_h245Tunneling) &&
        !pdu.m_h323_uu_pdu.m_h245Tunneling && q931.GetMessageType() != Q931::ReleaseCompleteMsg)
        h245Tunneling = FALSE;
    else if (pdu.HasUserUser() &&
             !pdu.m_h323_uu_pdu.HasOptionalField(H225_H323_UU_PDU::e_h245Tunneling))
        h245Tunneling = FALSE;

    BOOL ok = TRUE;
    writingSignalPDU = true; // H.245 answers collect and go out together below
    switch (q931.GetMessageType()) {
    case Q931::SetupMsg:
        ok = OnReceivedSignalSetup(pdu);
        break;
    case Q931::CallProceedingMsg:
        ok = OnReceivedCallProceeding(pdu);
        break;
    case Q931::AlertingMsg:
        ok = OnReceivedAlerting(pdu);
        break;
    case Q931::ConnectMsg:
        ok = OnReceivedSignalConnect(pdu);
        break;
    case Q931::FacilityMsg:
        ok = OnReceivedFacility(pdu);
        break;
    case Q931::ReleaseCompleteMsg:
        writingSignalPDU = false;
        pendingTunnelPDUs.clear();
        return OnReceivedReleaseComplete(pdu);
    case Q931::InformationMsg:
        ok = OnReceivedInformation(pdu);
        break;
    case Q931::StatusEnquiryMsg: {
        H323SignalPDU status;
        status.BuildStatus(*this);
        WriteSignalPDU(status);
        break;
    }
    case Q931::ProgressMsg:
        if (pdu.GetBodyTag() == Body::e_progress) {
            const H225_Progress_UUIE &progress = pdu.m_h323_uu_pdu.m_h323_message_body.progress();
            if (progress.HasOptionalField(H225_Progress_UUIE::e_fastStart))
                OnFastStartResponse(progress.m_fastStart);
        }
        break;
    default:
        break; // Status, Notify and others need no action
    }
    if (ok && !releaseStarted)
        HandleTunnelPDU(pdu);
    writingSignalPDU = false;
    if (h245Tunneling && !releaseStarted)
        FlushTunnelledPDUs();
    return TRUE;
}

void H323Connection::HandleTunnelPDU(const H323SignalPDU &pdu)
{
    if (!pdu.HasUserUser() || !pdu.m_h323_uu_pdu.HasOptionalField(H225_H323_UU_PDU::e_h245Control))
        return;
    for (const asn1::OctetString &data : pdu.m_h323_uu_pdu.m_h245Control)
        HandleControlData(PBYTEArray(data.data(), PINDEX(data.size())));
}

// ---- incoming ----

void H323Connection::SetRemoteApplication(const H225_EndpointType &info)
{
    if (!info.HasOptionalField(H225_EndpointType::e_vendor))
        return;
    const H225_VendorIdentifier &v = info.m_vendor;
    PString product, version;
    if (v.HasOptionalField(H225_VendorIdentifier::e_productId))
        product = v.m_productId.AsString();
    if (v.HasOptionalField(H225_VendorIdentifier::e_versionId))
        version = v.m_versionId.AsString();
    remoteApplication = product + "\t" + version + "\t" +
                        psprintf("%u:%u:%u", unsigned(v.m_vendor.m_t35CountryCode),
                                 unsigned(v.m_vendor.m_t35Extension),
                                 unsigned(v.m_vendor.m_manufacturerCode));
}

void H323Connection::SetRemotePartyInfo(const H323SignalPDU &pdu)
{
    std::string number;
    if (pdu.GetQ931().GetCallingPartyNumber(number))
        remotePartyNumber = number;
    std::string display = pdu.GetQ931().GetDisplayName();
    if (!display.empty())
        remotePartyDisplayName = display;
    PStringList aliases = pdu.GetSourceAliases();
    if (aliases.GetSize() > 0)
        remotePartyAliases = aliases;
}

BOOL H323Connection::OnReceivedSignalSetup(const H323SignalPDU &pdu)
{
    if (pdu.GetBodyTag() != Body::e_setup) {
        ClearCall(EndedByTransportFail);
        return FALSE;
    }
    const H225_Setup_UUIE &setup = pdu.m_h323_uu_pdu.m_h323_message_body.setup();
    SetRemotePartyInfo(pdu);
    SetRemoteApplication(setup.m_sourceInfo);
    if (setup.HasOptionalField(H225_Setup_UUIE::e_callIdentifier))
        callIdentifier = h323::Guid(setup.m_callIdentifier.m_guid);
    conferenceIdentifier = h323::Guid(setup.m_conferenceID);
    {
        H323SignalPDU proceeding;
        proceeding.BuildCallProceeding(*this);
        if (!WriteSignalPDU(proceeding)) {
            ClearCall(EndedByTransportFail);
            return FALSE;
        }
    }

    if (fastStartEnabled && setup.HasOptionalField(H225_Setup_UUIE::e_fastStart))
        AcceptFastStartProposals(setup.m_fastStart);

    H323SignalPDU alertingPDU;
    alertingPDU.BuildAlerting(*this);
    if (!OnIncomingCall(pdu, alertingPDU)) {
        ClearCall(EndedByNoAccept);
        return FALSE;
    }
    if (releaseStarted)
        return FALSE;

    if (H323Gatekeeper *gk = endpoint.AcquireGatekeeper()) {
        if (gk->IsRegistered()) {
            H323Gatekeeper::AdmissionInfo info;
            info.answeringCall = TRUE;
            info.callReference = callReference;
            info.callIdentifier = callIdentifier.ToOctets();
            info.conferenceIdentifier = conferenceIdentifier.ToOctets();
            info.sourceAliases = remotePartyAliases;
            info.sourceAddress = remotePartyAddress;
            info.bandwidth = bandwidthAvailable;
            // The answering ARQ waits for the gatekeeper: the connection stays unlocked.
            innerMutex.Signal();
            BOOL ok = gk->AdmissionRequest(info);
            innerMutex.Wait();
            endpoint.ReleaseGatekeeper(gk);
            if (!ok) {
                ClearCall(info.rejected ? h323::EndReasonFromAdmissionReject(info.rejectReason)
                                        : EndedByGatekeeper);
                return FALSE;
            }
            admitted = true;
        } else {
            endpoint.ReleaseGatekeeper(gk);
        }
    }
    if (releaseStarted)
        return FALSE;

    if (setup.HasOptionalField(H225_Setup_UUIE::e_h245Address) && !h245Tunneling)
        OnReceivedH245Address(setup.m_h245Address);

    H323SignalPDU connectPDU;
    connectPDU.BuildConnect(*this);
    PString callerName = GetRemotePartyName();
    AnswerCallResponse response = OnAnswerCall(callerName, pdu, connectPDU);
    AnsweringCall(response);
    return TRUE;
}

void H323Connection::SendAlerting()
{
    if (alertingSent || connectSent || releaseStarted)
        return;
    alertingSent = true;
    H323SignalPDU pdu;
    H225_Alerting_UUIE &alerting = pdu.BuildAlerting(*this);
    if (!fastStartResponse.empty() && !fastStartResponseSent) {
        alerting.IncludeOptionalField(H225_Alerting_UUIE::e_fastStart);
        for (const auto &olc : fastStartResponse)
            alerting.m_fastStart.push_back(olc);
        fastStartResponseSent = true;
    }
    if (!h245Tunneling && endpoint.IsH245inSetup() && controlChannel == nullptr &&
        CreateControlListener(alerting.m_h245Address))
        alerting.IncludeOptionalField(H225_Alerting_UUIE::e_h245Address);
    phase = AlertingPhase;
    if (!WriteSignalPDU(pdu))
        ClearCall(EndedByTransportFail);
}

void H323Connection::SendConnect()
{
    if (connectSent || releaseStarted)
        return;
    connectSent = true;
    H323SignalPDU pdu;
    H225_Connect_UUIE &connect = pdu.BuildConnect(*this);
    if (!fastStartResponse.empty() && !fastStartResponseSent) {
        connect.IncludeOptionalField(H225_Connect_UUIE::e_fastStart);
        for (const auto &olc : fastStartResponse)
            connect.m_fastStart.push_back(olc);
        fastStartResponseSent = true;
    }
    if (!h245Tunneling && controlChannel == nullptr &&
        CreateControlListener(connect.m_h245Address))
        connect.IncludeOptionalField(H225_Connect_UUIE::e_h245Address);
    phase = ConnectedPhase;
    if (h245Tunneling) {
        bool wasWriting = writingSignalPDU;
        writingSignalPDU = true;
        StartControlNegotiations(); // TCS and MSD ride in the Connect
        writingSignalPDU = wasWriting;
    }
    if (!WriteSignalPDU(pdu)) {
        ClearCall(EndedByTransportFail);
        return;
    }
    StartFastStartChannels();
    noMediaTimer.RunOnce(endpoint.GetNoMediaTimeout());
    InternalEstablishedCheck();
}

// ---- outgoing ----

BOOL H323Connection::OnReceivedCallProceeding(const H323SignalPDU &pdu)
{
    if (pdu.GetBodyTag() != Body::e_callProceeding)
        return TRUE;
    const H225_CallProceeding_UUIE &proceeding =
        pdu.m_h323_uu_pdu.m_h323_message_body.callProceeding();
    SetRemoteApplication(proceeding.m_destinationInfo);
    if (proceeding.HasOptionalField(H225_CallProceeding_UUIE::e_fastStart))
        OnFastStartResponse(proceeding.m_fastStart);
    if (proceeding.HasOptionalField(H225_CallProceeding_UUIE::e_h245Address) && !h245Tunneling)
        OnReceivedH245Address(proceeding.m_h245Address);
    return TRUE;
}

BOOL H323Connection::OnReceivedAlerting(const H323SignalPDU &pdu)
{
    if (pdu.GetBodyTag() == Body::e_alerting) {
        const H225_Alerting_UUIE &alerting = pdu.m_h323_uu_pdu.m_h323_message_body.alerting();
        SetRemoteApplication(alerting.m_destinationInfo);
        if (alerting.HasOptionalField(H225_Alerting_UUIE::e_fastStart))
            OnFastStartResponse(alerting.m_fastStart);
        if (alerting.HasOptionalField(H225_Alerting_UUIE::e_h245Address) && !h245Tunneling)
            OnReceivedH245Address(alerting.m_h245Address);
    }
    if (phase < AlertingPhase)
        phase = AlertingPhase;
    OnAlerting(pdu, GetRemotePartyName());
    return TRUE;
}

BOOL H323Connection::OnReceivedSignalConnect(const H323SignalPDU &pdu)
{
    if (!originating || phase >= ConnectedPhase)
        return TRUE;
    answerTimer.Stop();
    std::string display = pdu.GetQ931().GetDisplayName();
    if (!display.empty())
        remotePartyDisplayName = display;
    if (pdu.GetBodyTag() == Body::e_connect) {
        const H225_Connect_UUIE &connect = pdu.m_h323_uu_pdu.m_h323_message_body.connect();
        SetRemoteApplication(connect.m_destinationInfo);
        if (connect.HasOptionalField(H225_Connect_UUIE::e_fastStart))
            OnFastStartResponse(connect.m_fastStart);
        if (connect.HasOptionalField(H225_Connect_UUIE::e_h245Address) && !h245Tunneling)
            OnReceivedH245Address(connect.m_h245Address);
    }
    if (fastStartState != FastStartAcknowledged)
        fastStartChannels.clear(); // refused: media goes through H.245
    phase = ConnectedPhase;
    StartFastStartChannels();
    if (h245Tunneling)
        StartControlNegotiations();
    noMediaTimer.RunOnce(endpoint.GetNoMediaTimeout());
    InternalEstablishedCheck();
    return TRUE;
}

BOOL H323Connection::OnReceivedFacility(const H323SignalPDU &pdu)
{
    if (pdu.GetBodyTag() != Body::e_facility)
        return TRUE;
    const H225_Facility_UUIE &facility = pdu.m_h323_uu_pdu.m_h323_message_body.facility();
    switch (facility.m_reason.GetTag()) {
    case H225_FacilityReason::e_callForwarded: {
        PString party;
        if (facility.HasOptionalField(H225_Facility_UUIE::e_alternativeAliasAddress) &&
            facility.m_alternativeAliasAddress.size() > 0)
            party = h323::AliasText(facility.m_alternativeAliasAddress[0]);
        if (facility.HasOptionalField(H225_Facility_UUIE::e_alternativeAddress)) {
            H323TransportAddress address(facility.m_alternativeAddress);
            party = party.IsEmpty() ? PString(address) : party + "@" + address;
        }
        if (!party.IsEmpty() && OnForwarded(party, pdu))
            ClearCall(EndedByCallForwarded);
        return TRUE;
    }
    case H225_FacilityReason::e_startH245:
        if (facility.HasOptionalField(H225_Facility_UUIE::e_h245Address)) {
            h245Tunneling = FALSE;
            OnReceivedH245Address(facility.m_h245Address);
        }
        return TRUE;
    default:
        if (facility.HasOptionalField(H225_Facility_UUIE::e_fastStart))
            OnFastStartResponse(facility.m_fastStart);
        return TRUE;
    }
}

BOOL H323Connection::OnReceivedReleaseComplete(const H323SignalPDU &pdu)
{
    remoteReleased = true;
    HandleTunnelPDU(pdu); // an end session may ride in it
    CallEndReason reason;
    if (!originating && answerPending && phase < ConnectedPhase) {
        reason = EndedByCallerAbort;
    } else {
        const H225_ReleaseCompleteReason *why = nullptr;
        if (pdu.GetBodyTag() == Body::e_releaseComplete) {
            const H225_ReleaseComplete_UUIE &rc =
                pdu.m_h323_uu_pdu.m_h323_message_body.releaseComplete();
            if (rc.HasOptionalField(H225_ReleaseComplete_UUIE::e_reason))
                why = &rc.m_reason;
        }
        reason = h323::EndReasonFromRelease(pdu.GetQ931().GetCause(), why,
                                            phase >= ConnectedPhase);
    }
    ClearCall(reason);
    return FALSE; // the signalling loop ends
}

BOOL H323Connection::OnReceivedInformation(const H323SignalPDU &pdu)
{
    std::string keypad = pdu.GetQ931().GetKeypad();
    if (!keypad.empty())
        OnUserInputString(PString(keypad));
    return TRUE;
}

// ---- writing ----

BOOL H323Connection::WriteSignalPDU(H323SignalPDU &pdu)
{
    PWaitAndSignal lock(innerMutex);
    if (signallingChannel == nullptr)
        return FALSE;
    if (h245Tunneling && !pendingTunnelPDUs.empty()) {
        pdu.m_h323_uu_pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Control);
        for (auto &data : pendingTunnelPDUs)
            pdu.m_h323_uu_pdu.m_h245Control.push_back(std::move(data));
        pendingTunnelPDUs.clear();
    }
    pdu.m_h323_uu_pdu.m_h245Tunneling = bool(h245Tunneling);
    return pdu.Write(*signallingChannel);
}

void H323Connection::FlushTunnelledPDUs()
{
    if (pendingTunnelPDUs.empty() || signallingChannel == nullptr || remoteReleased)
        return;
    H323SignalPDU pdu;
    pdu.BuildFacility(*this, TRUE);
    WriteSignalPDU(pdu);
}
