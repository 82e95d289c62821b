// The RAS request/response machine.
#include <h323/ras/ras_channel.h>

#include <h323/asn1/per.h>
#include <h323/transports/transport_udp.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

#include <random>

namespace h323 {

struct RasChannel::Pending {
    unsigned confirmTag = 0;
    unsigned rejectTag = 0;
    PSyncPoint wake;
    Outcome outcome = Outcome::TimedOut;
    bool answered = false;
    PInt64 extendMs = 0; // a RequestInProgress asked for this much more
    H225_RasMessage *reply = nullptr;
};

class RasChannel::ReceiveThread : public PThread
{
    PCLASSINFO(ReceiveThread, PThread)
  public:
    explicit ReceiveThread(RasChannel &c)
        : PThread(30000, NoAutoDeleteThread, NormalPriority, "H225 RAS"), channel(c)
    {
    }
    void Main() override { channel.ReceiveLoop(); }

  private:
    RasChannel &channel;
};

RasChannel::RasChannel(H323TransportUDP &t, Dispatcher d)
    : transport(t), dispatcher(std::move(d)), lastSequence(std::random_device()() % 60000)
{
}

RasChannel::~RasChannel()
{
    Stop();
}

void RasChannel::Start()
{
    if (thread != nullptr)
        return;
    thread = new ReceiveThread(*this);
    thread->Resume();
}

void RasChannel::Stop()
{
    stopping = true;
    CancelRequests();
    transport.Close();
    if (thread != nullptr) {
        if (!IsReceiveThread())
            thread->WaitForTermination();
        delete thread;
        thread = nullptr;
    }
}

bool RasChannel::IsReceiveThread() const
{
    return thread != nullptr && PThread::Current() == thread;
}

unsigned RasChannel::NextSequenceNumber()
{
    unsigned n = ++lastSequence % 65536;
    if (n == 0)
        n = ++lastSequence % 65536;
    return n;
}

bool RasChannel::WritePDU(const H225_RasMessage &msg)
{
    std::vector<uint8_t> bytes;
    asn1::Result r = asn1::encode(msg, bytes);
    if (!r) {
        PTRACE(1, "RAS\tcannot encode " << RasMessageName(msg.GetTag()) << ": " << r.message());
        return false;
    }
    PBYTEArray pdu(bytes.data(), PINDEX(bytes.size()));
    PTRACE(4, "RAS\tsend " << RasMessageName(msg.GetTag()) << " seq " << RasSequenceNumber(msg));
    return transport.WritePDU(pdu);
}

RasChannel::Outcome RasChannel::MakeRequest(const H225_RasMessage &msg, H225_RasMessage &reply,
                                            const PTimeInterval &timeout, unsigned tries,
                                            const std::atomic<bool> *abort)
{
    if (stopping)
        return Outcome::Cancelled;
    Pending request;
    if (!RasReplyTags(msg.GetTag(), request.confirmTag, request.rejectTag))
        return Outcome::TransportError;
    request.reply = &reply;
    unsigned seq = RasSequenceNumber(msg);

    std::vector<uint8_t> bytes;
    if (asn1::Result r = asn1::encode(msg, bytes); !r) {
        PTRACE(1, "RAS\tcannot encode " << RasMessageName(msg.GetTag()) << ": " << r.message());
        return Outcome::TransportError;
    }
    PBYTEArray pdu(bytes.data(), PINDEX(bytes.size()));

    {
        PWaitAndSignal lock(pendingMutex);
        pending[seq] = &request;
    }
    Outcome outcome = Outcome::TimedOut;
    for (unsigned attempt = 0; attempt < tries && !stopping; attempt++) {
        if (abort != nullptr && *abort) {
            outcome = Outcome::Cancelled;
            break;
        }
        PTRACE(4, "RAS\tsend " << RasMessageName(msg.GetTag()) << " seq " << seq << " try "
                               << attempt + 1);
        if (!transport.WritePDU(pdu)) {
            outcome = Outcome::TransportError;
            break;
        }
        PInt64 deadline = PTimer::Tick().GetMilliSeconds() + timeout.GetMilliSeconds();
        bool done = false;
        for (;;) {
            PInt64 left = deadline - PTimer::Tick().GetMilliSeconds();
            bool woken = left > 0 && request.wake.Wait(PTimeInterval(left));
            PWaitAndSignal lock(pendingMutex);
            if (request.answered) {
                outcome = request.outcome;
                done = true;
                break;
            }
            if (request.extendMs > 0) { // RequestInProgress
                deadline = PTimer::Tick().GetMilliSeconds() + request.extendMs;
                request.extendMs = 0;
                continue;
            }
            if (!woken && PTimer::Tick().GetMilliSeconds() >= deadline)
                break;
        }
        if (done)
            break;
    }
    {
        PWaitAndSignal lock(pendingMutex);
        pending.erase(seq);
        if ((stopping || (abort != nullptr && *abort)) && !request.answered)
            outcome = Outcome::Cancelled;
    }
    return outcome;
}

void RasChannel::CancelRequests()
{
    PWaitAndSignal lock(pendingMutex);
    for (auto &[seq, request] : pending) {
        request->answered = true;
        request->outcome = Outcome::Cancelled;
        request->wake.Signal();
    }
}

void RasChannel::ReceiveLoop()
{
    PBYTEArray data;
    while (!stopping) {
        if (!transport.ReadPDU(data)) {
            PChannel::Errors e = transport.GetErrorCode(PChannel::LastReadError);
            if (stopping || e == PChannel::Interrupted || e == PChannel::NotOpen)
                break;
            continue; // a stray ICMP error or similar
        }
        HandlePDU(data);
    }
}

void RasChannel::HandlePDU(const PBYTEArray &data)
{
    H225_RasMessage msg;
    asn1::Result r = asn1::decode(data.GetPointer(), size_t(data.GetSize()), msg);
    if (!r) {
        PTRACE(2, "RAS\tdropped undecodable datagram of " << data.GetSize()
                                                          << " bytes: " << r.message());
        return;
    }
    unsigned tag = msg.GetTag();
    unsigned seq = RasSequenceNumber(msg);
    PTRACE(4, "RAS\treceived " << RasMessageName(tag) << " seq " << seq);

    if (tag == H225_RasMessage::e_requestInProgress) {
        PWaitAndSignal lock(pendingMutex);
        auto it = pending.find(seq);
        if (it != pending.end()) {
            it->second->extendMs = msg.requestInProgress().m_delay.GetValue();
            it->second->wake.Signal();
        }
        return;
    }

    Pending *request = nullptr;
    {
        PWaitAndSignal lock(pendingMutex);
        auto it = pending.find(seq);
        if (it != pending.end() && !it->second->answered &&
            (tag == it->second->confirmTag || tag == it->second->rejectTag))
            request = it->second;
    }
    // Handlers run without the pending lock: they may send RAS or wait for the program.
    bool accepted = dispatcher(msg, request != nullptr);
    if (request == nullptr)
        return;
    PWaitAndSignal lock(pendingMutex);
    auto it = pending.find(seq);
    if (it == pending.end() || it->second != request || request->answered)
        return;
    *request->reply = msg;
    request->outcome =
        tag == request->confirmTag && accepted ? Outcome::Confirmed : Outcome::Rejected;
    request->answered = true;
    request->wake.Signal();
}

} // namespace h323
