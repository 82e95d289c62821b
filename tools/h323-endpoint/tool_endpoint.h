// The endpoint of h323-endpoint: the stack's endpoint, connection and gatekeeper classes
// with the tool's behaviour, reporting each event as one line.
#pragma once

#include <tools/h323-endpoint/options.h>

#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/ras/gatekeeper.h>

#include <pwlib/psyncpoint.h>
#include <pwlib/ptimer.h>

#include <atomic>
#include <functional>
#include <string>

namespace h323tool {

/** Prints one event line (thread-safe, flushed). */
void PrintEvent(const std::string &line);

class ToolEndpoint : public H323EndPoint
{
    PCLASSINFO(ToolEndpoint, H323EndPoint)
  public:
    explicit ToolEndpoint(const Options &options);
    ~ToolEndpoint() override;

    /** Settings, capabilities and listener; FALSE (and a message) when the port is taken. */
    BOOL Configure(std::string &error);
    /** Registers when a gatekeeper is given; TRUE without one. */
    BOOL Register();
    /** Places the call of --call (and of each forward). */
    BOOL PlaceCall(const PString &party);
    /** Set when the tool should exit (--exit-after-call). */
    PSyncPoint &Done() { return done; }

    H323Gatekeeper *CreateGatekeeper(H323Transport *transport) override;
    H323Connection *CreateConnection(unsigned callReference) override;
    BOOL OnIncomingCall(H323Connection &connection, const H323SignalPDU &setupPDU,
                        H323SignalPDU &alertingPDU) override;
    BOOL OnAlerting(H323Connection &connection, const H323SignalPDU &alertingPDU,
                    const PString &user) override;
    BOOL OnConnectionForwarded(H323Connection &connection, const PString &forwardParty,
                               const H323SignalPDU &pdu) override;
    void OnConnectionEstablished(H323Connection &connection, const PString &token) override;
    void OnConnectionCleared(H323Connection &connection, const PString &token) override;
    /** Video out from the FakeVideo moving line; video in is decoded and dropped. */
    BOOL OpenVideoChannel(H323Connection &connection, BOOL isEncoding,
                          H323VideoCodec &codec) override;

    const Options &GetOptions() const { return options; }

  private:
    void SendUserInput();
    void HangUp();

    const Options &options;
    PSyncPoint done;
    PMutex stateMutex;
    PString currentToken;
    PString pendingForward;
    PTimer hangupTimer;
    PTimer userInputTimer;
};

class ToolConnection : public H323Connection
{
    PCLASSINFO(ToolConnection, H323Connection)
  public:
    ToolConnection(ToolEndpoint &endpoint, unsigned callReference);
    AnswerCallResponse OnAnswerCall(const PString &callerName, const H323SignalPDU &setupPDU,
                                    H323SignalPDU &connectPDU) override;
    void OnUserInputString(const PString &value) override;
    void OnUserInputTone(char tone, unsigned duration, unsigned logicalChannel,
                         unsigned rtpTimestamp) override;

  private:
    ToolEndpoint &tool;
};

class ToolGatekeeper : public H323Gatekeeper
{
    PCLASSINFO(ToolGatekeeper, H323Gatekeeper)
  public:
    ToolGatekeeper(H323EndPoint &endpoint, H323Transport *transport);
    ~ToolGatekeeper() override;
    BOOL OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf) override;
    BOOL OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq) override;
    void OnRegistrationLost() override;
};

/** The name of a registration fail reason, for REGISTRATION-FAILED. */
std::string FailReasonName(unsigned reason);

} // namespace h323tool
