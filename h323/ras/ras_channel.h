// The RAS request/response machine: sequence numbers, retries, time-outs, the receive thread.
#pragma once

#include <h323/asn1/gen/h225.h>

#include <pwlib/parray.h>
#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pthread.h>

#include <atomic>
#include <functional>
#include <map>

class H323TransportUDP;

namespace h323 {

/// Name of a RAS message alternative, for logs ("registrationRequest").
const char *RasMessageName(unsigned tag);
/// The requestSeqNum of any RAS message (0 for those without one).
unsigned RasSequenceNumber(const H225_RasMessage &msg);
/// For a request tag, the tags of its confirm and reject; false for non-requests.
bool RasReplyTags(unsigned requestTag, unsigned &confirmTag, unsigned &rejectTag);

/// Sends RAS requests and waits for their replies; runs the thread that reads the RAS
/// transport and hands every other message to the dispatcher.
///
/// A request is sent, then re-sent after each time-out, up to its number of tries; a
/// RequestInProgress for it extends the current wait by its delay. The reply is matched by
/// sequence number and kind. The dispatcher runs on the receive thread for every message
/// that is not a RequestInProgress, including replies (before the waiting thread wakes),
/// so that its handlers see the reply first.
class RasChannel
{
  public:
    enum class Outcome { Confirmed, Rejected, TimedOut, Cancelled, TransportError };

    /// msg received; for a reply, pending is TRUE when it matched a waiting request. Its
    /// result for a reply: FALSE turns a confirm into a failure (Rejected).
    using Dispatcher = std::function<bool(const H225_RasMessage &msg, bool matchedRequest)>;

    RasChannel(H323TransportUDP &transport, Dispatcher dispatcher);
    ~RasChannel();
    RasChannel(const RasChannel &) = delete;
    RasChannel &operator=(const RasChannel &) = delete;

    /// Starts the receive thread.
    void Start();
    /// Cancels every waiting request, closes the transport and waits for the thread.
    void Stop();
    /// TRUE when called on the receive thread.
    bool IsReceiveThread() const;

    /// A new sequence number (1..65535).
    unsigned NextSequenceNumber();

    /// Sends msg (a request with requestSeqNum set) and waits for its reply, which is
    /// copied to reply. timeout is per try.
    /// abort, when given and set (now or while waiting, followed by CancelRequests), ends
    /// the request with Cancelled.
    Outcome MakeRequest(const H225_RasMessage &msg, H225_RasMessage &reply,
                        const PTimeInterval &timeout, unsigned tries,
                        const std::atomic<bool> *abort = nullptr);
    /// Sends one message (a reply, or a request not waited for).
    bool WritePDU(const H225_RasMessage &msg);
    /// Wakes every waiting request with Cancelled (the requests that follow still work).
    void CancelRequests();

  private:
    struct Pending;
    class ReceiveThread;
    void ReceiveLoop();
    void HandlePDU(const PBYTEArray &data);

    H323TransportUDP &transport;
    Dispatcher dispatcher;
    ReceiveThread *thread = nullptr;
    std::atomic<unsigned> lastSequence;
    PMutex pendingMutex;
    std::map<unsigned, Pending *> pending;
    std::atomic<bool> stopping{false};
};

} // namespace h323
