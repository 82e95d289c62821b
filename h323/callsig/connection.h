// H323Connection: one call: its signalling state machine, H.245 control and media.
#pragma once

#include <h323/callsig/end_reason.h>
#include <h323/caps/capabilities.h>
#include <h323/pdu/identifiers.h>
#include <h323/transports/transport_address.h>

#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/ptimer.h>

#include <atomic>
#include <map>
#include <memory>
#include <vector>

class H225_AdmissionConfirm;
class H225_EndpointType;
class H225_Facility_UUIE;
class H225_Setup_UUIE;
class H225_ArrayOf_PASN_OctetString;
class H245_MultimediaSystemControlMessage;
class H245_OpenLogicalChannel;
class H245_UserInputIndication;
class H323AudioCodec;
class H323Channel;
class H323EndPoint;
class H323SignalPDU;
class H323Transport;
class H323TransportTCP;
class H323VideoCodec;
class RTP_UDP;

namespace h323 {
class H245Control;
class ControlChannelThread;
} // namespace h323

/// One call. The endpoint makes it through CreateConnection and owns it; the housekeeping
/// thread deletes it after OnCleared.
///
/// Threads: the call's signalling thread reads the signalling channel and handles each PDU
/// with the connection locked; a separate H.245 channel has a control thread doing the
/// same; the media channels have threads of their own. The program reaches a connection
/// only between FindConnectionWithLock and Unlock (or inside a call-back).
class H323Connection : public PObject, public H323CallEndReasons
{
    PCLASSINFO(H323Connection, PObject)
  public:
    enum AnswerCallResponse {
        AnswerCallNow,      ///< answer at once: Connect
        AnswerCallDenied,   ///< refuse: Release Complete, EndedByAnswerDenied
        AnswerCallPending,  ///< send Alerting and wait for AnsweringCall
        AnswerCallDeferred, ///< wait for AnsweringCall without Alerting
        NumAnswerCallResponses
    };

    enum Phases {
        SetupPhase,       ///< Setup sent or received
        AlertingPhase,    ///< Alerting sent or received
        ConnectedPhase,   ///< Connect sent or received
        EstablishedPhase, ///< connected and media running
        ReleasingPhase,   ///< clearing started
        ReleasedPhase,    ///< cleaned up
        NumPhases
    };

    /// Per-call overrides of the endpoint's switches.
    enum Options {
        FastStartOptionDisable = 0x0001,
        FastStartOptionEnable = 0x0002,
        H245TunnelingOptionDisable = 0x0004,
        H245TunnelingOptionEnable = 0x0008,
    };

    /// How long the end of a call waits for the peer to close the channels first (ms).
    static constexpr int GracefulCloseTime = 2000;

    H323Connection(H323EndPoint &endpoint, unsigned callReference, unsigned options = 0);
    ~H323Connection() override;

    // ---- call-backs ----

    /// Asked on the signalling thread after OnIncomingCall accepted an incoming call (and
    /// after the answering ARQ). The default answers at once.
    virtual AnswerCallResponse OnAnswerCall(const PString &callerName, const H323SignalPDU &setupPDU,
                                            H323SignalPDU &connectPDU);
    /// An incoming Setup; the default asks the endpoint's OnIncomingCall.
    virtual BOOL OnIncomingCall(const H323SignalPDU &setupPDU, H323SignalPDU &alertingPDU);
    /// The called party alerts; the default asks the endpoint's OnAlerting.
    virtual BOOL OnAlerting(const H323SignalPDU &alertingPDU, const PString &user);
    /// The peer forwarded the call; the default asks the endpoint's OnConnectionForwarded.
    virtual BOOL OnForwarded(const PString &forwardParty, const H323SignalPDU &pdu);
    /// The call is established; the default tells the endpoint.
    virtual void OnEstablished();
    /// The call is cleared; the default tells the endpoint.
    virtual void OnCleared();
    /// User input text from the peer (H.245 alphanumeric, Q.931 keypad, and the tones
    /// handed on by OnUserInputTone). The default does nothing.
    virtual void OnUserInputString(const PString &value);
    /// A tone from the peer (H.245 signal). The default hands it to OnUserInputString as a
    /// one-character string.
    virtual void OnUserInputTone(char tone, unsigned duration, unsigned logicalChannel,
                                 unsigned rtpTimestamp);
    virtual BOOL OnStartLogicalChannel(H323Channel &channel);
    virtual void OnClosedLogicalChannel(const H323Channel &channel);
    virtual BOOL OpenAudioChannel(BOOL isEncoding, unsigned bufferSize, H323AudioCodec &codec);
    virtual BOOL OpenVideoChannel(BOOL isEncoding, H323VideoCodec &codec);

    // ---- operations ----

    /// Answers a call left pending: Now sends Connect, Denied releases it
    /// (EndedByAnswerDenied), Pending sends Alerting.
    void AnsweringCall(AnswerCallResponse response);
    /// Sends a tone ('0'-'9', '*', '#', 'A'-'D', '!' flash) in the user-input mode in force.
    void SendUserInputTone(char tone, unsigned duration = 0, unsigned logicalChannel = 0,
                           unsigned rtpTimestamp = 0);
    /// Sends text as H.245 alphanumeric user input (Q.931 keypad before the capability
    /// exchange).
    void SendUserInput(const PString &value);
    /// Sends a Facility callForwarded naming party ("alias", "alias@address" or an
    /// address). TRUE when it was written.
    BOOL ForwardCall(const PString &forwardParty);
    /// Sets the end reason (the first one set wins) and starts clearing; returns at once.
    BOOL ClearCall(CallEndReason reason = EndedByLocalUser);

    /// Locks the connection; FALSE (not locked) once it is being cleared.
    BOOL Lock();
    /// Locks even while clearing (the stack's own use).
    void LockUnconditionally() { innerMutex.Wait(); }
    void Unlock() { innerMutex.Signal(); }

    // ---- state ----

    const PString &GetCallToken() const { return callToken; }
    unsigned GetCallReference() const { return callReference; }
    const h323::Guid &GetCallIdentifier() const { return callIdentifier; }
    const h323::Guid &GetConferenceIdentifier() const { return conferenceIdentifier; }
    BOOL HadAnsweredCall() const { return !originating; }
    BOOL IsOriginating() const { return originating; }
    Phases GetPhase() const { return phase; }
    BOOL IsEstablished() const { return phase == EstablishedPhase; }
    BOOL IsReleased() const { return phase >= ReleasingPhase; }
    CallEndReason GetCallEndReason() const { return callEndReason; }
    void *GetUserData() const { return userData; }

    /// Incoming: the Calling Party Number digits of the Setup; outgoing: the number dialled.
    const PString &GetRemotePartyNumber() const { return remotePartyNumber; }
    /// The Display name, else the number, else the first alias, else the host.
    PString GetRemotePartyName() const;
    const PStringList &GetRemotePartyAliases() const { return remotePartyAliases; }
    const H323TransportAddress &GetRemotePartyAddress() const { return remotePartyAddress; }
    /// "productId\tversionId\tcountry:extension:manufacturer" of the peer's vendor.
    const PString &GetRemoteApplication() const { return remoteApplication; }
    PString GetLocalPartyName() const;
    const PStringList &GetLocalAliasNames() const { return localAliasNames; }

    H323EndPoint &GetEndPoint() const { return endpoint; }
    H323Transport *GetSignallingChannel() const { return signallingChannel; }
    H323Transport *GetControlChannel() const { return controlChannel; }
    /// The capabilities the peer can receive (after its TerminalCapabilitySet).
    const H323Capabilities &GetRemoteCapabilities() const { return remoteCapabilities; }
    const H323Capabilities &GetLocalCapabilities() const { return localCapabilities; }
    BOOL IsH245Tunneling() const { return h245Tunneling; }
    BOOL IsFastStart() const { return fastStartState == FastStartAcknowledged; }

    /// The open logical channel of a session in one direction (nullptr when none).
    H323Channel *FindChannel(unsigned sessionID, BOOL fromRemote) const;
    /// Bandwidth of the call, in 100 bit/s.
    unsigned GetBandwidthAvailable() const { return bandwidthAvailable; }
    void SetBandwidthAvailable(unsigned bandwidth) { bandwidthAvailable = bandwidth; }
    /// The user-input mode in force for this call.
    int GetRealSendUserInputMode() const;

    // ---- used by the stack ----

    /// Makes the outgoing call (on the thread MakeCall started): admission, connect,
    /// Setup, then the signalling loop until the call ends.
    void RunOutgoingCall(const PString &alias, const H323TransportAddress &address);
    /// Takes the transport of an incoming call, handles its Setup and runs the loop.
    void RunIncomingCall(H323Transport *transport, H323SignalPDU &setupPDU);
    /// Writes an H.245 PDU, tunnelled or on the control channel.
    BOOL WriteControlPDU(const H245_MultimediaSystemControlMessage &pdu);
    /// Writes a signalling PDU with any tunnelled H.245 waiting to go.
    BOOL WriteSignalPDU(H323SignalPDU &pdu);
    /// The housekeeping thread's first part: stops the media, sends the end session and
    /// Release Complete and closes the logical channels. The application may hear that the
    /// call is over once it returns.
    void CleanUpOnCallEnd();
    /// The second part, after OnCleared: the DisengageRequest, then the graceful close of the
    /// signalling and H.245 channels. Nothing of it reaches the application.
    void CloseOnCallEnd();
    /// The RTP session of a session id, made on first use (nullptr when no port is free).
    RTP_UDP *UseSession(unsigned sessionID);

    // H.245 call-backs (connection locked)
    void OnReceivedCapabilitySet(const H323Capabilities &remote);
    void OnControlProtocolReady();
    void OnEndSessionReceived();
    void OnFastUpdateRequest(unsigned channelNumber);
    void OnUserInputIndication(const H245_UserInputIndication &uii);
    /// The peer opens a channel to us: an opened receive channel, or nullptr with the
    /// reject cause.
    H323Channel *OnOpenLogicalChannelRequest(const H245_OpenLogicalChannel &olc, unsigned &errorCode);
    /// Starts an opened channel (fast start or H.245).
    void StartChannel(H323Channel &channel);
    /// Closes and forgets a channel.
    void RemoveChannel(H323Channel *channel);
    void CloseLogicalChannel(unsigned number, BOOL fromRemote);
    H323Channel *FindChannelByNumber(unsigned number, BOOL fromRemote) const;

  protected:
    enum FastStartStates { FastStartDisabled, FastStartInitiate, FastStartResponse, FastStartAcknowledged };

    // signalling (connection_signal.cpp)
    BOOL HandleSignalPDU(H323SignalPDU &pdu);
    void OutgoingCall(const PString &alias, const H323TransportAddress &address);
    void SignallingLoop();
    BOOL OnReceivedSignalSetup(const H323SignalPDU &pdu);
    BOOL OnReceivedCallProceeding(const H323SignalPDU &pdu);
    BOOL OnReceivedAlerting(const H323SignalPDU &pdu);
    BOOL OnReceivedSignalConnect(const H323SignalPDU &pdu);
    BOOL OnReceivedFacility(const H323SignalPDU &pdu);
    BOOL OnReceivedReleaseComplete(const H323SignalPDU &pdu);
    BOOL OnReceivedInformation(const H323SignalPDU &pdu);
    void HandleTunnelPDU(const H323SignalPDU &pdu);
    void OnReceivedH245Address(const H225_TransportAddress &address);
    void SetRemotePartyInfo(const H323SignalPDU &pdu);
    void SetRemoteApplication(const H225_EndpointType &info);
    void SendAlerting();
    void SendConnect();
    BOOL SendFacility(H323SignalPDU &pdu);
    void FlushTunnelledPDUs();

    // media (connection_media.cpp)
    void BuildFastStartList(asn1::Array<asn1::OctetString> &fastStart);
    void AcceptFastStartProposals(const asn1::Array<asn1::OctetString> &proposals);
    void OnFastStartResponse(const asn1::Array<asn1::OctetString> &fastStart);
    void StartFastStartChannels();
    void OpenLogicalChannels();
    BOOL OpenTransmitChannel(const H323Capability &capability);
    void InternalEstablishedCheck();
    void CloseAllLogicalChannels();
    /// Stops sending on every transmit channel at once (the release's first step).
    void StopTransmitting();

    // H.245 channel (connection_control.cpp)
    void StartControlNegotiations();
    BOOL StartControlChannel(const H323TransportAddress &h245Address);
    BOOL CreateControlListener(H225_TransportAddress &h245Address);
    void ControlLoop();
    BOOL HandleControlData(const PBYTEArray &data);

    // the end of the call (connection_release.cpp)
    void EndSignalling();
    void Disengage();
    void CloseSignallingChannels();

    H323EndPoint &endpoint;
    const unsigned callReference;
    PString callToken;
    h323::Guid callIdentifier;
    h323::Guid conferenceIdentifier;
    BOOL originating = FALSE;
    void *userData = nullptr;

    mutable PMutex innerMutex;
    std::atomic<Phases> phase{SetupPhase};
    std::atomic<CallEndReason> callEndReason{NumCallEndReasons};
    std::atomic<bool> releaseStarted{false};
    std::atomic<bool> remoteReleased{false};
    std::atomic<bool> signallingLost{false}; ///< the peer closed the signalling channel
    bool alertingSent = false;
    bool connectSent = false;
    bool answerPending = false;

    PString remotePartyNumber;
    PString remotePartyDisplayName;
    PStringList remotePartyAliases;
    H323TransportAddress remotePartyAddress;
    PString remoteApplication;
    PStringList localAliasNames;

    H323Transport *signallingChannel = nullptr;
    PSyncPoint signallingDone;
    std::atomic<bool> signallingStarted{false}; ///< a thread runs the call's signalling

    // H.245
    BOOL h245Tunneling;
    BOOL fastStartEnabled;
    H323Transport *controlChannel = nullptr;
    h323::ControlChannelThread *controlThread = nullptr;
    std::unique_ptr<h323::H245Control> control;
    std::vector<asn1::OctetString> pendingTunnelPDUs;
    bool writingSignalPDU = false;
    /// The logical channels are closed: the release's own messages (Release Complete, end
    /// session) are the only ones still acted on.
    bool mediaClosed = false;
    std::atomic<bool> endSessionSent{false};
    std::atomic<bool> endSessionReceived{false};
    PSyncPoint endSessionSync;

    // capabilities and media
    H323Capabilities localCapabilities;
    H323Capabilities remoteCapabilities;
    FastStartStates fastStartState = FastStartDisabled;
    std::vector<std::unique_ptr<H323Channel>> fastStartChannels; ///< offered or accepted
    /// Accepted by the peer, but our media would not open: closed when H.245 is ready.
    std::vector<std::unique_ptr<H323Channel>> unopenedFastStartChannels;
    std::vector<asn1::OctetString> fastStartResponse;            ///< to send in the answer
    bool fastStartResponseSent = false;
    std::vector<std::unique_ptr<H323Channel>> logicalChannels;
    std::map<unsigned, std::unique_ptr<RTP_UDP>> rtpSessions;
    unsigned bandwidthAvailable;
    bool channelsOpened = false;

    // gatekeeper
    bool admitted = false;

    PTimer answerTimer;  ///< awaiting the remote answer
    PTimer noMediaTimer; ///< connected but no media yet

    friend class H323EndPoint;
    friend class h323::H245Control;
    friend class h323::ControlChannelThread;
};
