// Aligned PER primitives against encodings worked out by hand from X.691.
#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes &b)
{
    std::string s;
    char buf[4];
    for (uint8_t c : b) {
        snprintf(buf, sizeof buf, "%02x", c);
        s += buf;
    }
    return s;
}

Bytes unhex(const std::string &h)
{
    Bytes b;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        b.push_back(uint8_t(std::stoul(h.substr(i, 2), nullptr, 16)));
    return b;
}

asn1::TypeDesc integer_type(asn1::Bounds b)
{
    return {"T", asn1::Kind::Integer, b, nullptr, &asn1::OpsFor<asn1::IntegerValue>::ops};
}

struct IntCase {
    asn1::Bounds bounds;
    int64_t value;
    const char *encoding;
};

TEST(PerInteger, EncodesAndDecodesEveryConstraintForm)
{
    const IntCase cases[] = {
        {{0, 7, true, true, false}, 5, "a0"},                  // 3-bit field
        {{0, 255, true, true, false}, 0x12, "12"},             // one aligned octet
        {{0, 65535, true, true, false}, 0x1234, "1234"},       // two aligned octets
        {{0, 0, true, true, false}, 0, "00"},                  // empty: one zero octet
        {{0, 4294967295LL, true, true, false}, 0x1234, "401234"}, // 2-bit octet count
        {{1, 4294967295LL, true, true, false}, 1, "0000"},
        {{0, 4294967295LL, true, true, false}, 4294967295LL, "c0ffffffff"},
        {{0, 0, true, false, false}, 300, "02012c"},           // semi-constrained
        {{0, 0, false, false, false}, -1, "01ff"},             // unconstrained
        {{0, 0, false, false, false}, 128, "020080"},
        {{0, 0, false, false, false}, -129, "02ff7f"},
        {{0, 16383, true, true, true}, 100, "000064"},         // extensible, in the root
        {{0, 16383, true, true, true}, 20000, "80024e20"},     // extensible, outside
        {{-262144, 262143, true, true, false}, 0, "80040000"}, // 3-octet offset 0x040000
    };
    for (const auto &c : cases) {
        asn1::TypeDesc d = integer_type(c.bounds);
        asn1::IntegerValue v{c.value};
        Bytes out;
        ASSERT_TRUE(asn1::encode(d, &v, out)) << c.value;
        EXPECT_EQ(hex(out), c.encoding) << c.value;
        asn1::IntegerValue back;
        ASSERT_TRUE(asn1::decode(d, out.data(), out.size(), &back)) << c.value;
        EXPECT_EQ(back.value, c.value);
    }
}

TEST(PerInteger, RejectsValuesOutsideAClosedRange)
{
    asn1::TypeDesc d = integer_type({1, 65535, true, true, false});
    asn1::IntegerValue v{0};
    Bytes out;
    asn1::Result r = asn1::encode(d, &v, out);
    EXPECT_EQ(r.error, asn1::Error::bad_value);
    // 0..7 in 3 bits cannot hold 6..7 for a 0..5 range: decoding 7 is an error
    asn1::TypeDesc small = integer_type({0, 5, true, true, false});
    Bytes seven = {0xe0};
    EXPECT_EQ(asn1::decode(small, seven.data(), 1, &v).error, asn1::Error::bad_value);
}

TEST(PerInteger, AssignmentClampsToTheRoot)
{
    asn1::Int<1, 65535> seq = 0;
    EXPECT_EQ(seq, 1);
    seq = 70000;
    EXPECT_EQ(seq, 65535);
    asn1::Int<0, 16383, true> ext = 20000;
    EXPECT_EQ(ext, 20000);
}

TEST(PerStrings, DialledDigitsUseFourBitIndexes)
{
    // IA5String (SIZE (1..128)) (FROM ("0123456789#*,")): 7-bit length, 4-bit indexes
    // into "#*,0123456789", octet-aligned characters.
    H225_AliasAddress a;
    a.dialedDigits() = "1234";
    Bytes out;
    ASSERT_TRUE(asn1::encode(a, out));
    // CHOICE of two root alternatives: ext 0, index '0'; length 4-1 in 7 bits; pad;
    // indexes 4,5,6,7
    EXPECT_EQ(hex(out), "0180" "4567");
    H225_AliasAddress back;
    ASSERT_TRUE(asn1::decode(out, back));
    EXPECT_EQ(back.dialedDigits(), "1234");

    a.dialedDigits() = "12a";
    EXPECT_EQ(asn1::encode(a, out).error, asn1::Error::bad_value);
}

TEST(PerStrings, H323IdIsBmpString)
{
    H225_AliasAddress a;
    a.h323_ID() = asn1::BMPString::FromLatin1("ab");
    Bytes out;
    ASSERT_TRUE(asn1::encode(a, out));
    // ext 0, index '1', pad; length 2-1 in one octet (range 256); UCS-2
    EXPECT_EQ(hex(out), "4001" "00610062");
}

TEST(PerObjectId, EncodesBerContents)
{
    H225_GatekeeperRequest grq;
    grq.m_protocolIdentifier = asn1::ObjectId("0.0.8.2250.0.4");
    ASSERT_EQ(grq.m_protocolIdentifier.size(), 6u);
    asn1::TypeDesc d = {"OID", asn1::Kind::ObjectId, {}, nullptr,
                        &asn1::OpsFor<asn1::ObjectId>::ops};
    Bytes out;
    ASSERT_TRUE(asn1::encode(d, &grq.m_protocolIdentifier, out));
    EXPECT_EQ(hex(out), "060008914a0004");
    asn1::ObjectId back;
    ASSERT_TRUE(asn1::decode(d, out.data(), out.size(), &back));
    EXPECT_EQ(back.AsString(), "0.0.8.2250.0.4");
    EXPECT_TRUE(asn1::ObjectId("1..2").empty());
    EXPECT_TRUE(asn1::ObjectId("x").empty());
}

TEST(PerOctetString, FragmentsAtSixteenK)
{
    asn1::TypeDesc d = {"OS", asn1::Kind::OctetString, {}, nullptr,
                        &asn1::OpsFor<asn1::OctetString>::ops};
    for (size_t n : {size_t(200), size_t(16384), size_t(16389), size_t(70000)}) {
        asn1::OctetString v(n);
        for (size_t i = 0; i < n; i++)
            v[i] = uint8_t(i * 7);
        Bytes out;
        ASSERT_TRUE(asn1::encode(d, &v, out));
        if (n == 200) {
            EXPECT_EQ(hex(Bytes(out.begin(), out.begin() + 2)), "80c8");
        }
        if (n == 16384) {
            EXPECT_EQ(out[0], 0xc1);
            EXPECT_EQ(out.size(), 1 + 16384 + 1u); // a final zero length follows
            EXPECT_EQ(out.back(), 0x00);
        }
        if (n == 16389) {
            EXPECT_EQ(out[0], 0xc1);
            EXPECT_EQ(out[1 + 16384], 0x05);
        }
        if (n == 70000) {
            EXPECT_EQ(out[0], 0xc4); // 4 x 16K, then the 4464 left
            EXPECT_EQ(hex(Bytes(out.begin() + 1 + 65536, out.begin() + 3 + 65536)), "9170");
        }
        asn1::OctetString back;
        ASSERT_TRUE(asn1::decode(d, out.data(), out.size(), &back)) << n;
        EXPECT_EQ(back, v);
    }
}

TEST(PerSequence, MasterSlaveDeterminationByHand)
{
    // MultimediaSystemControlMessage: ext 0, request (2 bits); RequestMessage: ext 0,
    // index 1 of 11 (4 bits); MSD: ext 0 -- nine bits, padded to two octets; terminalType one
    // octet; statusDeterminationNumber 0..16777215: 2-bit octet count, aligned octets.
    H245_MultimediaSystemControlMessage m;
    auto &msd = m.request().masterSlaveDetermination();
    msd.m_terminalType = 50;
    msd.m_statusDeterminationNumber = 12345;
    Bytes out;
    ASSERT_TRUE(asn1::encode(m, out));
    EXPECT_EQ(hex(out), "0100" "32" "40" "3039");
    H245_MultimediaSystemControlMessage back;
    ASSERT_TRUE(asn1::decode(out, back));
    ASSERT_EQ(back.GetTag(), H245_MultimediaSystemControlMessage::e_request);
    ASSERT_EQ(back.request().GetTag(), H245_RequestMessage::e_masterSlaveDetermination);
    EXPECT_EQ(back.request().masterSlaveDetermination().m_statusDeterminationNumber, 12345);
}

TEST(PerSequence, ExtensionAdditionsAreOpenTypes)
{
    // H323-UU-PDU { h323-message-body CHOICE, nonStandardData OPTIONAL, ..., h4501..,
    // h245Tunneling BOOLEAN, ... }: h245Tunneling alone among the additions.
    H225_H323_UU_PDU pdu;
    pdu.m_h323_message_body.SetTag(H225_H323_UU_PDU_h323_message_body::e_empty);
    pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Tunneling);
    pdu.m_h245Tunneling = true;
    Bytes out;
    ASSERT_TRUE(asn1::encode(pdu, out));
    // ext 1, nonStandardData 0; body: ext 1, normally small '0000001' (empty is the 2nd
    // addition), pad; open type: length 1, 0x00 (the empty NULL encoding). Then the PDU's
    // nine additions: length '0' '001000', map '010000000', pad; the BOOLEAN's open type.
    EXPECT_EQ(hex(out), "a0400100" "1080" "0180");
    H225_H323_UU_PDU back;
    ASSERT_TRUE(asn1::decode(out, back));
    EXPECT_TRUE(back.HasOptionalField(H225_H323_UU_PDU::e_h245Tunneling));
    EXPECT_TRUE(back.m_h245Tunneling);
    EXPECT_FALSE(back.HasOptionalField(H225_H323_UU_PDU::e_h245Control));
    EXPECT_EQ(back.m_h323_message_body.GetTag(), H225_H323_UU_PDU_h323_message_body::e_empty);
}

TEST(PerSequence, UnknownExtensionsAreKeptAndReencoded)
{
    // A MasterSlaveDetermination from a newer peer with two additions this build lacks:
    // ext bit 1, pad; terminalType; statusDeterminationNumber; bitmap length 2
    // ('0' '000001'), map '11', pad; two open types of one octet each.
    Bytes in = unhex("8032403039" "0380" "01aa" "0155");
    H245_MasterSlaveDetermination v;
    asn1::Result r = asn1::decode(in, v);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(v.m_terminalType, 50);
    EXPECT_EQ(v.m_statusDeterminationNumber, 12345);
    ASSERT_EQ(v.unknown_extensions().size(), 2u);
    EXPECT_EQ(v.unknown_extensions()[0].bytes, Bytes{0xaa});
    EXPECT_EQ(v.unknown_extensions()[1].bytes, Bytes{0x55});
    Bytes out;
    ASSERT_TRUE(asn1::encode(v, out));
    EXPECT_EQ(hex(out), hex(in));
}

TEST(PerChoice, UnknownExtensionAlternativeIsKept)
{
    // RasMessage has 25 root alternatives; extension alternative 40 is beyond the last one
    // known: ext 1, normally small '0' '101000', pad, open type of one octet.
    Bytes in = unhex("a80100");
    H225_RasMessage m;
    asn1::Result r = asn1::decode(in, m);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(m.GetTag(), 25u + 40u);
    Bytes out;
    ASSERT_TRUE(asn1::encode(m, out));
    EXPECT_EQ(out, in);
}

TEST(PerErrors, ReportPositionAndPath)
{
    H225_RasMessage m;
    auto &rrq = m.registrationRequest();
    rrq.m_requestSeqNum = 1;
    rrq.m_protocolIdentifier = asn1::ObjectId("0.0.8.2250.0.4");
    rrq.m_terminalType.IncludeOptionalField(H225_EndpointType::e_terminal);
    rrq.m_endpointVendor.m_vendor.m_t35CountryCode = 9;
    rrq.IncludeOptionalField(H225_RegistrationRequest::e_terminalAlias);
    rrq.m_terminalAlias.emplace_back().dialedDigits() = "12x";
    Bytes out;
    asn1::Result r = asn1::encode(m, out);
    EXPECT_EQ(r.error, asn1::Error::bad_value);
    EXPECT_EQ(r.path, "RasMessage.registrationRequest.terminalAlias[0].dialedDigits");

    rrq.m_terminalAlias[0].dialedDigits() = "123";
    ASSERT_TRUE(asn1::encode(m, out)) << asn1::encode(m, out).message();
    Bytes cut(out.begin(), out.begin() + long(out.size() / 2));
    H225_RasMessage back;
    r = asn1::decode(cut, back);
    EXPECT_EQ(r.error, asn1::Error::truncated);
    EXPECT_LE(r.bit_pos, cut.size() * 8);
    EXPECT_EQ(r.path.rfind("RasMessage.registrationRequest", 0), 0u) << r.path;
    EXPECT_FALSE(back.IsSet()); // nothing half-decoded is left behind
}

H225_AdmissionRequest MinimalAdmissionRequest()
{
    H225_AdmissionRequest arq;
    arq.m_requestSeqNum = 7;
    arq.m_callType.SetTag(H225_CallType::e_pointToPoint);
    arq.m_endpointIdentifier = asn1::BMPString::FromLatin1("EP1");
    arq.m_srcInfo.emplace_back().dialedDigits() = "8001";
    arq.m_conferenceID.assign(16, 0x11);
    arq.IncludeOptionalField(H225_AdmissionRequest::e_canMapAlias);
    arq.IncludeOptionalField(H225_AdmissionRequest::e_willSupplyUUIEs);
    return arq;
}

struct MissingAdditionCase {
    const char *name;
    std::function<asn1::Result(Bytes &)> encode;
    asn1::Error error;
    const char *path; ///< of the failure; "" when it encodes
};

void PrintTo(const MissingAdditionCase &c, std::ostream *os) { *os << c.name; }

class PerMissingAddition : public ::testing::TestWithParam<MissingAdditionCase>
{
};

TEST_P(PerMissingAddition, IsRefusedOnlyBeforeALaterAddition)
{
    const MissingAdditionCase &c = GetParam();
    Bytes out;
    asn1::Result r = c.encode(out);
    EXPECT_EQ(r.error, c.error) << r.message();
    EXPECT_EQ(r.path, c.path);
    EXPECT_EQ(out.empty(), r.error != asn1::Error::none);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PerMissingAddition,
    ::testing::Values(
        // callIdentifier, a mandatory addition, left out before willSupplyUUIEs.
        MissingAdditionCase{"admissionWithoutCallIdentifier",
                            [](Bytes &out) { return asn1::encode(MinimalAdmissionRequest(), out); },
                            asn1::Error::missing, "AdmissionRequest.callIdentifier"},
        MissingAdditionCase{"admissionWithCallIdentifier",
                            [](Bytes &out) {
                                H225_AdmissionRequest arq = MinimalAdmissionRequest();
                                arq.IncludeOptionalField(H225_AdmissionRequest::e_callIdentifier);
                                arq.m_callIdentifier.m_guid.assign(16, 0x22);
                                return asn1::encode(arq, out);
                            },
                            asn1::Error::none, ""},
        // canMapSrcAlias is mandatory too, but nothing follows it.
        MissingAdditionCase{"lastMandatoryAdditionLeftOut",
                            [](Bytes &out) {
                                H225_AdmissionRequest arq = MinimalAdmissionRequest();
                                arq.IncludeOptionalField(H225_AdmissionRequest::e_callIdentifier);
                                arq.m_callIdentifier.m_guid.assign(16, 0x22);
                                arq.IncludeOptionalField(H225_AdmissionRequest::e_genericData);
                                return asn1::encode(arq, out);
                            },
                            asn1::Error::none, ""},
        // Inside a message: the path names the way down to the addition.
        MissingAdditionCase{"nestedInH245",
                            [](Bytes &out) {
                                H245_H2250LogicalChannelAckParameters p;
                                p.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_portNumber);
                                p.m_portNumber = 5004;
                                H245_OpenLogicalChannelAck ack;
                                ack.m_forwardLogicalChannelNumber = 1;
                                ack.IncludeOptionalField(H245_OpenLogicalChannelAck::e_forwardMultiplexAckParameters);
                                ack.m_forwardMultiplexAckParameters.h2250LogicalChannelAckParameters() = p;
                                return asn1::encode(ack, out);
                            },
                            asn1::Error::missing,
                            "OpenLogicalChannelAck.forwardMultiplexAckParameters."
                            "h2250LogicalChannelAckParameters.flowControlToZero"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PerErrors, NotSetChoiceIsAnEncodeError)
{
    H225_RasMessage m;
    Bytes out;
    EXPECT_EQ(asn1::encode(m, out).error, asn1::Error::not_set);
    EXPECT_TRUE(out.empty());
}

} // namespace
