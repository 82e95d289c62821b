// Malformed input gives a clean decode error: truncation, bad lengths, bad indexes, nesting.
#include "message_catalog.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/q931/signal.h>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using h323test::CatalogEntry;

/** Decodes as the entry's kind; false on any error. */
bool decode_as(const CatalogEntry &e, const Bytes &in)
{
    switch (e.kind) {
    case CatalogEntry::Ras: {
        H225_RasMessage m;
        return bool(asn1::decode(in, m));
    }
    case CatalogEntry::H245: {
        H245_MultimediaSystemControlMessage m;
        return bool(asn1::decode(in, m));
    }
    case CatalogEntry::Signal: {
        Q931 q;
        H225_H323_UserInformation u;
        return bool(h323::DecodeSignalPDU(in.data(), in.size(), q, u));
    }
    }
    return false;
}

TEST(Malformed, EveryTruncationIsAnError)
{
    for (const CatalogEntry &e : h323test::message_catalog()) {
        int accepted = 0;
        for (size_t n = 0; n < e.bytes.size(); n++)
            if (decode_as(e, Bytes(e.bytes.begin(), e.bytes.begin() + long(n))))
                accepted++;
        // A prefix can only decode when the cut removes nothing but trailing padding.
        EXPECT_LE(accepted, 1) << e.name;
    }
}

TEST(Malformed, EveryBitFlipDecodesOrFailsCleanly)
{
    // Run under the sanitizers in CI: any read past the buffer or leak fails the build.
    for (const CatalogEntry &e : h323test::message_catalog()) {
        for (size_t bit = 0; bit < e.bytes.size() * 8; bit++) {
            Bytes b = e.bytes;
            b[bit / 8] ^= uint8_t(0x80 >> (bit % 8));
            decode_as(e, b);
        }
    }
}

TEST(Malformed, RootChoiceIndexBeyondTheAlternatives)
{
    // RasMessage: 25 root alternatives in 5 bits; index 27 does not exist.
    Bytes in = {uint8_t(27 << 2), 0, 0, 0};
    H225_RasMessage m;
    asn1::Result r = asn1::decode(in, m);
    EXPECT_EQ(r.error, asn1::Error::bad_choice);
    EXPECT_EQ(r.path, "RasMessage");
    EXPECT_FALSE(m.IsSet());
}

TEST(Malformed, HugeLengthsAreRefusedBeforeAllocating)
{
    struct Case {
        const char *what;
        Bytes in;
        asn1::Error error;
    } cases[] = {
        // UserInputIndication.alphanumeric (GeneralString): a 16K fragment of 4 with 3 bytes
        {"fragmented string past the end", {0x6d, 0x40, 0xc4, 'a', 'b', 'c'}, asn1::Error::too_large},
        // the same with a two-octet length of 16000
        {"long string past the end", {0x6d, 0x40, 0xbe, 0x80, 'a'}, asn1::Error::too_large},
        // fragment count 5 is not a valid fragment
        {"bad fragment count", {0x6d, 0x40, 0xc5, 'a'}, asn1::Error::bad_length},
    };
    for (const auto &c : cases) {
        H245_MultimediaSystemControlMessage m;
        asn1::Result r = asn1::decode(c.in, m);
        EXPECT_EQ(r.error, c.error) << c.what << ": " << r.message();
    }
    // A valid RRQ still decodes after the bad cases.
    H225_RasMessage rrq;
    auto &req = rrq.registrationRequest();
    req.m_protocolIdentifier = asn1::ObjectId("0.0.8.2250.0.4");
    req.m_terminalType.IncludeOptionalField(H225_EndpointType::e_terminal);
    req.IncludeOptionalField(H225_RegistrationRequest::e_terminalAlias);
    req.m_terminalAlias.push_back(H225_AliasAddress());
    req.m_terminalAlias[0].dialedDigits() = "1";
    Bytes ok;
    ASSERT_TRUE(asn1::encode(rrq, ok));
    H225_RasMessage back;
    ASSERT_TRUE(asn1::decode(ok, back));
}

TEST(Malformed, DeepNestingIsCapped)
{
    // MultiplexElement nests through subElementList: '1' then a size offset of 0 in 8 bits,
    // over and over: far deeper than the cap, and never a complete value.
    Bytes in(200, 0);
    for (size_t level = 0; level * 9 < in.size() * 8; level++)
        in[level * 9 / 8] |= uint8_t(0x80 >> (level * 9 % 8));
    H245_MultiplexElement m;
    asn1::Result r = asn1::decode(in, m);
    EXPECT_EQ(r.error, asn1::Error::too_deep) << r.message();

    // Encoding a value nested past the cap fails the same way instead of overflowing.
    H245_MultiplexElement root;
    H245_MultiplexElement *at = &root;
    for (int i = 0; i < 40; i++) {
        auto &list = at->m_type.subElementList();
        list.resize(2);
        list[1].m_type.logicalChannelNumber() = 1;
        list[1].m_repeatCount.SetTag(H245_MultiplexElement_repeatCount::e_untilClosingFlag);
        list[0].m_repeatCount.SetTag(H245_MultiplexElement_repeatCount::e_untilClosingFlag);
        at = &list[0];
    }
    at->m_type.logicalChannelNumber() = 1;
    root.m_repeatCount.SetTag(H245_MultiplexElement_repeatCount::e_untilClosingFlag);
    Bytes out;
    EXPECT_EQ(asn1::encode(root, out).error, asn1::Error::too_deep);
}

TEST(Malformed, OpenTypeLengthPastTheEnd)
{
    // MasterSlaveDetermination with one extension addition whose open type claims 100
    // octets when 1 is there: bitmap length '0' '000000', map '1', pad, length 100.
    Bytes in = {0x80, 0x32, 0x40, 0x30, 0x39, 0x01, 0x64, 0xaa};
    H245_MasterSlaveDetermination v;
    asn1::Result r = asn1::decode(in, v);
    EXPECT_EQ(r.error, asn1::Error::bad_length);
}

} // namespace
