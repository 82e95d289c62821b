// Test support for the call engine.
#include "call_engine_support.h"

#include <core/window_messages.h>

#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/identifiers.h>
#include <h323/ras/ras_channel.h>
#include <tools/masking/masking.h>

#include <win/module_testing.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace enginetest
{

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "call-engine-test";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

bool WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void RunFor(int ms)
{
    WaitUntil([] { return false; }, ms);
}

// ---- RecordingWindow ----

LRESULT RecordingWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    Record r{message, wParam, lParam, {}};
    if ((message == WM_CHAT_TEXT || message == WM_SHOW_TIME || message == WM_SHOW_BALANCE) &&
        wParam != 0)
        r.text = reinterpret_cast<const char *>(wParam);
    records.push_back(r);
    if (onMessage)
        onMessage(records.back());
    return 0;
}

int RecordingWindow::Count(UINT message) const
{
    int n = 0;
    for (const Record &r : records)
        n += r.message == message;
    return n;
}

const RecordingWindow::Record *RecordingWindow::Find(UINT message, size_t from) const
{
    for (size_t i = from; i < records.size(); i++)
        if (records[i].message == message)
            return &records[i];
    return nullptr;
}

const RecordingWindow::Record *RecordingWindow::WaitFor(UINT message, int n, int timeoutMs)
{
    if (!WaitUntil([&] { return Count(message) >= n; }, timeoutMs))
        return nullptr;
    int seen = 0;
    for (const Record &r : records)
        if (r.message == message && ++seen == n)
            return &r;
    return nullptr;
}

std::vector<UINT> RecordingWindow::Messages() const
{
    std::vector<UINT> out;
    for (const Record &r : records)
        out.push_back(r.message);
    return out;
}

// ---- ScratchSettings ----

ScratchSettings::ScratchSettings()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrelin-core-XXXXXX").string();
    dir = mkdtemp(pattern.data()) ? pattern : std::string();
    win::testing::OverrideExecutablePath((dir + "/kestrelin").c_str());
    settings.reset(new CSettings);
    settings->m_strPlayDevice = "Null";
    settings->m_strRecordDevice = "Null";
    settings->m_nLocalPort = 0;
}

ScratchSettings::~ScratchSettings()
{
    settings.reset();
    win::testing::OverrideExecutablePath(nullptr);
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

// ---- ScriptedGatekeeper ----

namespace
{

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t BoundPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

H225_TransportAddress LoopbackAddress(uint16_t port)
{
    return h323::MakeTransportAddress({{127, 0, 0, 1}, port});
}

void AddAlternate(const std::string &alternate, asn1::Array<H225_AlternateGK> &list)
{
    H225_AlternateGK gk;
    if (alternate == "ip6") {
        H225_TransportAddress_ip6Address &ip6 = gk.m_rasAddress.ip6Address();
        ip6.m_ip.assign(16, 0);
        ip6.m_ip[15] = 1;
        ip6.m_port = 1719;
    } else {
        auto ep = h323::ParseIPv4(alternate, 1719);
        if (!ep)
            return;
        gk.m_rasAddress = h323::MakeTransportAddress(*ep);
    }
    gk.m_needToRegister = true;
    gk.m_priority = 1;
    list.push_back(gk);
}

H225_NonStandardParameter Text(const std::string &text)
{
    return h323::MakeNonStandardParameter(181, 0, 0x4b45, text);
}

} // namespace

ScriptedGatekeeper::ScriptedGatekeeper(Script s) : script(std::move(s))
{
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    port = BoundPort(fd);
    wake = ::eventfd(0, EFD_CLOEXEC);
    thread = std::thread([this] { Run(); });
}

ScriptedGatekeeper::~ScriptedGatekeeper()
{
    uint64_t one = 1;
    (void)!::write(wake, &one, sizeof(one));
    thread.join();
    ::close(fd);
    ::close(wake);
}

std::string ScriptedGatekeeper::Address() const
{
    return "127.0.0.1:" + std::to_string(port);
}

void ScriptedGatekeeper::SetScript(const Script &s)
{
    std::lock_guard<std::mutex> lock(mutex);
    script = s;
}

int ScriptedGatekeeper::CountOf(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(std::count(seen.begin(), seen.end(), name));
}

bool ScriptedGatekeeper::WaitForRequest(const std::string &name, int n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return std::count(seen.begin(), seen.end(), name) >= n; });
}

void ScriptedGatekeeper::Run()
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        uint8_t buf[10000];
        sockaddr_in from{};
        socklen_t len = sizeof(from);
        ssize_t n = ::recvfrom(fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n <= 0)
            continue;
        std::vector<uint8_t> datagram(buf, buf + n);
        toolmask::MaskDatagram(datagram.data(), datagram.data(), datagram.size());
        Handle(datagram, from);
    }
}

void ScriptedGatekeeper::Send(const H225_RasMessage &msg, const sockaddr_in &to)
{
    std::vector<uint8_t> bytes;
    if (!asn1::encode(msg, bytes))
        return;
    toolmask::MaskDatagram(bytes.data(), bytes.data(), bytes.size());
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to),
             sizeof(to));
}

void ScriptedGatekeeper::Handle(const std::vector<uint8_t> &datagram, const sockaddr_in &from)
{
    H225_RasMessage in;
    if (!asn1::decode(datagram, in))
        return;
    Script s;
    {
        std::lock_guard<std::mutex> lock(mutex);
        s = script;
    }
    H225_RasMessage out;
    bool answer = !s.silent;
    unsigned seq = h323::RasSequenceNumber(in);
    asn1::BMPString gkId = asn1::BMPString::FromLatin1(s.identifier);
    switch (in.GetTag()) {
    case H225_RasMessage::e_gatekeeperRequest: {
        H225_GatekeeperConfirm &gcf = out.gatekeeperConfirm();
        gcf.m_requestSeqNum = seq;
        gcf.m_protocolIdentifier = h323::H225ProtocolIdentifier();
        gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_gatekeeperIdentifier);
        gcf.m_gatekeeperIdentifier = gkId;
        gcf.m_rasAddress = LoopbackAddress(port);
        if (!s.gcfAlternate.empty()) {
            AddAlternate(s.gcfAlternate, gcf.m_alternateGatekeeper);
            gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_alternateGatekeeper);
        }
        break;
    }
    case H225_RasMessage::e_registrationRequest: {
        const H225_RegistrationRequest &rrq = in.registrationRequest();
        bool keepAlive = rrq.HasOptionalField(H225_RegistrationRequest::e_keepAlive) && rrq.m_keepAlive;
        {
            std::lock_guard<std::mutex> lock(mutex);
            endpoint = from;
            haveEndpoint = true;
            if (!keepAlive && !s.silent)
                script.forgetEndpoint = false;
        }
        int reject = keepAlive && s.forgetEndpoint
                         ? int(H225_RegistrationRejectReason::e_fullRegistrationRequired)
                         : s.rrjReason;
        if (reject >= 0) {
            H225_RegistrationReject &rrj = out.registrationReject();
            rrj.m_requestSeqNum = seq;
            rrj.m_protocolIdentifier = h323::H225ProtocolIdentifier();
            rrj.m_rejectReason.SetTag(unsigned(reject));
            break;
        }
        H225_RegistrationConfirm &rcf = out.registrationConfirm();
        rcf.m_requestSeqNum = seq;
        rcf.m_protocolIdentifier = h323::H225ProtocolIdentifier();
        if (s.rcfSignalPort != 0)
            rcf.m_callSignalAddress.push_back(LoopbackAddress(s.rcfSignalPort));
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_gatekeeperIdentifier);
        rcf.m_gatekeeperIdentifier = gkId;
        rcf.m_endpointIdentifier = asn1::BMPString::FromLatin1(s.endpointId);
        if (s.timeToLive > 0) {
            rcf.IncludeOptionalField(H225_RegistrationConfirm::e_timeToLive);
            rcf.m_timeToLive = s.timeToLive;
        }
        if (s.hasRcfText) {
            rcf.IncludeOptionalField(H225_RegistrationConfirm::e_nonStandardData);
            rcf.m_nonStandardData = Text(s.rcfText);
        }
        if (!s.rcfAlternate.empty()) {
            AddAlternate(s.rcfAlternate, rcf.m_alternateGatekeeper);
            rcf.IncludeOptionalField(H225_RegistrationConfirm::e_alternateGatekeeper);
        }
        break;
    }
    case H225_RasMessage::e_unregistrationRequest:
        out.unregistrationConfirm().m_requestSeqNum = seq;
        break;
    case H225_RasMessage::e_admissionRequest: {
        const H225_AdmissionRequest &arq = in.admissionRequest();
        if (s.arjReason >= 0) {
            H225_AdmissionReject &arj = out.admissionReject();
            arj.m_requestSeqNum = seq;
            arj.m_rejectReason.SetTag(unsigned(s.arjReason));
            break;
        }
        H225_AdmissionConfirm &acf = out.admissionConfirm();
        acf.m_requestSeqNum = seq;
        acf.m_bandWidth = arq.m_bandWidth;
        acf.m_callModel.SetTag(H225_CallModel::e_direct);
        acf.m_destCallSignalAddress = LoopbackAddress(s.acfDestinationPort);
        if (s.hasAcfText) {
            acf.IncludeOptionalField(H225_AdmissionConfirm::e_nonStandardData);
            acf.m_nonStandardData = Text(s.acfText);
        }
        break;
    }
    case H225_RasMessage::e_disengageRequest:
        if (s.drjReason >= 0) {
            H225_DisengageReject &drj = out.disengageReject();
            drj.m_requestSeqNum = seq;
            drj.m_rejectReason.SetTag(unsigned(s.drjReason));
            break;
        }
        out.disengageConfirm().m_requestSeqNum = seq;
        break;
    default:
        answer = false;
        break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(h323::RasMessageName(in.GetTag()));
    }
    cond.notify_all();
    if (answer)
        Send(out, from);
}

bool ScriptedGatekeeper::SendUnregistration(Unregistration kind)
{
    sockaddr_in to;
    std::string endpointId, identifier;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!haveEndpoint)
            return false;
        to = endpoint;
        endpointId = kind == Unregistration::Stale ? script.endpointId + "-old" : script.endpointId;
        identifier = script.identifier;
    }
    H225_RasMessage msg;
    H225_UnregistrationRequest &urq = msg.unregistrationRequest();
    urq.m_requestSeqNum = 1000 + nextSequence++;
    if (kind != Unregistration::NoIdentifier) {
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointIdentifier);
        urq.m_endpointIdentifier = asn1::BMPString::FromLatin1(endpointId);
    }
    urq.IncludeOptionalField(H225_UnregistrationRequest::e_gatekeeperIdentifier);
    urq.m_gatekeeperIdentifier = asn1::BMPString::FromLatin1(identifier);
    if (kind != Unregistration::FromElsewhere) {
        Send(msg, to);
        return true;
    }
    int other = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(other, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    std::vector<uint8_t> bytes;
    bool ok = asn1::encode(msg, bytes).ok();
    toolmask::MaskDatagram(bytes.data(), bytes.data(), bytes.size());
    ok = ok && ::sendto(other, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to),
                        sizeof(to)) > 0;
    ::close(other);
    return ok;
}

// ---- NatFarEnd ----

NatFarEnd::NatFarEnd()
{
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    ::listen(listener, 8);
    port = BoundPort(listener);
    wake = ::eventfd(0, EFD_CLOEXEC);
    thread = std::thread([this] { Run(); });
}

NatFarEnd::~NatFarEnd()
{
    uint64_t one = 1;
    (void)!::write(wake, &one, sizeof(one));
    thread.join();
    for (int f : fds)
        if (f >= 0)
            ::close(f);
    ::close(listener);
    ::close(wake);
}

void NatFarEnd::Run()
{
    for (;;) {
        std::vector<pollfd> polls = {{wake, POLLIN, 0}, {listener, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (int f : fds)
                polls.push_back({f, short(f >= 0 ? POLLIN : 0), 0});
        }
        if (::poll(polls.data(), polls.size(), 100) < 0)
            continue;
        if (polls[0].revents)
            return;
        if (polls[1].revents & POLLIN) {
            int f = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (f >= 0) {
                std::lock_guard<std::mutex> lock(mutex);
                fds.push_back(f);
                received.emplace_back();
            }
            cond.notify_all();
        }
        for (size_t i = 2; i < polls.size(); i++) {
            if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            uint8_t buf[4096];
            ssize_t n = ::read(polls[i].fd, buf, sizeof(buf));
            std::lock_guard<std::mutex> lock(mutex);
            size_t link = i - 2;
            if (n <= 0) {
                if (fds[link] == polls[i].fd) {
                    ::close(fds[link]);
                    fds[link] = -1;
                }
            } else {
                received[link].insert(received[link].end(), buf, buf + n);
            }
            cond.notify_all();
        }
    }
}

int NatFarEnd::Links() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(fds.size());
}

bool NatFarEnd::WaitForBytes(int link, size_t bytes, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return int(received.size()) > link && received[size_t(link)].size() >= bytes;
    });
}

std::vector<uint8_t> NatFarEnd::Bytes(int link) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(received.size()) > link ? received[size_t(link)] : std::vector<uint8_t>();
}

bool NatFarEnd::Write(int link, const std::vector<uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (int(fds.size()) <= link || fds[size_t(link)] < 0)
        return false;
    return ::write(fds[size_t(link)], bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

void NatFarEnd::CloseLink(int link)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (int(fds.size()) > link && fds[size_t(link)] >= 0) {
        ::shutdown(fds[size_t(link)], SHUT_RDWR);
        ::close(fds[size_t(link)]);
        fds[size_t(link)] = -1;
    }
}

} // namespace enginetest
