// Identifiers carried in H.225.0 and H.245: GUIDs, protocol identifiers, non-standard data.
#pragma once

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace h323 {

/** H.225.0 version 4 and H.245 version 7: what this endpoint sends. */
inline constexpr const char *kH225ProtocolId = "0.0.8.2250.0.4";
inline constexpr const char *kH245ProtocolId = "0.0.8.245.0.7";

asn1::ObjectId H225ProtocolIdentifier();
asn1::ObjectId H245ProtocolIdentifier();
/** The version arc of an H.225.0 or H.245 protocol identifier, 0 if it is none of them. */
unsigned ProtocolVersion(const asn1::ObjectId &id);

/** A globally unique identifier (H.225.0 GloballyUniqueID, 16 octets). */
class Guid {
  public:
    /** A new random identifier (version 4 layout). */
    static Guid Generate();
    Guid() = default;
    explicit Guid(const asn1::OctetString &octets);
    const std::array<uint8_t, 16> &bytes() const { return bytes_; }
    asn1::OctetString ToOctets() const { return asn1::OctetString(bytes_.begin(), bytes_.end()); }
    /** 32 hex digits with dashes, 8-4-4-4-12. */
    std::string AsString() const;
    bool IsNull() const;
    bool operator==(const Guid &) const = default;

  private:
    std::array<uint8_t, 16> bytes_{};
};

H225_CallIdentifier MakeCallIdentifier(const Guid &guid);
/** Conference identifiers are GUIDs too. */
inline H225_ConferenceIdentifier MakeConferenceIdentifier(const Guid &guid)
{
    return guid.ToOctets();
}

/** A non-standard parameter identified by H.221 country, extension and manufacturer codes. */
H225_NonStandardParameter MakeNonStandardParameter(unsigned t35CountryCode, unsigned t35Extension,
                                                   unsigned manufacturerCode,
                                                   std::string_view data);
/** A non-standard parameter identified by an object identifier. */
H225_NonStandardParameter MakeNonStandardParameter(const asn1::ObjectId &id, std::string_view data);
/** The parameter's data as text (non-standard data of this service carries text). */
std::string NonStandardText(const H225_NonStandardParameter &p);

/** The vendor block of RRQ, GRQ and the UUIEs. */
H225_VendorIdentifier MakeVendorIdentifier(unsigned t35CountryCode, unsigned t35Extension,
                                           unsigned manufacturerCode, std::string_view product,
                                           std::string_view version);

} // namespace h323
