// H323Gatekeeper: the RAS client of one gatekeeper (H.225.0 clause 7).
#pragma once

#include <h323/asn1/gen/h225.h>
#include <h323/transports/transport_address.h>

#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pstring.h>
#include <pwlib/pthread.h>

#include <atomic>
#include <map>
#include <memory>

class H323EndPoint;
class H323Transport;
class H323TransportUDP;

namespace h323 {
class RasChannel;
class H235Authenticators;
} // namespace h323

/// The gatekeeper client: discovery, registration with time-to-live keep-alive,
/// unregistration both ways, admission and disengage for calls, and the answers to the
/// gatekeeper's own requests.
///
/// A program may derive from it (through H323EndPoint::CreateGatekeeper) and override the
/// OnReceive handlers; each runs on the RAS receive thread, and an override does its own
/// work and returns the base handler's result. Requests (discovery, registration,
/// admission, ...) block the calling thread until the reply or the time-out.
class H323Gatekeeper : public PObject
{
    PCLASSINFO(H323Gatekeeper, PObject)
  public:
    enum RegistrationFailReasons {
        RegistrationSuccessful,
        UnregisteredLocally,
        UnregisteredByGatekeeper,
        GatekeeperLostRegistration,
        InvalidListener,
        DuplicateAlias,
        SecurityDenied,
        TransportError,
        NumRegistrationFailReasons,
        RegistrationRejectReasonMask = 0x8000
    };

    /// Time-outs and tries of the requests (defaults; SetRequestTimeouts changes them).
    static constexpr int DiscoveryTimeout = 5000; // ms, per try
    static constexpr int RequestTimeout = 3000;   // ms, per try
    static constexpr unsigned RequestTries = 2;
    /// The longest a registration goes without a keep-alive (also without a time-to-live):
    /// a gatekeeper that lost it, restarted, says so at the next one.
    static constexpr int RegistrationCheckTime = 20000; // ms
    /// From a lost registration to the first new attempt, and the longest between the starts
    /// of two attempts (the back-off doubles up to it).
    static constexpr int RegistrationRetryFirst = 1000; // ms
    static constexpr int RegistrationRetryMax = 30000;  // ms

    /// transport: the RAS transport, owned by the gatekeeper from now on.
    H323Gatekeeper(H323EndPoint &endpoint, H323Transport *transport);
    /// Stops the RAS threads (StopChannel) if that was not done yet.
    ~H323Gatekeeper() override;

    // ---- requests ----

    /// GRQ to address (port 1719 when none): TRUE on GCF, which then gives the gatekeeper's
    /// RAS address and identifier.
    BOOL DiscoverByAddress(const H323TransportAddress &address);
    /// A full RRQ (or with lightweight, a keep-alive RRQ). TRUE on RCF.
    BOOL RegistrationRequest(BOOL autoRegister = TRUE, BOOL lightweight = FALSE);
    /// URQ; reason -1 sends no reason. TRUE on UCF. The registration ends either way.
    BOOL UnregistrationRequest(int reason);

    /// What the caller of AdmissionRequest gives and gets.
    struct AdmissionInfo {
        // in
        unsigned callReference = 0;
        asn1::OctetString callIdentifier;
        asn1::OctetString conferenceIdentifier;
        BOOL answeringCall = FALSE;
        PStringList destinationAliases; ///< outgoing: the alias(es) called
        H323TransportAddress destinationAddress; ///< outgoing: the address called, if any
        PStringList sourceAliases;     ///< incoming: the caller's aliases
        H323TransportAddress sourceAddress; ///< incoming: the caller's signalling address
        unsigned bandwidth = 0;        ///< 100 bit/s
        // out
        H323TransportAddress destCallSignalAddress; ///< where to send the Setup
        BOOL gatekeeperRouted = FALSE;
        unsigned grantedBandwidth = 0;
        unsigned rejectReason = 0; ///< H225_AdmissionRejectReason tag after an ARJ
        BOOL rejected = FALSE;     ///< ARJ (FALSE after a time-out)
    };
    /// ARQ for a call. TRUE on ACF. Runs on the call's signalling thread.
    BOOL AdmissionRequest(AdmissionInfo &info);
    /// DRQ at the end of an admitted call (reason: H225_DisengageReason tag).
    BOOL DisengageRequest(unsigned callReference, const asn1::OctetString &callIdentifier,
                          const asn1::OctetString &conferenceIdentifier, BOOL answeredCall,
                          unsigned reason);

    // ---- handlers (RAS thread) ----

    virtual BOOL OnReceiveGatekeeperConfirm(const H225_GatekeeperConfirm &gcf);
    virtual BOOL OnReceiveGatekeeperReject(const H225_GatekeeperReject &grj);
    virtual BOOL OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf);
    virtual BOOL OnReceiveRegistrationReject(const H225_RegistrationReject &rrj);
    /// Accepts only a URQ with this registration's endpoint identifier (and the gatekeeper's
    /// identifier when it names one): clears every call, answers UCF and returns TRUE.
    /// Anything else is answered with URJ and changes nothing: FALSE.
    virtual BOOL OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq);
    virtual BOOL OnReceiveUnregistrationConfirm(const H225_UnregistrationConfirm &ucf);
    virtual BOOL OnReceiveUnregistrationReject(const H225_UnregistrationReject &urj);
    virtual BOOL OnReceiveAdmissionConfirm(const H225_AdmissionConfirm &acf);
    virtual BOOL OnReceiveAdmissionReject(const H225_AdmissionReject &arj);
    virtual BOOL OnReceiveDisengageRequest(const H225_DisengageRequest &drq);
    virtual BOOL OnReceiveDisengageConfirm(const H225_DisengageConfirm &dcf);
    virtual BOOL OnReceiveDisengageReject(const H225_DisengageReject &drj);
    virtual BOOL OnReceiveBandwidthRequest(const H225_BandwidthRequest &brq);
    virtual BOOL OnReceiveBandwidthConfirm(const H225_BandwidthConfirm &bcf);
    virtual BOOL OnReceiveBandwidthReject(const H225_BandwidthReject &brj);
    virtual BOOL OnReceiveInfoRequest(const H225_InfoRequest &irq);
    virtual BOOL OnReceiveServiceControlIndication(const H225_ServiceControlIndication &sci);
    /// Anything the client does not handle: answered with unknownMessageResponse.
    virtual BOOL OnReceiveUnknown(const H225_RasMessage &msg);
    /// The registration ended without an unregistration: a keep-alive got no answer or could
    /// not be sent, or a reject said the endpoint is not registered. Runs once per loss, on
    /// the thread that found out; the client then registers again by itself until a
    /// gatekeeper answers (the confirm comes to OnReceiveRegistrationConfirm). The default
    /// does nothing.
    virtual void OnRegistrationLost();

    // ---- state ----

    BOOL IsRegistered() const { return registrationFailReason == RegistrationSuccessful; }
    BOOL IsDiscoveryComplete() const { return discoveryComplete; }
    /// RegistrationSuccessful while registered; else why not (RRJ reasons other than those
    /// of the enumeration are their tag | RegistrationRejectReasonMask).
    unsigned GetRegistrationFailReason() const { return registrationFailReason; }
    PString GetEndpointIdentifier() const;
    PString GetIdentifier() const;
    /// The first call-signalling address of the RCF (may be empty).
    H323TransportAddress GetGatekeeperRouteAddress() const;
    /// The gatekeeper's RAS address.
    H323TransportAddress GetRasAddress() const;
    H323Transport &GetTransport() const;
    H323EndPoint &GetEndPoint() const { return endpoint; }
    /// The time-to-live the gatekeeper granted (seconds, 0 when none).
    unsigned GetTimeToLive() const { return timeToLive; }

    /// The time-out of each try of discovery and of the other requests.
    void SetRequestTimeouts(const PTimeInterval &discovery, const PTimeInterval &request);

    /// Cancels waiting requests, closes the RAS transport and waits for the RAS threads.
    /// Call before deleting a derived object so that no handler runs during its destruction.
    void StopChannel();
    /// Wakes every waiting request with a failure (RemoveGatekeeper during UseGatekeeper).
    void CancelRequests();

  protected:
    /// Fills the parts common to all requests of this client.
    void SetRasAddress(H225_TransportAddress &pdu) const;
    void SetCallSignalAddresses(asn1::Array<H225_TransportAddress> &addresses) const;
    void SetAliases(asn1::Array<H225_AliasAddress> &aliases) const;
    /// Service control sessions (call credit) of an RCF, ACF or SCI.
    void OnServiceControlSessions(const asn1::Array<H225_ServiceControlSession> &sessions);
    /// Answers an IRQ with an IRR.
    BOOL SendInfoRequestResponse(unsigned sequenceNumber);

    H323EndPoint &endpoint;

  private:
    class MonitorThread;
    bool Dispatch(const H225_RasMessage &msg, bool matched);
    void MonitorLoop();
    /// One attempt to register again: discovery when needed, then a full RRQ.
    void Reregister();
    /// Starts the monitor thread when it does not run and wakes it.
    void ScheduleReregistration();
    void SetFailReason(unsigned reason);
    /// A registration that was in force is lost (reason): tells OnRegistrationLost and has
    /// the monitor register again, at once or after RegistrationRetryFirst.
    void LoseRegistration(unsigned reason, bool atOnce);
    /// Time between keep-alives for a time-to-live (seconds, 0: none granted).
    static PTimeInterval KeepAliveInterval(unsigned ttl);

    std::unique_ptr<H323TransportUDP> transport;
    std::unique_ptr<h323::RasChannel> channel;
    std::unique_ptr<h323::H235Authenticators> authenticators;
    PMutex monitorMutex;
    MonitorThread *monitor = nullptr;
    PSyncPoint monitorWake;
    std::atomic<bool> stopping{false};
    std::atomic<bool> cancelled{false}; ///< RemoveGatekeeper runs: only URQ may follow
    /// A lost registration is being re-established; the next attempt at nextAttempt (ms of
    /// PTimer::Tick), retryInterval after the start of the last one.
    std::atomic<bool> recovering{false};
    std::atomic<PInt64> nextAttempt{0};
    std::atomic<PInt64> retryInterval{0};

    mutable PMutex stateMutex;
    std::atomic<unsigned> registrationFailReason{UnregisteredLocally};
    std::atomic<bool> discoveryComplete{false};
    H323TransportAddress rasAddress;
    asn1::BMPString gatekeeperIdentifier;
    asn1::BMPString endpointIdentifier;
    H323TransportAddress gkRouteAddress;
    std::atomic<unsigned> timeToLive{0};
    PTimeInterval discoveryTimeout{DiscoveryTimeout};
    PTimeInterval requestTimeout{RequestTimeout};
    std::map<unsigned, AdmissionInfo *> admissions; ///< ARQs waiting, by sequence number
};
