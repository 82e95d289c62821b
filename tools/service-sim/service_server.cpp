// The simulated datagram service: greeting, login digest check, keep-alive, log-out, notices.
#include <tools/service-sim/service_server.h>

#include <tools/service-sim/log_text.h>

#include <core/login_digest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace servicesim
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr size_t kRepliesKept = 8;
constexpr size_t kPeersKept = 1024;
constexpr size_t kNoticesKept = 256;

std::vector<std::string> Split(const std::string &text)
{
    std::vector<std::string> tokens;
    size_t start = 0;
    for (;;) {
        size_t space = text.find(' ', start);
        tokens.push_back(text.substr(start, space - start));
        if (space == std::string::npos)
            return tokens;
        start = space + 1;
    }
}

bool IsSequence(const std::string &token)
{
    if (token.empty() || token.size() > 9)
        return false;
    for (char c : token)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Requests are printable text; GBK bytes above 0x7f are allowed.
bool IsText(const std::string &data)
{
    for (unsigned char c : data)
        if (c < ' ' || c == 0x7f)
            return false;
    return true;
}

std::string Quote(const std::string &text)
{
    return "\"" + text + "\"";
}

} // namespace

bool IsServiceDatagram(const std::string &data)
{
    // RAS messages open with binary bytes; masked ones almost never spell a keyword and a space.
    for (const char *keyword : {"Helo ", "Auth ", "Live ", "Quit ", "ACK "})
        if (data.starts_with(keyword))
            return IsText(data);
    return false;
}

ServiceServer::ServiceServer(ServiceOptions options)
    : options_(std::move(options)), random_(std::random_device{}())
{
}

ServiceServer::~ServiceServer()
{
    Stop();
}

bool ServiceServer::Start(std::string *error)
{
    if (thread_.joinable()) {
        *error = "already started";
        return false;
    }
    if (!socket_.Bind(options_.address, options_.port, error))
        return false;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        *error = std::string("eventfd: ") + std::strerror(errno);
        socket_.Close();
        return false;
    }
    port_ = socket_.LocalPort();
    stopping_ = false;
    thread_ = std::thread(&ServiceServer::Run, this);
    return true;
}

void ServiceServer::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    Wake();
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
    socket_.Close();
}

void ServiceServer::Wake()
{
    uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof(one)) < 0 && errno != EAGAIN)
        Log("service: cannot wake the server thread: " + std::string(std::strerror(errno)));
}

void ServiceServer::Log(const std::string &line) const
{
    if (options_.log)
        options_.log(PrintableText(line));
}

void ServiceServer::Run()
{
    pollfd fds[2] = {{socket_.Fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stopping_) {
        int timeout;
        {
            std::lock_guard lock(mutex_);
            timeout = NextTimeoutMs(Clock::now());
        }
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            Log(std::string("service: poll: ") + std::strerror(errno));
            return;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            while (::read(wakeFd_, &count, sizeof(count)) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            std::string data;
            Endpoint from;
            size_t length;
            size_t room = options_.otherDatagrams ? kMaxSharedDatagram : kMaxDatagram + 1;
            while (socket_.Receive(&data, room, &from, &length) ==
                   UdpSocket::Received::Datagram) {
                if (options_.otherDatagrams && !IsServiceDatagram(data)) {
                    options_.otherDatagrams(from, std::move(data), length);
                    continue;
                }
                std::lock_guard lock(mutex_);
                HandleDatagram(from, data, length);
            }
        }
        std::lock_guard lock(mutex_);
        Retransmit(Clock::now());
    }
}

int ServiceServer::NextTimeoutMs(Clock::time_point now) const
{
    int timeout = -1;
    for (const auto &[seq, notice] : notices_) {
        if (notice.state.acknowledged || notice.state.givenUp)
            continue;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(notice.next - now).count();
        int wait = ms < 0 ? 0 : static_cast<int>(ms);
        if (timeout < 0 || wait < timeout)
            timeout = wait;
    }
    return timeout;
}

ServiceServer::Peer &ServiceServer::PeerFor(const Endpoint &from)
{
    if (peers_.size() >= kPeersKept && !peers_.count(from)) {
        auto oldest = peers_.begin();
        for (auto it = peers_.begin(); it != peers_.end(); ++it)
            if (it->second.lastHeard < oldest->second.lastHeard)
                oldest = it;
        peers_.erase(oldest);
    }
    Peer &peer = peers_[from];
    peer.lastHeard = Clock::now();
    return peer;
}

void ServiceServer::HandleDatagram(const Endpoint &from, const std::string &data, size_t length)
{
    std::string who = "service " + from.ToString();
    if (length > kMaxDatagram) {
        Log(who + " dropped: over-long datagram (" + std::to_string(length) + " bytes)");
        return;
    }
    if (!IsText(data)) {
        Log(who + " dropped: datagram is not text");
        return;
    }
    std::vector<std::string> tokens = Split(data);
    const std::string &keyword = tokens[0];
    if (keyword == "ACK") {
        HandleAck(from, tokens);
        return;
    }
    if (keyword != "Helo" && keyword != "Auth" && keyword != "Live" && keyword != "Quit") {
        Log(who + " dropped: unknown request " + Quote(data));
        return;
    }
    if (tokens.size() < 4 || !IsSequence(tokens[3])) {
        Log(who + " dropped: malformed request " + Quote(data));
        return;
    }

    Peer &peer = PeerFor(from);
    peer.id1 = tokens[1];
    peer.id2 = tokens[2];
    std::string ack = "ACK " + tokens[1] + " " + tokens[2] + " " + tokens[3];
    socket_.SendTo(from, ack);

    std::string request = keyword + " " + tokens[3];
    std::string reply, note;
    bool repeat = false;
    for (const Reply &r : peer.replies)
        if (r.request == request) {
            reply = r.text;
            repeat = true;
        }
    if (!repeat) {
        reply = Answer(from, peer, keyword, tokens, &note);
        peer.replies.push_back({request, reply});
        if (peer.replies.size() > kRepliesKept)
            peer.replies.pop_front();
    } else {
        note = "repeat";
    }
    if (!reply.empty())
        socket_.SendTo(from, reply);

    std::string line = who + " <- " + Quote(data) + " -> ACK";
    if (!reply.empty())
        line += ", " + Quote(reply);
    if (!note.empty())
        line += " (" + note + ")";
    Log(line);
}

std::string ServiceServer::Answer(const Endpoint &from, Peer &peer, const std::string &keyword,
                                  const std::vector<std::string> &tokens, std::string *note)
{
    std::string head = keyword + " " + tokens[1] + " " + tokens[2] + " " + tokens[3] + " ";
    const std::string &account = tokens[1];

    if (keyword == "Helo") {
        char challenge[17];
        std::snprintf(challenge, sizeof(challenge), "%016llx",
                      static_cast<unsigned long long>(random_()));
        peer.challenge = challenge;
        peer.account.clear();
        return head + "200 " + challenge;
    }
    if (keyword == "Auth") {
        auto known = options_.accounts.find(account);
        std::string digest = tokens.size() > 4 ? tokens[4] : std::string();
        if (known == options_.accounts.end()) {
            *note = "unknown account " + account;
        } else if (peer.challenge.empty()) {
            *note = "no greeting before the authentication";
        } else if (digest !=
                   LoginDigest(account, known->second, options_.aliasDomain, peer.challenge)) {
            *note = "wrong digest for " + account;
        } else {
            for (auto &[endpoint, other] : peers_)
                if (endpoint != from && other.account == account) {
                    other.account.clear();
                    *note = "replaces the session at " + endpoint.ToString() + "; ";
                }
            peer.account = account;
            peer.challenge.clear();
            *note += account + " logged in";
            return head + "200";
        }
        return head + "400";
    }
    if (keyword == "Live") {
        if (!peer.account.empty() && peer.account == account)
            return head + "200";
        *note = account + " not logged in here";
        return head + "403";
    }
    // Quit
    if (!peer.account.empty())
        *note = peer.account + " logged out";
    peer.account.clear();
    return {};
}

void ServiceServer::HandleAck(const Endpoint &from, const std::vector<std::string> &tokens)
{
    std::string who = "service " + from.ToString();
    if (tokens.size() < 4 || !IsSequence(tokens[3])) {
        Log(who + " dropped: malformed ACK");
        return;
    }
    int seq = std::stoi(tokens[3]);
    auto it = notices_.find(seq);
    std::string text = "ACK " + tokens[1] + " " + tokens[2] + " " + tokens[3];
    if (it == notices_.end() || it->second.to != from) {
        Log(who + " <- " + Quote(text) + " (of a reply)");
        return;
    }
    NoticeState &state = it->second.state;
    if (!state.acknowledged && !state.givenUp) {
        state.acknowledged = true;
        Log(who + " <- " + Quote(text) + " (notice " + tokens[3] + " acknowledged)");
    } else {
        Log(who + " <- " + Quote(text) + " (notice " + tokens[3] + " already done)");
    }
}

int ServiceServer::SendNotice(Notice notice, const std::string &account, std::string *error)
{
    std::lock_guard lock(mutex_);
    auto target = peers_.end();
    for (auto it = peers_.begin(); it != peers_.end(); ++it) {
        if (it->second.id1 != account && it->second.account != account)
            continue;
        bool better = target == peers_.end() ||
                      (it->second.account == account) > (target->second.account == account) ||
                      ((it->second.account == account) == (target->second.account == account) &&
                       it->second.lastHeard > target->second.lastHeard);
        if (better)
            target = it;
    }
    if (target == peers_.end()) {
        *error = "account " + account + " has not been heard from";
        return -1;
    }

    int seq = nextNotice_;
    nextNotice_ = nextNotice_ >= 999999 ? kFirstNoticeSequence : nextNotice_ + 1;
    Peer &peer = target->second;
    std::string text = (notice == Notice::KeepAlive ? "Live " : "Info ") + peer.id1 + " " +
                       peer.id2 + " " + std::to_string(seq);
    if (notice == Notice::Kicked)
        text += " 101";
    else if (notice == Notice::Relogin)
        text += " 102";
    if (notice != Notice::KeepAlive)
        peer.account.clear();

    if (notices_.size() >= kNoticesKept) {
        for (auto it = notices_.begin(); it != notices_.end(); ++it)
            if (it->second.state.acknowledged || it->second.state.givenUp) {
                notices_.erase(it);
                break;
            }
    }
    PendingNotice &pending = notices_[seq];
    pending = {target->first, text, {1, false, false}, Clock::now() + options_.retransmitInterval};
    socket_.SendTo(pending.to, text);
    Log("service " + pending.to.ToString() + " -> " + Quote(text) + " (send 1 of " +
        std::to_string(options_.noticeSends) + ")");
    Wake();
    return seq;
}

void ServiceServer::Retransmit(Clock::time_point now)
{
    for (auto &[seq, notice] : notices_) {
        NoticeState &state = notice.state;
        if (state.acknowledged || state.givenUp || notice.next > now)
            continue;
        std::string who = "service " + notice.to.ToString();
        if (state.sends >= options_.noticeSends) {
            state.givenUp = true;
            Log(who + " notice " + std::to_string(seq) + " unacknowledged after " +
                std::to_string(state.sends) + " sends, given up");
            continue;
        }
        state.sends++;
        notice.next = now + options_.retransmitInterval;
        socket_.SendTo(notice.to, notice.text);
        Log(who + " -> " + Quote(notice.text) + " (send " + std::to_string(state.sends) + " of " +
            std::to_string(options_.noticeSends) + ")");
    }
}

std::optional<NoticeState> ServiceServer::NoticeStatus(int sequence) const
{
    std::lock_guard lock(mutex_);
    auto it = notices_.find(sequence);
    if (it == notices_.end())
        return std::nullopt;
    return it->second.state;
}

bool ServiceServer::IsLoggedIn(const std::string &account) const
{
    std::lock_guard lock(mutex_);
    for (const auto &[endpoint, peer] : peers_)
        if (peer.account == account)
            return true;
    return false;
}

} // namespace servicesim
