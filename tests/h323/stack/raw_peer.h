// Peers driven by hand on the stack's own message classes, for tests of how the endpoint
// copes with what a peer does or leaves undone.
#pragma once

#include <h323/callsig/signal_pdu.h>
#include <h323/endpoint/endpoint.h>
#include <h323/transports/transport_tcp.h>
#include <pwlib/ptcpsocket.h>
#include <pwlib/pudpsocket.h>

#include <memory>
#include <vector>

class RTP_UDP;

namespace stacktest {

/// A called party on its own port (port 0: any free one); endpoint only lends its settings to
/// the messages.
class RawCallee
{
  public:
    explicit RawCallee(H323EndPoint &ep, WORD port = 0);
    PString Address() const { return psprintf("ip$127.0.0.1:%u", listener.GetPort()); }
    /// Accepts the call and reads its Setup (kept in setup when given); the call reference
    /// or 0.
    unsigned AcceptSetup(H323SignalPDU *setup = nullptr);
    /// Sends a message built for a connection answering callReference.
    void Send(unsigned callReference, Q931::MsgTypes type);
    /// Sends Connect without tunnelling, naming a separate H.245 channel at port.
    void SendConnectWithH245(unsigned callReference, WORD port);
    /// Sends Connect without tunnelling, naming H.245 at h245Port (0: tunnelling, no
    /// address), and accepts the caller's fast start offer to send G.711 to mediaPort.
    void SendFastConnect(unsigned callReference, const H323SignalPDU &setup, WORD mediaPort,
                         WORD h245Port);
    void SendReleaseComplete(unsigned callReference);
    /// Sends text as Q.931 keypad in an Information message.
    void SendKeypad(unsigned callReference, const std::string &text);
    void SendRaw(const std::vector<BYTE> &bytes) { transport->Write(bytes.data(), PINDEX(bytes.size())); }
    /// Reads and drops whatever comes, until the caller closes.
    void Drain();
    void Close() { transport->Close(); }

  private:
    H323EndPoint &endpoint;
    PTCPSocket listener;
    std::unique_ptr<H323TransportTCP> transport;
};

/// A caller offering fast start (G.711 µ-law, media to us only) without tunnelling; endpoint
/// lends its settings and capabilities, and must not tunnel H.245.
class RawCaller
{
  public:
    explicit RawCaller(H323EndPoint &ep);
    ~RawCaller();
    /// Connects to address ("ip$a.b.c.d:port") and sends the Setup.
    bool Call(const PString &address);
    /// Reads the answers until the Connect; FALSE when none came within timeoutMs.
    bool WaitForConnect(int timeoutMs = 5000);
    /// Where the callee's media arrives.
    RTP_UDP &Media();
    void SendReleaseComplete();

  private:
    class Offer;
    H323EndPoint &endpoint;
    std::unique_ptr<Offer> offer;
    std::unique_ptr<H323TransportTCP> transport;
};

} // namespace stacktest
