// H323SignalPDU: building, encoding and decoding the H.225.0 call-signalling messages.
#include <h323/callsig/signal_pdu.h>

#include <h323/asn1/per.h>
#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/signal.h>
#include <h323/transports/transport.h>

#include <pwlib/ptrace.h>

using Body = H225_H323_UU_PDU_h323_message_body;

H323SignalPDU::H323SignalPDU() = default;

void H323SignalPDU::BuildQ931(Q931::MsgTypes type, const H323Connection &connection)
{
    q931pdu.BuildMessage(type, connection.GetCallReference(), !connection.IsOriginating());
    m_h323_uu_pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Tunneling);
    m_h323_uu_pdu.m_h245Tunneling = bool(connection.IsH245Tunneling());
}

namespace {

template <class UUIE> void SetCommon(UUIE &uuie, const H323Connection &connection)
{
    uuie.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    if constexpr (requires { UUIE::e_callIdentifier; })
        uuie.IncludeOptionalField(UUIE::e_callIdentifier);
    uuie.m_callIdentifier = h323::MakeCallIdentifier(connection.GetCallIdentifier());
}

template <class UUIE> void SetV4Flags(UUIE &uuie)
{
    uuie.IncludeOptionalField(UUIE::e_multipleCalls);
    uuie.m_multipleCalls = false;
    uuie.IncludeOptionalField(UUIE::e_maintainConnection);
    uuie.m_maintainConnection = false;
}

} // namespace

H225_Setup_UUIE &H323SignalPDU::BuildSetup(const H323Connection &connection,
                                           const H323TransportAddress &destAddr)
{
    BuildQ931(Q931::SetupMsg, connection);
    H225_Setup_UUIE &setup = m_h323_uu_pdu.m_h323_message_body.setup();
    SetCommon(setup, connection);
    SetV4Flags(setup);
    H323EndPoint &ep = connection.GetEndPoint();
    for (const PString &alias : connection.GetLocalAliasNames())
        if (!alias.IsEmpty())
            setup.m_sourceAddress.push_back(h323::MakeAlias(alias.GetText()));
    if (setup.m_sourceAddress.size() > 0)
        setup.IncludeOptionalField(H225_Setup_UUIE::e_sourceAddress);
    ep.SetEndpointTypeInfo(setup.m_sourceInfo);
    for (const PString &alias : connection.GetRemotePartyAliases())
        if (!alias.IsEmpty())
            setup.m_destinationAddress.push_back(h323::MakeAlias(alias.GetText()));
    if (setup.m_destinationAddress.size() > 0)
        setup.IncludeOptionalField(H225_Setup_UUIE::e_destinationAddress);
    if (!destAddr.IsEmpty() && destAddr.SetPDU(setup.m_destCallSignalAddress))
        setup.IncludeOptionalField(H225_Setup_UUIE::e_destCallSignalAddress);
    setup.m_activeMC = false;
    setup.m_conferenceID = h323::MakeConferenceIdentifier(connection.GetConferenceIdentifier());
    setup.m_conferenceGoal.SetTag(H225_Setup_UUIE_conferenceGoal::e_create);
    setup.m_callType.SetTag(H225_CallType::e_pointToPoint);
    setup.IncludeOptionalField(H225_Setup_UUIE::e_mediaWaitForConnect);
    setup.m_mediaWaitForConnect = false;
    setup.IncludeOptionalField(H225_Setup_UUIE::e_canOverlapSend);
    setup.m_canOverlapSend = false;

    q931pdu.SetBearerCapabilities(Q931::TransferSpeech, 1);
    PString name = connection.GetLocalPartyName();
    if (!name.IsEmpty())
        q931pdu.SetDisplayName(name.GetText());
    const PString &local = ep.GetLocalUserName();
    if (h323::IsDialedDigits(local.GetText()))
        q931pdu.SetCallingPartyNumber(local.GetText());
    for (const PString &alias : connection.GetRemotePartyAliases())
        if (h323::IsDialedDigits(alias.GetText())) {
            q931pdu.SetCalledPartyNumber(alias.GetText());
            break;
        }
    return setup;
}

H225_CallProceeding_UUIE &H323SignalPDU::BuildCallProceeding(const H323Connection &connection)
{
    BuildQ931(Q931::CallProceedingMsg, connection);
    H225_CallProceeding_UUIE &proceeding = m_h323_uu_pdu.m_h323_message_body.callProceeding();
    SetCommon(proceeding, connection);
    SetV4Flags(proceeding);
    connection.GetEndPoint().SetEndpointTypeInfo(proceeding.m_destinationInfo);
    return proceeding;
}

H225_Alerting_UUIE &H323SignalPDU::BuildAlerting(const H323Connection &connection)
{
    BuildQ931(Q931::AlertingMsg, connection);
    H225_Alerting_UUIE &alerting = m_h323_uu_pdu.m_h323_message_body.alerting();
    SetCommon(alerting, connection);
    SetV4Flags(alerting);
    connection.GetEndPoint().SetEndpointTypeInfo(alerting.m_destinationInfo);
    return alerting;
}

H225_Connect_UUIE &H323SignalPDU::BuildConnect(const H323Connection &connection)
{
    BuildQ931(Q931::ConnectMsg, connection);
    H225_Connect_UUIE &connect = m_h323_uu_pdu.m_h323_message_body.connect();
    SetCommon(connect, connection);
    SetV4Flags(connect);
    connection.GetEndPoint().SetEndpointTypeInfo(connect.m_destinationInfo);
    connect.m_conferenceID = h323::MakeConferenceIdentifier(connection.GetConferenceIdentifier());
    PString name = connection.GetLocalPartyName();
    if (!name.IsEmpty())
        q931pdu.SetDisplayName(name.GetText());
    return connect;
}

H225_ReleaseComplete_UUIE &H323SignalPDU::BuildReleaseComplete(const H323Connection &connection)
{
    BuildQ931(Q931::ReleaseCompleteMsg, connection);
    H225_ReleaseComplete_UUIE &release = m_h323_uu_pdu.m_h323_message_body.releaseComplete();
    SetCommon(release, connection);
    h323::ReleaseCause rc = h323::ReleaseCauseFor(connection.GetCallEndReason());
    if (rc.releaseReason >= 0) {
        release.IncludeOptionalField(H225_ReleaseComplete_UUIE::e_reason);
        release.m_reason.SetTag(unsigned(rc.releaseReason));
    } else {
        q931pdu.SetCause(rc.cause);
    }
    return release;
}

H225_Facility_UUIE *H323SignalPDU::BuildFacility(const H323Connection &connection, BOOL empty)
{
    BuildQ931(Q931::FacilityMsg, connection);
    if (empty) {
        m_h323_uu_pdu.m_h323_message_body.SetTag(Body::e_empty);
        return nullptr;
    }
    H225_Facility_UUIE &facility = m_h323_uu_pdu.m_h323_message_body.facility();
    facility.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    facility.IncludeOptionalField(H225_Facility_UUIE::e_conferenceID);
    facility.m_conferenceID = h323::MakeConferenceIdentifier(connection.GetConferenceIdentifier());
    facility.IncludeOptionalField(H225_Facility_UUIE::e_callIdentifier);
    facility.m_callIdentifier = h323::MakeCallIdentifier(connection.GetCallIdentifier());
    SetV4Flags(facility);
    return &facility;
}

H225_Information_UUIE &H323SignalPDU::BuildInformation(const H323Connection &connection)
{
    BuildQ931(Q931::InformationMsg, connection);
    H225_Information_UUIE &info = m_h323_uu_pdu.m_h323_message_body.information();
    SetCommon(info, connection);
    return info;
}

H225_Progress_UUIE &H323SignalPDU::BuildProgress(const H323Connection &connection)
{
    BuildQ931(Q931::ProgressMsg, connection);
    H225_Progress_UUIE &progress = m_h323_uu_pdu.m_h323_message_body.progress();
    SetCommon(progress, connection);
    connection.GetEndPoint().SetEndpointTypeInfo(progress.m_destinationInfo);
    return progress;
}

H225_Status_UUIE &H323SignalPDU::BuildStatus(const H323Connection &connection)
{
    BuildQ931(Q931::StatusMsg, connection);
    H225_Status_UUIE &status = m_h323_uu_pdu.m_h323_message_body.status();
    SetCommon(status, connection);
    q931pdu.SetCause(Q931::CauseValues(30)); // response to STATUS ENQUIRY
    q931pdu.SetCallState(connection.IsEstablished() ? Q931::CallState_Active
                                                    : Q931::CallState_IncomingCallProceeding);
    return status;
}

BOOL H323SignalPDU::Decode(const PBYTEArray &data)
{
    valid = FALSE;
    hasUserUser = FALSE;
    if (!q931pdu.Decode(data.GetPointer(), size_t(data.GetSize()))) {
        PTRACE(2, "H225\tQ.931 decode failed at octet " << q931pdu.GetDecodeErrorOffset());
        return FALSE;
    }
    if (!q931pdu.HasUserUser()) {
        *static_cast<H225_H323_UserInformation *>(this) = H225_H323_UserInformation();
        valid = TRUE;
        return TRUE;
    }
    asn1::Result r = h323::GetUserInformation(q931pdu, *this);
    if (!r) {
        PTRACE(2, "H225\tUUIE decode failed: " << r.message());
        return FALSE;
    }
    hasUserUser = TRUE;
    valid = TRUE;
    return TRUE;
}

BOOL H323SignalPDU::Read(H323Transport &transport)
{
    PBYTEArray data;
    if (!transport.ReadPDU(data))
        return FALSE;
    Decode(data);
    return TRUE;
}

BOOL H323SignalPDU::Encode(PBYTEArray &data)
{
    if (hasUserUser) {
        if (asn1::Result r = h323::SetUserInformation(q931pdu, *this); !r) {
            PTRACE(1, "H225\tcannot encode the UUIE: " << r.message());
            return FALSE;
        }
    }
    std::vector<uint8_t> bytes;
    if (!q931pdu.Encode(bytes))
        return FALSE;
    data = PBYTEArray(bytes.data(), PINDEX(bytes.size()));
    return TRUE;
}

BOOL H323SignalPDU::Write(H323Transport &transport)
{
    PBYTEArray data;
    if (!Encode(data)) {
        PTRACE(1, "H225\tcannot encode " << Q931::MessageName(q931pdu.GetMessageTypeValue()));
        return FALSE;
    }
    PTRACE(4, "H225\tsend " << Q931::MessageName(q931pdu.GetMessageTypeValue()));
    return transport.WritePDU(data);
}

PStringList H323SignalPDU::GetSourceAliases() const
{
    PStringList list;
    if (GetBodyTag() == Body::e_setup) {
        const H225_Setup_UUIE &setup = m_h323_uu_pdu.m_h323_message_body.setup();
        if (setup.HasOptionalField(H225_Setup_UUIE::e_sourceAddress))
            for (const H225_AliasAddress &a : setup.m_sourceAddress)
                list.AppendString(h323::AliasText(a));
    }
    return list;
}

PStringList H323SignalPDU::GetDestinationAliases() const
{
    PStringList list;
    if (GetBodyTag() == Body::e_setup) {
        const H225_Setup_UUIE &setup = m_h323_uu_pdu.m_h323_message_body.setup();
        if (setup.HasOptionalField(H225_Setup_UUIE::e_destinationAddress))
            for (const H225_AliasAddress &a : setup.m_destinationAddress)
                list.AppendString(h323::AliasText(a));
    }
    return list;
}
