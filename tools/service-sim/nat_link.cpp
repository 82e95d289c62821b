// The NAT link's far end: announcements (TPKT + Q.931 Information) and the call relay.
#include <tools/service-sim/nat_link.h>

#include <tools/service-sim/log_text.h>

#include <h323/asn1/gen/h225.h>
#include <h323/pdu/addresses.h>
#include <h323/q931/q931.h>
#include <h323/q931/signal.h>
#include <tools/masking/masking.h>
#include <tools/service-sim/tcp_frames.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace servicesim {

NatLinkServer::NatLinkServer(NatLinkOptions options) : options_(std::move(options)) {}

NatLinkServer::~NatLinkServer()
{
    Stop();
}

void NatLinkServer::Log(const std::string &line) const
{
    if (options_.log)
        options_.log("nat: " + PrintableText(line));
}

bool NatLinkServer::Start(std::string *error)
{
    linkListener_ = OpenListener(options_.address, options_.linkPort, &linkPort_, error);
    if (linkListener_ < 0)
        return false;
    relayListener_ = OpenListener(options_.address, options_.relayPort, &relayPort_, error);
    if (relayListener_ < 0)
        return false;
    return loop_.Start([this] { Run(); }, error);
}

void NatLinkServer::Stop()
{
    if (!loop_.Running())
        return;
    loop_.Stop();
    std::vector<std::thread> relays;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        relays.swap(relays_);
        for (auto &[id, fd] : links_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &t : relays)
        t.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &[fd, buffer] : linkBuffers_)
        ::close(fd);
    linkBuffers_.clear();
    links_.clear();
    ::close(linkListener_);
    ::close(relayListener_);
}

int NatLinkServer::AnnouncementsFrom(const std::string &endpointId) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = announcements_.find(endpointId);
    return it != announcements_.end() ? it->second : 0;
}

void NatLinkServer::Run()
{
    while (!loop_.Stopping()) {
        std::vector<pollfd> fds = {{loop_.Fd(), POLLIN, 0},
                                   {linkListener_, POLLIN, 0},
                                   {relayListener_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto &[fd, buffer] : linkBuffers_)
                fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(linkListener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                linkBuffers_.emplace(fd, FrameSplitter(options_.masking));
                Log("link opened");
            }
        }
        if (fds[2].revents & POLLIN) {
            int fd = ::accept4(relayListener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                OnCaller(fd);
        }
        for (size_t i = 3; i < fds.size(); i++)
            if (fds[i].revents)
                OnLinkData(fds[i].fd);
    }
}

void NatLinkServer::OnLinkData(int fd)
{
    uint8_t buf[2048];
    ssize_t n = ::recv(fd, buf, sizeof(buf), MSG_DONTWAIT);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = linkBuffers_.find(fd);
    if (it == linkBuffers_.end())
        return;
    if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        for (auto l = links_.begin(); l != links_.end();)
            l = l->second == fd ? links_.erase(l) : std::next(l);
        linkBuffers_.erase(it);
        ::close(fd);
        Log("link closed");
        return;
    }
    FrameSplitter &frames = it->second;
    frames.Feed(buf, size_t(n));
    std::vector<uint8_t> frame;
    while (frames.Next(frame)) {
        Q931 q931;
        if (!FrameMessage(frame, options_.masking, q931) ||
            q931.GetMessageType() != Q931::InformationMsg || !q931.HasIE(Q931::FacilityIE)) {
            Log("link frame that is no announcement dropped");
            continue;
        }
        std::vector<uint8_t> id = q931.GetIE(Q931::FacilityIE);
        std::string endpointId(id.begin(), id.end());
        links_[endpointId] = fd;
        announcements_[endpointId]++;
        Log("announcement from " + endpointId + " (call state " +
            std::to_string(int(q931.GetCallState())) + ")");
    }
    if (frames.Broken()) {
        Log("malformed link data dropped");
        it->second = FrameSplitter(options_.masking);
    }
}

void NatLinkServer::OnCaller(int caller)
{
    std::vector<uint8_t> first = ReadFrame(caller, options_.masking, 5000);
    Q931 q931;
    H225_H323_UserInformation uuie;
    std::string alias;
    if (!first.empty() && FrameMessage(first, options_.masking, q931) &&
        q931.GetMessageType() == Q931::SetupMsg) {
        std::string called;
        if (q931.GetCalledPartyNumber(called))
            alias = called;
        if (h323::GetUserInformation(q931, uuie) &&
            uuie.m_h323_uu_pdu.m_h323_message_body.GetTag() ==
                H225_H323_UU_PDU_h323_message_body::e_setup) {
            const H225_Setup_UUIE &setup = uuie.m_h323_uu_pdu.m_h323_message_body.setup();
            if (setup.HasOptionalField(H225_Setup_UUIE::e_destinationAddress) &&
                setup.m_destinationAddress.size() > 0)
                alias = h323::AliasText(setup.m_destinationAddress[0]);
        }
    }
    std::string endpointId = alias.empty() || !options_.endpointOf ? "" : options_.endpointOf(alias);
    int link = -1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find(endpointId);
        if (it != links_.end()) {
            link = it->second;
            links_.erase(it);
            linkBuffers_.erase(link); // the link now carries the call
        }
    }
    if (link < 0) {
        Log("call for \"" + alias + "\" has no link: closed");
        ::close(caller);
        return;
    }
    Log("call for " + alias + " relayed down the link of " + endpointId);
    std::lock_guard<std::mutex> lock(mutex_);
    relays_.emplace_back([this, caller, link, first] { Relay(caller, link, first); });
}

void NatLinkServer::Relay(int caller, int link, std::vector<uint8_t> firstFrame)
{
    // Both sides use the same masking: the bytes pass unchanged.
    if (WriteAll(link, firstFrame.data(), firstFrame.size())) {
        pollfd fds[2] = {{caller, POLLIN, 0}, {link, POLLIN, 0}};
        uint8_t buf[4096];
        while (!loop_.Stopping()) {
            if (::poll(fds, 2, 200) < 0 && errno != EINTR)
                break;
            bool done = false;
            for (int i = 0; i < 2 && !done; i++) {
                if (!fds[i].revents)
                    continue;
                ssize_t n = ::recv(fds[i].fd, buf, sizeof(buf), 0);
                done = n <= 0 || !WriteAll(fds[1 - i].fd, buf, size_t(n));
            }
            if (done)
                break;
        }
    }
    ::close(caller);
    ::close(link);
}

} // namespace servicesim
