// H.225.0 call signalling message: a Q.931 message whose User-User element holds the UUIE.
#pragma once

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/per.h>
#include <h323/q931/q931.h>

namespace h323 {

/** Encodes the H323-UserInformation into the message's User-User element. */
asn1::Result SetUserInformation(Q931 &q931, const H225_H323_UserInformation &uuie);

/** Decodes the H323-UserInformation of the User-User element (an error when it is absent). */
asn1::Result GetUserInformation(const Q931 &q931, H225_H323_UserInformation &uuie);

/** Reads a complete call signalling message (the payload of one TPKT frame). */
asn1::Result DecodeSignalPDU(const uint8_t *data, size_t size, Q931 &q931,
                             H225_H323_UserInformation &uuie);

} // namespace h323
