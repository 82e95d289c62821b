// The NAT link: an outgoing TCP link to the service's call-signalling side, announced at
// regular intervals, on which the service sends calls for a phone that cannot be reached.
#pragma once

#include <pwlib/pipsocket.h>
#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pthread.h>

#include <atomic>

class CEndPoint;
class CGatekeeper;
class H225_TransportAddress;
class H323Transport;
class PTCPSocket;

/// A thread that runs RunOnce cycles until Stop. Created suspended, not deleted by itself.
class MyPThread : public PThread
{
    PCLASSINFO(MyPThread, PThread)
  public:
    MyPThread();

    /// Calls RunOnce while the running flag is set.
    void Main() override;
    /// Clears the running flag and wakes the thread.
    virtual void Stop();
    /// One cycle of the thread's work.
    virtual void RunOnce() = 0;

    /// Stops the thread, waits for it to end and deletes it.
    static void StopAndDelete(MyPThread *thread);

  protected:
    BOOL IsRunning() const { return m_bRunning; }

    PSyncPoint m_wakeUp;
    std::atomic<bool> m_bRunning{true};
};

/// The link thread of one gatekeeper registration that carried the NAT hint.
class NATHandlingThread : public MyPThread
{
    PCLASSINFO(NATHandlingThread, MyPThread)
  public:
    /// Pauses between links and after a failed connect (ms).
    static constexpr unsigned kRetryInterval = 60000;
    /// Waits of one second for data before the announcement is repeated.
    static constexpr int kWaitsPerAnnouncement = 60;
    /// The call state the announcements carry.
    static constexpr unsigned kAnnouncedCallState = 9;

    /// address: the far end (the RCF's first call-signalling address), or null; without an
    /// IPv4 address every connect fails. Starts the thread.
    NATHandlingThread(CEndPoint *endpoint, const H225_TransportAddress *address,
                      CGatekeeper *gatekeeper);
    ~NATHandlingThread() override;

    /// One link: connect, announce, wait for data, hand the link over or pause.
    void RunOnce() override;
    /// Also closes the current link, so that a connect or a wait ends at once.
    void Stop() override;

  private:
    /// Forgets the current socket; closes and deletes it unless handed over.
    void DropSocket(bool handedOver);
    enum class LinkWait { Data, Idle, Closed };
    /// Waits for data on the link: Data when it came while still running, Idle when the
    /// waits passed, Closed when the link ended or the thread was stopped.
    LinkWait WaitForData(PTCPSocket &socket);

    CGatekeeper *m_pGatekeeper;
    PIPSocket::Address m_serverAddress;
    WORD m_nServerPort = 0;
    unsigned m_nRetryInterval = kRetryInterval;
    PMutex m_socketMutex;
    PTCPSocket *m_pSocket = nullptr;
    CEndPoint *m_pEndPoint;
};

/// Answers a call that arrived over the NAT link: the stack reads its first signalling PDU
/// and runs the call. Deletes itself (and the transport when no call took it).
class H225TransportThread2 : public PThread
{
    PCLASSINFO(H225TransportThread2, PThread)
  public:
    /// Starts at once.
    H225TransportThread2(CEndPoint *endpoint, H323Transport *transport);
    void Main() override;

  private:
    H323Transport *m_pTransport;
};

/// Writes the announcement: TPKT, then a Q.931 Information with call reference 0, the call
/// state and a Facility element holding the gatekeeper's endpoint identifier as plain bytes;
/// masked with the TCP mask when the masking setting is 1. Always TRUE.
BOOL SendQ931OverNatLink(CGatekeeper *gatekeeper, PTCPSocket *socket, unsigned callState);
