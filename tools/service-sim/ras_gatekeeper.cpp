// The simulated RAS gatekeeper (H.225.0 clause 7, the gatekeeper's side).
#include <tools/service-sim/ras_gatekeeper.h>

#include <tools/service-sim/log_text.h>

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/identifiers.h>
#include <h323/ras/ras_channel.h>
#include <tools/masking/masking.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace servicesim {

namespace {

using M = H225_RasMessage;

constexpr size_t kMaxDatagram = 10000;

h323::IPv4Endpoint ToIPv4(const Endpoint &e)
{
    h323::IPv4Endpoint ep;
    ep.ip = {uint8_t(e.address >> 24), uint8_t(e.address >> 16), uint8_t(e.address >> 8),
             uint8_t(e.address)};
    ep.port = e.port;
    return ep;
}

Endpoint FromIPv4(const h323::IPv4Endpoint &ep)
{
    return {(uint32_t(ep.ip[0]) << 24) | (uint32_t(ep.ip[1]) << 16) | (uint32_t(ep.ip[2]) << 8) |
                ep.ip[3],
            ep.port};
}

uint32_t ParseAddress(const std::string &text)
{
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1 ? ntohl(a.s_addr) : 0;
}

H225_NonStandardParameter TextParameter(const std::string &text)
{
    return h323::MakeNonStandardParameter(181, 0, 0x4b45, text);
}

/** The PER encoding of a token, as the key that tells it from every other. */
template <class Token> std::string Encoded(const Token &token)
{
    std::vector<uint8_t> bytes;
    if (!asn1::encode(token, bytes))
        return {};
    return std::string(bytes.begin(), bytes.end());
}

/** The balance as an H.225.0 call credit service control session (debit). */
H225_ServiceControlSession CreditSession(const std::string &balance)
{
    H225_ServiceControlSession session;
    session.m_sessionId = 1;
    session.IncludeOptionalField(H225_ServiceControlSession::e_contents);
    H225_CallCreditServiceControl &credit = session.m_contents.callCreditServiceControl();
    credit.IncludeOptionalField(H225_CallCreditServiceControl::e_amountString);
    credit.m_amountString = asn1::BMPString::FromLatin1(balance);
    credit.IncludeOptionalField(H225_CallCreditServiceControl::e_billingMode);
    credit.m_billingMode.SetTag(H225_CallCreditServiceControl_billingMode::e_debit);
    session.m_reason.SetTag(H225_ServiceControlSession_reason::e_open);
    return session;
}

} // namespace

RasGatekeeper::RasGatekeeper(GatekeeperOptions options) : options_(std::move(options)) {}

RasGatekeeper::~RasGatekeeper()
{
    Stop();
}

bool RasGatekeeper::Start(std::string *error)
{
    if (options_.sharedSocket) {
        port_ = options_.sharedSocket->LocalPort();
        return true;
    }
    if (!socket_.Bind(options_.address, options_.port, error))
        return false;
    port_ = socket_.LocalPort();
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void RasGatekeeper::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof(one));
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
    socket_.Close();
}

void RasGatekeeper::Log(const std::string &line) const
{
    if (options_.log)
        options_.log("ras: " + PrintableText(line));
}

void RasGatekeeper::Run()
{
    pollfd fds[2] = {{socket_.Fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stopping_) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        for (;;) {
            std::string data;
            Endpoint from;
            size_t length = 0;
            UdpSocket::Received r = socket_.Receive(&data, kMaxDatagram, &from, &length);
            if (r != UdpSocket::Received::Datagram)
                break;
            Deliver(from, std::move(data), length);
        }
    }
}

void RasGatekeeper::Deliver(const Endpoint &from, std::string data, size_t length)
{
    if (length > data.size() || length > kMaxDatagram) {
        Log("over-long datagram of " + std::to_string(length) + " bytes from " +
            from.ToString() + " dropped");
        return;
    }
    Handle(from, std::move(data));
}

void RasGatekeeper::Send(const Endpoint &to, const H225_RasMessage &msg)
{
    std::vector<uint8_t> bytes;
    if (asn1::Result r = asn1::encode(msg, bytes); !r) {
        Log(std::string("cannot encode ") + h323::RasMessageName(msg.GetTag()) + ": " + r.message());
        return;
    }
    if (options_.masking)
        toolmask::MaskDatagram(bytes.data(), bytes.data(), bytes.size());
    Socket().SendTo(to, std::string(bytes.begin(), bytes.end()));
}

void RasGatekeeper::Handle(const Endpoint &from, std::string datagram)
{
    std::vector<uint8_t> bytes(datagram.begin(), datagram.end());
    if (options_.masking)
        toolmask::MaskDatagram(bytes.data(), bytes.data(), bytes.size());
    H225_RasMessage in;
    asn1::Result r = asn1::decode(bytes, in);
    if (!r) {
        Log("undecodable datagram of " + std::to_string(bytes.size()) + " bytes from " +
            from.ToString() + " dropped (" + r.message() + ")");
        return;
    }
    H225_RasMessage out;
    std::string note;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counts_[h323::RasMessageName(in.GetTag())]++;
        switch (in.GetTag()) {
        case M::e_gatekeeperRequest:
            note = OnGatekeeperRequest(in, out);
            break;
        case M::e_registrationRequest:
            note = OnRegistrationRequest(from, in, out);
            break;
        case M::e_unregistrationRequest:
            note = OnUnregistrationRequest(in, out);
            break;
        case M::e_admissionRequest:
            note = OnAdmissionRequest(in, out);
            break;
        case M::e_disengageRequest:
            note = OnDisengageRequest(in, out);
            break;
        case M::e_unregistrationConfirm:
        case M::e_unregistrationReject:
        case M::e_infoRequestResponse:
        case M::e_serviceControlResponse:
        case M::e_unknownMessageResponse:
            Log(std::string(h323::RasMessageName(in.GetTag())) + " from " + from.ToString());
            return;
        default: {
            H225_UnknownMessageResponse &xrs = out.unknownMessageResponse();
            xrs.m_requestSeqNum = h323::RasSequenceNumber(in);
            break;
        }
        }
    }
    Log(std::string(h323::RasMessageName(in.GetTag())) + " from " + from.ToString() + " -> " +
        h323::RasMessageName(out.GetTag()) + (note.empty() ? "" : " " + note));
    Send(from, out);
}

std::string RasGatekeeper::OnGatekeeperRequest(const H225_RasMessage &in, H225_RasMessage &out)
{
    const H225_GatekeeperRequest &grq = in.gatekeeperRequest();
    asn1::BMPString ours = asn1::BMPString::FromLatin1(options_.identifier);
    if (grq.HasOptionalField(H225_GatekeeperRequest::e_gatekeeperIdentifier) &&
        grq.m_gatekeeperIdentifier != ours) {
        H225_GatekeeperReject &grj = out.gatekeeperReject();
        grj.m_requestSeqNum = grq.m_requestSeqNum;
        grj.m_protocolIdentifier = h323::H225ProtocolIdentifier();
        grj.m_rejectReason.SetTag(H225_GatekeeperRejectReason::e_terminalExcluded);
        return "(another gatekeeper asked for)";
    }
    H225_GatekeeperConfirm &gcf = out.gatekeeperConfirm();
    gcf.m_requestSeqNum = grq.m_requestSeqNum;
    gcf.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_gatekeeperIdentifier);
    gcf.m_gatekeeperIdentifier = ours;
    gcf.m_rasAddress = h323::MakeTransportAddress(ToIPv4({ParseAddress(options_.address), port_}));
    if (auto alt = h323::ParseIPv4(options_.alternateGatekeeper, 1719)) {
        gcf.IncludeOptionalField(H225_GatekeeperConfirm::e_alternateGatekeeper);
        H225_AlternateGK gk;
        gk.m_rasAddress = h323::MakeTransportAddress(*alt);
        gk.m_needToRegister = true;
        gk.m_priority = 1;
        gcf.m_alternateGatekeeper.push_back(gk);
    }
    return "";
}

RasGatekeeper::Registration *RasGatekeeper::FindByEndpointId(const std::string &id)
{
    auto it = registrations_.find(id);
    return it != registrations_.end() ? &it->second : nullptr;
}

RasGatekeeper::Registration *RasGatekeeper::FindByAlias(const std::string &alias)
{
    for (auto &[id, reg] : registrations_)
        for (const std::string &a : reg.aliases)
            if (a == alias)
                return &reg;
    return nullptr;
}

std::string RasGatekeeper::ServiceText(bool admission) const
{
    std::string text;
    if (!admission && options_.natHint)
        text += "NAT=1;";
    if (!options_.balance.empty())
        text += "h323-credit-amount=" + options_.balance + ";";
    if (admission && options_.creditTime >= 0)
        text += "h323-credit-time=" + std::to_string(options_.creditTime) + ";";
    return text;
}

std::string RasGatekeeper::OnRegistrationRequest(const Endpoint &from, const H225_RasMessage &in,
                                                 H225_RasMessage &out)
{
    const H225_RegistrationRequest &rrq = in.registrationRequest();
    auto reject = [&](unsigned reason, const std::string &why) {
        H225_RegistrationReject &rrj = out.registrationReject();
        rrj.m_requestSeqNum = rrq.m_requestSeqNum;
        rrj.m_protocolIdentifier = h323::H225ProtocolIdentifier();
        rrj.m_rejectReason.SetTag(reason);
        return why;
    };
    bool keepAlive = rrq.HasOptionalField(H225_RegistrationRequest::e_keepAlive) && rrq.m_keepAlive;
    Registration *existing = nullptr;
    if (rrq.HasOptionalField(H225_RegistrationRequest::e_endpointIdentifier))
        existing = FindByEndpointId(rrq.m_endpointIdentifier.ToLatin1());
    if (keepAlive && existing == nullptr)
        return reject(H225_RegistrationRejectReason::e_fullRegistrationRequired, "(unknown keep-alive)");

    Registration reg;
    if (keepAlive) {
        reg = *existing;
    } else {
        if (!rrq.HasOptionalField(H225_RegistrationRequest::e_terminalAlias) ||
            rrq.m_terminalAlias.size() == 0)
            return reject(H225_RegistrationRejectReason::e_invalidAlias, "(no alias)");
        for (const H225_AliasAddress &a : rrq.m_terminalAlias)
            reg.aliases.push_back(h323::AliasText(a));
        const std::string &account = reg.aliases.front();
        std::vector<std::pair<std::string, uint32_t>> passwordTokens; // encoding, time stamp
        if (!options_.accounts.empty()) {
            auto acc = options_.accounts.find(account);
            if (acc == options_.accounts.end())
                return reject(H225_RegistrationRejectReason::e_securityDenial, "(no such account " + account + ")");
            // A token counts when it is made with the password, its time stamp is current and
            // it was not used before (below, once the alias is known to be free): a captured
            // request cannot be sent again.
            if (rrq.HasOptionalField(H225_RegistrationRequest::e_cryptoTokens))
                for (const H225_CryptoH323Token &t : rrq.m_cryptoTokens)
                    if (h323::h235::CheckPasswordHashToken(t, acc->second))
                        passwordTokens.push_back(
                            {Encoded(t), uint32_t(t.cryptoEPPwdHash().m_timeStamp.GetValue())});
            if (rrq.HasOptionalField(H225_RegistrationRequest::e_tokens))
                for (const H235_ClearToken &t : rrq.m_tokens)
                    if (h323::h235::CheckCatToken(t, acc->second))
                        passwordTokens.push_back({Encoded(t), uint32_t(t.m_timeStamp.GetValue())});
            if (passwordTokens.empty())
                return reject(H225_RegistrationRejectReason::e_securityDenial, "(bad password tokens for " + account + ")");
        }
        for (const std::string &alias : reg.aliases)
            if (Registration *other = FindByAlias(alias))
                if (!(other->rasAddress == from))
                    return reject(H225_RegistrationRejectReason::e_duplicateAlias, "(" + alias + " in use)");
        if (!passwordTokens.empty()) {
            bool fresh = false;
            std::string refusal;
            const std::time_t now = std::time(nullptr);
            for (const auto &[key, timestamp] : passwordTokens) {
                switch (tokens_.Take(key, timestamp, from, unsigned(rrq.m_requestSeqNum.GetValue()), now)) {
                case TokenGuard::Verdict::Fresh: fresh = true; break;
                case TokenGuard::Verdict::OutsideWindow: refusal = "token time stamp outside the window"; break;
                case TokenGuard::Verdict::Replayed: refusal = "replayed password tokens"; break;
                }
            }
            if (!fresh)
                return reject(H225_RegistrationRejectReason::e_securityDenial, "(" + refusal + " for " + reg.aliases.front() + ")");
        }
        reg.rasAddress = from;
        if (rrq.m_callSignalAddress.size() > 0)
            if (auto ep = h323::GetIPv4(rrq.m_callSignalAddress[0]))
                reg.signalAddress = FromIPv4(*ep);
        // A re-registration from the same address replaces the old one.
        for (auto it = registrations_.begin(); it != registrations_.end();)
            it = it->second.rasAddress == from ? registrations_.erase(it) : std::next(it);
        reg.endpointId = "EP" + std::to_string(10000 + nextEndpoint_++);
        registrations_[reg.endpointId] = reg;
    }

    H225_RegistrationConfirm &rcf = out.registrationConfirm();
    rcf.m_requestSeqNum = rrq.m_requestSeqNum;
    rcf.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    uint32_t self = ParseAddress(options_.address);
    if (options_.natHint && options_.natPort != 0)
        rcf.m_callSignalAddress.push_back(h323::MakeTransportAddress(ToIPv4({self, options_.natPort})));
    else if (options_.routerPort != 0)
        rcf.m_callSignalAddress.push_back(h323::MakeTransportAddress(ToIPv4({self, options_.routerPort})));
    rcf.IncludeOptionalField(H225_RegistrationConfirm::e_gatekeeperIdentifier);
    rcf.m_gatekeeperIdentifier = asn1::BMPString::FromLatin1(options_.identifier);
    rcf.m_endpointIdentifier = asn1::BMPString::FromLatin1(reg.endpointId);
    if (!keepAlive)
        for (const std::string &alias : reg.aliases)
            rcf.m_terminalAlias.push_back(h323::MakeAlias(alias));
    if (rcf.m_terminalAlias.size() > 0)
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_terminalAlias);
    if (options_.timeToLive > 0) {
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_timeToLive);
        rcf.m_timeToLive = options_.timeToLive;
    }
    std::string text = ServiceText(false);
    if (!text.empty()) {
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_nonStandardData);
        rcf.m_nonStandardData = TextParameter(text);
    }
    if (auto alt = h323::ParseIPv4(options_.alternateGatekeeper, 1719)) {
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_alternateGatekeeper);
        H225_AlternateGK gk;
        gk.m_rasAddress = h323::MakeTransportAddress(*alt);
        gk.m_needToRegister = true;
        gk.m_priority = 1;
        rcf.m_alternateGatekeeper.push_back(gk);
    }
    if (!options_.balance.empty()) {
        rcf.IncludeOptionalField(H225_RegistrationConfirm::e_serviceControl);
        rcf.m_serviceControl.push_back(CreditSession(options_.balance));
    }
    rcf.IncludeOptionalField(H225_RegistrationConfirm::e_willRespondToIRR);
    rcf.m_willRespondToIRR = false;
    rcf.IncludeOptionalField(H225_RegistrationConfirm::e_maintainConnection);
    rcf.m_maintainConnection = false;
    return (keepAlive ? "keep-alive " : "") + reg.aliases.front() + " as " + reg.endpointId;
}

std::string RasGatekeeper::OnUnregistrationRequest(const H225_RasMessage &in, H225_RasMessage &out)
{
    const H225_UnregistrationRequest &urq = in.unregistrationRequest();
    Registration *reg = nullptr;
    if (urq.HasOptionalField(H225_UnregistrationRequest::e_endpointIdentifier))
        reg = FindByEndpointId(urq.m_endpointIdentifier.ToLatin1());
    if (reg == nullptr) {
        H225_UnregistrationReject &urj = out.unregistrationReject();
        urj.m_requestSeqNum = urq.m_requestSeqNum;
        urj.m_rejectReason.SetTag(H225_UnregRejectReason::e_notCurrentlyRegistered);
        return "(not registered)";
    }
    std::string who = reg->aliases.front();
    registrations_.erase(reg->endpointId);
    out.unregistrationConfirm().m_requestSeqNum = urq.m_requestSeqNum;
    return who;
}

std::string RasGatekeeper::OnAdmissionRequest(const H225_RasMessage &in, H225_RasMessage &out)
{
    const H225_AdmissionRequest &arq = in.admissionRequest();
    auto reject = [&](unsigned reason, const std::string &why) {
        H225_AdmissionReject &arj = out.admissionReject();
        arj.m_requestSeqNum = arq.m_requestSeqNum;
        arj.m_rejectReason.SetTag(reason);
        return why;
    };
    Registration *caller = FindByEndpointId(arq.m_endpointIdentifier.ToLatin1());
    if (caller == nullptr)
        return reject(H225_AdmissionRejectReason::e_callerNotRegistered, "(caller not registered)");

    Endpoint destination;
    std::string note;
    if (arq.m_answerCall) {
        destination = caller->signalAddress;
        note = "answer by " + caller->aliases.front();
    } else {
        Registration *callee = nullptr;
        std::string wanted;
        if (arq.HasOptionalField(H225_AdmissionRequest::e_destinationInfo))
            for (const H225_AliasAddress &a : arq.m_destinationInfo) {
                wanted = h323::AliasText(a);
                if ((callee = FindByAlias(wanted)) != nullptr)
                    break;
            }
        if (callee == nullptr) {
            if (arq.HasOptionalField(H225_AdmissionRequest::e_destCallSignalAddress))
                if (auto ep = h323::GetIPv4(arq.m_destCallSignalAddress))
                    destination = FromIPv4(*ep);
            if (destination.port == 0)
                return reject(H225_AdmissionRejectReason::e_calledPartyNotRegistered,
                              "(" + wanted + " not registered)");
        } else {
            destination = callee->signalAddress;
            if (options_.natHint && options_.natRelayPort != 0)
                destination = {ParseAddress(options_.address), options_.natRelayPort};
        }
        note = caller->aliases.front() + " calls " + (callee ? callee->aliases.front() : wanted) +
               " at " + destination.ToString();
    }
    if (options_.routerPort != 0) {
        // The call comes to the gatekeeper's own port, which checks its Setup against this.
        if (!arq.m_answerCall && arq.HasOptionalField(H225_AdmissionRequest::e_callIdentifier))
            routedCalls_[h323::Guid(arq.m_callIdentifier.m_guid).AsString()] = destination;
        destination = {ParseAddress(options_.address), options_.routerPort};
        note += " routed";
    }
    H225_AdmissionConfirm &acf = out.admissionConfirm();
    acf.m_requestSeqNum = arq.m_requestSeqNum;
    acf.m_bandWidth = arq.m_bandWidth;
    acf.m_callModel.SetTag(options_.routerPort != 0 ? H225_CallModel::e_gatekeeperRouted
                                                    : H225_CallModel::e_direct);
    acf.m_destCallSignalAddress = h323::MakeTransportAddress(ToIPv4(destination));
    std::string text = ServiceText(true);
    if (!text.empty()) {
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_nonStandardData);
        acf.m_nonStandardData = TextParameter(text);
    }
    if (!options_.balance.empty()) {
        acf.IncludeOptionalField(H225_AdmissionConfirm::e_serviceControl);
        acf.m_serviceControl.push_back(CreditSession(options_.balance));
    }
    acf.IncludeOptionalField(H225_AdmissionConfirm::e_willRespondToIRR);
    acf.m_willRespondToIRR = false;
    acf.IncludeOptionalField(H225_AdmissionConfirm::e_uuiesRequested); // none
    return note;
}

std::string RasGatekeeper::OnDisengageRequest(const H225_RasMessage &in, H225_RasMessage &out)
{
    const H225_DisengageRequest &drq = in.disengageRequest();
    if (drq.HasOptionalField(H225_DisengageRequest::e_callIdentifier))
        routedCalls_.erase(h323::Guid(drq.m_callIdentifier.m_guid).AsString());
    out.disengageConfirm().m_requestSeqNum = drq.m_requestSeqNum;
    return "";
}

std::optional<Endpoint> RasGatekeeper::TakeRoutedCall(const std::string &callIdentifier)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routedCalls_.find(callIdentifier);
    if (it == routedCalls_.end())
        return std::nullopt;
    Endpoint destination = it->second;
    routedCalls_.erase(it);
    return destination;
}

bool RasGatekeeper::Unregister(const std::string &alias, std::string *error)
{
    H225_RasMessage msg;
    Endpoint to;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Registration *reg = FindByAlias(alias);
        if (reg == nullptr) {
            *error = alias + " is not registered";
            return false;
        }
        H225_UnregistrationRequest &urq = msg.unregistrationRequest();
        urq.m_requestSeqNum = nextSequence_++;
        if (reg->signalAddress.port != 0)
            urq.m_callSignalAddress.push_back(h323::MakeTransportAddress(ToIPv4(reg->signalAddress)));
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_endpointIdentifier);
        urq.m_endpointIdentifier = asn1::BMPString::FromLatin1(reg->endpointId);
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_gatekeeperIdentifier);
        urq.m_gatekeeperIdentifier = asn1::BMPString::FromLatin1(options_.identifier);
        urq.IncludeOptionalField(H225_UnregistrationRequest::e_reason);
        urq.m_reason.SetTag(H225_UnregRequestReason::e_maintenance);
        to = reg->rasAddress;
        registrations_.erase(reg->endpointId);
    }
    Log("unregistrationRequest to " + to.ToString() + " (" + alias + ")");
    Send(to, msg);
    return true;
}

bool RasGatekeeper::IsRegistered(const std::string &alias) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return const_cast<RasGatekeeper *>(this)->FindByAlias(alias) != nullptr;
}

std::string RasGatekeeper::SignalAddressOf(const std::string &alias) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Registration *reg = const_cast<RasGatekeeper *>(this)->FindByAlias(alias);
    return reg != nullptr ? reg->signalAddress.ToString() : std::string();
}

std::string RasGatekeeper::EndpointIdOf(const std::string &alias) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Registration *reg = const_cast<RasGatekeeper *>(this)->FindByAlias(alias);
    return reg != nullptr ? reg->endpointId : std::string();
}

int RasGatekeeper::CountOf(const std::string &requestName) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(requestName);
    return it != counts_.end() ? it->second : 0;
}

} // namespace servicesim
