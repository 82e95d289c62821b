// Test endpoints of the stack: they record every call-back as an event line and can wait
// for one with a time-out.
#pragma once

#include <h323/callsig/connection.h>
#include <h323/channels/channel.h>
#include <h323/codecs/g711.h>
#include <h323/codecs/gsm0610.h>
#include <h323/endpoint/endpoint.h>
#include <h323/ras/gatekeeper.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace stacktest {

/** Lines of events, appended from any thread. */
class EventLog
{
  public:
    void Add(const std::string &line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
        times.push_back(std::chrono::steady_clock::now());
        cond.notify_all();
    }
    /** Waits (at most timeoutMs) for a line starting with prefix; the line or "". */
    std::string WaitFor(const std::string &prefix, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        std::string found;
        cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const std::string &l : lines)
                if (l.rfind(prefix, 0) == 0) {
                    found = l;
                    return true;
                }
            return false;
        });
        return found;
    }
    bool Has(const std::string &prefix)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string &l : lines)
            if (l.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
    std::vector<std::string> All()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
    /** When the first line starting with prefix was added; false when none was. */
    bool TimeOf(const std::string &prefix, std::chrono::steady_clock::time_point &at)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i].rfind(prefix, 0) == 0) {
                at = times[i];
                return true;
            }
        return false;
    }

  private:
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<std::string> lines;
    std::vector<std::chrono::steady_clock::time_point> times;
};

/** What an endpoint does with incoming calls. */
struct Behaviour {
    H323Connection::AnswerCallResponse answer = H323Connection::AnswerCallNow;
    bool busy = false;          ///< OnIncomingCall clears with EndedByLocalBusy
    bool refuseConnection = false; ///< CreateConnection gives nullptr for incoming calls
    std::string forward;        ///< OnIncomingCall forwards here
    bool followForward = true;  ///< OnConnectionForwarded returns TRUE
};

class TestEndPoint;

class TestConnection : public H323Connection
{
  public:
    TestConnection(TestEndPoint &ep, unsigned ref);
    AnswerCallResponse OnAnswerCall(const PString &, const H323SignalPDU &, H323SignalPDU &) override;
    void OnUserInputString(const PString &value) override;
    void OnUserInputTone(char tone, unsigned duration, unsigned channel, unsigned ts) override;

  private:
    TestEndPoint &test;
};

class TestGatekeeper : public H323Gatekeeper
{
  public:
    TestGatekeeper(H323EndPoint &ep, H323Transport *t, EventLog &events);
    ~TestGatekeeper() override { StopChannel(); }
    BOOL OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf) override;
    BOOL OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq) override;

  private:
    EventLog &events;
};

class TestEndPoint : public H323EndPoint
{
  public:
    /** Listens on a free port; codecs in order ("PCMU", "PCMA", "GSM"). */
    explicit TestEndPoint(const std::string &alias, std::vector<std::string> codecs = {"PCMU"});
    ~TestEndPoint() override;

    /** "ip$127.0.0.1:port" of the listener. */
    PString Address() const;
    /** Places a call; the token, or "" when MakeCall refused. */
    PString Call(const PString &party);

    H323Connection *CreateConnection(unsigned ref) override;
    H323Connection *CreateConnection(unsigned ref, void *userData, H323Transport *transport,
                                     H323SignalPDU *setup) override;
    H323Gatekeeper *CreateGatekeeper(H323Transport *transport) override;
    BOOL OnIncomingCall(H323Connection &c, const H323SignalPDU &, H323SignalPDU &) override;
    BOOL OnAlerting(H323Connection &c, const H323SignalPDU &, const PString &) override;
    BOOL OnConnectionForwarded(H323Connection &c, const PString &party, const H323SignalPDU &) override;
    void OnConnectionEstablished(H323Connection &c, const PString &token) override;
    void OnConnectionCleared(H323Connection &c, const PString &token) override;
    void OnClosedLogicalChannel(H323Connection &c, const H323Channel &channel) override;
    void OnCallCreditServiceControl(const PString &amount, BOOL mode) override;

    EventLog events;
    Behaviour behaviour;
    std::string lastCodec;
};

/** The end reason number of the "cleared N" event, -1 when none came in time. */
int WaitCleared(TestEndPoint &ep, int timeoutMs = 5000);

} // namespace stacktest
