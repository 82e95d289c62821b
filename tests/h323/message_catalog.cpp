// Test fixtures: RAS, call signalling and H.245 messages built field by field.
#include "message_catalog.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/q931.h>
#include <h323/q931/signal.h>

#include <stdexcept>

namespace h323test {
namespace {

using namespace h323;
using Bytes = std::vector<uint8_t>;
using RRQ = H225_RegistrationRequest;

const IPv4Endpoint kPhone{{192, 0, 2, 10}, 1991};
const IPv4Endpoint kPhoneRas{{192, 0, 2, 10}, 5001};
const IPv4Endpoint kGk{{198, 51, 100, 1}, 19900};
const IPv4Endpoint kGkAlt{{198, 51, 100, 2}, 19900};
const IPv4Endpoint kPeer{{203, 0, 113, 5}, 1720};
// Fixed identifiers so the fixtures are the same in every run.
const Guid kCallId(asn1::OctetString{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x47, 0x88, 0x99, 0xaa,
                                     0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x01});
const Guid kConfId(asn1::OctetString{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x47, 0x08, 0x89, 0x0a,
                                     0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10});

template <class T> Bytes per(const T &v)
{
    Bytes out;
    asn1::Result r = asn1::encode(v, out);
    if (!r)
        throw std::runtime_error("fixture does not encode: " + r.message());
    return out;
}

asn1::BMPString bmp(const char *s)
{
    return asn1::BMPString::FromLatin1(s);
}

H225_EndpointType terminal_type()
{
    H225_EndpointType t;
    t.IncludeOptionalField(H225_EndpointType::e_vendor);
    t.m_vendor = MakeVendorIdentifier(9, 0, 61, "Kestrelin", "1.0.1");
    t.IncludeOptionalField(H225_EndpointType::e_terminal);
    return t;
}

H225_AlternateGK alternate_gk()
{
    H225_AlternateGK a;
    a.m_rasAddress = MakeTransportAddress(kGkAlt);
    a.IncludeOptionalField(H225_AlternateGK::e_gatekeeperIdentifier);
    a.m_gatekeeperIdentifier = bmp("BackupGK");
    a.m_needToRegister = true;
    a.m_priority = 1;
    return a;
}

H225_ServiceControlSession credit_control()
{
    H225_ServiceControlSession s;
    s.m_sessionId = 3;
    s.IncludeOptionalField(H225_ServiceControlSession::e_contents);
    auto &cc = s.m_contents.callCreditServiceControl();
    cc.IncludeOptionalField(H225_CallCreditServiceControl::e_amountString);
    cc.m_amountString = bmp("12.50");
    cc.IncludeOptionalField(H225_CallCreditServiceControl::e_callDurationLimit);
    cc.m_callDurationLimit = 600;
    s.m_reason.SetTag(H225_ServiceControlSession_reason::e_open);
    return s;
}

void add_ras(std::vector<CatalogEntry> &c, const char *name, const H225_RasMessage &m,
             std::vector<std::string> expect)
{
    c.push_back({CatalogEntry::Ras, name, per(m), std::move(expect)});
}

void ras_messages(std::vector<CatalogEntry> &c)
{
    {
        H225_RasMessage m;
        auto &grq = m.gatekeeperRequest();
        grq.m_requestSeqNum = 1;
        grq.m_protocolIdentifier = H225ProtocolIdentifier();
        grq.m_rasAddress = MakeTransportAddress(kPhoneRas);
        grq.m_endpointType = terminal_type();
        grq.IncludeOptionalField(H225_GatekeeperRequest::e_endpointAlias);
        grq.m_endpointAlias.push_back(MakeAlias("alice"));
        grq.IncludeOptionalField(H225_GatekeeperRequest::e_supportsAltGK);
        grq.IncludeOptionalField(H225_GatekeeperRequest::e_supportsAssignedGK);
        grq.m_supportsAssignedGK = false;
        add_ras(c, "GRQ", m,
                {"gatekeeperRequest", "requestSeqNum: 1", "protocolIdentifier: 0.0.8.2250.0.4",
                 "ip: 192.0.2.10", "port: 5001", "h323-ID: alice", "productId: Kestrelin",
                 "versionId: 1.0.1", "supportsAltGK: NULL"});
    }
    {
        H225_RasMessage m;
        auto &gcf = m.gatekeeperConfirm();
        gcf.m_requestSeqNum = 1;
        gcf.m_protocolIdentifier = H225ProtocolIdentifier();
        gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_gatekeeperIdentifier);
        gcf.m_gatekeeperIdentifier = bmp("ServiceGK");
        gcf.m_rasAddress = MakeTransportAddress(kGk);
        gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_alternateGatekeeper);
        gcf.m_alternateGatekeeper.push_back(alternate_gk());
        add_ras(c, "GCF with alternate gatekeeper", m,
                {"gatekeeperConfirm", "gatekeeperIdentifier: ServiceGK", "ip: 198.51.100.1",
                 "port: 19900", "ip: 198.51.100.2", "gatekeeperIdentifier: BackupGK",
                 "needToRegister: True", "priority: 1"});
    }
    {
        H225_RasMessage m;
        auto &grj = m.gatekeeperReject();
        grj.m_requestSeqNum = 1;
        grj.m_protocolIdentifier = H225ProtocolIdentifier();
        grj.m_rejectReason.SetTag(H225_GatekeeperRejectReason::e_terminalExcluded);
        add_ras(c, "GRJ", m, {"gatekeeperReject", "rejectReason: terminalExcluded"});
    }
    auto full_rrq = [] {
        H225_RasMessage m;
        auto &rrq = m.registrationRequest();
        rrq.m_requestSeqNum = 2;
        rrq.m_protocolIdentifier = H225ProtocolIdentifier();
        rrq.m_discoveryComplete = true;
        rrq.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
        rrq.m_rasAddress.push_back(MakeTransportAddress(kPhoneRas));
        rrq.m_terminalType = terminal_type();
        rrq.IncludeOptionalField(RRQ::e_terminalAlias);
        rrq.m_terminalAlias.push_back(MakeAlias("8613800138000"));
        rrq.IncludeOptionalField(RRQ::e_gatekeeperIdentifier);
        rrq.m_gatekeeperIdentifier = bmp("ServiceGK");
        rrq.m_endpointVendor = MakeVendorIdentifier(9, 0, 61, "Kestrelin", "1.0.1");
        rrq.IncludeOptionalField(RRQ::e_timeToLive);
        rrq.m_timeToLive = 60;
        rrq.IncludeOptionalField(RRQ::e_tokens);
        rrq.m_tokens.push_back(h235::MakeCatToken("8613800138000", "secret", 1700000000, 7));
        rrq.IncludeOptionalField(RRQ::e_cryptoTokens);
        rrq.m_cryptoTokens.push_back(
            h235::MakePasswordHashToken("8613800138000", "secret", 1700000000));
        rrq.IncludeOptionalField(RRQ::e_keepAlive);
        rrq.m_keepAlive = false;
        rrq.IncludeOptionalField(RRQ::e_willSupplyUUIEs);
        rrq.m_willSupplyUUIEs = true;
        rrq.IncludeOptionalField(RRQ::e_maintainConnection);
        rrq.m_maintainConnection = false;
        rrq.IncludeOptionalField(RRQ::e_supportsAltGK);
        rrq.IncludeOptionalField(RRQ::e_usageReportingCapability);
        rrq.m_usageReportingCapability.IncludeOptionalField(H225_RasUsageInfoTypes::e_startTime);
        rrq.m_usageReportingCapability.IncludeOptionalField(H225_RasUsageInfoTypes::e_endTime);
        rrq.IncludeOptionalField(RRQ::e_multipleCalls);
        rrq.m_multipleCalls = false;
        return m;
    };
    add_ras(c, "RRQ with H.235 tokens", full_rrq(),
            {"registrationRequest", "requestSeqNum: 2", "discoveryComplete: True",
             "ip: 192.0.2.10", "port: 1991", "dialledDigits: 8613800138000",
             "gatekeeperIdentifier: ServiceGK", "timeToLive: 60", "keepAlive: False",
             "willSupplyUUIEs: True", "tokenOID: 1.2.840.113548.10.1.2.1",
             "timeStamp: Nov 14, 2023 22:13:20", "random: 7",
             "cryptoEPPwdHash", "algorithmOID: 1.2.840.113549.2.5", "supportsAltGK: NULL"});
    {
        H225_RasMessage m;
        auto &rrq = m.registrationRequest();
        rrq.m_requestSeqNum = 3;
        rrq.m_protocolIdentifier = H225ProtocolIdentifier();
        rrq.m_discoveryComplete = false;
        rrq.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
        rrq.m_rasAddress.push_back(MakeTransportAddress(kPhoneRas));
        rrq.m_terminalType = terminal_type();
        rrq.m_endpointVendor = MakeVendorIdentifier(9, 0, 61, "", "");
        rrq.IncludeOptionalField(RRQ::e_timeToLive);
        rrq.m_timeToLive = 55;
        rrq.IncludeOptionalField(RRQ::e_keepAlive);
        rrq.m_keepAlive = true;
        rrq.IncludeOptionalField(RRQ::e_endpointIdentifier);
        rrq.m_endpointIdentifier = bmp("EP0042");
        rrq.IncludeOptionalField(RRQ::e_gatekeeperIdentifier);
        rrq.m_gatekeeperIdentifier = bmp("ServiceGK");
        rrq.IncludeOptionalField(RRQ::e_willSupplyUUIEs);
        rrq.m_willSupplyUUIEs = true;
        rrq.IncludeOptionalField(RRQ::e_maintainConnection);
        rrq.m_maintainConnection = false;
        add_ras(c, "lightweight RRQ", m,
                {"registrationRequest", "requestSeqNum: 3", "keepAlive: True",
                 "endpointIdentifier: EP0042", "timeToLive: 55"});
    }
    {
        H225_RasMessage m;
        auto &rcf = m.registrationConfirm();
        rcf.m_requestSeqNum = 2;
        rcf.m_protocolIdentifier = H225ProtocolIdentifier();
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_nonStandardData);
        rcf.m_nonStandardData =
            MakeNonStandardParameter(9, 0, 61, "NAT=203.0.113.9:1720;h323-credit-amount=12.50;");
        rcf.m_callSignalAddress.push_back(MakeTransportAddress(kPeer));
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_gatekeeperIdentifier);
        rcf.m_gatekeeperIdentifier = bmp("ServiceGK");
        rcf.m_endpointIdentifier = bmp("EP0042");
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_alternateGatekeeper);
        rcf.m_alternateGatekeeper.push_back(alternate_gk());
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_timeToLive);
        rcf.m_timeToLive = 60;
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_willRespondToIRR);
        rcf.m_willRespondToIRR = false;
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_preGrantedARQ);
        rcf.m_preGrantedARQ.m_makeCall = true;
        rcf.m_preGrantedARQ.m_answerCall = true;
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_maintainConnection);
        rcf.m_maintainConnection = false;
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_serviceControl);
        rcf.m_serviceControl.push_back(credit_control());
        add_ras(c, "RCF with non-standard data and service control", m,
                {"registrationConfirm", "endpointIdentifier: EP0042", "ip: 203.0.113.5",
                 "port: 1720", "timeToLive: 60", "priority: 1", "makeCall: True",
                 "sessionId: 3", "amountString: 12.50", "callDurationLimit: 600",
                 "t35CountryCode: Australia (9)", "manufacturerCode: 61"});
    }
    {
        H225_RasMessage m;
        auto &rrj = m.registrationReject();
        rrj.m_requestSeqNum = 2;
        rrj.m_protocolIdentifier = H225ProtocolIdentifier();
        rrj.m_rejectReason.SetTag(H225_RegistrationRejectReason::e_duplicateAlias);
        rrj.IncludeOptionalField(H225_RegistrationReject::e_gatekeeperIdentifier);
        rrj.m_gatekeeperIdentifier = bmp("ServiceGK");
        add_ras(c, "RRJ duplicate alias", m, {"registrationReject", "rejectReason: duplicateAlias"});
    }
    {
        H225_RasMessage m;
        auto &rrj = m.registrationReject();
        rrj.m_requestSeqNum = 3;
        rrj.m_protocolIdentifier = H225ProtocolIdentifier();
        rrj.m_rejectReason.SetTag(H225_RegistrationRejectReason::e_fullRegistrationRequired);
        add_ras(c, "RRJ full registration required", m,
                {"registrationReject", "rejectReason: fullRegistrationRequired"});
    }
    {
        H225_RasMessage m;
        auto &urq = m.unregistrationRequest();
        urq.m_requestSeqNum = 4;
        urq.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointAlias);
        urq.m_endpointAlias.push_back(MakeAlias("alice"));
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointIdentifier);
        urq.m_endpointIdentifier = bmp("EP0042");
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_gatekeeperIdentifier);
        urq.m_gatekeeperIdentifier = bmp("ServiceGK");
        add_ras(c, "URQ from the endpoint", m,
                {"unregistrationRequest", "requestSeqNum: 4", "h323-ID: alice",
                 "endpointIdentifier: EP0042"});
    }
    {
        H225_RasMessage m;
        auto &urq = m.unregistrationRequest();
        urq.m_requestSeqNum = 900;
        urq.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointIdentifier);
        urq.m_endpointIdentifier = bmp("EP0042");
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_reason);
        urq.m_reason.SetTag(H225_UnregRequestReason::e_maintenance);
        add_ras(c, "URQ from the gatekeeper", m,
                {"unregistrationRequest", "requestSeqNum: 900", "reason: maintenance"});
    }
    {
        H225_RasMessage m;
        m.unregistrationConfirm().m_requestSeqNum = 900;
        add_ras(c, "UCF", m, {"unregistrationConfirm", "requestSeqNum: 900"});
    }
    {
        H225_RasMessage m;
        auto &urj = m.unregistrationReject();
        urj.m_requestSeqNum = 4;
        urj.m_rejectReason.SetTag(H225_UnregRejectReason::e_notCurrentlyRegistered);
        add_ras(c, "URJ", m, {"unregistrationReject", "rejectReason: notCurrentlyRegistered"});
    }
    {
        H225_RasMessage m;
        auto &arq = m.admissionRequest();
        arq.m_requestSeqNum = 5;
        arq.m_callType.SetTag(H225_CallType::e_pointToPoint);
        arq.IncludeOptionalField(H225_AdmissionRequest::e_callModel);
        arq.m_callModel.SetTag(H225_CallModel::e_direct);
        arq.m_endpointIdentifier = bmp("EP0042");
        arq.IncludeOptionalField(H225_AdmissionRequest::e_destinationInfo);
        arq.m_destinationInfo.push_back(MakeAlias("4930123456"));
        arq.m_srcInfo.push_back(MakeAlias("8613800138000"));
        arq.IncludeOptionalField(H225_AdmissionRequest::e_srcCallSignalAddress);
        arq.m_srcCallSignalAddress = MakeTransportAddress(kPhone);
        arq.m_bandWidth = 30000;
        arq.m_callReferenceValue = 4711;
        arq.m_conferenceID = MakeConferenceIdentifier(kConfId);
        arq.m_activeMC = false;
        arq.m_answerCall = false;
        arq.IncludeOptionalField(H225_AdmissionRequest::e_canMapAlias);
        arq.m_canMapAlias = true;
        arq.IncludeOptionalField(H225_AdmissionRequest::e_callIdentifier);
        arq.m_callIdentifier = MakeCallIdentifier(kCallId);
        arq.IncludeOptionalField(H225_AdmissionRequest::e_gatekeeperIdentifier);
        arq.m_gatekeeperIdentifier = bmp("ServiceGK");
        arq.IncludeOptionalField(H225_AdmissionRequest::e_willSupplyUUIEs);
        arq.m_willSupplyUUIEs = true;
        add_ras(c, "ARQ", m,
                {"admissionRequest", "requestSeqNum: 5", "callType: pointToPoint",
                 "callModel: direct", "dialledDigits: 4930123456", "bandWidth: 30000",
                 "callReferenceValue: 4711", "conferenceID: 01020304-0506-4708-890a-0b0c0d0e0f10",
                 "guid: 11223344-5566-4788-99aa-bbccddeeff01", "answerCall: False",
                 "canMapAlias: True"});
    }
    {
        H225_RasMessage m;
        auto &acf = m.admissionConfirm();
        acf.m_requestSeqNum = 5;
        acf.m_bandWidth = 30000;
        acf.m_callModel.SetTag(H225_CallModel::e_gatekeeperRouted);
        acf.m_destCallSignalAddress = MakeTransportAddress(kPeer);
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_nonStandardData);
        acf.m_nonStandardData =
            MakeNonStandardParameter(9, 0, 61, "h323-credit-amount=12.50;h323-credit-time=600;");
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_willRespondToIRR);
        acf.m_willRespondToIRR = false;
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_uuiesRequested);
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_serviceControl);
        acf.m_serviceControl.push_back(credit_control());
        add_ras(c, "ACF", m,
                {"admissionConfirm", "callModel: gatekeeperRouted", "ip: 203.0.113.5",
                 "port: 1720", "amountString: 12.50"});
    }
    {
        H225_RasMessage m;
        auto &arj = m.admissionReject();
        arj.m_requestSeqNum = 5;
        arj.m_rejectReason.SetTag(H225_AdmissionRejectReason::e_invalidPermission);
        add_ras(c, "ARJ", m, {"admissionReject", "rejectReason: invalidPermission"});
    }
    {
        H225_RasMessage m;
        auto &drq = m.disengageRequest();
        drq.m_requestSeqNum = 6;
        drq.m_endpointIdentifier = bmp("EP0042");
        drq.m_conferenceID = MakeConferenceIdentifier(kConfId);
        drq.m_callReferenceValue = 4711;
        drq.m_disengageReason.SetTag(H225_DisengageReason::e_normalDrop);
        drq.IncludeOptionalField(H225_DisengageRequest::e_callIdentifier);
        drq.m_callIdentifier = MakeCallIdentifier(kCallId);
        drq.IncludeOptionalField(H225_DisengageRequest::e_answeredCall);
        drq.m_answeredCall = false;
        add_ras(c, "DRQ", m,
                {"disengageRequest", "disengageReason: normalDrop", "callReferenceValue: 4711"});
    }
    {
        H225_RasMessage m;
        m.disengageConfirm().m_requestSeqNum = 6;
        add_ras(c, "DCF", m, {"disengageConfirm", "requestSeqNum: 6"});
    }
    {
        H225_RasMessage m;
        auto &drj = m.disengageReject();
        drj.m_requestSeqNum = 6;
        drj.m_rejectReason.SetTag(H225_DisengageRejectReason::e_requestToDropOther);
        add_ras(c, "DRJ", m, {"disengageReject", "rejectReason: requestToDropOther"});
    }
    {
        H225_RasMessage m;
        auto &irq = m.infoRequest();
        irq.m_requestSeqNum = 7;
        irq.m_callReferenceValue = 0;
        irq.IncludeOptionalField(H225_InfoRequest::e_replyAddress);
        irq.m_replyAddress = MakeTransportAddress(kGk);
        add_ras(c, "IRQ", m, {"infoRequest", "requestSeqNum: 7", "ip: 198.51.100.1"});
    }
    {
        H225_RasMessage m;
        auto &irr = m.infoRequestResponse();
        irr.m_requestSeqNum = 7;
        irr.m_endpointType = terminal_type();
        irr.m_endpointIdentifier = bmp("EP0042");
        irr.m_rasAddress = MakeTransportAddress(kPhoneRas);
        irr.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
        irr.IncludeOptionalField(H225_InfoRequestResponse::e_endpointAlias);
        irr.m_endpointAlias.push_back(MakeAlias("alice"));
        irr.IncludeOptionalField(H225_InfoRequestResponse::e_perCallInfo);
        auto &pc = irr.m_perCallInfo.emplace_back();
        pc.m_callReferenceValue = 4711;
        pc.m_conferenceID = MakeConferenceIdentifier(kConfId);
        pc.m_h245.m_recvAddress = MakeTransportAddress(kPhone);
        pc.m_callSignaling.m_recvAddress = MakeTransportAddress(kPhone);
        pc.m_callType.SetTag(H225_CallType::e_pointToPoint);
        pc.m_bandWidth = 640;
        pc.m_callModel.SetTag(H225_CallModel::e_direct);
        pc.IncludeOptionalField(H225_InfoRequestResponse_perCallInfo_subtype::e_callIdentifier);
        pc.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_ras(c, "IRR", m,
                {"infoRequestResponse", "endpointIdentifier: EP0042", "callReferenceValue: 4711",
                 "bandWidth: 640"});
    }
    {
        H225_RasMessage m;
        auto &brq = m.bandwidthRequest();
        brq.m_requestSeqNum = 8;
        brq.m_endpointIdentifier = bmp("EP0042");
        brq.m_conferenceID = MakeConferenceIdentifier(kConfId);
        brq.m_callReferenceValue = 4711;
        brq.m_bandWidth = 1280;
        add_ras(c, "BRQ", m, {"bandwidthRequest", "bandWidth: 1280"});
    }
    {
        H225_RasMessage m;
        auto &bcf = m.bandwidthConfirm();
        bcf.m_requestSeqNum = 8;
        bcf.m_bandWidth = 1280;
        add_ras(c, "BCF", m, {"bandwidthConfirm", "bandWidth: 1280"});
    }
    {
        H225_RasMessage m;
        auto &rip = m.requestInProgress();
        rip.m_requestSeqNum = 5;
        rip.m_delay = 4000;
        add_ras(c, "RIP", m, {"requestInProgress", "delay: 4000"});
    }
}

/** An OpenLogicalChannel proposal for fast start or H.245: audio or video, RTP over UDP. */
H245_OpenLogicalChannel olc(unsigned number, unsigned session, unsigned tag, bool reverse)
{
    H245_OpenLogicalChannel o;
    o.m_forwardLogicalChannelNumber = number;
    auto &fwd = o.m_forwardLogicalChannelParameters;
    auto &audio = reverse ? o.m_reverseLogicalChannelParameters.m_dataType.audioData()
                          : fwd.m_dataType.audioData();
    if (reverse) {
        fwd.m_dataType.SetTag(H245_DataType::e_nullData);
        fwd.m_multiplexParameters.SetTag(
            H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::e_none);
        o.IncludeOptionalField(H245_OpenLogicalChannel::e_reverseLogicalChannelParameters);
        auto &rev = o.m_reverseLogicalChannelParameters;
        rev.IncludeOptionalField(
            H245_OpenLogicalChannel_reverseLogicalChannelParameters::e_multiplexParameters);
        auto &h = rev.m_multiplexParameters.h2250LogicalChannelParameters();
        h.m_sessionID = session;
        h.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaChannel);
        auto &ip = h.m_mediaChannel.unicastAddress().iPAddress();
        ip.m_network = {192, 0, 2, 10};
        ip.m_tsapIdentifier = 5000;
        h.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaControlChannel);
        auto &rtcp = h.m_mediaControlChannel.unicastAddress().iPAddress();
        rtcp.m_network = {192, 0, 2, 10};
        rtcp.m_tsapIdentifier = 5001;
    } else {
        auto &h = fwd.m_multiplexParameters.h2250LogicalChannelParameters();
        h.m_sessionID = session;
        h.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaControlChannel);
        auto &rtcp = h.m_mediaControlChannel.unicastAddress().iPAddress();
        rtcp.m_network = {192, 0, 2, 10};
        rtcp.m_tsapIdentifier = 5001;
        h.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_silenceSuppression);
        h.m_silenceSuppression = false;
    }
    switch (tag) {
    case H245_AudioCapability::e_g711Alaw64k: audio.g711Alaw64k() = 20; break;
    case H245_AudioCapability::e_g711Ulaw64k: audio.g711Ulaw64k() = 20; break;
    case H245_AudioCapability::e_g7231: {
        auto &g = audio.g7231();
        g.m_maxAl_sduAudioFrames = 3;
        g.m_silenceSuppression = true;
        break;
    }
    case H245_AudioCapability::e_gsmFullRate: {
        auto &g = audio.gsmFullRate();
        g.m_audioUnitSize = 33;
        break;
    }
    }
    return o;
}

H245_MultimediaSystemControlMessage tcs()
{
    H245_MultimediaSystemControlMessage m;
    auto &t = m.request().terminalCapabilitySet();
    t.m_sequenceNumber = 1;
    t.m_protocolIdentifier = H245ProtocolIdentifier();
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_multiplexCapability);
    auto &h2250 = t.m_multiplexCapability.h2250Capability();
    h2250.m_maximumAudioDelayJitter = 60;
    h2250.m_receiveMultipointCapability.m_mediaDistributionCapability.emplace_back();
    h2250.m_transmitMultipointCapability.m_mediaDistributionCapability.emplace_back();
    h2250.m_receiveAndTransmitMultipointCapability.m_mediaDistributionCapability.emplace_back();
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityTable);
    auto entry = [&](unsigned n) -> H245_Capability & {
        auto &e = t.m_capabilityTable.emplace_back();
        e.m_capabilityTableEntryNumber = n;
        e.IncludeOptionalField(H245_CapabilityTableEntry::e_capability);
        return e.m_capability;
    };
    auto &g7231 = entry(1).receiveAudioCapability().g7231();
    g7231.m_maxAl_sduAudioFrames = 8;
    g7231.m_silenceSuppression = true;
    entry(2).receiveAudioCapability().g711Alaw64k() = 240;
    entry(3).receiveAudioCapability().g711Ulaw64k() = 240;
    auto &gsm = entry(4).receiveAudioCapability().gsmFullRate();
    gsm.m_audioUnitSize = 99;
    gsm.m_comfortNoise = false;
    gsm.m_scrambled = false;
    auto &h261 = entry(5).receiveVideoCapability().h261VideoCapability();
    h261.IncludeOptionalField(H245_H261VideoCapability::e_qcifMPI);
    h261.m_qcifMPI = 1;
    h261.IncludeOptionalField(H245_H261VideoCapability::e_cifMPI);
    h261.m_cifMPI = 1;
    h261.m_maxBitRate = 3840;
    auto &h263 = entry(6).receiveVideoCapability().h263VideoCapability();
    h263.IncludeOptionalField(H245_H263VideoCapability::e_qcifMPI);
    h263.m_qcifMPI = 1;
    h263.IncludeOptionalField(H245_H263VideoCapability::e_cifMPI);
    h263.m_cifMPI = 2;
    h263.m_maxBitRate = 1920;
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityDescriptors);
    auto &d = t.m_capabilityDescriptors.emplace_back();
    d.m_capabilityDescriptorNumber = 0;
    d.IncludeOptionalField(H245_CapabilityDescriptor::e_simultaneousCapabilities);
    auto &audio = d.m_simultaneousCapabilities.emplace_back();
    for (unsigned n : {1, 2, 3, 4})
        audio.push_back(n);
    auto &video = d.m_simultaneousCapabilities.emplace_back();
    video.push_back(5);
    video.push_back(6);
    return m;
}

void add_h245(std::vector<CatalogEntry> &c, const char *name,
              const H245_MultimediaSystemControlMessage &m, std::vector<std::string> expect)
{
    c.push_back({CatalogEntry::H245, name, per(m), std::move(expect)});
}

void h245_messages(std::vector<CatalogEntry> &c)
{
    {
        H245_MultimediaSystemControlMessage m;
        auto &msd = m.request().masterSlaveDetermination();
        msd.m_terminalType = 50;
        msd.m_statusDeterminationNumber = 8388607;
        add_h245(c, "MSD", m,
                 {"masterSlaveDetermination", "terminalType: 50",
                  "statusDeterminationNumber: 8388607"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.response().masterSlaveDeterminationAck().m_decision.SetTag(
            H245_MasterSlaveDeterminationAck_decision::e_slave);
        add_h245(c, "MSD Ack", m, {"masterSlaveDeterminationAck", "decision: slave"});
    }
    add_h245(c, "TCS", tcs(),
             {"terminalCapabilitySet", "sequenceNumber: 1", "protocolIdentifier: 0.0.8.245.0.7",
              "maximumAudioDelayJitter: 60", "maxAl-sduAudioFrames: 8", "g711Alaw64k: 240",
              "g711Ulaw64k: 240", "audioUnitSize: 99", "h261VideoCapability",
              "maxBitRate: 3840", "h263VideoCapability", "cifMPI: 2", "maxBitRate: 1920",
              "capabilityDescriptorNumber: 0", "capabilityTableEntryNumber: 6"});
    {
        H245_MultimediaSystemControlMessage m;
        m.response().terminalCapabilitySetAck().m_sequenceNumber = 1;
        add_h245(c, "TCS Ack", m, {"terminalCapabilitySetAck", "sequenceNumber: 1"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.request().openLogicalChannel() = olc(101, 1, H245_AudioCapability::e_g7231, false);
        add_h245(c, "OLC G.723.1", m,
                 {"openLogicalChannel", "forwardLogicalChannelNumber: 101", "sessionID: 1",
                  "maxAl-sduAudioFrames: 3", "network: 192.0.2.10", "tsapIdentifier: 5001"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        auto &ack = m.response().openLogicalChannelAck();
        ack.m_forwardLogicalChannelNumber = 101;
        ack.IncludeOptionalField(H245_OpenLogicalChannelAck::e_forwardMultiplexAckParameters);
        auto &p = ack.m_forwardMultiplexAckParameters.h2250LogicalChannelAckParameters();
        p.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_sessionID);
        p.m_sessionID = 1;
        p.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaChannel);
        auto &rtp = p.m_mediaChannel.unicastAddress().iPAddress();
        rtp.m_network = {203, 0, 113, 5};
        rtp.m_tsapIdentifier = 6000;
        p.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaControlChannel);
        auto &rtcp = p.m_mediaControlChannel.unicastAddress().iPAddress();
        rtcp.m_network = {203, 0, 113, 5};
        rtcp.m_tsapIdentifier = 6001;
        add_h245(c, "OLC Ack", m,
                 {"openLogicalChannelAck", "forwardLogicalChannelNumber: 101",
                  "network: 203.0.113.5", "tsapIdentifier: 6000", "tsapIdentifier: 6001"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        auto &rej = m.response().openLogicalChannelReject();
        rej.m_forwardLogicalChannelNumber = 102;
        rej.m_cause.SetTag(H245_OpenLogicalChannelReject_cause::e_dataTypeNotSupported);
        add_h245(c, "OLC Reject", m,
                 {"openLogicalChannelReject", "forwardLogicalChannelNumber: 102",
                  "dataTypeNotSupported"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        auto &clc = m.request().closeLogicalChannel();
        clc.m_forwardLogicalChannelNumber = 101;
        clc.m_source.SetTag(H245_CloseLogicalChannel_source::e_user);
        add_h245(c, "CLC", m,
                 {"closeLogicalChannel", "forwardLogicalChannelNumber: 101", "source: user"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.response().closeLogicalChannelAck().m_forwardLogicalChannelNumber = 101;
        add_h245(c, "CLC Ack", m, {"closeLogicalChannelAck", "forwardLogicalChannelNumber: 101"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.request().requestChannelClose().m_forwardLogicalChannelNumber = 201;
        add_h245(c, "RequestChannelClose", m,
                 {"requestChannelClose", "forwardLogicalChannelNumber: 201"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.response().requestChannelCloseAck().m_forwardLogicalChannelNumber = 201;
        add_h245(c, "RequestChannelClose Ack", m, {"requestChannelCloseAck"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.command().endSessionCommand().SetTag(H245_EndSessionCommand::e_disconnect);
        add_h245(c, "EndSessionCommand", m, {"endSessionCommand: disconnect"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.indication().userInput().alphanumeric() = "hello 123";
        add_h245(c, "UserInputIndication alphanumeric", m,
                 {"userInput", "alphanumeric: hello 123"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        auto &sig = m.indication().userInput().signal();
        sig.m_signalType = "#";
        sig.IncludeOptionalField(H245_UserInputIndication_signal::e_duration);
        sig.m_duration = 250;
        add_h245(c, "UserInputIndication signal", m,
                 {"userInput", "signalType: #", "duration: 250"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.request().roundTripDelayRequest().m_sequenceNumber = 9;
        add_h245(c, "RoundTripDelayRequest", m, {"roundTripDelayRequest", "sequenceNumber: 9"});
    }
    {
        H245_MultimediaSystemControlMessage m;
        m.response().roundTripDelayResponse().m_sequenceNumber = 9;
        add_h245(c, "RoundTripDelayResponse", m, {"roundTripDelayResponse", "sequenceNumber: 9"});
    }
}

/** A UUIE with the common header fields; body selects the message's alternative. */
H225_H323_UserInformation uuie(unsigned body)
{
    H225_H323_UserInformation u;
    u.m_h323_uu_pdu.m_h323_message_body.SetTag(body);
    return u;
}

void add_signal(std::vector<CatalogEntry> &c, const char *name, Q931 &q,
                const H225_H323_UserInformation &u, std::vector<std::string> expect)
{
    asn1::Result r = SetUserInformation(q, u);
    if (!r)
        throw std::runtime_error(std::string(name) + ": " + r.message());
    Bytes b;
    q.Encode(b);
    c.push_back({CatalogEntry::Signal, name, b, std::move(expect)});
}

using Body = H225_H323_UU_PDU_h323_message_body;

void tunnel(H225_H323_UserInformation &u, const H245_MultimediaSystemControlMessage *h245)
{
    auto &pdu = u.m_h323_uu_pdu;
    pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Tunneling);
    pdu.m_h245Tunneling = true;
    if (h245) {
        pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Control);
        pdu.m_h245Control.push_back(per(*h245));
    }
}

void signal_messages(std::vector<CatalogEntry> &c)
{
    const unsigned cr = 4711;
    {
        Q931 q;
        q.BuildSetup(cr);
        q.SetBearerCapabilities(Q931::TransferSpeech, 1);
        q.SetDisplayName("Alice");
        q.SetCallingPartyNumber("8613800138000", 1, 0, 0, 3);
        q.SetCalledPartyNumber("4930123456");
        auto u = uuie(Body::e_setup);
        auto &s = u.m_h323_uu_pdu.m_h323_message_body.setup();
        s.m_protocolIdentifier = H225ProtocolIdentifier();
        s.IncludeOptionalField(H225_Setup_UUIE::e_sourceAddress);
        s.m_sourceAddress.push_back(MakeAlias("8613800138000"));
        s.m_sourceInfo = terminal_type();
        s.IncludeOptionalField(H225_Setup_UUIE::e_destinationAddress);
        s.m_destinationAddress.push_back(MakeAlias("4930123456"));
        s.IncludeOptionalField(H225_Setup_UUIE::e_destCallSignalAddress);
        s.m_destCallSignalAddress = MakeTransportAddress(kPeer);
        s.m_activeMC = false;
        s.m_conferenceID = MakeConferenceIdentifier(kConfId);
        s.m_conferenceGoal.SetTag(H225_Setup_UUIE_conferenceGoal::e_create);
        s.m_callType.SetTag(H225_CallType::e_pointToPoint);
        s.IncludeOptionalField(H225_Setup_UUIE::e_sourceCallSignalAddress);
        s.m_sourceCallSignalAddress = MakeTransportAddress(kPhone);
        s.IncludeOptionalField(H225_Setup_UUIE::e_callIdentifier);
        s.m_callIdentifier = MakeCallIdentifier(kCallId);
        s.IncludeOptionalField(H225_Setup_UUIE::e_fastStart);
        s.m_fastStart.push_back(per(olc(1, 1, H245_AudioCapability::e_g7231, false)));
        s.m_fastStart.push_back(per(olc(2, 1, H245_AudioCapability::e_g7231, true)));
        s.m_fastStart.push_back(per(olc(3, 1, H245_AudioCapability::e_gsmFullRate, false)));
        s.m_fastStart.push_back(per(olc(4, 1, H245_AudioCapability::e_gsmFullRate, true)));
        s.IncludeOptionalField(H225_Setup_UUIE::e_mediaWaitForConnect);
        s.m_mediaWaitForConnect = false;
        s.IncludeOptionalField(H225_Setup_UUIE::e_canOverlapSend);
        s.m_canOverlapSend = false;
        s.IncludeOptionalField(H225_Setup_UUIE::e_multipleCalls);
        s.m_multipleCalls = false;
        s.IncludeOptionalField(H225_Setup_UUIE::e_maintainConnection);
        s.m_maintainConnection = false;
        auto t = tcs();
        tunnel(u, &t);
        add_signal(c, "Setup with fast start and tunnelled TCS", q, u,
                   {"Message type: SETUP (0x05)", "Call reference value: 1267",
                    "Information transfer capability: Speech (0x00)", "Display information: Alice",
                    "Calling party number digits: 8613800138000",
                    "Called party number digits: 4930123456", "setup",
                    "dialledDigits: 4930123456", "conferenceGoal: create",
                    "guid: 11223344-5566-4788-99aa-bbccddeeff01", "fastStart: 4 items",
                    "forwardLogicalChannelNumber: 4", "audioUnitSize: 33", "h245Tunnelling: True",
                    "terminalCapabilitySet", "mediaWaitForConnect: False"});
    }
    {
        Q931 q;
        q.BuildCallProceeding(cr);
        auto u = uuie(Body::e_callProceeding);
        auto &p = u.m_h323_uu_pdu.m_h323_message_body.callProceeding();
        p.m_protocolIdentifier = H225ProtocolIdentifier();
        p.m_destinationInfo = terminal_type();
        p.IncludeOptionalField(H225_CallProceeding_UUIE::e_callIdentifier);
        p.m_callIdentifier = MakeCallIdentifier(kCallId);
        p.IncludeOptionalField(H225_CallProceeding_UUIE::e_multipleCalls);
        p.IncludeOptionalField(H225_CallProceeding_UUIE::e_maintainConnection);
        tunnel(u, nullptr);
        add_signal(c, "Call Proceeding", q, u,
                   {"Message type: CALL PROCEEDING (0x02)", "Call reference flag: Message sent to originating side",
                    "callProceeding"});
    }
    {
        Q931 q;
        q.BuildAlerting(cr);
        q.SetProgressIndicator(Q931::ProgressInbandInformationAvailable);
        auto u = uuie(Body::e_alerting);
        auto &a = u.m_h323_uu_pdu.m_h323_message_body.alerting();
        a.m_protocolIdentifier = H225ProtocolIdentifier();
        a.m_destinationInfo = terminal_type();
        a.IncludeOptionalField(H225_Alerting_UUIE::e_callIdentifier);
        a.m_callIdentifier = MakeCallIdentifier(kCallId);
        a.IncludeOptionalField(H225_Alerting_UUIE::e_fastStart);
        a.m_fastStart.push_back(per(olc(1, 1, H245_AudioCapability::e_g7231, false)));
        a.IncludeOptionalField(H225_Alerting_UUIE::e_multipleCalls);
        a.IncludeOptionalField(H225_Alerting_UUIE::e_maintainConnection);
        tunnel(u, nullptr);
        add_signal(c, "Alerting with fast start answer", q, u,
                   {"Message type: ALERTING (0x01)",
                    "Progress description: In-band information or an appropriate pattern is now available (0x08)",
                    "alerting", "fastStart: 1 item"});
    }
    {
        Q931 q;
        q.BuildConnect(cr);
        q.SetDisplayName("Bob");
        auto u = uuie(Body::e_connect);
        auto &cn = u.m_h323_uu_pdu.m_h323_message_body.connect();
        cn.m_protocolIdentifier = H225ProtocolIdentifier();
        cn.IncludeOptionalField(H225_Connect_UUIE::e_h245Address);
        cn.m_h245Address = MakeTransportAddress({{203, 0, 113, 5}, 30000});
        cn.m_destinationInfo = terminal_type();
        cn.m_conferenceID = MakeConferenceIdentifier(kConfId);
        cn.IncludeOptionalField(H225_Connect_UUIE::e_callIdentifier);
        cn.m_callIdentifier = MakeCallIdentifier(kCallId);
        cn.IncludeOptionalField(H225_Connect_UUIE::e_multipleCalls);
        cn.IncludeOptionalField(H225_Connect_UUIE::e_maintainConnection);
        H245_MultimediaSystemControlMessage msd;
        msd.request().masterSlaveDetermination().m_terminalType = 50;
        tunnel(u, &msd);
        add_signal(c, "Connect with h245Address and tunnelled MSD", q, u,
                   {"Message type: CONNECT (0x07)", "Display information: Bob", "connect",
                    "port: 30000", "masterSlaveDetermination", "terminalType: 50"});
    }
    {
        Q931 q;
        q.BuildReleaseComplete(cr, false);
        q.SetCause(Q931::UserBusy);
        auto u = uuie(Body::e_releaseComplete);
        auto &rc = u.m_h323_uu_pdu.m_h323_message_body.releaseComplete();
        rc.m_protocolIdentifier = H225ProtocolIdentifier();
        rc.IncludeOptionalField(H225_ReleaseComplete_UUIE::e_reason);
        rc.m_reason.SetTag(H225_ReleaseCompleteReason::e_calledPartyNotRegistered);
        rc.IncludeOptionalField(H225_ReleaseComplete_UUIE::e_callIdentifier);
        rc.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_signal(c, "Release Complete", q, u,
                   {"Message type: RELEASE COMPLETE (0x5a)", "Cause value: User busy (17)",
                    "releaseComplete", "reason: calledPartyNotRegistered"});
    }
    {
        Q931 q;
        q.BuildFacility(cr, true);
        auto u = uuie(Body::e_facility);
        auto &f = u.m_h323_uu_pdu.m_h323_message_body.facility();
        f.m_protocolIdentifier = H225ProtocolIdentifier();
        f.IncludeOptionalField(H225_Facility_UUIE::e_alternativeAddress);
        f.m_alternativeAddress = MakeTransportAddress({{203, 0, 113, 77}, 1720});
        f.IncludeOptionalField(H225_Facility_UUIE::e_alternativeAliasAddress);
        f.m_alternativeAliasAddress.push_back(MakeAlias("4930999999"));
        f.m_reason.SetTag(H225_FacilityReason::e_callForwarded);
        f.IncludeOptionalField(H225_Facility_UUIE::e_callIdentifier);
        f.m_callIdentifier = MakeCallIdentifier(kCallId);
        f.IncludeOptionalField(H225_Facility_UUIE::e_multipleCalls);
        f.IncludeOptionalField(H225_Facility_UUIE::e_maintainConnection);
        add_signal(c, "Facility callForwarded", q, u,
                   {"Message type: FACILITY (0x62)", "facility", "reason: callForwarded",
                    "ip: 203.0.113.77", "dialledDigits: 4930999999"});
    }
    {
        Q931 q;
        q.BuildFacility(cr, false);
        auto u = uuie(Body::e_facility);
        auto &f = u.m_h323_uu_pdu.m_h323_message_body.facility();
        f.m_protocolIdentifier = H225ProtocolIdentifier();
        f.m_reason.SetTag(H225_FacilityReason::e_startH245);
        f.IncludeOptionalField(H225_Facility_UUIE::e_callIdentifier);
        f.m_callIdentifier = MakeCallIdentifier(kCallId);
        f.IncludeOptionalField(H225_Facility_UUIE::e_h245Address);
        f.m_h245Address = MakeTransportAddress({{192, 0, 2, 10}, 30001});
        f.IncludeOptionalField(H225_Facility_UUIE::e_multipleCalls);
        f.IncludeOptionalField(H225_Facility_UUIE::e_maintainConnection);
        add_signal(c, "Facility startH245", q, u,
                   {"Message type: FACILITY (0x62)", "reason: startH245", "port: 30001"});
    }
    {
        Q931 q;
        q.BuildFacility(cr, false);
        auto u = uuie(Body::e_empty);
        H245_MultimediaSystemControlMessage ui;
        ui.indication().userInput().alphanumeric() = "hi";
        tunnel(u, &ui);
        add_signal(c, "Facility with empty body and tunnelled UII", q, u,
                   {"Message type: FACILITY (0x62)", "h323-message-body: empty",
                    "alphanumeric: hi"});
    }
    {
        Q931 q;
        q.BuildInformation(0, false);
        q.SetKeypad("5");
        q.SetCallState(Q931::CallState_IncomingCallProceeding);
        auto u = uuie(Body::e_information);
        auto &i = u.m_h323_uu_pdu.m_h323_message_body.information();
        i.m_protocolIdentifier = H225ProtocolIdentifier();
        i.IncludeOptionalField(H225_Information_UUIE::e_callIdentifier);
        i.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_signal(c, "Information with keypad", q, u,
                   {"Message type: INFORMATION (0x7b)", "Keypad facility: 5",
                    "Call state: Incoming call proceeding (0x09)", "information"});
    }
    {
        Q931 q;
        q.BuildProgress(cr, true);
        q.SetProgressIndicator(Q931::ProgressInbandInformationAvailable);
        auto u = uuie(Body::e_progress);
        auto &p = u.m_h323_uu_pdu.m_h323_message_body.progress();
        p.m_protocolIdentifier = H225ProtocolIdentifier();
        p.m_destinationInfo = terminal_type();
        p.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_signal(c, "Progress", q, u, {"Message type: PROGRESS (0x03)", "progress"});
    }
    {
        Q931 q;
        q.BuildStatus(cr, true);
        q.SetCause(Q931::NormalUnspecified);
        q.SetCallState(Q931::CallState_Active);
        auto u = uuie(Body::e_status);
        auto &s = u.m_h323_uu_pdu.m_h323_message_body.status();
        s.m_protocolIdentifier = H225ProtocolIdentifier();
        s.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_signal(c, "Status", q, u,
                   {"Message type: STATUS (0x7d)", "Call state: Active (0x0a)", "status"});
    }
    {
        Q931 q;
        q.BuildNotify(cr, true);
        q.SetNotificationIndicator(0x71);
        q.SetRedirectingNumber("4930123456", 1, 0, 0, 3, 1);
        auto u = uuie(Body::e_notify);
        auto &n = u.m_h323_uu_pdu.m_h323_message_body.notify();
        n.m_protocolIdentifier = H225ProtocolIdentifier();
        n.m_callIdentifier = MakeCallIdentifier(kCallId);
        add_signal(c, "Notify", q, u,
                   {"Message type: NOTIFY (0x6e)", "Redirecting party number digits: 4930123456",
                    "notify"});
    }
}

} // namespace

const std::vector<CatalogEntry> &message_catalog()
{
    static const std::vector<CatalogEntry> catalog = [] {
        std::vector<CatalogEntry> c;
        ras_messages(c);
        signal_messages(c);
        h245_messages(c);
        return c;
    }();
    return catalog;
}

} // namespace h323test
