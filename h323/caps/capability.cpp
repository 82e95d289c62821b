// H323Capability families: comparison, the H.245 wrapping of audio and video capabilities.
#include <h323/caps/capability.h>

#include <h323/asn1/gen/h245.h>

#include <mutex>
#include <vector>

H323Capability::H323Capability() = default;

PObject::Comparison H323Capability::Compare(const PObject &obj) const
{
    const H323Capability *other = dynamic_cast<const H323Capability *>(&obj);
    if (other == nullptr)
        return PObject::Compare(obj);
    if (GetMainType() != other->GetMainType())
        return GetMainType() < other->GetMainType() ? LessThan : GreaterThan;
    if (GetSubType() != other->GetSubType())
        return GetSubType() < other->GetSubType() ? LessThan : GreaterThan;
    return EqualTo;
}

OpalMediaFormat H323Capability::GetMediaFormat() const
{
    // "GSM-06.10{sw}" and "G.723.1(ACM)" name variants of the media formats "GSM-06.10" and
    // "G.723.1".
    PString name = GetFormatName();
    PINDEX brace = name.Find('{');
    PINDEX paren = name.Find('(');
    PINDEX cut = brace < paren ? brace : paren;
    return OpalMediaFormat(cut != P_MAX_INDEX ? (const char *)name.Left(cut) : (const char *)name);
}

unsigned H323Capability::GetDefaultSessionID() const
{
    return 0;
}

H323Channel *H323Capability::CreateChannel(H323Connection &, int, unsigned) const
{
    return nullptr;
}

BOOL H323Capability::OnReceivedPDU(const H245_Capability &pdu)
{
    switch (pdu.GetTag()) {
    case H245_Capability::e_receiveVideoCapability:
    case H245_Capability::e_receiveAudioCapability:
    case H245_Capability::e_receiveUserInputCapability:
        capabilityDirection = e_Receive;
        break;
    case H245_Capability::e_transmitVideoCapability:
    case H245_Capability::e_transmitAudioCapability:
    case H245_Capability::e_transmitUserInputCapability:
        capabilityDirection = e_Transmit;
        break;
    default:
        capabilityDirection = e_ReceiveAndTransmit;
        break;
    }
    return TRUE;
}

BOOL H323Capability::OnReceivedPDU(const H245_DataType &, BOOL)
{
    return TRUE;
}

BOOL H323Capability::IsMatch(const H245_Capability &) const
{
    return FALSE;
}

BOOL H323Capability::IsMatch(const H245_DataType &) const
{
    return FALSE;
}

H323Capability *H323Capability::Create(const PString &name)
{
    const H323CapabilityRegistration *reg = H323CapabilityRegistration::Find(name);
    return reg != nullptr ? reg->Create() : nullptr;
}

// ---- audio ----

H323AudioCapability::H323AudioCapability(unsigned rx, unsigned tx)
    : rxFramesInPacket(rx), txFramesInPacket(tx)
{
}

void H323AudioCapability::SetTxFramesInPacket(unsigned frames)
{
    txFramesInPacket = frames > 0 ? frames : 1;
}

BOOL H323AudioCapability::OnSendingPDU(H245_Capability &pdu) const
{
    return OnSendingPDU(pdu.receiveAudioCapability(), rxFramesInPacket);
}

BOOL H323AudioCapability::OnSendingPDU(H245_DataType &pdu) const
{
    return OnSendingPDU(pdu.audioData(), txFramesInPacket);
}

BOOL H323AudioCapability::OnSendingPDU(H245_AudioCapability &pdu, unsigned) const
{
    return pdu.SetTag(GetSubType());
}

namespace {

const H245_AudioCapability *AudioOf(const H245_Capability &pdu)
{
    switch (pdu.GetTag()) {
    case H245_Capability::e_receiveAudioCapability:
        return &pdu.receiveAudioCapability();
    case H245_Capability::e_transmitAudioCapability:
        return &pdu.transmitAudioCapability();
    case H245_Capability::e_receiveAndTransmitAudioCapability:
        return &pdu.receiveAndTransmitAudioCapability();
    default:
        return nullptr;
    }
}

const H245_VideoCapability *VideoOf(const H245_Capability &pdu)
{
    switch (pdu.GetTag()) {
    case H245_Capability::e_receiveVideoCapability:
        return &pdu.receiveVideoCapability();
    case H245_Capability::e_transmitVideoCapability:
        return &pdu.transmitVideoCapability();
    case H245_Capability::e_receiveAndTransmitVideoCapability:
        return &pdu.receiveAndTransmitVideoCapability();
    default:
        return nullptr;
    }
}

} // namespace

BOOL H323AudioCapability::OnReceivedPDU(const H245_Capability &pdu)
{
    const H245_AudioCapability *audio = AudioOf(pdu);
    if (audio == nullptr || !H323Capability::OnReceivedPDU(pdu))
        return FALSE;
    unsigned packetSize = txFramesInPacket;
    if (!OnReceivedPDU(*audio, packetSize))
        return FALSE;
    // The peer receives at most packetSize frames: our transmit packets never exceed it.
    if (packetSize > 0 && packetSize < txFramesInPacket)
        txFramesInPacket = packetSize;
    return TRUE;
}

BOOL H323AudioCapability::OnReceivedPDU(const H245_DataType &pdu, BOOL receiver)
{
    if (pdu.GetTag() != H245_DataType::e_audioData)
        return FALSE;
    unsigned &frames = receiver ? rxFramesInPacket : txFramesInPacket;
    unsigned packetSize = frames;
    if (!OnReceivedPDU(pdu.audioData(), packetSize))
        return FALSE;
    frames = packetSize;
    return TRUE;
}

BOOL H323AudioCapability::OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &)
{
    return pdu.GetTag() == GetSubType();
}

BOOL H323AudioCapability::IsMatch(const H245_Capability &pdu) const
{
    const H245_AudioCapability *audio = AudioOf(pdu);
    return audio != nullptr && audio->GetTag() == GetSubType();
}

BOOL H323AudioCapability::IsMatch(const H245_DataType &pdu) const
{
    return pdu.GetTag() == H245_DataType::e_audioData && pdu.audioData().GetTag() == GetSubType();
}

// ---- video ----

BOOL H323VideoCapability::OnSendingPDU(H245_Capability &pdu) const
{
    return OnSendingPDU(pdu.receiveVideoCapability());
}

BOOL H323VideoCapability::OnSendingPDU(H245_DataType &pdu) const
{
    return OnSendingPDU(pdu.videoData());
}

BOOL H323VideoCapability::OnReceivedPDU(const H245_Capability &pdu)
{
    const H245_VideoCapability *video = VideoOf(pdu);
    return video != nullptr && H323Capability::OnReceivedPDU(pdu) && OnReceivedPDU(*video);
}

BOOL H323VideoCapability::OnReceivedPDU(const H245_DataType &pdu, BOOL)
{
    return pdu.GetTag() == H245_DataType::e_videoData && OnReceivedPDU(pdu.videoData());
}

BOOL H323VideoCapability::IsMatch(const H245_Capability &pdu) const
{
    const H245_VideoCapability *video = VideoOf(pdu);
    return video != nullptr && video->GetTag() == GetSubType();
}

BOOL H323VideoCapability::IsMatch(const H245_DataType &pdu) const
{
    return pdu.GetTag() == H245_DataType::e_videoData && pdu.videoData().GetTag() == GetSubType();
}

H323VideoCapability *H323VideoCapability::CreateTransmitCapability(
    const H323VideoCapability &remote) const
{
    return static_cast<H323VideoCapability *>(remote.Clone());
}

// ---- user input ----

H323_UserInputCapability::H323_UserInputCapability(SubTypes s) : subType(s) {}

PString H323_UserInputCapability::GetFormatName() const
{
    return subType == BasicString ? "UserInput/basicString" : "UserInput/dtmf";
}

BOOL H323_UserInputCapability::OnSendingPDU(H245_Capability &pdu) const
{
    return pdu.receiveAndTransmitUserInputCapability().SetTag(subType);
}

BOOL H323_UserInputCapability::OnSendingPDU(H245_DataType &) const
{
    return FALSE; // user input has no logical channel
}

BOOL H323_UserInputCapability::OnReceivedPDU(const H245_Capability &pdu)
{
    return IsMatch(pdu) && H323Capability::OnReceivedPDU(pdu);
}

BOOL H323_UserInputCapability::IsMatch(const H245_Capability &pdu) const
{
    switch (pdu.GetTag()) {
    case H245_Capability::e_receiveUserInputCapability:
        return pdu.receiveUserInputCapability().GetTag() == subType;
    case H245_Capability::e_transmitUserInputCapability:
        return pdu.transmitUserInputCapability().GetTag() == subType;
    case H245_Capability::e_receiveAndTransmitUserInputCapability:
        return pdu.receiveAndTransmitUserInputCapability().GetTag() == subType;
    default:
        return FALSE;
    }
}

// ---- registry ----

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<const H323CapabilityRegistration *> entries;
};

Registry &TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

H323CapabilityRegistration::H323CapabilityRegistration(const char *n) : name(n)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.entries.push_back(this);
}

H323CapabilityRegistration::~H323CapabilityRegistration()
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::erase(r.entries, this);
}

PStringArray H323CapabilityRegistration::GetRegisteredNames()
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    PStringArray names;
    for (const H323CapabilityRegistration *e : r.entries)
        names.AppendString(e->name);
    return names;
}

const H323CapabilityRegistration *H323CapabilityRegistration::Find(const PString &n)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const H323CapabilityRegistration *e : r.entries)
        if (n *= e->name)
            return e;
    return nullptr;
}
