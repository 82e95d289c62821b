// Q.931 (clause 4) message coding with the H.225.0 conventions (2-octet User-User length).
#include <h323/q931/q931.h>

#include <h323/pdu/peer_text.h>

#include <algorithm>

namespace {

constexpr uint8_t kProtocolDiscriminator = 0x08;

} // namespace

Q931::Q931() = default;

void Q931::BuildMessage(MsgTypes type, unsigned callReference, bool fromDestination)
{
    type_ = static_cast<uint8_t>(type);
    call_ref_ = callReference & 0x7fff;
    call_ref_len_ = 2;
    from_destination_ = fromDestination;
    elements_.clear();
    error_ = DecodeError::None;
    error_offset_ = 0;
}

void Q931::BuildSetup(unsigned callReference)
{
    BuildMessage(SetupMsg, callReference, false);
}
void Q931::BuildCallProceeding(unsigned callReference)
{
    BuildMessage(CallProceedingMsg, callReference, true);
}
void Q931::BuildAlerting(unsigned callReference)
{
    BuildMessage(AlertingMsg, callReference, true);
}
void Q931::BuildConnect(unsigned callReference)
{
    BuildMessage(ConnectMsg, callReference, true);
}
void Q931::BuildReleaseComplete(unsigned callReference, bool fromDestination)
{
    BuildMessage(ReleaseCompleteMsg, callReference, fromDestination);
}
void Q931::BuildFacility(unsigned callReference, bool fromDestination)
{
    BuildMessage(FacilityMsg, callReference, fromDestination);
}
void Q931::BuildInformation(unsigned callReference, bool fromDestination)
{
    BuildMessage(InformationMsg, callReference, fromDestination);
}
void Q931::BuildProgress(unsigned callReference, bool fromDestination)
{
    BuildMessage(ProgressMsg, callReference, fromDestination);
}
void Q931::BuildNotify(unsigned callReference, bool fromDestination)
{
    BuildMessage(NotifyMsg, callReference, fromDestination);
}
void Q931::BuildStatus(unsigned callReference, bool fromDestination)
{
    BuildMessage(StatusMsg, callReference, fromDestination);
}
void Q931::BuildStatusEnquiry(unsigned callReference, bool fromDestination)
{
    BuildMessage(StatusEnquiryMsg, callReference, fromDestination);
}

const char *Q931::MessageName(unsigned type)
{
    switch (type) {
    case AlertingMsg: return "Alerting";
    case CallProceedingMsg: return "CallProceeding";
    case ProgressMsg: return "Progress";
    case SetupMsg: return "Setup";
    case ConnectMsg: return "Connect";
    case SetupAckMsg: return "SetupAck";
    case ConnectAckMsg: return "ConnectAck";
    case ReleaseCompleteMsg: return "ReleaseComplete";
    case FacilityMsg: return "Facility";
    case NotifyMsg: return "Notify";
    case StatusEnquiryMsg: return "StatusEnquiry";
    case InformationMsg: return "Information";
    case StatusMsg: return "Status";
    default: return "Unknown";
    }
}

bool Q931::Encode(std::vector<uint8_t> &out) const
{
    out.clear();
    out.push_back(kProtocolDiscriminator);
    out.push_back(static_cast<uint8_t>(call_ref_len_));
    for (unsigned i = 0; i < call_ref_len_; i++) {
        unsigned k = call_ref_len_ - 1 - i; // octets after this one; the value has four
        uint8_t b = k < 4 ? static_cast<uint8_t>(call_ref_ >> (8 * k)) : 0;
        if (i == 0 && from_destination_)
            b |= 0x80; // call reference flag
        out.push_back(b);
    }
    out.push_back(type_);
    std::vector<const Element *> order;
    for (const auto &e : elements_)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(),
                     [](const Element *a, const Element *b) { return a->id < b->id; });
    for (const Element *e : order) {
        out.push_back(e->id);
        if (e->id & 0x80)
            continue; // single-octet element
        size_t n = e->contents.size();
        if (e->id == UserUserIE) {
            if (n > 0xffff)
                return false;
            out.push_back(static_cast<uint8_t>(n >> 8));
        } else if (n > 0xff) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), e->contents.begin(), e->contents.end());
    }
    return true;
}

bool Q931::fail(DecodeError e, size_t at)
{
    type_ = NationalEscapeMsg;
    call_ref_ = 0;
    from_destination_ = false;
    elements_.clear();
    error_ = e;
    error_offset_ = at;
    return false;
}

bool Q931::Decode(const uint8_t *p, size_t n)
{
    elements_.clear();
    error_ = DecodeError::None;
    error_offset_ = 0;
    if (n < 2)
        return fail(DecodeError::Truncated, n);
    if (p[0] != kProtocolDiscriminator)
        return fail(DecodeError::BadDiscriminator, 0);
    unsigned len = p[1];
    if (len > 15)
        return fail(DecodeError::BadCallReference, 1);
    if (2 + size_t(len) + 1 > n)
        return fail(DecodeError::Truncated, n);
    unsigned ref = 0;
    bool flag = false;
    for (unsigned i = 0; i < len; i++) {
        uint8_t b = p[2 + i];
        if (i == 0) {
            flag = b & 0x80;
            b &= 0x7f;
        }
        if (len > 4 && i < len - 4 && b != 0)
            return fail(DecodeError::BadCallReference, 2 + i); // more than 32 bits of value
        ref = (ref << 8) | b;
    }
    size_t at = 2 + len;
    if (p[at] & 0x80)
        return fail(DecodeError::BadMessageType, at);
    uint8_t type = p[at++];
    std::vector<Element> elements;
    while (at < n) {
        uint8_t id = p[at];
        if (id & 0x80) {
            elements.push_back({id, {}});
            at++;
            continue;
        }
        size_t hdr = id == UserUserIE ? 3 : 2;
        if (at + hdr > n)
            return fail(DecodeError::Truncated, at);
        size_t elen = id == UserUserIE ? (size_t(p[at + 1]) << 8 | p[at + 2]) : p[at + 1];
        if (at + hdr + elen > n)
            return fail(DecodeError::BadElementLength, at);
        elements.push_back({id, std::vector<uint8_t>(p + at + hdr, p + at + hdr + elen)});
        at += hdr + elen;
    }
    type_ = type;
    call_ref_ = ref;
    call_ref_len_ = len;
    from_destination_ = flag;
    elements_ = std::move(elements);
    return true;
}

const Q931::Element *Q931::find(uint8_t id) const
{
    for (const auto &e : elements_)
        if (e.id == id)
            return &e;
    return nullptr;
}

bool Q931::HasIE(InformationElementCodes ie) const
{
    return find(static_cast<uint8_t>(ie)) != nullptr;
}

std::vector<uint8_t> Q931::GetIE(InformationElementCodes ie) const
{
    const Element *e = find(static_cast<uint8_t>(ie));
    return e ? e->contents : std::vector<uint8_t>();
}

void Q931::SetIE(InformationElementCodes ie, const std::vector<uint8_t> &contents)
{
    SetIE(ie, contents.data(), contents.size());
}

void Q931::SetIE(InformationElementCodes ie, const uint8_t *contents, size_t n)
{
    RemoveIE(ie);
    elements_.push_back({static_cast<uint8_t>(ie), std::vector<uint8_t>(contents, contents + n)});
}

void Q931::RemoveIE(InformationElementCodes ie)
{
    elements_.erase(std::remove_if(elements_.begin(), elements_.end(),
                                   [ie](const Element &e) { return e.id == uint8_t(ie); }),
                    elements_.end());
}

void Q931::SetBearerCapabilities(InformationTransferCapability capability, unsigned transferRate,
                                 unsigned codingStandard, unsigned userInfoLayer1)
{
    std::vector<uint8_t> b;
    b.push_back(static_cast<uint8_t>(0x80 | (codingStandard & 3) << 5 | (capability & 0x1f)));
    if (transferRate <= 1) {
        b.push_back(0x90); // circuit mode, 64 kbit/s
    } else {
        b.push_back(0x18); // circuit mode, multirate
        b.push_back(static_cast<uint8_t>(0x80 | (transferRate & 0x7f)));
    }
    b.push_back(static_cast<uint8_t>(0x80 | 0x20 | (userInfoLayer1 & 0x1f))); // layer 1 id
    SetIE(BearerCapabilityIE, b);
}

bool Q931::GetBearerCapabilities(InformationTransferCapability &capability,
                                 unsigned &transferRate, unsigned *codingStandard,
                                 unsigned *userInfoLayer1) const
{
    const Element *e = find(BearerCapabilityIE);
    if (!e || e->contents.size() < 2)
        return false;
    const auto &b = e->contents;
    capability = InformationTransferCapability(b[0] & 0x1f);
    if (codingStandard)
        *codingStandard = (b[0] >> 5) & 3;
    size_t at = 1;
    while (at < b.size() && !(b[at - 1] & 0x80))
        at++; // octet 3a
    if (at >= b.size())
        return false;
    transferRate = 1;
    if ((b[at] & 0x1f) == 0x18) { // multirate: octet 4.1 holds the multiplier
        if (at + 1 >= b.size())
            return false;
        transferRate = b[++at] & 0x7f;
    }
    at++;
    if (userInfoLayer1)
        *userInfoLayer1 = at < b.size() && (b[at] & 0x60) == 0x20 ? b[at] & 0x1f : 0;
    return true;
}

void Q931::SetCause(CauseValues value, unsigned standard, unsigned location)
{
    uint8_t b[2] = {static_cast<uint8_t>(0x80 | (standard & 3) << 5 | (location & 0x0f)),
                    static_cast<uint8_t>(0x80 | (value & 0x7f))};
    SetIE(CauseIE, b, 2);
}

Q931::CauseValues Q931::GetCause(unsigned *standard, unsigned *location) const
{
    const Element *e = find(CauseIE);
    if (!e || e->contents.size() < 2)
        return ErrorInCauseIE;
    const auto &b = e->contents;
    if (standard)
        *standard = (b[0] >> 5) & 3;
    if (location)
        *location = b[0] & 0x0f;
    size_t at = (b[0] & 0x80) ? 1 : 2; // octet 3a (recommendation) when the extension bit is 0
    if (at >= b.size())
        return ErrorInCauseIE;
    return CauseValues(b[at] & 0x7f);
}

void Q931::SetCallState(CallStates value, unsigned standard)
{
    uint8_t b = static_cast<uint8_t>((standard & 3) << 6 | (value & 0x3f));
    SetIE(CallStateIE, &b, 1);
}

Q931::CallStates Q931::GetCallState(unsigned *standard) const
{
    const Element *e = find(CallStateIE);
    if (!e || e->contents.empty())
        return CallState_ErrorInIE;
    if (standard)
        *standard = e->contents[0] >> 6;
    return CallStates(e->contents[0] & 0x3f);
}

void Q931::SetProgressIndicator(unsigned description, unsigned codingStandard, unsigned location)
{
    uint8_t b[2] = {static_cast<uint8_t>(0x80 | (codingStandard & 3) << 5 | (location & 0x0f)),
                    static_cast<uint8_t>(0x80 | (description & 0x7f))};
    SetIE(ProgressIndicatorIE, b, 2);
}

bool Q931::GetProgressIndicator(unsigned &description, unsigned *codingStandard,
                                unsigned *location) const
{
    const Element *e = find(ProgressIndicatorIE);
    if (!e || e->contents.size() < 2)
        return false;
    if (codingStandard)
        *codingStandard = (e->contents[0] >> 5) & 3;
    if (location)
        *location = e->contents[0] & 0x0f;
    description = e->contents[1] & 0x7f;
    return true;
}

void Q931::SetNotificationIndicator(unsigned description)
{
    uint8_t b = static_cast<uint8_t>(0x80 | (description & 0x7f));
    SetIE(NotificationIndicatorIE, &b, 1);
}

bool Q931::GetNotificationIndicator(unsigned &description) const
{
    const Element *e = find(NotificationIndicatorIE);
    if (!e || e->contents.empty())
        return false;
    description = e->contents[0] & 0x7f;
    return true;
}

void Q931::SetDisplayName(const std::string &name)
{
    SetIE(DisplayIE, reinterpret_cast<const uint8_t *>(name.data()),
          std::min<size_t>(name.size(), 255));
}

std::string Q931::GetDisplayName() const
{
    const Element *e = find(DisplayIE);
    return e ? h323::TrimTrailingNuls({e->contents.begin(), e->contents.end()}) : std::string();
}

void Q931::SetKeypad(const std::string &digits)
{
    SetIE(KeypadIE, reinterpret_cast<const uint8_t *>(digits.data()),
          std::min<size_t>(digits.size(), 255));
}

std::string Q931::GetKeypad() const
{
    const Element *e = find(KeypadIE);
    return e ? h323::TrimTrailingNuls({e->contents.begin(), e->contents.end()}) : std::string();
}

void Q931::set_number(uint8_t id, const std::string &number, unsigned plan, unsigned type,
                      int presentation, int screening, int reason)
{
    std::vector<uint8_t> b;
    bool has3a = presentation >= 0 && screening >= 0;
    bool has3b = has3a && reason >= 0;
    b.push_back(static_cast<uint8_t>((has3a ? 0 : 0x80) | (type & 7) << 4 | (plan & 0x0f)));
    if (has3a)
        b.push_back(static_cast<uint8_t>((has3b ? 0 : 0x80) | (presentation & 3) << 5 |
                                         (screening & 3)));
    if (has3b)
        b.push_back(static_cast<uint8_t>(0x80 | (reason & 0x0f)));
    size_t room = 255 - b.size();
    b.insert(b.end(), number.begin(), number.begin() + long(std::min(room, number.size())));
    SetIE(InformationElementCodes(id), b);
}

bool Q931::get_number(uint8_t id, std::string &number, unsigned *plan, unsigned *type,
                      unsigned *presentation, unsigned *screening, unsigned *reason) const
{
    number.clear();
    const Element *e = find(id);
    if (!e || e->contents.empty())
        return false;
    const auto &b = e->contents;
    if (plan)
        *plan = b[0] & 0x0f;
    if (type)
        *type = (b[0] >> 4) & 7;
    size_t at = 1;
    if (!(b[0] & 0x80)) { // octet 3a
        if (at >= b.size())
            return false;
        if (presentation)
            *presentation = (b[at] >> 5) & 3;
        if (screening)
            *screening = b[at] & 3;
        bool more = !(b[at] & 0x80);
        at++;
        if (more) { // octet 3b
            if (at >= b.size())
                return false;
            if (reason)
                *reason = b[at] & 0x0f;
            at++;
        }
    }
    for (; at < b.size(); at++)
        number.push_back(static_cast<char>(b[at] & 0x7f));
    number = h323::TrimTrailingNuls(std::move(number));
    return true;
}

void Q931::SetCallingPartyNumber(const std::string &number, unsigned plan, unsigned type,
                                 int presentation, int screening)
{
    set_number(CallingPartyNumberIE, number, plan, type, presentation, screening, -1);
}

bool Q931::GetCallingPartyNumber(std::string &number, unsigned *plan, unsigned *type,
                                 unsigned *presentation, unsigned *screening) const
{
    return get_number(CallingPartyNumberIE, number, plan, type, presentation, screening, nullptr);
}

void Q931::SetCalledPartyNumber(const std::string &number, unsigned plan, unsigned type)
{
    set_number(CalledPartyNumberIE, number, plan, type, -1, -1, -1);
}

bool Q931::GetCalledPartyNumber(std::string &number, unsigned *plan, unsigned *type) const
{
    return get_number(CalledPartyNumberIE, number, plan, type, nullptr, nullptr, nullptr);
}

void Q931::SetRedirectingNumber(const std::string &number, unsigned plan, unsigned type,
                                int presentation, int screening, int reason)
{
    set_number(RedirectingNumberIE, number, plan, type, presentation, screening, reason);
}

bool Q931::GetRedirectingNumber(std::string &number, unsigned *plan, unsigned *type,
                                unsigned *presentation, unsigned *screening,
                                unsigned *reason) const
{
    return get_number(RedirectingNumberIE, number, plan, type, presentation, screening, reason);
}

void Q931::SetUserUser(const std::vector<uint8_t> &information, uint8_t protocol)
{
    std::vector<uint8_t> b;
    b.reserve(information.size() + 1);
    b.push_back(protocol);
    b.insert(b.end(), information.begin(), information.end());
    SetIE(UserUserIE, b);
}

std::vector<uint8_t> Q931::GetUserUser(uint8_t *protocol) const
{
    const Element *e = find(UserUserIE);
    if (!e || e->contents.empty())
        return {};
    if (protocol)
        *protocol = e->contents[0];
    return std::vector<uint8_t>(e->contents.begin() + 1, e->contents.end());
}
