// Identifiers carried in H.225.0 and H.245.
#include <h323/pdu/identifiers.h>

#include <chrono>
#include <mutex>
#include <random>

namespace h323 {

asn1::ObjectId H225ProtocolIdentifier()
{
    return asn1::ObjectId(kH225ProtocolId);
}

asn1::ObjectId H245ProtocolIdentifier()
{
    return asn1::ObjectId(kH245ProtocolId);
}

unsigned ProtocolVersion(const asn1::ObjectId &id)
{
    // itu-t(0) recommendation(0) h(8) 2250|245 version(0) N
    if (id.size() == 6 && id[0] == 0 && id[1] == 0 && id[2] == 8 &&
        (id[3] == 2250 || id[3] == 245) && id[4] == 0)
        return id[5];
    return 0;
}

Guid Guid::Generate()
{
    static std::mutex lock;
    static std::mt19937_64 rng = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(),
                          unsigned(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seq);
    }();
    Guid g;
    std::lock_guard<std::mutex> hold(lock);
    for (size_t i = 0; i < 16; i += 8) {
        uint64_t r = rng();
        for (size_t k = 0; k < 8; k++)
            g.bytes_[i + k] = uint8_t(r >> (8 * k));
    }
    g.bytes_[6] = uint8_t((g.bytes_[6] & 0x0f) | 0x40); // version 4
    g.bytes_[8] = uint8_t((g.bytes_[8] & 0x3f) | 0x80); // variant
    return g;
}

Guid::Guid(const asn1::OctetString &octets)
{
    for (size_t i = 0; i < 16 && i < octets.size(); i++)
        bytes_[i] = octets[i];
}

std::string Guid::AsString() const
{
    static const char *hex = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            s += '-';
        s += hex[bytes_[i] >> 4];
        s += hex[bytes_[i] & 15];
    }
    return s;
}

bool Guid::IsNull() const
{
    for (uint8_t b : bytes_)
        if (b)
            return false;
    return true;
}

H225_CallIdentifier MakeCallIdentifier(const Guid &guid)
{
    H225_CallIdentifier id;
    id.m_guid = guid.ToOctets();
    return id;
}

H225_NonStandardParameter MakeNonStandardParameter(unsigned t35CountryCode, unsigned t35Extension,
                                                   unsigned manufacturerCode,
                                                   std::string_view data)
{
    H225_NonStandardParameter p;
    auto &h221 = p.m_nonStandardIdentifier.h221NonStandard();
    h221.m_t35CountryCode = t35CountryCode;
    h221.m_t35Extension = t35Extension;
    h221.m_manufacturerCode = manufacturerCode;
    p.m_data.SetString(data);
    return p;
}

H225_NonStandardParameter MakeNonStandardParameter(const asn1::ObjectId &id, std::string_view data)
{
    H225_NonStandardParameter p;
    p.m_nonStandardIdentifier.object() = id;
    p.m_data.SetString(data);
    return p;
}

std::string NonStandardText(const H225_NonStandardParameter &p)
{
    return p.m_data.AsString();
}

H225_VendorIdentifier MakeVendorIdentifier(unsigned t35CountryCode, unsigned t35Extension,
                                           unsigned manufacturerCode, std::string_view product,
                                           std::string_view version)
{
    H225_VendorIdentifier v;
    v.m_vendor.m_t35CountryCode = t35CountryCode;
    v.m_vendor.m_t35Extension = t35Extension;
    v.m_vendor.m_manufacturerCode = manufacturerCode;
    if (!product.empty()) {
        v.IncludeOptionalField(H225_VendorIdentifier::e_productId);
        v.m_productId.SetString(product.substr(0, 256));
    }
    if (!version.empty()) {
        v.IncludeOptionalField(H225_VendorIdentifier::e_versionId);
        v.m_versionId.SetString(version.substr(0, 256));
    }
    return v;
}

} // namespace h323
