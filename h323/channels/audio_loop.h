// H323AudioLoop: the one media thread of a call's audio, both directions.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

class H323_RTPChannel;
class PThread;
class RTP_Session;

/// Serves the audio channels of one RTP session on one thread: the transmitter's packets go
/// out paced by its codec (the sound device's clock), and after each one the receiver plays
/// the frames due by the middle of the next packet time (a frame plays at most half a
/// packet time early or late, and the jitter buffer's adaptation allows for it). A receiver
/// alone waits for its frames' times as its own thread would. A wake-up of the thread is
/// what a call's media costs most, and both directions share each one.
class H323AudioLoop
{
  public:
    /// The loop of a session, made with its first channel; kept while a channel holds it.
    static std::shared_ptr<H323AudioLoop> Of(RTP_Session &session);
    ~H323AudioLoop();
    H323AudioLoop(const H323AudioLoop &) = delete;
    H323AudioLoop &operator=(const H323AudioLoop &) = delete;

    /// Serves the channel (the transmitter or the receiver of the session) from now on; the
    /// thread is started when it does not run.
    void Attach(H323_RTPChannel &channel);
    /// Stops serving the channel; returns once the thread no longer uses it (at once on the
    /// loop's own thread).
    void Detach(H323_RTPChannel &channel);

  private:
    class Thread;
    explicit H323AudioLoop(RTP_Session &session);
    void Run();
    /// One step of a channel with the lock released; false ends its service.
    bool Step(H323_RTPChannel *&slot, H323_RTPChannel *&inStep,
              std::unique_lock<std::mutex> &lock, long long playBy, long long giveUpAt);
    bool OnLoopThread() const;

    RTP_Session &session;
    std::mutex mutex;
    std::condition_variable stepDone;
    H323_RTPChannel *transmitter = nullptr;
    H323_RTPChannel *receiver = nullptr;
    H323_RTPChannel *transmitting = nullptr; // in its step now
    H323_RTPChannel *receiving = nullptr;
    bool running = false;
    std::unique_ptr<PThread> thread;
};
