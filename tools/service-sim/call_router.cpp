// The routed model's call-signalling port: Setups of admitted calls only, then the relay.
#include <tools/service-sim/call_router.h>

#include <tools/service-sim/call_relay.h>
#include <tools/service-sim/tcp_frames.h>

#include <h323/asn1/gen/h225.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/q931.h>
#include <h323/q931/signal.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace servicesim {

CallRouter::CallRouter(CallRouterOptions options) : options_(std::move(options)) {}

CallRouter::~CallRouter()
{
    Stop();
}

void CallRouter::Log(const std::string &line) const
{
    if (options_.log)
        options_.log("route: " + line);
}

bool CallRouter::Start(std::string *error)
{
    listener_ = OpenListener(options_.address, options_.port, &port_, error);
    if (listener_ < 0)
        return false;
    return loop_.Start([this] { Run(); }, error);
}

void CallRouter::Stop()
{
    if (!loop_.Running())
        return;
    loop_.Stop();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (int fd : open_)
            ::shutdown(fd, SHUT_RDWR);
        idle_.wait(lock, [this] { return active_ == 0; });
    }
    ::close(listener_);
}

void CallRouter::Run()
{
    pollfd fds[2] = {{loop_.Fd(), POLLIN, 0}, {listener_, POLLIN, 0}};
    while (!loop_.Stopping()) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            // Each caller on its own thread: reading its Setup may take a while.
            Track(fd);
            std::lock_guard<std::mutex> lock(mutex_);
            active_++;
            std::thread([this, fd] {
                OnCaller(fd);
                std::lock_guard<std::mutex> hold(mutex_);
                if (--active_ == 0)
                    idle_.notify_all();
            }).detach();
        }
    }
}

void CallRouter::Track(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(fd);
    if (loop_.Stopping())
        ::shutdown(fd, SHUT_RDWR);
}

void CallRouter::CloseTracked(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(fd);
    ::close(fd);
}

void CallRouter::OnCaller(int caller)
{
    std::vector<uint8_t> setupFrame = ReadFrame(caller, options_.masking, 5000);
    Q931 q931;
    H225_H323_UserInformation uuie;
    if (setupFrame.empty() || !FrameMessage(setupFrame, options_.masking, q931) ||
        q931.GetMessageType() != Q931::SetupMsg || !h323::GetUserInformation(q931, uuie) ||
        uuie.m_h323_uu_pdu.m_h323_message_body.GetTag() !=
            H225_H323_UU_PDU_h323_message_body::e_setup) {
        Log("first message is no Setup: closed");
        CloseTracked(caller);
        return;
    }
    const H225_Setup_UUIE &setup = uuie.m_h323_uu_pdu.m_h323_message_body.setup();
    RelayedCall call;
    call.callReference = q931.GetCallReference();
    std::string id = "(none)";
    if (setup.HasOptionalField(H225_Setup_UUIE::e_callIdentifier)) {
        call.callIdentifier = setup.m_callIdentifier.m_guid;
        id = h323::Guid(call.callIdentifier).AsString();
    }
    std::optional<Endpoint> destination;
    if (!call.callIdentifier.empty() && options_.takeAdmitted)
        destination = options_.takeAdmitted(id);
    if (!destination) {
        // A deployed gatekeeper refuses a Setup it cannot match to an admission.
        Log("Setup of call " + id + " matches no admitted call: Release Complete");
        std::vector<uint8_t> rc =
            MessageFrame(ReleaseCompleteFor(call, true, Q931::CallRejected), options_.masking);
        WriteAll(caller, rc.data(), rc.size());
        ::shutdown(caller, SHUT_WR);
        ReadFrame(caller, options_.masking, 1000); // until the caller has closed
        CloseTracked(caller);
        return;
    }
    int callee = ConnectTo(*destination, 5000);
    if (callee >= 0)
        Track(callee);
    if (callee < 0 || !WriteAll(callee, setupFrame.data(), setupFrame.size())) {
        Log("call " + id + ": " + destination->ToString() + " unreachable: Release Complete");
        std::vector<uint8_t> rc = MessageFrame(
            ReleaseCompleteFor(call, true, Q931::DestinationOutOfOrder), options_.masking);
        WriteAll(caller, rc.data(), rc.size());
        if (callee >= 0)
            CloseTracked(callee);
        CloseTracked(caller);
        return;
    }
    Log("call " + id + " routed to " + destination->ToString());
    RelayEnd end = RelayCall(caller, callee, options_.masking, call, loop_.Stopping());
    Log("call " + id + " ended: " + RelayEndName(end));
    CloseTracked(caller);
    CloseTracked(callee);
}

} // namespace servicesim
