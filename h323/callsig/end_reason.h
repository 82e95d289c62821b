// Call end reasons and their mapping to and from Q.931 causes and H.225.0 release reasons.
#pragma once

#include <h323/q931/q931.h>

class H225_ReleaseCompleteReason;

/// The end reasons of a call, as a mix-in so that H323Connection::EndedByLocalUser works.
struct H323CallEndReasons {
    enum CallEndReason {
        EndedByLocalUser,         ///< local ClearCall
        EndedByNoAccept,          ///< OnIncomingCall refused the call
        EndedByAnswerDenied,      ///< the local user refused to answer
        EndedByRemoteUser,        ///< the remote party released an established call
        EndedByRefusal,           ///< the remote party refused the call
        EndedByNoAnswer,          ///< the remote party did not answer in time
        EndedByCallerAbort,       ///< the caller gave up before the local answer
        EndedByTransportFail,     ///< the signalling channel failed or closed
        EndedByConnectFail,       ///< the signalling connection could not be made
        EndedByGatekeeper,        ///< the gatekeeper cleared the call or refused admission
        EndedByNoUser,            ///< no such user
        EndedByNoBandwidth,       ///< not enough bandwidth
        EndedByCapabilityExchange,///< no common codec (no media in time after connecting)
        EndedByCallForwarded,     ///< the call was forwarded
        EndedBySecurityDenial,    ///< security check failed
        EndedByLocalBusy,         ///< the local side is busy
        EndedByLocalCongestion,   ///< the local side is congested
        EndedByRemoteBusy,        ///< the remote party is busy
        EndedByRemoteCongestion,  ///< the remote side is congested
        EndedByUnreachable,       ///< the remote party cannot be reached
        EndedByNoEndPoint,        ///< nothing listens at the remote address
        EndedByHostOffline,       ///< the remote host does not answer
        EndedByTemporaryFailure,  ///< the remote side failed temporarily
        EndedByQ931Cause,         ///< another Q.931 cause
        EndedByDurationLimit,     ///< the call lasted its limit
        EndedByInvalidConferenceID, ///< the conference identifier did not match
        NumCallEndReasons
    };

    /// The reason's name for logs and the command-line tools ("EndedByLocalUser").
    static const char *GetCallEndReasonName(CallEndReason reason);
};

namespace h323 {

/// What a Release Complete carries for an end reason: a Q.931 cause, or (cause
/// ErrorInCauseIE) no Cause element and the H.225.0 reason of tag releaseReason.
struct ReleaseCause {
    Q931::CauseValues cause = Q931::ErrorInCauseIE;
    int releaseReason = -1; ///< H225_ReleaseCompleteReason tag, -1 for none
};

/// The Release Complete to send for a local end reason.
ReleaseCause ReleaseCauseFor(H323CallEndReasons::CallEndReason reason);

/// The end reason for a received Release Complete: its cause (ErrorInCauseIE when absent),
/// its UUIE reason (nullptr when absent), and whether the call was established.
H323CallEndReasons::CallEndReason EndReasonFromRelease(Q931::CauseValues cause,
                                                       const H225_ReleaseCompleteReason *reason,
                                                       bool established);

/// The end reason for a failed TCP connect with this errno.
H323CallEndReasons::CallEndReason EndReasonFromConnectErrno(int error);

} // namespace h323

namespace h323 {
/// The end reason for an AdmissionReject reason (H225_AdmissionRejectReason tag).
H323CallEndReasons::CallEndReason EndReasonFromAdmissionReject(unsigned tag);
} // namespace h323
