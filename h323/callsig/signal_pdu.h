// H323SignalPDU: an H.225.0 call-signalling message: Q.931 and its H323-UserInformation.
#pragma once

#include <h323/asn1/gen/h225.h>
#include <h323/q931/q931.h>

#include <pwlib/parray.h>
#include <pwlib/pstring.h>

class H323Connection;
class H323Transport;
class H323TransportAddress;

/// A call-signalling PDU. The UUIE is this object (the H323-UserInformation); the Q.931
/// message carries it in its User-User element when written. The Build functions set up
/// the Q.931 message and the UUIE body of each message type for a connection.
class H323SignalPDU : public H225_H323_UserInformation
{
  public:
    H323SignalPDU();

    H225_Setup_UUIE &BuildSetup(const H323Connection &connection,
                                const H323TransportAddress &destAddr);
    H225_CallProceeding_UUIE &BuildCallProceeding(const H323Connection &connection);
    H225_Alerting_UUIE &BuildAlerting(const H323Connection &connection);
    H225_Connect_UUIE &BuildConnect(const H323Connection &connection);
    H225_ReleaseComplete_UUIE &BuildReleaseComplete(const H323Connection &connection);
    H225_Facility_UUIE *BuildFacility(const H323Connection &connection, BOOL empty);
    H225_Information_UUIE &BuildInformation(const H323Connection &connection);
    H225_Progress_UUIE &BuildProgress(const H323Connection &connection);
    H225_Status_UUIE &BuildStatus(const H323Connection &connection);

    /// Reads and decodes the next PDU of transport. FALSE on a read failure; a PDU that
    /// does not decode gives TRUE with IsValid() FALSE (it is dropped, the call goes on).
    BOOL Read(H323Transport &transport);
    /// Decodes one received message. A message without User-User (a plain Q.931 message)
    /// is valid with an empty UUIE body.
    BOOL Decode(const PBYTEArray &data);
    /// Encodes the UUIE into the Q.931 message and writes it.
    BOOL Write(H323Transport &transport);
    /// The wire form (Q.931 with the UUIE), for tests and captures.
    BOOL Encode(PBYTEArray &data);

    BOOL IsValid() const { return valid; }
    BOOL HasUserUser() const { return hasUserUser; }
    const Q931 &GetQ931() const { return q931pdu; }
    Q931 &GetQ931() { return q931pdu; }

    /// The message body's tag (H225_H323_UU_PDU_h323_message_body::e_...).
    unsigned GetBodyTag() const { return m_h323_uu_pdu.m_h323_message_body.GetTag(); }

    /// The source aliases of a Setup as text ("alias1", first one), empty when none.
    PStringList GetSourceAliases() const;
    PStringList GetDestinationAliases() const;

  private:
    void BuildQ931(Q931::MsgTypes type, const H323Connection &connection);

    Q931 q931pdu;
    BOOL valid = TRUE;
    BOOL hasUserUser = TRUE;
};
