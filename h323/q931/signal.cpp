// H.225.0 call signalling message: Q.931 plus the PER-encoded H323-UserInformation.
#include <h323/q931/signal.h>

namespace h323 {

asn1::Result SetUserInformation(Q931 &q931, const H225_H323_UserInformation &uuie)
{
    std::vector<uint8_t> bytes;
    asn1::Result r = asn1::encode(uuie, bytes);
    if (r)
        q931.SetUserUser(bytes);
    return r;
}

asn1::Result GetUserInformation(const Q931 &q931, H225_H323_UserInformation &uuie)
{
    uint8_t protocol = 0;
    std::vector<uint8_t> bytes = q931.GetUserUser(&protocol);
    if (bytes.empty() || protocol != 5) {
        uuie = H225_H323_UserInformation();
        asn1::Result r;
        r.error = asn1::Error::bad_length;
        r.path = bytes.empty() ? "User-User element missing" : "User-User protocol is not 5";
        return r;
    }
    return asn1::decode(bytes, uuie);
}

asn1::Result DecodeSignalPDU(const uint8_t *data, size_t size, Q931 &q931,
                             H225_H323_UserInformation &uuie)
{
    if (!q931.Decode(data, size)) {
        asn1::Result r;
        r.error = asn1::Error::truncated;
        r.bit_pos = q931.GetDecodeErrorOffset() * 8;
        r.path = "Q.931";
        return r;
    }
    return GetUserInformation(q931, uuie);
}

} // namespace h323
