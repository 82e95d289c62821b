// Q.931 messages as H.225.0 uses them: header, call reference and information elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

/** One Q.931 message. Elements are kept in received order and written in ascending order. */
class Q931 {
  public:
    enum MsgTypes {
        NationalEscapeMsg = 0x00,
        AlertingMsg = 0x01,
        CallProceedingMsg = 0x02,
        ProgressMsg = 0x03,
        SetupMsg = 0x05,
        ConnectMsg = 0x07,
        SetupAckMsg = 0x0d,
        ConnectAckMsg = 0x0f,
        ReleaseCompleteMsg = 0x5a,
        FacilityMsg = 0x62,
        NotifyMsg = 0x6e,
        StatusEnquiryMsg = 0x75,
        InformationMsg = 0x7b,
        StatusMsg = 0x7d,
    };

    enum InformationElementCodes {
        BearerCapabilityIE = 0x04,
        CauseIE = 0x08,
        CallStateIE = 0x14,
        FacilityIE = 0x1c,
        ProgressIndicatorIE = 0x1e,
        NotificationIndicatorIE = 0x27,
        DisplayIE = 0x28,
        KeypadIE = 0x2c,
        SignalIE = 0x34,
        CallingPartyNumberIE = 0x6c,
        CalledPartyNumberIE = 0x70,
        RedirectingNumberIE = 0x74,
        UserUserIE = 0x7e,
    };

    enum InformationTransferCapability {
        TransferSpeech = 0,
        TransferUnrestrictedDigital = 8,
        TransferRestrictedDigital = 9,
        Transfer3_1kHzAudio = 16,
        TransferUnrestrictedDigitalWithTones = 17,
        TransferVideo = 24,
    };

    enum CauseValues {
        UnallocatedNumber = 1,
        NoRouteToNetwork = 2,
        NoRouteToDestination = 3,
        NormalCallClearing = 16,
        UserBusy = 17,
        NoResponse = 18,
        NoAnswer = 19,
        SubscriberAbsent = 20,
        CallRejected = 21,
        NumberChanged = 22,
        Redirection = 23,
        DestinationOutOfOrder = 27,
        InvalidNumberFormat = 28,
        NormalUnspecified = 31,
        NoCircuitChannelAvailable = 34,
        NetworkOutOfOrder = 38,
        TemporaryFailure = 41,
        Congestion = 42,
        RequestedCircuitNotAvailable = 44,
        ResourceUnavailable = 47,
        BearerCapNotAuthorised = 57,
        BearerCapNotPresentlyAvailable = 58,
        ServiceOptionNotAvailable = 63,
        BearerCapNotImplemented = 65,
        IncompatibleDestination = 88,
        InvalidMessage = 95,
        MandatoryIEMissing = 96,
        MessageTypeNonexistent = 97,
        IENonExistantOrNotImplemented = 99,
        InvalidIEContents = 100,
        ProtocolErrorUnspecified = 111,
        InterworkingUnspecified = 127,
        ErrorInCauseIE = 0x100, // no Cause element or an unreadable one
    };

    enum CallStates {
        CallState_Null = 0,
        CallState_CallInitiated = 1,
        CallState_OverlapSending = 2,
        CallState_OutgoingCallProceeding = 3,
        CallState_CallDelivered = 4,
        CallState_CallPresent = 6,
        CallState_CallReceived = 7,
        CallState_ConnectRequest = 8,
        CallState_IncomingCallProceeding = 9,
        CallState_Active = 10,
        CallState_DisconnectRequest = 11,
        CallState_DisconnectIndication = 12,
        CallState_SuspendRequest = 15,
        CallState_ResumeRequest = 17,
        CallState_ReleaseRequest = 19,
        CallState_OverlapReceiving = 25,
        CallState_ErrorInIE = 0x100,
    };

    enum ProgressIndication {
        ProgressNotEndToEndISDN = 1,
        ProgressDestinationNonISDN = 2,
        ProgressOriginNotISDN = 3,
        ProgressReturnedToISDN = 4,
        ProgressServiceChange = 5,
        ProgressInbandInformationAvailable = 8,
    };

    /** Why decoding stopped. */
    enum class DecodeError : uint8_t {
        None,
        Truncated,           // the message ends inside the header or an element
        BadDiscriminator,    // the protocol discriminator is not 0x08
        BadCallReference,    // call reference length above 15 or spare bits set
        BadMessageType,      // the message type's top bit is set
        BadElementLength,    // an element's length runs past the end of the message
    };

    Q931();

    /** Resets to a message of the type with a 2-octet call reference. */
    void BuildMessage(MsgTypes type, unsigned callReference, bool fromDestination);
    void BuildSetup(unsigned callReference);
    void BuildCallProceeding(unsigned callReference);
    void BuildAlerting(unsigned callReference);
    void BuildConnect(unsigned callReference);
    void BuildReleaseComplete(unsigned callReference, bool fromDestination);
    void BuildFacility(unsigned callReference, bool fromDestination);
    void BuildInformation(unsigned callReference, bool fromDestination);
    void BuildProgress(unsigned callReference, bool fromDestination);
    void BuildNotify(unsigned callReference, bool fromDestination);
    void BuildStatus(unsigned callReference, bool fromDestination);
    void BuildStatusEnquiry(unsigned callReference, bool fromDestination);

    /** Writes the message: header, then elements in ascending identifier order. */
    bool Encode(std::vector<uint8_t> &out) const;
    /** Reads a message; on failure the message is left empty and the error kept. */
    bool Decode(const uint8_t *data, size_t size);
    bool Decode(const std::vector<uint8_t> &data) { return Decode(data.data(), data.size()); }
    DecodeError GetDecodeError() const { return error_; }
    /** Octet offset where decoding stopped. */
    size_t GetDecodeErrorOffset() const { return error_offset_; }

    MsgTypes GetMessageType() const { return MsgTypes(type_); }
    unsigned GetMessageTypeValue() const { return type_; }
    unsigned GetCallReference() const { return call_ref_; }
    /** True when the call reference flag is set: sent by the side that did not originate. */
    bool IsFromDestination() const { return from_destination_; }
    unsigned GetCallReferenceLength() const { return call_ref_len_; }
    static const char *MessageName(unsigned type);

    bool HasIE(InformationElementCodes ie) const;
    /** The first element with the identifier (its contents, without id and length). */
    std::vector<uint8_t> GetIE(InformationElementCodes ie) const;
    /** Replaces every element with the identifier by one with these contents. */
    void SetIE(InformationElementCodes ie, const std::vector<uint8_t> &contents);
    void SetIE(InformationElementCodes ie, const uint8_t *contents, size_t n);
    void RemoveIE(InformationElementCodes ie);

    struct Element {
        uint8_t id;
        std::vector<uint8_t> contents; // empty for single-octet elements (id >= 0x80)
    };
    /** Every element, in received (or set) order, unknown ones included. */
    const std::vector<Element> &Elements() const { return elements_; }

    void SetBearerCapabilities(InformationTransferCapability capability,
                               unsigned transferRate = 1, unsigned codingStandard = 0,
                               unsigned userInfoLayer1 = 5);
    bool GetBearerCapabilities(InformationTransferCapability &capability, unsigned &transferRate,
                               unsigned *codingStandard = nullptr,
                               unsigned *userInfoLayer1 = nullptr) const;

    void SetCause(CauseValues value, unsigned standard = 0, unsigned location = 0);
    CauseValues GetCause(unsigned *standard = nullptr, unsigned *location = nullptr) const;

    /** Call State: (standard << 6) | state. */
    void SetCallState(CallStates value, unsigned standard = 0);
    CallStates GetCallState(unsigned *standard = nullptr) const;

    void SetProgressIndicator(unsigned description, unsigned codingStandard = 0,
                              unsigned location = 0);
    bool GetProgressIndicator(unsigned &description, unsigned *codingStandard = nullptr,
                              unsigned *location = nullptr) const;

    void SetNotificationIndicator(unsigned description);
    bool GetNotificationIndicator(unsigned &description) const;

    void SetDisplayName(const std::string &name);
    std::string GetDisplayName() const;

    void SetKeypad(const std::string &digits);
    std::string GetKeypad() const;

    /** Calling Party Number; presentation and screening (octet 3a) only when both >= 0. */
    void SetCallingPartyNumber(const std::string &number, unsigned plan = 1, unsigned type = 0,
                               int presentation = -1, int screening = -1);
    /** False (and an empty number) when the element is absent or unreadable. */
    bool GetCallingPartyNumber(std::string &number, unsigned *plan = nullptr,
                               unsigned *type = nullptr, unsigned *presentation = nullptr,
                               unsigned *screening = nullptr) const;
    /** The same into another string type made from std::string (the library's PString). */
    template <class Text>
        requires(!std::is_same_v<Text, std::string> && std::is_assignable_v<Text &, std::string>)
    bool GetCallingPartyNumber(Text &number) const
    {
        std::string digits;
        bool found = GetCallingPartyNumber(digits);
        number = digits;
        return found;
    }

    void SetCalledPartyNumber(const std::string &number, unsigned plan = 1, unsigned type = 0);
    bool GetCalledPartyNumber(std::string &number, unsigned *plan = nullptr,
                              unsigned *type = nullptr) const;

    /** Redirecting Number; presentation/screening and reason only when >= 0. */
    void SetRedirectingNumber(const std::string &number, unsigned plan = 1, unsigned type = 0,
                              int presentation = -1, int screening = -1, int reason = -1);
    bool GetRedirectingNumber(std::string &number, unsigned *plan = nullptr,
                              unsigned *type = nullptr, unsigned *presentation = nullptr,
                              unsigned *screening = nullptr, unsigned *reason = nullptr) const;

    /** User-User: the user information (the H323-UserInformation encoding) after the
     *  protocol discriminator, which is 5 (X.208/X.209 coded user information) for H.225.0. */
    void SetUserUser(const std::vector<uint8_t> &information, uint8_t protocol = 5);
    bool HasUserUser() const { return HasIE(UserUserIE); }
    /** The user information after the protocol discriminator; empty when absent. */
    std::vector<uint8_t> GetUserUser(uint8_t *protocol = nullptr) const;

  private:
    const Element *find(uint8_t id) const;
    void set_number(uint8_t id, const std::string &number, unsigned plan, unsigned type,
                    int presentation, int screening, int reason);
    bool get_number(uint8_t id, std::string &number, unsigned *plan, unsigned *type,
                    unsigned *presentation, unsigned *screening, unsigned *reason) const;
    bool fail(DecodeError e, size_t at);

    uint8_t type_ = NationalEscapeMsg;
    unsigned call_ref_ = 0;
    unsigned call_ref_len_ = 2;
    bool from_destination_ = false;
    std::vector<Element> elements_;
    DecodeError error_ = DecodeError::None;
    size_t error_offset_ = 0;
};
