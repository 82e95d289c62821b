// H323AudioLoop: one thread for both directions of a session's audio.
#include <h323/channels/audio_loop.h>

#include <h323/channels/channel.h>
#include <h323/rtp/jitter.h>
#include <h323/rtp/rtp_session.h>

#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>

#include <map>

namespace {

/// How long a receiver alone waits before the loop looks for a new transmitter (ms).
constexpr long long kAloneWaitMs = 50;

// The loop of each session; built on first use and kept until the process ends, as media
// threads may still end their loops while it exits.
struct LoopTable {
    std::mutex mutex;
    std::map<const RTP_Session *, std::weak_ptr<H323AudioLoop>> loops;
};

LoopTable &Loops()
{
    static LoopTable *table = new LoopTable;
    return *table;
}

long long NowMs()
{
    return PTimer::Tick().GetMilliSeconds();
}

} // namespace

class H323AudioLoop::Thread : public PThread
{
    PCLASSINFO(Thread, PThread)
  public:
    Thread(H323AudioLoop &l, unsigned sessionID)
        : PThread(30000, NoAutoDeleteThread, HighestPriority, psprintf("Media %u:%%0x", sessionID)),
          loop(l)
    {
    }
    void Main() override { loop.Run(); }

  private:
    H323AudioLoop &loop;
};

std::shared_ptr<H323AudioLoop> H323AudioLoop::Of(RTP_Session &session)
{
    LoopTable &table = Loops();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::weak_ptr<H323AudioLoop> &entry = table.loops[&session];
    std::shared_ptr<H323AudioLoop> loop = entry.lock();
    if (!loop) {
        loop.reset(new H323AudioLoop(session));
        entry = loop;
    }
    return loop;
}

H323AudioLoop::H323AudioLoop(RTP_Session &s) : session(s) {}

H323AudioLoop::~H323AudioLoop()
{
    {
        LoopTable &table = Loops();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.loops.find(&session);
        if (it != table.loops.end() && it->second.expired())
            table.loops.erase(it);
    }
    if (thread && !OnLoopThread())
        thread->WaitForTermination();
}

bool H323AudioLoop::OnLoopThread() const
{
    return thread && PThread::Current() == thread.get();
}

void H323AudioLoop::Attach(H323_RTPChannel &channel)
{
    std::unique_lock<std::mutex> lock(mutex);
    (channel.GetDirection() == H323Channel::IsTransmitter ? transmitter : receiver) = &channel;
    if (running)
        return;
    // A thread that served earlier channels has ended (or is ending) by itself.
    if (thread && !OnLoopThread()) {
        lock.unlock();
        thread->WaitForTermination();
        lock.lock();
    }
    if (running)
        return;
    running = true;
    thread.reset(new Thread(*this, session.GetSessionID()));
    thread->Resume();
}

void H323AudioLoop::Detach(H323_RTPChannel &channel)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (transmitter == &channel)
        transmitter = nullptr;
    if (receiver == &channel)
        receiver = nullptr;
    if (OnLoopThread())
        return;
    stepDone.wait(lock, [&] { return transmitting != &channel && receiving != &channel; });
}

bool H323AudioLoop::Step(H323_RTPChannel *&slot, H323_RTPChannel *&inStep,
                         std::unique_lock<std::mutex> &lock, long long playBy, long long giveUpAt)
{
    H323_RTPChannel *channel = slot;
    inStep = channel;
    lock.unlock();
    bool more = channel->GetDirection() == H323Channel::IsTransmitter
                    ? channel->TransmitAudioPacket()
                    : channel->ReceiveAudioDue(playBy, giveUpAt);
    lock.lock();
    inStep = nullptr;
    stepDone.notify_all();
    if (!more && slot == channel)
        slot = nullptr; // its media has ended; the channel is closed by its owner
    return more;
}

void H323AudioLoop::Run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (transmitter != nullptr || receiver != nullptr) {
        if (transmitter != nullptr) {
            unsigned packetMs = transmitter->GetPacketTime();
            if (Step(transmitter, transmitting, lock, 0, 0) && receiver != nullptr) {
                // Between two packets: what is due by the middle of the next packet time,
                // without waiting for it.
                long long now = NowMs();
                Step(receiver, receiving, lock, now + packetMs / 2, now);
            }
        } else if (receiver != nullptr) {
            Step(receiver, receiving, lock, 0, NowMs() + kAloneWaitMs);
        }
    }
    running = false;
}
