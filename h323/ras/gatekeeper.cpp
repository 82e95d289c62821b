// H323Gatekeeper: discovery, registration, unregistration and the gatekeeper's requests.
#include <h323/ras/gatekeeper.h>

#include <h323/endpoint/endpoint.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/identifiers.h>
#include <h323/ras/h235_auth.h>
#include <h323/ras/ras_channel.h>
#include <h323/transports/interface_address.h>
#include <h323/transports/transport_udp.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

using h323::RasChannel;

class H323Gatekeeper::MonitorThread : public PThread
{
    PCLASSINFO(MonitorThread, PThread)
  public:
    explicit MonitorThread(H323Gatekeeper &g)
        : PThread(30000, NoAutoDeleteThread, NormalPriority, "GkMonitor"), gk(g)
    {
    }
    void Main() override { gk.MonitorLoop(); }

  private:
    H323Gatekeeper &gk;
};

H323Gatekeeper::H323Gatekeeper(H323EndPoint &ep, H323Transport *t)
    : endpoint(ep), transport(dynamic_cast<H323TransportUDP *>(t)),
      authenticators(new h323::H235Authenticators)
{
    PAssert(transport != nullptr, "The RAS transport must be a UDP transport");
    channel.reset(new RasChannel(*transport, [this](const H225_RasMessage &msg, bool matched) {
        return Dispatch(msg, matched);
    }));
}

H323Gatekeeper::~H323Gatekeeper()
{
    StopChannel();
}

void H323Gatekeeper::StopChannel()
{
    stopping = true;
    monitorWake.Signal();
    if (channel)
        channel->Stop();
    MonitorThread *ended;
    {
        PWaitAndSignal lock(monitorMutex);
        ended = monitor;
        monitor = nullptr;
    }
    if (ended != nullptr) {
        ended->WaitForTermination();
        delete ended;
    }
}

void H323Gatekeeper::SetRequestTimeouts(const PTimeInterval &discovery, const PTimeInterval &request)
{
    discoveryTimeout = discovery;
    requestTimeout = request;
}

void H323Gatekeeper::CancelRequests()
{
    cancelled = true;
    if (channel)
        channel->CancelRequests();
}

// ---- state ----

PString H323Gatekeeper::GetEndpointIdentifier() const
{
    PWaitAndSignal lock(stateMutex);
    return endpointIdentifier.ToLatin1();
}

PString H323Gatekeeper::GetIdentifier() const
{
    PWaitAndSignal lock(stateMutex);
    return gatekeeperIdentifier.ToLatin1();
}

H323TransportAddress H323Gatekeeper::GetGatekeeperRouteAddress() const
{
    PWaitAndSignal lock(stateMutex);
    return gkRouteAddress;
}

H323TransportAddress H323Gatekeeper::GetRasAddress() const
{
    return transport->GetRemoteAddress();
}

H323Transport &H323Gatekeeper::GetTransport() const
{
    return *transport;
}

void H323Gatekeeper::SetFailReason(unsigned reason)
{
    registrationFailReason = reason;
}

// ---- common fields ----

void H323Gatekeeper::SetRasAddress(H225_TransportAddress &pdu) const
{
    PIPSocket::Address gk;
    WORD gkPort;
    PIPSocket::Address local;
    if (transport->GetRemoteAddress().GetIpAndPort(gk, gkPort))
        local = h323::LocalInterfaceFor(gk);
    PIPSocket::Address bound;
    WORD port = 0;
    transport->GetLocalAddress().GetIpAndPort(bound, port);
    H323TransportAddress(local, port).SetPDU(pdu);
}

void H323Gatekeeper::SetCallSignalAddresses(asn1::Array<H225_TransportAddress> &addresses) const
{
    PIPSocket::Address gk;
    WORD gkPort;
    PIPSocket::Address local;
    if (transport->GetRemoteAddress().GetIpAndPort(gk, gkPort))
        local = h323::LocalInterfaceFor(gk);
    H323TransportAddress signal = endpoint.GetSignalAddress(local);
    if (signal.IsEmpty())
        return;
    H225_TransportAddress pdu;
    if (signal.SetPDU(pdu))
        addresses.push_back(pdu);
}

void H323Gatekeeper::SetAliases(asn1::Array<H225_AliasAddress> &aliases) const
{
    for (const PString &name : endpoint.GetAliasNames())
        if (!name.IsEmpty())
            aliases.push_back(h323::MakeAlias(name.GetText()));
}

// ---- discovery ----

BOOL H323Gatekeeper::DiscoverByAddress(const H323TransportAddress &address)
{
    if (stopping || cancelled)
        return FALSE;
    H323TransportAddress target = address;
    if (target.GetPort() == 0)
        target = H323TransportAddress(target.GetHostName() + ":" +
                                      PString(psprintf("%u", H323TransportAddress::DefaultRasPort)));
    if (!transport->SetRemoteAddress(target)) {
        SetFailReason(TransportError);
        return FALSE;
    }
    transport->SetPromiscuous(TRUE);
    channel->Start();

    H225_RasMessage msg;
    H225_GatekeeperRequest &grq = msg.gatekeeperRequest();
    grq.m_requestSeqNum = channel->NextSequenceNumber();
    grq.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    SetRasAddress(grq.m_rasAddress);
    endpoint.SetEndpointTypeInfo(grq.m_endpointType);
    SetAliases(grq.m_endpointAlias);
    if (grq.m_endpointAlias.size() > 0)
        grq.IncludeOptionalField(H225_GatekeeperRequest::e_endpointAlias);
    grq.IncludeOptionalField(H225_GatekeeperRequest::e_supportsAltGK);

    authenticators->SetCredentials(endpoint.GetLocalUserName().GetText(),
                                   endpoint.GetGatekeeperPassword().GetText());

    H225_RasMessage reply;
    RasChannel::Outcome outcome =
        channel->MakeRequest(msg, reply, discoveryTimeout, RequestTries, &cancelled);
    transport->SetPromiscuous(FALSE);
    if (outcome != RasChannel::Outcome::Confirmed) {
        PTRACE(2, "RAS\tdiscovery at " << target << " failed");
        if (outcome == RasChannel::Outcome::TimedOut)
            SetFailReason(TransportError);
        return FALSE;
    }
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveGatekeeperConfirm(const H225_GatekeeperConfirm &gcf)
{
    {
        PWaitAndSignal lock(stateMutex);
        if (gcf.HasOptionalField(H225_GatekeeperConfirm::e_gatekeeperIdentifier))
            gatekeeperIdentifier = gcf.m_gatekeeperIdentifier;
    }
    H323TransportAddress ras(gcf.m_rasAddress);
    if (!ras.IsEmpty())
        transport->SetRemoteAddress(ras);
    discoveryComplete = true;
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveGatekeeperReject(const H225_GatekeeperReject &grj)
{
    PTRACE(2, "RAS\tgatekeeper rejected discovery, reason " << grj.m_rejectReason.GetTag());
    return TRUE;
}

// ---- registration ----

BOOL H323Gatekeeper::RegistrationRequest(BOOL autoRegister, BOOL lightweight)
{
    if (stopping || cancelled)
        return FALSE;
    channel->Start();
    H225_RasMessage msg;
    H225_RegistrationRequest &rrq = msg.registrationRequest();
    rrq.m_requestSeqNum = channel->NextSequenceNumber();
    rrq.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    rrq.m_discoveryComplete = bool(discoveryComplete);
    SetCallSignalAddresses(rrq.m_callSignalAddress);
    H225_TransportAddress ras;
    SetRasAddress(ras);
    rrq.m_rasAddress.push_back(ras);
    endpoint.SetEndpointTypeInfo(rrq.m_terminalType);
    rrq.m_endpointVendor = rrq.m_terminalType.m_vendor;
    {
        PWaitAndSignal lock(stateMutex);
        if (!gatekeeperIdentifier.empty()) {
            rrq.IncludeOptionalField(H225_RegistrationRequest::e_gatekeeperIdentifier);
            rrq.m_gatekeeperIdentifier = gatekeeperIdentifier;
        }
        if (lightweight) {
            rrq.IncludeOptionalField(H225_RegistrationRequest::e_endpointIdentifier);
            rrq.m_endpointIdentifier = endpointIdentifier;
        }
    }
    if (!lightweight) {
        SetAliases(rrq.m_terminalAlias);
        if (rrq.m_terminalAlias.size() > 0)
            rrq.IncludeOptionalField(H225_RegistrationRequest::e_terminalAlias);
    }
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_keepAlive);
    rrq.m_keepAlive = bool(lightweight);
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_willSupplyUUIEs);
    rrq.m_willSupplyUUIEs = false;
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_maintainConnection);
    rrq.m_maintainConnection = false;
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_usageReportingCapability);
    rrq.m_usageReportingCapability.IncludeOptionalField(H225_RasUsageInfoTypes::e_startTime);
    rrq.m_usageReportingCapability.IncludeOptionalField(H225_RasUsageInfoTypes::e_endTime);
    rrq.m_usageReportingCapability.IncludeOptionalField(
        H225_RasUsageInfoTypes::e_terminationCause);
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_supportsAltGK);
    if (lightweight && timeToLive > 0) {
        rrq.IncludeOptionalField(H225_RegistrationRequest::e_timeToLive);
        rrq.m_timeToLive = unsigned(timeToLive);
    }
    authenticators->SetCredentials(endpoint.GetLocalUserName().GetText(),
                                   endpoint.GetGatekeeperPassword().GetText());
    authenticators->Attach(rrq, true);

    H225_RasMessage reply;
    RasChannel::Outcome outcome =
        channel->MakeRequest(msg, reply, requestTimeout, RequestTries, &cancelled);
    switch (outcome) {
    case RasChannel::Outcome::Confirmed:
        return TRUE;
    case RasChannel::Outcome::Rejected:
        return FALSE;
    case RasChannel::Outcome::Cancelled:
        return FALSE;
    default:
        PTRACE(2, "RAS\tregistration got no reply");
        if (IsRegistered())
            LoseRegistration(TransportError, false); // the gatekeeper may be back soon
        else
            SetFailReason(TransportError);
        return FALSE;
    }
}

BOOL H323Gatekeeper::OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf)
{
    {
        PWaitAndSignal lock(stateMutex);
        endpointIdentifier = rcf.m_endpointIdentifier;
        if (rcf.HasOptionalField(H225_RegistrationConfirm::e_gatekeeperIdentifier))
            gatekeeperIdentifier = rcf.m_gatekeeperIdentifier;
        gkRouteAddress = rcf.m_callSignalAddress.size() > 0
                             ? H323TransportAddress(rcf.m_callSignalAddress[0])
                             : H323TransportAddress();
    }
    timeToLive = rcf.HasOptionalField(H225_RegistrationConfirm::e_timeToLive)
                     ? unsigned(rcf.m_timeToLive.GetValue())
                     : 0;
    SetFailReason(RegistrationSuccessful);
    recovering = false;
    if (rcf.HasOptionalField(H225_RegistrationConfirm::e_serviceControl))
        OnServiceControlSessions(rcf.m_serviceControl);
    ScheduleReregistration();
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveRegistrationReject(const H225_RegistrationReject &rrj)
{
    unsigned tag = rrj.m_rejectReason.GetTag();
    switch (tag) {
    case H225_RegistrationRejectReason::e_discoveryRequired:
        discoveryComplete = false;
        LoseRegistration(GatekeeperLostRegistration, true);
        return TRUE;
    case H225_RegistrationRejectReason::e_fullRegistrationRequired:
        LoseRegistration(GatekeeperLostRegistration, true);
        return TRUE;
    case H225_RegistrationRejectReason::e_invalidCallSignalAddress:
        SetFailReason(InvalidListener);
        break;
    case H225_RegistrationRejectReason::e_duplicateAlias:
        SetFailReason(DuplicateAlias);
        break;
    case H225_RegistrationRejectReason::e_securityDenial:
        SetFailReason(SecurityDenied);
        break;
    default:
        SetFailReason(RegistrationRejectReasonMask | tag);
        break;
    }
    recovering = false; // a gatekeeper answered: no more attempts of our own
    PTRACE(2, "RAS\tregistration rejected, reason " << tag);
    return TRUE;
}

// ---- unregistration ----

BOOL H323Gatekeeper::UnregistrationRequest(int reason)
{
    if (stopping)
        return FALSE;
    channel->Start();
    H225_RasMessage msg;
    H225_UnregistrationRequest &urq = msg.unregistrationRequest();
    urq.m_requestSeqNum = channel->NextSequenceNumber();
    SetCallSignalAddresses(urq.m_callSignalAddress);
    SetAliases(urq.m_endpointAlias);
    if (urq.m_endpointAlias.size() > 0)
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointAlias);
    {
        PWaitAndSignal lock(stateMutex);
        if (!endpointIdentifier.empty()) {
            urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointIdentifier);
            urq.m_endpointIdentifier = endpointIdentifier;
        }
        if (!gatekeeperIdentifier.empty()) {
            urq.IncludeOptionalField(H225_UnregistrationRequest::e_gatekeeperIdentifier);
            urq.m_gatekeeperIdentifier = gatekeeperIdentifier;
        }
    }
    if (reason >= 0 && urq.m_reason.SetTag(unsigned(reason)))
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_reason);
    authenticators->Attach(urq, false);

    H225_RasMessage reply;
    RasChannel::Outcome outcome = channel->MakeRequest(msg, reply, requestTimeout, RequestTries);
    SetFailReason(UnregisteredLocally);
    recovering = false;
    timeToLive = 0;
    return outcome == RasChannel::Outcome::Confirmed;
}

BOOL H323Gatekeeper::OnReceiveUnregistrationConfirm(const H225_UnregistrationConfirm &)
{
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveUnregistrationReject(const H225_UnregistrationReject &urj)
{
    PTRACE(2, "RAS\tunregistration rejected, reason " << urj.m_rejectReason.GetTag());
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq)
{
    H225_RasMessage reply;
    bool ours;
    {
        // The transport takes RAS from the gatekeeper's address only; the request must name
        // this registration.
        PWaitAndSignal lock(stateMutex);
        ours = urq.HasOptionalField(H225_UnregistrationRequest::e_endpointIdentifier) &&
               !endpointIdentifier.empty() && urq.m_endpointIdentifier == endpointIdentifier;
        if (urq.HasOptionalField(H225_UnregistrationRequest::e_gatekeeperIdentifier) &&
            !gatekeeperIdentifier.empty() && urq.m_gatekeeperIdentifier != gatekeeperIdentifier)
            ours = false;
    }
    if (!ours || !IsRegistered()) {
        PTRACE(2, "RAS\tunregistration request for another registration refused");
        H225_UnregistrationReject &urj = reply.unregistrationReject();
        urj.m_requestSeqNum = urq.m_requestSeqNum;
        urj.m_rejectReason.SetTag(H225_UnregRejectReason::e_notCurrentlyRegistered);
        channel->WritePDU(reply);
        return FALSE;
    }
    // Unregistered before the calls clear: they see it and send no DisengageRequest.
    SetFailReason(UnregisteredByGatekeeper);
    recovering = false;
    timeToLive = 0;
    endpoint.OnGatekeeperUnregistered();
    H225_UnregistrationConfirm &ucf = reply.unregistrationConfirm();
    ucf.m_requestSeqNum = urq.m_requestSeqNum;
    channel->WritePDU(reply);
    return TRUE;
}

// ---- admission and disengage ----

BOOL H323Gatekeeper::AdmissionRequest(AdmissionInfo &info)
{
    if (stopping || cancelled || !IsRegistered())
        return FALSE;
    H225_RasMessage msg;
    H225_AdmissionRequest &arq = msg.admissionRequest();
    unsigned seq = channel->NextSequenceNumber();
    arq.m_requestSeqNum = seq;
    arq.m_callType.SetTag(H225_CallType::e_pointToPoint);
    arq.IncludeOptionalField(H225_AdmissionRequest::e_callModel);
    arq.m_callModel.SetTag(H225_CallModel::e_direct);
    {
        PWaitAndSignal lock(stateMutex);
        arq.m_endpointIdentifier = endpointIdentifier;
        if (!gatekeeperIdentifier.empty()) {
            arq.IncludeOptionalField(H225_AdmissionRequest::e_gatekeeperIdentifier);
            arq.m_gatekeeperIdentifier = gatekeeperIdentifier;
        }
    }
    asn1::Array<H225_AliasAddress> ourAliases;
    SetAliases(ourAliases);
    asn1::Array<H225_TransportAddress> ourSignal;
    SetCallSignalAddresses(ourSignal);
    if (info.answeringCall) {
        arq.m_destinationInfo = ourAliases;
        if (arq.m_destinationInfo.size() > 0)
            arq.IncludeOptionalField(H225_AdmissionRequest::e_destinationInfo);
        if (ourSignal.size() > 0) {
            arq.IncludeOptionalField(H225_AdmissionRequest::e_destCallSignalAddress);
            arq.m_destCallSignalAddress = ourSignal[0];
        }
        for (const PString &alias : info.sourceAliases)
            arq.m_srcInfo.push_back(h323::MakeAlias(alias.GetText()));
        if (!info.sourceAddress.IsEmpty() && info.sourceAddress.SetPDU(arq.m_srcCallSignalAddress))
            arq.IncludeOptionalField(H225_AdmissionRequest::e_srcCallSignalAddress);
    } else {
        for (const PString &alias : info.destinationAliases)
            arq.m_destinationInfo.push_back(h323::MakeAlias(alias.GetText()));
        if (arq.m_destinationInfo.size() > 0)
            arq.IncludeOptionalField(H225_AdmissionRequest::e_destinationInfo);
        if (!info.destinationAddress.IsEmpty() &&
            info.destinationAddress.SetPDU(arq.m_destCallSignalAddress))
            arq.IncludeOptionalField(H225_AdmissionRequest::e_destCallSignalAddress);
        arq.m_srcInfo = ourAliases;
        if (ourSignal.size() > 0) {
            arq.IncludeOptionalField(H225_AdmissionRequest::e_srcCallSignalAddress);
            arq.m_srcCallSignalAddress = ourSignal[0];
        }
    }
    if (arq.m_srcInfo.size() == 0) // srcInfo must not be empty
        arq.m_srcInfo.push_back(h323::MakeH323IdAlias(
            std::string(endpoint.GetSignalAddress().GetHostName().GetText())));
    arq.m_bandWidth = info.bandwidth;
    arq.m_callReferenceValue = info.callReference;
    arq.m_conferenceID = info.conferenceIdentifier;
    arq.m_activeMC = false;
    arq.m_answerCall = bool(info.answeringCall);
    arq.IncludeOptionalField(H225_AdmissionRequest::e_canMapAlias);
    arq.m_canMapAlias = true;
    arq.IncludeOptionalField(H225_AdmissionRequest::e_callIdentifier);
    arq.m_callIdentifier.m_guid = info.callIdentifier;
    arq.IncludeOptionalField(H225_AdmissionRequest::e_willSupplyUUIEs);
    arq.m_willSupplyUUIEs = false;
    authenticators->Attach(arq, true);

    {
        PWaitAndSignal lock(stateMutex);
        admissions[seq] = &info;
    }
    H225_RasMessage reply;
    RasChannel::Outcome outcome =
        channel->MakeRequest(msg, reply, requestTimeout, RequestTries, &cancelled);
    {
        PWaitAndSignal lock(stateMutex);
        admissions.erase(seq);
    }
    if (outcome == RasChannel::Outcome::Rejected &&
        reply.GetTag() == H225_RasMessage::e_admissionReject) {
        info.rejected = TRUE;
        info.rejectReason = reply.admissionReject().m_rejectReason.GetTag();
        // The gatekeeper does not know us (any more): it lost the registration.
        if (info.rejectReason == H225_AdmissionRejectReason::e_callerNotRegistered ||
            info.rejectReason == H225_AdmissionRejectReason::e_invalidEndpointIdentifier)
            LoseRegistration(GatekeeperLostRegistration, true);
    }
    return outcome == RasChannel::Outcome::Confirmed;
}

BOOL H323Gatekeeper::OnReceiveAdmissionConfirm(const H225_AdmissionConfirm &acf)
{
    {
        PWaitAndSignal lock(stateMutex);
        auto it = admissions.find(unsigned(acf.m_requestSeqNum));
        if (it != admissions.end()) {
            AdmissionInfo &info = *it->second;
            info.destCallSignalAddress = H323TransportAddress(acf.m_destCallSignalAddress);
            info.gatekeeperRouted = acf.m_callModel.GetTag() == H225_CallModel::e_gatekeeperRouted;
            info.grantedBandwidth = unsigned(acf.m_bandWidth.GetValue());
        }
    }
    if (acf.HasOptionalField(H225_AdmissionConfirm::e_serviceControl))
        OnServiceControlSessions(acf.m_serviceControl);
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveAdmissionReject(const H225_AdmissionReject &arj)
{
    PTRACE(2, "RAS\tadmission rejected, reason " << arj.m_rejectReason.GetTag());
    return TRUE;
}

BOOL H323Gatekeeper::DisengageRequest(unsigned callReference, const asn1::OctetString &callId,
                                      const asn1::OctetString &conferenceId, BOOL answeredCall,
                                      unsigned reason)
{
    if (stopping || !IsRegistered())
        return FALSE;
    H225_RasMessage msg;
    H225_DisengageRequest &drq = msg.disengageRequest();
    drq.m_requestSeqNum = channel->NextSequenceNumber();
    {
        PWaitAndSignal lock(stateMutex);
        drq.m_endpointIdentifier = endpointIdentifier;
        if (!gatekeeperIdentifier.empty()) {
            drq.IncludeOptionalField(H225_DisengageRequest::e_gatekeeperIdentifier);
            drq.m_gatekeeperIdentifier = gatekeeperIdentifier;
        }
    }
    drq.m_conferenceID = conferenceId;
    drq.m_callReferenceValue = callReference;
    drq.m_disengageReason.SetTag(reason);
    drq.IncludeOptionalField(H225_DisengageRequest::e_callIdentifier);
    drq.m_callIdentifier.m_guid = callId;
    drq.IncludeOptionalField(H225_DisengageRequest::e_answeredCall);
    drq.m_answeredCall = bool(answeredCall);
    authenticators->Attach(drq, false);
    H225_RasMessage reply;
    RasChannel::Outcome outcome = channel->MakeRequest(msg, reply, requestTimeout, RequestTries);
    if (outcome == RasChannel::Outcome::Rejected &&
        reply.GetTag() == H225_RasMessage::e_disengageReject &&
        reply.disengageReject().m_rejectReason.GetTag() == H225_DisengageRejectReason::e_notRegistered)
        LoseRegistration(GatekeeperLostRegistration, true);
    return outcome == RasChannel::Outcome::Confirmed;
}

BOOL H323Gatekeeper::OnReceiveDisengageRequest(const H225_DisengageRequest &drq)
{
    endpoint.OnGatekeeperDisengage(drq.HasOptionalField(H225_DisengageRequest::e_callIdentifier)
                                       ? drq.m_callIdentifier.m_guid
                                       : asn1::OctetString(),
                                   unsigned(drq.m_callReferenceValue));
    H225_RasMessage reply;
    reply.disengageConfirm().m_requestSeqNum = drq.m_requestSeqNum;
    channel->WritePDU(reply);
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveDisengageConfirm(const H225_DisengageConfirm &)
{
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveDisengageReject(const H225_DisengageReject &)
{
    return TRUE;
}

// ---- the gatekeeper's other requests ----

BOOL H323Gatekeeper::OnReceiveBandwidthRequest(const H225_BandwidthRequest &brq)
{
    H225_RasMessage reply;
    H225_BandwidthConfirm &bcf = reply.bandwidthConfirm();
    bcf.m_requestSeqNum = brq.m_requestSeqNum;
    bcf.m_bandWidth = brq.m_bandWidth;
    channel->WritePDU(reply);
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveBandwidthConfirm(const H225_BandwidthConfirm &)
{
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveBandwidthReject(const H225_BandwidthReject &)
{
    return TRUE;
}

BOOL H323Gatekeeper::OnReceiveInfoRequest(const H225_InfoRequest &irq)
{
    return SendInfoRequestResponse(unsigned(irq.m_requestSeqNum));
}

BOOL H323Gatekeeper::SendInfoRequestResponse(unsigned sequenceNumber)
{
    H225_RasMessage reply;
    H225_InfoRequestResponse &irr = reply.infoRequestResponse();
    irr.m_requestSeqNum = sequenceNumber;
    endpoint.SetEndpointTypeInfo(irr.m_endpointType);
    {
        PWaitAndSignal lock(stateMutex);
        irr.m_endpointIdentifier = endpointIdentifier;
    }
    SetRasAddress(irr.m_rasAddress);
    SetCallSignalAddresses(irr.m_callSignalAddress);
    SetAliases(irr.m_endpointAlias);
    if (irr.m_endpointAlias.size() > 0)
        irr.IncludeOptionalField(H225_InfoRequestResponse::e_endpointAlias);
    endpoint.FillInfoRequestResponse(irr);
    authenticators->Attach(irr, false);
    return channel->WritePDU(reply);
}

BOOL H323Gatekeeper::OnReceiveServiceControlIndication(const H225_ServiceControlIndication &sci)
{
    OnServiceControlSessions(sci.m_serviceControl);
    H225_RasMessage reply;
    H225_ServiceControlResponse &scr = reply.serviceControlResponse();
    scr.m_requestSeqNum = sci.m_requestSeqNum;
    scr.IncludeOptionalField(H225_ServiceControlResponse::e_result);
    scr.m_result.SetTag(H225_ServiceControlResponse_result::e_started);
    channel->WritePDU(reply);
    return TRUE;
}

void H323Gatekeeper::OnServiceControlSessions(const asn1::Array<H225_ServiceControlSession> &sessions)
{
    for (const H225_ServiceControlSession &session : sessions) {
        if (!session.HasOptionalField(H225_ServiceControlSession::e_contents) ||
            session.m_contents.GetTag() != H225_ServiceControlDescriptor::e_callCreditServiceControl)
            continue;
        const H225_CallCreditServiceControl &credit = session.m_contents.callCreditServiceControl();
        if (!credit.HasOptionalField(H225_CallCreditServiceControl::e_amountString))
            continue;
        BOOL debit = credit.HasOptionalField(H225_CallCreditServiceControl::e_billingMode) &&
                     credit.m_billingMode.GetTag() == H225_CallCreditServiceControl_billingMode::e_debit;
        endpoint.OnCallCreditServiceControl(credit.m_amountString.ToLatin1(), debit);
    }
}

BOOL H323Gatekeeper::OnReceiveUnknown(const H225_RasMessage &msg)
{
    unsigned seq = h323::RasSequenceNumber(msg);
    if (seq == 0)
        return TRUE;
    H225_RasMessage reply;
    H225_UnknownMessageResponse &xrs = reply.unknownMessageResponse();
    xrs.m_requestSeqNum = seq;
    channel->WritePDU(reply);
    return TRUE;
}

// ---- dispatch and the monitor ----

bool H323Gatekeeper::Dispatch(const H225_RasMessage &msg, bool matched)
{
    using M = H225_RasMessage;
    switch (msg.GetTag()) {
    case M::e_gatekeeperConfirm:
        return matched && OnReceiveGatekeeperConfirm(msg.gatekeeperConfirm());
    case M::e_gatekeeperReject:
        return matched && OnReceiveGatekeeperReject(msg.gatekeeperReject());
    case M::e_registrationConfirm:
        return matched && OnReceiveRegistrationConfirm(msg.registrationConfirm());
    case M::e_registrationReject:
        return matched && OnReceiveRegistrationReject(msg.registrationReject());
    case M::e_unregistrationRequest:
        return OnReceiveUnregistrationRequest(msg.unregistrationRequest());
    case M::e_unregistrationConfirm:
        return matched && OnReceiveUnregistrationConfirm(msg.unregistrationConfirm());
    case M::e_unregistrationReject:
        return matched && OnReceiveUnregistrationReject(msg.unregistrationReject());
    case M::e_admissionConfirm:
        return matched && OnReceiveAdmissionConfirm(msg.admissionConfirm());
    case M::e_admissionReject:
        return matched && OnReceiveAdmissionReject(msg.admissionReject());
    case M::e_bandwidthRequest:
        return OnReceiveBandwidthRequest(msg.bandwidthRequest());
    case M::e_bandwidthConfirm:
        return matched && OnReceiveBandwidthConfirm(msg.bandwidthConfirm());
    case M::e_bandwidthReject:
        return matched && OnReceiveBandwidthReject(msg.bandwidthReject());
    case M::e_disengageRequest:
        return OnReceiveDisengageRequest(msg.disengageRequest());
    case M::e_disengageConfirm:
        return matched && OnReceiveDisengageConfirm(msg.disengageConfirm());
    case M::e_disengageReject:
        return matched && OnReceiveDisengageReject(msg.disengageReject());
    case M::e_infoRequest:
        return OnReceiveInfoRequest(msg.infoRequest());
    case M::e_serviceControlIndication:
        return OnReceiveServiceControlIndication(msg.serviceControlIndication());
    case M::e_unknownMessageResponse:
    case M::e_infoRequestAck:
    case M::e_infoRequestNak:
    case M::e_serviceControlResponse:
        return true;
    default:
        return OnReceiveUnknown(msg);
    }
}

void H323Gatekeeper::OnRegistrationLost() {}

void H323Gatekeeper::LoseRegistration(unsigned reason, bool atOnce)
{
    if (registrationFailReason.exchange(reason) != RegistrationSuccessful || stopping || cancelled)
        return; // not registered before: nothing was lost
    PTRACE(2, "RAS\tregistration lost, registering again");
    timeToLive = 0;
    retryInterval = 0;
    nextAttempt = PTimer::Tick().GetMilliSeconds() + (atOnce ? 0 : RegistrationRetryFirst);
    recovering = true;
    OnRegistrationLost();
    ScheduleReregistration();
}

PTimeInterval H323Gatekeeper::KeepAliveInterval(unsigned ttl)
{
    // Well inside the time-to-live: the keep-alive and its retry fit before it ends.
    PInt64 ms = ttl == 0 ? RegistrationCheckTime
                : ttl > 10 ? PInt64(ttl - 5) * 1000
                           : std::max<PInt64>(PInt64(ttl) * 500, 500);
    return PTimeInterval(std::min<PInt64>(ms, RegistrationCheckTime));
}

void H323Gatekeeper::ScheduleReregistration()
{
    {
        PWaitAndSignal lock(monitorMutex);
        if (monitor == nullptr && !stopping) {
            monitor = new MonitorThread(*this);
            monitor->Resume();
        }
    }
    monitorWake.Signal();
}

void H323Gatekeeper::Reregister()
{
    if (!discoveryComplete)
        DiscoverByAddress(transport->GetRemoteAddress());
    RegistrationRequest(TRUE, FALSE);
}

void H323Gatekeeper::MonitorLoop()
{
    while (!stopping) {
        if (cancelled) {
            monitorWake.Wait();
            continue;
        }
        if (recovering) {
            PInt64 left = nextAttempt - PTimer::Tick().GetMilliSeconds();
            if (left > 0 && monitorWake.Wait(PTimeInterval(left)))
                continue; // woken: look again
            if (stopping || !recovering)
                continue;
            PInt64 started = PTimer::Tick().GetMilliSeconds();
            Reregister();
            // Bounded back-off between the starts of attempts: 5 s, 10 s, 20 s, then 30 s.
            retryInterval = std::min<PInt64>(retryInterval == 0 ? 5000 : retryInterval * 2,
                                             RegistrationRetryMax);
            nextAttempt = started + retryInterval;
        } else if (IsRegistered()) {
            if (monitorWake.Wait(KeepAliveInterval(timeToLive)))
                continue; // re-armed by a new RCF
            if (!stopping && IsRegistered())
                RegistrationRequest(TRUE, TRUE);
        } else {
            monitorWake.Wait();
        }
    }
}
