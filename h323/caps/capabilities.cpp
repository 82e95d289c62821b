// H323Capabilities: the table, descriptors, matching and the TerminalCapabilitySet form.
#include <h323/caps/capabilities.h>

#include <h323/asn1/gen/h245.h>

#include <pwlib/ptrace.h>

#include <algorithm>
#include <map>

H323Capabilities::H323Capabilities(const H323Capabilities &other) : PObject()
{
    CopyFrom(other);
}

H323Capabilities &H323Capabilities::operator=(const H323Capabilities &other)
{
    if (this != &other) {
        RemoveAll();
        CopyFrom(other);
    }
    return *this;
}

void H323Capabilities::CopyFrom(const H323Capabilities &other)
{
    std::map<const H323Capability *, H323Capability *> copies;
    for (const auto &cap : other.table) {
        H323Capability *copy = static_cast<H323Capability *>(cap->Clone());
        copy->SetCapabilityNumber(cap->GetCapabilityNumber());
        copies[cap.get()] = copy;
        table.emplace_back(copy);
    }
    for (const Descriptor &d : other.descriptors) {
        Descriptor nd;
        for (const AlternativeSet &s : d) {
            AlternativeSet ns;
            for (H323Capability *c : s)
                ns.push_back(copies[c]);
            nd.push_back(std::move(ns));
        }
        descriptors.push_back(std::move(nd));
    }
}

void H323Capabilities::Add(H323Capability *capability)
{
    if (capability == nullptr)
        return;
    for (const auto &c : table)
        if (c.get() == capability)
            return;
    unsigned number = 1;
    for (const auto &c : table)
        number = std::max(number, c->GetCapabilityNumber() + 1);
    capability->SetCapabilityNumber(number);
    table.emplace_back(capability);
}

PINDEX H323Capabilities::SetCapability(PINDEX descriptorNum, PINDEX simultaneous,
                                       H323Capability *capability)
{
    if (capability == nullptr)
        return P_MAX_INDEX;
    Add(capability);
    if (descriptorNum < 0 || size_t(descriptorNum) >= descriptors.size()) {
        descriptors.emplace_back();
        descriptorNum = PINDEX(descriptors.size() - 1);
    }
    Descriptor &d = descriptors[size_t(descriptorNum)];
    if (simultaneous < 0 || size_t(simultaneous) >= d.size()) {
        d.emplace_back();
        simultaneous = PINDEX(d.size() - 1);
    }
    d[size_t(simultaneous)].push_back(capability);
    return simultaneous;
}

void H323Capabilities::RemoveAll()
{
    descriptors.clear();
    table.clear();
}

H323Capability *H323Capabilities::FindCapability(unsigned number) const
{
    for (const auto &c : table)
        if (c->GetCapabilityNumber() == number)
            return c.get();
    return nullptr;
}

H323Capability *H323Capabilities::FindCapability(const H323Capability &capability) const
{
    for (const auto &c : table)
        if (c->Compare(capability) == EqualTo)
            return c.get();
    return nullptr;
}

H323Capability *H323Capabilities::FindCapability(const H245_Capability &pdu) const
{
    for (const auto &c : table)
        if (c->IsMatch(pdu))
            return c.get();
    return nullptr;
}

H323Capability *H323Capabilities::FindCapability(const H245_DataType &pdu) const
{
    for (const auto &c : table)
        if (c->IsMatch(pdu))
            return c.get();
    return nullptr;
}

H323Capability *H323Capabilities::FindCapability(const PString &formatName) const
{
    for (const auto &c : table)
        if (c->GetFormatName() *= formatName)
            return c.get();
    return nullptr;
}

H323Capability *H323Capabilities::FindCapability(H323Capability::MainTypes mainType,
                                                 unsigned subType) const
{
    for (const auto &c : table)
        if (c->GetMainType() == mainType && c->GetSubType() == subType)
            return c.get();
    return nullptr;
}

BOOL H323Capabilities::IsListed(const H323Capability &capability) const
{
    if (descriptors.empty())
        return TRUE;
    for (const Descriptor &d : descriptors)
        for (const AlternativeSet &s : d)
            for (const H323Capability *c : s)
                if (c == &capability || c->Compare(capability) == EqualTo)
                    return TRUE;
    return FALSE;
}

BOOL H323Capabilities::IsAllowed(const H323Capability &a, const H323Capability &b) const
{
    if (descriptors.empty())
        return TRUE;
    auto inSet = [](const AlternativeSet &s, const H323Capability &cap) {
        for (const H323Capability *c : s)
            if (c == &cap || c->Compare(cap) == EqualTo)
                return true;
        return false;
    };
    for (const Descriptor &d : descriptors)
        for (size_t i = 0; i < d.size(); i++)
            if (inSet(d[i], a))
                for (size_t j = 0; j < d.size(); j++)
                    if (j != i && inSet(d[j], b))
                        return TRUE;
    return FALSE;
}

void H323Capabilities::BuildPDU(H245_TerminalCapabilitySet &pdu) const
{
    pdu.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityTable);
    pdu.m_capabilityTable.clear();
    for (const auto &c : table) {
        H245_CapabilityTableEntry entry;
        entry.m_capabilityTableEntryNumber = c->GetCapabilityNumber();
        entry.IncludeOptionalField(H245_CapabilityTableEntry::e_capability);
        if (c->OnSendingPDU(entry.m_capability))
            pdu.m_capabilityTable.push_back(entry);
    }
    pdu.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityDescriptors);
    pdu.m_capabilityDescriptors.clear();
    for (size_t d = 0; d < descriptors.size(); d++) {
        H245_CapabilityDescriptor desc;
        desc.m_capabilityDescriptorNumber = unsigned(d);
        desc.IncludeOptionalField(H245_CapabilityDescriptor::e_simultaneousCapabilities);
        for (const AlternativeSet &s : descriptors[d]) {
            H245_AlternativeCapabilitySet alt;
            for (const H323Capability *c : s)
                alt.push_back(c->GetCapabilityNumber());
            desc.m_simultaneousCapabilities.push_back(alt);
        }
        pdu.m_capabilityDescriptors.push_back(desc);
    }
}

H323Capabilities::H323Capabilities(const H245_TerminalCapabilitySet &pdu,
                                   const H323Capabilities &localTable)
{
    std::map<unsigned, H323Capability *> byNumber;
    if (pdu.HasOptionalField(H245_TerminalCapabilitySet::e_capabilityTable)) {
        for (const H245_CapabilityTableEntry &entry : pdu.m_capabilityTable) {
            if (!entry.HasOptionalField(H245_CapabilityTableEntry::e_capability))
                continue;
            H323Capability *local = localTable.FindCapability(entry.m_capability);
            if (local == nullptr)
                continue;
            H323Capability *copy = static_cast<H323Capability *>(local->Clone());
            if (!copy->OnReceivedPDU(entry.m_capability)) {
                delete copy;
                continue;
            }
            copy->SetCapabilityNumber(unsigned(entry.m_capabilityTableEntryNumber));
            table.emplace_back(copy);
            byNumber[copy->GetCapabilityNumber()] = copy;
        }
    }
    if (pdu.HasOptionalField(H245_TerminalCapabilitySet::e_capabilityDescriptors)) {
        for (const H245_CapabilityDescriptor &desc : pdu.m_capabilityDescriptors) {
            Descriptor d;
            for (const H245_AlternativeCapabilitySet &alt : desc.m_simultaneousCapabilities) {
                AlternativeSet s;
                for (const auto &number : alt) {
                    auto it = byNumber.find(unsigned(number));
                    if (it != byNumber.end())
                        s.push_back(it->second);
                }
                if (!s.empty())
                    d.push_back(std::move(s));
            }
            if (!d.empty())
                descriptors.push_back(std::move(d));
        }
    }
}
