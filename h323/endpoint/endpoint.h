// H323EndPoint: the H.323 endpoint: configuration, listeners, calls and the gatekeeper.
#pragma once

#include <h323/callsig/end_reason.h>
#include <h323/caps/capabilities.h>
#include <h323/codecs/codec.h>
#include <h323/transports/transport_address.h>

#include <pwlib/pmutex.h>
#include <pwlib/pstring.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pthread.h>

#include <atomic>
#include <map>
#include <memory>
#include <vector>

class H225_EndpointType;
class H323Channel;
class H323Connection;
class H323Gatekeeper;
class H323ListenerTCP;
class H323SignalPDU;
class H323Transport;
class H323VideoCodec;
class H323AudioCodec;

class H225_InfoRequestResponse;
namespace asn1 {
class OctetString;
}

/// The H.323 endpoint. A program derives its own endpoint class, overrides the virtual
/// call-backs below and configures the endpoint before it listens or registers.
///
/// Threads: MakeCall, ClearCall, FindConnectionWithLock and the settings are called by the
/// program (normally its interface thread). The call-backs run on the stack's threads as
/// each one says. Every wait inside the stack uses the portable library's primitives, so a
/// thread that serves sent window messages while it waits keeps doing so.
class H323EndPoint : public PObject
{
    PCLASSINFO(H323EndPoint, PObject)
  public:
    enum TerminalTypes {
        e_TerminalOnly = 50,
        e_TerminalAndMC = 70,
        e_GatewayOnly = 60,
        e_GatewayAndMC = 80,
        e_GatewayAndMCWithDataMP = 90,
        e_GatewayAndMCWithAudioMP = 100,
        e_GatewayAndMCWithAVMP = 110,
        e_GatekeeperOnly = 120,
        e_GatekeeperWithDataMP = 130,
        e_GatekeeperWithAudioMP = 140,
        e_GatekeeperWithAVMP = 150,
        e_MCUOnly = 160,
        e_MCUWithDataMP = 170,
        e_MCUWithAudioMP = 180,
        e_MCUWithAVMP = 190,
    };

    /// How user input is sent once the peer's capabilities are known.
    enum SendUserInputModes {
        SendUserInputAsQ931,
        SendUserInputAsString,
        SendUserInputAsTone,
        NumSendUserInputModes
    };

    H323EndPoint();
    /// Removes the listeners and the gatekeeper and clears every call, waiting for them.
    ~H323EndPoint() override;

    // ---- call-backs (override in the program's endpoint) ----

    /// Fills the endpoint type of RAS and call-signalling PDUs: vendor, and the terminal,
    /// gateway, gatekeeper or MCU alternative by the terminal type. Any sending thread.
    virtual void SetEndpointTypeInfo(H225_EndpointType &info) const;
    /// Makes the gatekeeper client for UseGatekeeper; it owns the RAS transport. The
    /// endpoint owns the result. Runs on the UseGatekeeper caller's thread.
    virtual H323Gatekeeper *CreateGatekeeper(H323Transport *transport);
    /// An incoming Setup passed the connection's checks: TRUE goes on to answering, FALSE
    /// refuses (Release Complete with the reason ClearCall set, else EndedByNoAccept).
    /// Signalling thread of the call.
    virtual BOOL OnIncomingCall(H323Connection &connection, const H323SignalPDU &setupPDU,
                                H323SignalPDU &alertingPDU);
    /// The called party is alerting. Signalling thread. The default returns TRUE.
    virtual BOOL OnAlerting(H323Connection &connection, const H323SignalPDU &alertingPDU,
                            const PString &user);
    /// The peer forwarded the call to forwardParty ("alias" or "alias@ip$a.b.c.d:port").
    /// TRUE: the call is cleared with EndedByCallForwarded (the program places the new call
    /// itself). FALSE: the forward is ignored. Signalling thread. The default returns FALSE.
    virtual BOOL OnConnectionForwarded(H323Connection &connection, const PString &forwardParty,
                                       const H323SignalPDU &pdu);
    /// The call is established: connected and media started. Once per call; signalling or
    /// control thread.
    virtual void OnConnectionEstablished(H323Connection &connection, const PString &token);
    /// The call is over: its media is closed, its Release Complete went or came (or the
    /// signalling was lost), and it is out of the call table; GetCallEndReason() is valid. Its DisengageRequest and the close
    /// of its signalling channels follow, and then it is deleted; nothing of it calls back
    /// after this. Once per connection object; the housekeeping thread.
    virtual void OnConnectionCleared(H323Connection &connection, const PString &token);
    /// Makes a connection object for every call. MakeCall's thread or the signalling thread.
    virtual H323Connection *CreateConnection(unsigned callReference);
    /// Makes a connection for an incoming call (transport and setupPDU given) or an
    /// outgoing one (both nullptr). nullptr refuses an incoming call: a Release Complete is
    /// sent and no connection exists. The default calls CreateConnection(callReference).
    virtual H323Connection *CreateConnection(unsigned callReference, void *userData,
                                             H323Transport *transport, H323SignalPDU *setupPDU);
    /// A logical channel is about to start; FALSE stops it. The default returns TRUE.
    virtual BOOL OnStartLogicalChannel(H323Connection &connection, H323Channel &channel);
    /// A logical channel has closed (the closing thread).
    virtual void OnClosedLogicalChannel(H323Connection &connection, const H323Channel &channel);
    /// Opens the sound channel of an audio codec: the record device when encoding, the play
    /// device when decoding, 1 channel, 8000 Hz, 16 bits, bufferSize bytes per buffer and
    /// the buffer depth, then attaches it to the codec. FALSE when it cannot be opened.
    virtual BOOL OpenAudioChannel(H323Connection &connection, BOOL isEncoding, unsigned bufferSize,
                                  H323AudioCodec &codec);
    /// Opens the video channel of a video codec. The default opens none (FALSE).
    virtual BOOL OpenVideoChannel(H323Connection &connection, BOOL isEncoding,
                                  H323VideoCodec &codec);
    /// A call credit service control arrived (RCF, ACF, SCI): amount text; mode TRUE for
    /// debit, FALSE for credit. RAS or signalling thread. The default does nothing.
    virtual void OnCallCreditServiceControl(const PString &amount, BOOL mode);

    // ---- calls ----

    /// Starts a call to party: "alias" (through the gatekeeper when registered), "number",
    /// "alias@host[:port]", "host[:port]" or "ip$a.b.c.d:port". Returns at once with the
    /// connection (unlocked) and its token, or nullptr when the party cannot be used.
    H323Connection *MakeCall(const PString &party, PString &token, void *userData = nullptr);
    /// Starts clearing the call; returns at once. FALSE when there is no such call.
    BOOL ClearCall(const PString &token,
                   H323CallEndReasons::CallEndReason reason = H323CallEndReasons::EndedByLocalUser);
    /// Starts clearing every call; with wait, returns when all are cleaned up and deleted
    /// (but for one whose OnConnectionCleared runs on the calling thread).
    void ClearAllCalls(H323CallEndReasons::CallEndReason reason = H323CallEndReasons::EndedByLocalUser,
                       BOOL wait = TRUE);
    BOOL HasConnection(const PString &token);
    /// The connection, locked (call Unlock() when done), or nullptr when there is none or it
    /// is being cleared.
    H323Connection *FindConnectionWithLock(const PString &token);
    /// The tokens of the calls in progress.
    PStringArray GetAllConnections();

    // ---- listeners ----

    /// Starts one TCP listener per entry: "*:port", "a.b.c.d:port", "ip$..." ("*" and a
    /// missing address mean every interface). TRUE when every one started.
    BOOL StartListeners(const PStringArray &addresses);
    BOOL StartListener(const H323TransportAddress &address);
    /// Stops and removes the listener (nullptr: every listener).
    BOOL RemoveListener(H323ListenerTCP *listener);
    /// The listeners' addresses.
    std::vector<H323TransportAddress> GetInterfaceAddresses() const;
    /// The address peers reach our call signalling at: the first listener's port on the
    /// interface used towards remoteHint (or the host's main address).
    H323TransportAddress GetSignalAddress(const PIPSocket::Address &local = PIPSocket::Address()) const;

    // ---- gatekeeper ----

    /// Discovers the gatekeeper at address (GRQ) and registers (RRQ); returns after the
    /// outcome. TRUE once registered. A failed discovery leaves no gatekeeper; a failed
    /// registration leaves the gatekeeper with its fail reason. The gatekeeper already in use
    /// at the same address gives TRUE at once.
    BOOL UseGatekeeper(const PString &address = PString(), const PString &identifier = PString(),
                       const PString &localAddress = PString());
    /// Clears all calls, unregisters (URQ; reason -1 sends none) and deletes the gatekeeper.
    /// Safe while UseGatekeeper runs on another thread and while a RAS handler runs.
    BOOL RemoveGatekeeper(int reason = -1);
    /// The gatekeeper, or nullptr. The pointer is valid until RemoveGatekeeper.
    H323Gatekeeper *GetGatekeeper() const;
    BOOL IsRegisteredWithGatekeeper() const;
    void SetGatekeeperPassword(const PString &password);
    const PString &GetGatekeeperPassword() const { return gatekeeperPassword; }

    // ---- identity ----

    /// Replaces the aliases with [name].
    void SetLocalUserName(const PString &name);
    const PString &GetLocalUserName() const { return localAliasNames[0]; }
    /// Adds an alias; FALSE when it is already there.
    BOOL AddAliasName(const PString &name);
    const PStringList &GetAliasNames() const { return localAliasNames; }
    void SetTerminalType(TerminalTypes type) { terminalType = type; }
    TerminalTypes GetTerminalType() const { return terminalType; }
    BOOL IsTerminal() const;
    /// Vendor identification sent in RAS and Setup/Connect.
    void SetVendorIdentification(const PString &product, const PString &version);
    const PString &GetProductName() const { return productName; }
    const PString &GetProductVersion() const { return productVersion; }

    // ---- capabilities and media settings ----

    /// Adds a capability (owned by the table) at descriptor/simultaneous (P_MAX_INDEX: a
    /// new one); returns the simultaneous index used.
    PINDEX SetCapability(PINDEX descriptorNum, PINDEX simultaneous, H323Capability *capability);
    void RemoveCapabilities() { capabilities.RemoveAll(); }
    const H323Capabilities &GetCapabilities() const { return capabilities; }
    void SetAudioJitterDelay(unsigned minDelay, unsigned maxDelay);
    unsigned GetMinAudioJitterDelay() const { return minAudioJitterDelay; }
    unsigned GetMaxAudioJitterDelay() const { return maxAudioJitterDelay; }
    void SetSoundChannelBufferDepth(unsigned depth);
    unsigned GetSoundChannelBufferDepth() const { return soundChannelBuffers; }
    /// FALSE (and no change) when the name is not a device of that direction.
    BOOL SetSoundChannelPlayDevice(const PString &name);
    BOOL SetSoundChannelRecordDevice(const PString &name);
    const PString &GetSoundChannelPlayDevice() const { return soundChannelPlayDevice; }
    const PString &GetSoundChannelRecordDevice() const { return soundChannelRecordDevice; }
    /// Bandwidth of ARQ and the call (100 bit/s units; 100000 by default).
    void SetInitialBandwidth(unsigned bandwidth) { initialBandwidth = bandwidth; }
    unsigned GetInitialBandwidth() const { return initialBandwidth; }
    void SetSilenceDetectionMode(H323AudioCodec::SilenceDetectionMode mode) { defaultSilenceDetection = mode; }
    H323AudioCodec::SilenceDetectionMode GetSilenceDetectionMode() const { return defaultSilenceDetection; }
    void SetAutoStartReceiveVideo(BOOL enable) { autoStartReceiveVideo = enable; }
    BOOL CanAutoStartReceiveVideo() const { return autoStartReceiveVideo; }
    void SetAutoStartTransmitVideo(BOOL enable) { autoStartTransmitVideo = enable; }
    BOOL CanAutoStartTransmitVideo() const { return autoStartTransmitVideo; }
    void DisableFastStart(BOOL mode) { disableFastStart = mode; }
    BOOL IsFastStartDisabled() const { return disableFastStart; }
    void DisableH245Tunneling(BOOL mode) { disableH245Tunneling = mode; }
    BOOL IsH245TunnelingDisabled() const { return disableH245Tunneling; }
    /// Offer a separate H.245 channel already in Setup (caller) or the first answer.
    void SetH245inSetup(BOOL mode) { h245inSetup = mode; }
    BOOL IsH245inSetup() const { return h245inSetup; }
    void SetSendUserInputMode(SendUserInputModes mode) { sendUserInputMode = mode; }
    SendUserInputModes GetSendUserInputMode() const { return sendUserInputMode; }
    /// UDP ports for RTP (even) and RTCP (odd); 5000-5999 by default.
    void SetRtpIpPorts(WORD base, WORD max);
    /// The next free even port pair start for an RTP session.
    WORD GetRtpIpPortBase() const { return rtpPortBase; }
    WORD GetRtpIpPortMax() const { return rtpPortMax; }
    BYTE GetRtpIpTypeofService() const { return rtpIpTypeofService; }

    // ---- time-outs ----

    /// Time to wait for the answer once the Setup has gone (1 minute): then EndedByNoAnswer.
    void SetSignallingChannelCallTimeout(const PTimeInterval &t) { signallingChannelCallTimeout = t; }
    const PTimeInterval &GetSignallingChannelCallTimeout() const { return signallingChannelCallTimeout; }
    /// Time after connecting within which media must start (10 s): then
    /// EndedByCapabilityExchange.
    void SetNoMediaTimeout(const PTimeInterval &t) { noMediaTimeout = t; }
    const PTimeInterval &GetNoMediaTimeout() const { return noMediaTimeout; }
    /// Time for each H.245 request to be answered (30 s).
    void SetControlChannelRequestTimeout(const PTimeInterval &t) { controlRequestTimeout = t; }
    const PTimeInterval &GetControlChannelRequestTimeout() const { return controlRequestTimeout; }
    /// Interval of the round-trip delay requests that keep an H.245 session alive (1 min).
    void SetRoundTripDelayRate(const PTimeInterval &t) { roundTripDelayRate = t; }
    const PTimeInterval &GetRoundTripDelayRate() const { return roundTripDelayRate; }
    /// Time to wait for the peer's end session (10 s).
    void SetEndSessionTimeout(const PTimeInterval &t) { endSessionTimeout = t; }
    const PTimeInterval &GetEndSessionTimeout() const { return endSessionTimeout; }
    PINDEX GetSignallingThreadStackSize() const { return 30000; }

    // ---- used by the stack ----

    /// A new call reference (1..32767, never 0).
    unsigned GetNextCallReference();
    /// Registers a new connection in the call table (done by MakeCall and the incoming path).
    void AddConnection(H323Connection *connection);
    /// Hands a connection that started clearing to the housekeeping thread.
    void OnConnectionReleasing(H323Connection &connection);
    /// The connection's media is closed: removes it, calls OnConnectionCleared, has it
    /// disengage and close its channels, deletes it.
    void CleanUpConnection(H323Connection *connection);
    /// Handles a Setup on a transport with no connection yet (HandleFirstSignallingChannelPDU).
    BOOL OnIncomingSetup(H323Transport &transport, H323SignalPDU &setupPDU);
    /// Clears every call because the gatekeeper asked (URQ), without waiting.
    void OnGatekeeperUnregistered();
    /// The gatekeeper disengaged a call (DRQ): it is cleared with EndedByGatekeeper.
    void OnGatekeeperDisengage(const asn1::OctetString &callIdentifier, unsigned callReference);
    /// Adds the per-call information of the calls in progress to an IRR.
    void FillInfoRequestResponse(H225_InfoRequestResponse &irr);
    /// The first port of the next RTP session (rotating through the range).
    WORD NextRtpPortBase();
    /// The gatekeeper, kept from deletion until ReleaseGatekeeper (nullptr when none).
    H323Gatekeeper *AcquireGatekeeper() const;
    void ReleaseGatekeeper(H323Gatekeeper *gk) const;

  protected:
    /// The capability table offered to peers, in order of preference.
    H323Capabilities capabilities;

  private:
    struct ConnectionEntry;
    class OutgoingCallThread;
    class CleanerThread;
    std::shared_ptr<ConnectionEntry> FindEntry(const PString &token);

    PStringList localAliasNames;
    PString productName;
    PString productVersion;
    TerminalTypes terminalType = e_TerminalOnly;
    PString gatekeeperPassword;

    unsigned minAudioJitterDelay = 50;
    unsigned maxAudioJitterDelay = 250;
    unsigned soundChannelBuffers = 2;
    PString soundChannelPlayDevice;
    PString soundChannelRecordDevice;
    unsigned initialBandwidth = 100000;
    H323AudioCodec::SilenceDetectionMode defaultSilenceDetection =
        H323AudioCodec::AdaptiveSilenceDetection;
    BOOL autoStartReceiveVideo = TRUE;
    BOOL autoStartTransmitVideo = TRUE;
    BOOL disableFastStart = FALSE;
    BOOL disableH245Tunneling = FALSE;
    BOOL h245inSetup = FALSE;
    SendUserInputModes sendUserInputMode = SendUserInputAsString;
    WORD rtpPortBase = 5000;
    WORD rtpPortMax = 5999;
    BYTE rtpIpTypeofService = 0x10; // low delay

    PTimeInterval signallingChannelCallTimeout{0, 0, 1};
    PTimeInterval noMediaTimeout{0, 10};
    PTimeInterval controlRequestTimeout{0, 30};
    PTimeInterval endSessionTimeout{0, 10};
    PTimeInterval roundTripDelayRate{0, 0, 1};

    mutable PMutex listenerMutex;
    std::vector<std::unique_ptr<H323ListenerTCP>> listeners;

    PMutex connectionsMutex;
    std::map<std::string, std::shared_ptr<ConnectionEntry>> connections;
    PSyncPoint connectionsEmpty;
    /// Connections out of the table that are not yet deleted.
    unsigned connectionsCleaning = 0;
    std::atomic<unsigned> lastCallReference{0};
    std::atomic<unsigned> nextRtpPort{0};

    mutable PMutex gatekeeperMutex;
    H323Gatekeeper *gatekeeper = nullptr;
    mutable unsigned gatekeeperUsers = 0;
    mutable PSyncPoint gatekeeperIdle;

    friend class H323Connection;
};
