// Call end reasons: names and the mappings to and from Release Complete causes and reasons.
#include <h323/callsig/end_reason.h>

#include <h323/asn1/gen/h225.h>

#include <cerrno>

using R = H323CallEndReasons;
using RR = H225_ReleaseCompleteReason;

const char *H323CallEndReasons::GetCallEndReasonName(CallEndReason reason)
{
    static const char *const names[] = {
        "EndedByLocalUser",        "EndedByNoAccept",          "EndedByAnswerDenied",
        "EndedByRemoteUser",       "EndedByRefusal",           "EndedByNoAnswer",
        "EndedByCallerAbort",      "EndedByTransportFail",     "EndedByConnectFail",
        "EndedByGatekeeper",       "EndedByNoUser",            "EndedByNoBandwidth",
        "EndedByCapabilityExchange", "EndedByCallForwarded",   "EndedBySecurityDenial",
        "EndedByLocalBusy",        "EndedByLocalCongestion",   "EndedByRemoteBusy",
        "EndedByRemoteCongestion", "EndedByUnreachable",       "EndedByNoEndPoint",
        "EndedByHostOffline",      "EndedByTemporaryFailure",  "EndedByQ931Cause",
        "EndedByDurationLimit",    "EndedByInvalidConferenceID",
    };
    return unsigned(reason) < sizeof(names) / sizeof(names[0]) ? names[reason]
                                                               : "EndedByUnknown";
}

namespace h323 {

ReleaseCause ReleaseCauseFor(H323CallEndReasons::CallEndReason reason)
{
    ReleaseCause rc;
    auto cause = [&rc](int c) { rc.cause = Q931::CauseValues(c); };
    auto why = [&rc](int r) { rc.releaseReason = r; };
    switch (reason) {
    case R::EndedByNoAccept: cause(Q931::UserBusy); break;
    case R::EndedByAnswerDenied: cause(Q931::CallRejected); break;
    case R::EndedByRefusal: why(RR::e_destinationRejection); break;
    case R::EndedByNoAnswer: cause(Q931::NoAnswer); break;
    case R::EndedByTransportFail: why(RR::e_undefinedReason); break;
    case R::EndedByConnectFail: why(RR::e_unreachableDestination); break;
    case R::EndedByGatekeeper: why(RR::e_gatekeeperResources); break;
    case R::EndedByNoUser: why(RR::e_calledPartyNotRegistered); break;
    case R::EndedByNoBandwidth: why(RR::e_noBandwidth); break;
    case R::EndedByCapabilityExchange: why(RR::e_undefinedReason); break;
    case R::EndedByCallForwarded: why(RR::e_facilityCallDeflection); break;
    case R::EndedBySecurityDenial: why(RR::e_securityDenied); break;
    case R::EndedByLocalBusy: cause(Q931::UserBusy); break;
    case R::EndedByLocalCongestion: cause(Q931::Congestion); break;
    case R::EndedByRemoteBusy: cause(Q931::UserBusy); break;
    case R::EndedByRemoteCongestion: cause(Q931::Congestion); break;
    case R::EndedByUnreachable: cause(Q931::NoRouteToDestination); break;
    case R::EndedByNoEndPoint: cause(81); break; // invalid call reference value
    case R::EndedByHostOffline: cause(Q931::NoResponse); break;
    case R::EndedByTemporaryFailure: cause(Q931::TemporaryFailure); break;
    case R::EndedByLocalUser:
    case R::EndedByRemoteUser:
    case R::EndedByCallerAbort:
    default: cause(Q931::NormalCallClearing); break;
    }
    return rc;
}

H323CallEndReasons::CallEndReason EndReasonFromRelease(Q931::CauseValues cause,
                                                       const H225_ReleaseCompleteReason *reason,
                                                       bool established)
{
    if (established)
        return R::EndedByRemoteUser;
    if (cause != Q931::ErrorInCauseIE) {
        switch (int(cause)) {
        case Q931::NormalCallClearing: return R::EndedByRemoteUser;
        case Q931::UserBusy: return R::EndedByRemoteBusy;
        case Q931::NoResponse: return R::EndedByHostOffline;
        case Q931::NoAnswer: return R::EndedByNoAnswer;
        case Q931::CallRejected: return R::EndedByRefusal;
        case Q931::Redirection: return R::EndedByCallForwarded;
        case Q931::UnallocatedNumber:
        case Q931::NoRouteToDestination:
        case Q931::SubscriberAbsent: return R::EndedByNoUser;
        case Q931::NoRouteToNetwork:
        case 6: // channel unacceptable
        case Q931::RequestedCircuitNotAvailable: return R::EndedByUnreachable;
        case Q931::DestinationOutOfOrder:
        case Q931::NoCircuitChannelAvailable: return R::EndedByConnectFail;
        case Q931::Congestion:
        case Q931::ResourceUnavailable: return R::EndedByRemoteCongestion;
        case Q931::TemporaryFailure: return R::EndedByTemporaryFailure;
        default: return R::EndedByQ931Cause;
        }
    }
    if (reason != nullptr) {
        switch (reason->GetTag()) {
        case RR::e_noBandwidth: return R::EndedByNoBandwidth;
        case RR::e_gatekeeperResources:
        case RR::e_gatewayResources:
        case RR::e_adaptiveBusy: return R::EndedByRemoteCongestion;
        case RR::e_unreachableDestination: return R::EndedByUnreachable;
        case RR::e_destinationRejection: return R::EndedByRefusal;
        case RR::e_calledPartyNotRegistered: return R::EndedByNoUser;
        case RR::e_facilityCallDeflection: return R::EndedByCallForwarded;
        case RR::e_securityDenied: return R::EndedBySecurityDenial;
        case RR::e_inConf: return R::EndedByRemoteBusy;
        default: return R::EndedByRefusal;
        }
    }
    return R::EndedByRefusal;
}

H323CallEndReasons::CallEndReason EndReasonFromConnectErrno(int error)
{
    switch (error) {
    case ECONNREFUSED: return R::EndedByNoEndPoint;
    case ETIMEDOUT: return R::EndedByHostOffline;
    case ENETUNREACH:
    case EHOSTUNREACH: return R::EndedByUnreachable;
    default: return R::EndedByConnectFail;
    }
}

} // namespace h323

namespace h323 {

H323CallEndReasons::CallEndReason EndReasonFromAdmissionReject(unsigned tag)
{
    switch (tag) {
    case H225_AdmissionRejectReason::e_calledPartyNotRegistered: return R::EndedByNoUser;
    case H225_AdmissionRejectReason::e_invalidPermission:
    case H225_AdmissionRejectReason::e_securityDenial: return R::EndedBySecurityDenial;
    case H225_AdmissionRejectReason::e_requestDenied: return R::EndedByNoBandwidth;
    case H225_AdmissionRejectReason::e_resourceUnavailable: return R::EndedByRemoteBusy;
    default: return R::EndedByGatekeeper;
    }
}

} // namespace h323
