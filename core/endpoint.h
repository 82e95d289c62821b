// CEndPoint: the phone's H.323 endpoint: configures the stack, places and clears calls, decides
// what happens to incoming calls and turns call events into messages to the main window.
#pragma once

#include <h323/endpoint/endpoint.h>

#include <win/cstring.h>
#include <win/windef.h>

#include <pwlib/pmutex.h>

#include <atomic>

class CSettings;
class CVideoWindow;
class CWnd;
class H323_GSM0610Capability;
class PSoundChannel;

/// The one endpoint of the program, a member of the main dialog.
///
/// The dialog calls Initialise once after login, then MakeCall, ClearCurrentCall, SendDtmfTone
/// and the rest from its interface thread. The overrides run on the stack's threads; what they
/// decide reaches the dialog only as posted (or, for texts, sent) window messages.
class CEndPoint : public H323EndPoint
{
    PCLASSINFO(CEndPoint, H323EndPoint)
  public:
    CEndPoint();
    ~CEndPoint() override;

    // ---- called by the main dialog ----

    /// Configures the endpoint (bandwidth, jitter buffer, masking, sound devices, capabilities,
    /// the listener on the settings' local port). Returns TRUE.
    BOOL Initialise(CWnd *mainWnd, CSettings *settings);
    /// Rebuilds the capability table from the settings: G.723.1, GSM 06.10, then the video
    /// codecs the video options offer (and the automatic start of the video channels).
    void UpdateCapabilities();
    /// Calls number; 1 when a connection was made (the endpoint is then busy), 0 otherwise.
    int MakeCall(const char *number);
    /// Clears the current call (ended by the local user); nothing without one.
    void ClearCurrentCall();
    int IsIdle() const { return m_nIdle; }
    /// TRUE while a gatekeeper is in use and registered.
    BOOL IsGatekeeperRegistered() const;
    /// Sends one keypad tone on the current call; nothing without one.
    void SendDtmfTone(char tone);
    /// An incoming call waits for the user: WM_CALL_RINGING_IN unless two calls are counted.
    BOOL PostIncomingCall();

    /// The dialog's tone channel, closed before a call's audio channel opens (may be null).
    void SetToneChannel(PSoundChannel *channel) { m_pToneChannel = channel; }
    /// The chat window, whose video areas show a call's video and which keeps its video
    /// channels (may be null: the pictures are then not shown).
    void SetChatWindow(CVideoWindow *chatWindow) { m_pChatWindow = chatWindow; }
    CVideoWindow *GetChatWindow() const { return m_pChatWindow; }

    /// Token of the call placed or established; empty between calls.
    PString GetCurrentCallToken() const;
    /// Token of the incoming call offered to the user.
    PString GetOfferedCallToken() const;
    int GetActiveConnections() const { return m_nActiveConnections; }
    /// Calling party number of the latest incoming call.
    CString GetCallerNumber() const;
    /// The party named by the latest forwarding of a call.
    PString GetForwardParty() const;
    /// 1 once a call is established; the dialog resets it.
    std::atomic<int> m_nConnected{0};
    /// The GSM 06.10 entry of the capability table (owned by the table; null before set-up).
    H323_GSM0610Capability *GetGsmCapability() const { return m_pGsmCapability; }
    HWND GetMainWindow() const { return m_hMainWnd; }
    CSettings *GetSettings() const { return m_pSettings; }

    // ---- overrides of the stack ----

    void SetEndpointTypeInfo(H225_EndpointType &info) const override;
    H323Gatekeeper *CreateGatekeeper(H323Transport *transport) override;
    BOOL OnIncomingCall(H323Connection &connection, const H323SignalPDU &setupPDU,
                        H323SignalPDU &alertingPDU) override;
    BOOL OnAlerting(H323Connection &connection, const H323SignalPDU &alertingPDU,
                    const PString &user) override;
    BOOL OnConnectionForwarded(H323Connection &connection, const PString &forwardParty,
                               const H323SignalPDU &pdu) override;
    void OnConnectionEstablished(H323Connection &connection, const PString &token) override;
    void OnConnectionCleared(H323Connection &connection, const PString &token) override;
    H323Connection *CreateConnection(unsigned callReference) override;
    H323Connection *CreateConnection(unsigned callReference, void *userData,
                                     H323Transport *transport, H323SignalPDU *setupPDU) override;
    BOOL OnStartLogicalChannel(H323Connection &connection, H323Channel &channel) override;
    void OnClosedLogicalChannel(H323Connection &connection, const H323Channel &channel) override;
    BOOL OpenAudioChannel(H323Connection &connection, BOOL isEncoding, unsigned bufferSize,
                          H323AudioCodec &codec) override;
    BOOL OpenVideoChannel(H323Connection &connection, BOOL isEncoding,
                          H323VideoCodec &codec) override;
    void OnCallCreditServiceControl(const PString &amount, BOOL mode) override;

  private:
    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL IsFiltered(const PString &callingNumber) const;
    /// Two identical H.263 entries as one alternative set of the first descriptor.
    void AddH263Capabilities();

    HWND m_hMainWnd = nullptr;
    CWnd *m_pMainWnd = nullptr;
    std::atomic<int> m_nIdle{1};
    std::atomic<int> m_nActiveConnections{0};
    CSettings *m_pSettings = nullptr;
    H323_GSM0610Capability *m_pGsmCapability = nullptr;
    PSoundChannel *m_pToneChannel = nullptr;
    std::atomic<CVideoWindow *> m_pChatWindow{nullptr};

    // The texts are written on the stack's threads and read on the interface thread.
    mutable PMutex m_textMutex;
    PString m_strCurrentCallToken;
    PString m_strOfferedCallToken;
    CString m_strCallerNumber;
    PString m_strForwardParty;
};
