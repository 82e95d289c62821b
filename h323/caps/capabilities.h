// H323Capabilities: a capability table with its descriptors of simultaneous capabilities.
#pragma once

#include <h323/caps/capability.h>

#include <memory>
#include <vector>

class H245_TerminalCapabilitySet;

/// A capability table: the endpoint's own (in order of preference), a call's copy of it,
/// or the table a peer sent. Entries are numbered 1, 2, ... in insertion order. Each
/// descriptor is a list of alternative sets; capabilities of different sets of one
/// descriptor can run at the same time.
class H323Capabilities : public PObject
{
    PCLASSINFO(H323Capabilities, PObject)
  public:
    H323Capabilities() = default;
    /// The table a peer sent; entries that match none of localTable's kinds are dropped.
    H323Capabilities(const H245_TerminalCapabilitySet &pdu, const H323Capabilities &localTable);
    H323Capabilities(const H323Capabilities &other);
    H323Capabilities &operator=(const H323Capabilities &other);

    /// Adds capability (the table owns it) into alternative set simultaneous of descriptor
    /// descriptorNum; P_MAX_INDEX (or any index past the end) makes a new descriptor or set.
    /// Returns the set index used, so that the next entry can join it.
    PINDEX SetCapability(PINDEX descriptorNum, PINDEX simultaneous, H323Capability *capability);
    /// Adds capability to the table only (no descriptor).
    void Add(H323Capability *capability);
    void RemoveAll();

    PINDEX GetSize() const { return PINDEX(table.size()); }
    H323Capability &operator[](PINDEX i) const { return *table[size_t(i)]; }

    H323Capability *FindCapability(unsigned capabilityNumber) const;
    /// The first entry of the same kind (main type and subtype).
    H323Capability *FindCapability(const H323Capability &capability) const;
    H323Capability *FindCapability(const H245_Capability &pdu) const;
    H323Capability *FindCapability(const H245_DataType &pdu) const;
    H323Capability *FindCapability(const PString &formatName) const;
    H323Capability *FindCapability(H323Capability::MainTypes mainType, unsigned subType) const;

    /// Fills the capability table and descriptors of a TerminalCapabilitySet.
    void BuildPDU(H245_TerminalCapabilitySet &pdu) const;
    /// TRUE when a and b may run at the same time (in different sets of one descriptor).
    BOOL IsAllowed(const H323Capability &a, const H323Capability &b) const;
    /// TRUE when the capability is in some descriptor (or there are no descriptors).
    BOOL IsListed(const H323Capability &capability) const;

    using AlternativeSet = std::vector<H323Capability *>;
    using Descriptor = std::vector<AlternativeSet>;
    const std::vector<Descriptor> &GetDescriptors() const { return descriptors; }

  private:
    void CopyFrom(const H323Capabilities &other);

    std::vector<std::unique_ptr<H323Capability>> table;
    std::vector<Descriptor> descriptors;
};
