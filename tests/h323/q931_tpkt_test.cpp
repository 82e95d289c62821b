// Q.931 and TPKT coding against byte layouts written out from Q.931, H.225.0 and RFC 1006.
#include <h323/q931/q931.h>
#include <h323/tpkt/tpkt.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;
using h323::tpkt::Status;

Bytes encode(const Q931 &q)
{
    Bytes b;
    EXPECT_TRUE(q.Encode(b));
    return b;
}

TEST(Q931, InformationWithCallStateAndFacilityElement)
{
    // The NAT announcement: Information, call reference length 2, value 0, flag clear;
    // Call State (0x14) before Facility (0x1c), which carries opaque bytes.
    Q931 q;
    q.BuildInformation(0, false);
    q.SetIE(Q931::FacilityIE, Bytes{'E', 'P', '0', '0', '4', '2'});
    q.SetCallState(Q931::CallState_IncomingCallProceeding, 0);
    EXPECT_EQ(encode(q), (Bytes{0x08, 0x02, 0x00, 0x00, 0x7b, 0x14, 0x01, 0x09, 0x1c, 0x06, 'E',
                                'P', '0', '0', '4', '2'}));
}

TEST(Q931, ReleaseCompleteFromTheDestinationSetsTheFlag)
{
    Q931 q;
    q.BuildReleaseComplete(0x1267, true);
    q.SetCause(Q931::UserBusy);
    EXPECT_EQ(encode(q), (Bytes{0x08, 0x02, 0x92, 0x67, 0x5a, 0x08, 0x02, 0x80, 0x91}));
    Q931 back;
    ASSERT_TRUE(back.Decode(encode(q)));
    EXPECT_EQ(back.GetMessageType(), Q931::ReleaseCompleteMsg);
    EXPECT_EQ(back.GetCallReference(), 0x1267u);
    EXPECT_TRUE(back.IsFromDestination());
    EXPECT_EQ(back.GetCause(), Q931::UserBusy);
}

TEST(Q931, SetupElementsAreWrittenInAscendingOrder)
{
    Q931 q;
    q.BuildSetup(1);
    q.SetUserUser(Bytes{0xaa, 0xbb});
    q.SetCalledPartyNumber("456");
    q.SetCallingPartyNumber("123", 1, 0, 0, 3);
    q.SetDisplayName("Al");
    q.SetBearerCapabilities(Q931::TransferSpeech, 1);
    EXPECT_EQ(encode(q),
              (Bytes{0x08, 0x02, 0x00, 0x01, 0x05,             // header, Setup
                     0x04, 0x03, 0x80, 0x90, 0xa5,             // bearer: speech, 64k, H.221
                     0x28, 0x02, 'A', 'l',                     // display
                     0x6c, 0x05, 0x01, 0x83, '1', '2', '3',    // calling: E.164 + 3a
                     0x70, 0x04, 0x81, '4', '5', '6',          // called
                     0x7e, 0x00, 0x03, 0x05, 0xaa, 0xbb}));    // user-user, 2-octet length
}

TEST(Q931, DecodingToleratesAnyOrderAndKeepsUnknownElements)
{
    Bytes in = {0x08, 0x02, 0x80, 0x05, 0x7b,
                0x2c, 0x01, '7',        // keypad
                0xa1,                   // sending complete (single octet)
                0x20, 0x02, 0x01, 0x02, // network-specific facilities: unknown here
                0x14, 0x01, 0x0a};      // call state after them
    Q931 q;
    ASSERT_TRUE(q.Decode(in));
    EXPECT_TRUE(q.IsFromDestination());
    EXPECT_EQ(q.GetKeypad(), "7");
    EXPECT_EQ(q.GetCallState(), Q931::CallState_Active);
    ASSERT_EQ(q.Elements().size(), 4u);
    EXPECT_EQ(q.Elements()[2].id, 0x20);
    // Re-encoding keeps every element, sorted.
    EXPECT_EQ(encode(q), (Bytes{0x08, 0x02, 0x80, 0x05, 0x7b, 0x14, 0x01, 0x0a, 0x20, 0x02, 0x01,
                                0x02, 0x2c, 0x01, '7', 0xa1}));
}

TEST(Q931, LongCallReferencesRoundTrip)
{
    // A five-octet call reference (leading zero octets) and a dummy one of length 0.
    for (Bytes in : {Bytes{0x08, 0x05, 0x80, 0x00, 0x00, 0x12, 0x34, 0x7d},
                     Bytes{0x08, 0x00, 0x7d}}) {
        Q931 q;
        ASSERT_TRUE(q.Decode(in));
        EXPECT_EQ(encode(q), in);
    }
}

TEST(Q931, NumbersAndIndicatorsReadBack)
{
    Q931 q;
    q.BuildNotify(3, false);
    q.SetRedirectingNumber("555", 1, 2, 1, 0, 15);
    q.SetNotificationIndicator(0x71);
    q.SetProgressIndicator(Q931::ProgressInbandInformationAvailable, 0, 2);
    Q931 back;
    ASSERT_TRUE(back.Decode(encode(q)));
    std::string number;
    unsigned plan = 0, type = 0, pres = 9, screen = 9, reason = 0;
    ASSERT_TRUE(back.GetRedirectingNumber(number, &plan, &type, &pres, &screen, &reason));
    EXPECT_EQ(number, "555");
    EXPECT_EQ(plan, 1u);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(pres, 1u);
    EXPECT_EQ(screen, 0u);
    EXPECT_EQ(reason, 15u);
    unsigned d = 0, loc = 0;
    ASSERT_TRUE(back.GetNotificationIndicator(d));
    EXPECT_EQ(d, 0x71u);
    ASSERT_TRUE(back.GetProgressIndicator(d, nullptr, &loc));
    EXPECT_EQ(d, 8u);
    EXPECT_EQ(loc, 2u);
    EXPECT_FALSE(back.GetCallingPartyNumber(number));
    EXPECT_EQ(number, "");
    EXPECT_EQ(back.GetCause(), Q931::ErrorInCauseIE);
}

TEST(Q931, BearerCapabilityForVideoAndMultirate)
{
    Q931 q;
    q.BuildSetup(1);
    q.SetBearerCapabilities(Q931::TransferUnrestrictedDigital, 6);
    EXPECT_EQ(q.GetIE(Q931::BearerCapabilityIE), (Bytes{0x88, 0x18, 0x86, 0xa5}));
    Q931::InformationTransferCapability cap;
    unsigned rate = 0, layer1 = 0;
    ASSERT_TRUE(q.GetBearerCapabilities(cap, rate, nullptr, &layer1));
    EXPECT_EQ(cap, Q931::TransferUnrestrictedDigital);
    EXPECT_EQ(rate, 6u);
    EXPECT_EQ(layer1, 5u);
}

TEST(Q931, MalformedMessagesAreRejected)
{
    struct Case {
        Bytes in;
        Q931::DecodeError error;
    } cases[] = {
        {{}, Q931::DecodeError::Truncated},
        {{0x08}, Q931::DecodeError::Truncated},
        {{0x09, 0x02, 0x00, 0x01, 0x05}, Q931::DecodeError::BadDiscriminator},
        {{0x08, 0x10, 0x00}, Q931::DecodeError::BadCallReference},
        {{0x08, 0x02, 0x00, 0x01}, Q931::DecodeError::Truncated},       // no message type
        {{0x08, 0x02, 0x00, 0x01, 0x85}, Q931::DecodeError::BadMessageType},
        {{0x08, 0x02, 0x00, 0x01, 0x05, 0x28}, Q931::DecodeError::Truncated}, // no length
        {{0x08, 0x02, 0x00, 0x01, 0x05, 0x28, 0x05, 'a'}, Q931::DecodeError::BadElementLength},
        {{0x08, 0x02, 0x00, 0x01, 0x05, 0x7e, 0x01, 0x00, 0x05}, Q931::DecodeError::BadElementLength},
        {{0x08, 0x02, 0x00, 0x01, 0x05, 0x7e, 0x00}, Q931::DecodeError::Truncated},
    };
    for (const auto &c : cases) {
        Q931 q;
        q.BuildSetup(7);
        q.SetDisplayName("x");
        EXPECT_FALSE(q.Decode(c.in));
        EXPECT_EQ(q.GetDecodeError(), c.error) << c.in.size();
        EXPECT_TRUE(q.Elements().empty()); // nothing of the old or the bad message is left
    }
}

TEST(Tpkt, FramesAPayload)
{
    Bytes out;
    ASSERT_EQ(h323::tpkt::write_frame((const uint8_t *)"abc", 3, out), Status::ok);
    EXPECT_EQ(out, (Bytes{0x03, 0x00, 0x00, 0x07, 'a', 'b', 'c'}));
    Bytes big(65532);
    EXPECT_EQ(h323::tpkt::write_frame(big.data(), big.size(), out), Status::too_long);
}

TEST(Tpkt, HeaderChecks)
{
    size_t n = 0;
    const uint8_t ok[] = {3, 0, 0x01, 0x00};
    EXPECT_EQ(h323::tpkt::parse_header(ok, 4, 65535, n), Status::ok);
    EXPECT_EQ(n, 252u);
    EXPECT_EQ(h323::tpkt::parse_header(ok, 3, 65535, n), Status::need_more);
    const uint8_t v2[] = {2, 0, 0, 8};
    EXPECT_EQ(h323::tpkt::parse_header(v2, 1, 65535, n), Status::bad_version);
    const uint8_t short_len[] = {3, 0, 0, 3};
    EXPECT_EQ(h323::tpkt::parse_header(short_len, 4, 65535, n), Status::bad_length);
    EXPECT_EQ(h323::tpkt::parse_header(ok, 4, 200, n), Status::bad_length); // over the bound
    const uint8_t empty[] = {3, 0, 0, 4};
    EXPECT_EQ(h323::tpkt::parse_header(empty, 4, 65535, n), Status::ok);
    EXPECT_EQ(n, 0u);
}

/** A stream that hands out its bytes a few at a time. */
struct ChunkedStream {
    Bytes data;
    size_t at = 0;
    size_t chunk = 3;
    long read(uint8_t *p, size_t n)
    {
        size_t k = std::min({n, chunk, data.size() - at});
        std::memcpy(p, data.data() + at, k);
        at += k;
        return long(k);
    }
};

TEST(Tpkt, ReadsFramesFromAStream)
{
    ChunkedStream s;
    s.data = {3, 0, 0, 6, 'h', 'i', 3, 0, 0, 4, 3, 0, 0, 9, 'x'};
    auto read = [&](uint8_t *p, size_t n) { return s.read(p, n); };
    Bytes payload;
    EXPECT_EQ(h323::tpkt::read_frame(read, payload), Status::ok);
    EXPECT_EQ(payload, (Bytes{'h', 'i'}));
    EXPECT_EQ(h323::tpkt::read_frame(read, payload), Status::ok);
    EXPECT_TRUE(payload.empty());
    EXPECT_EQ(h323::tpkt::read_frame(read, payload), Status::truncated);
    EXPECT_EQ(h323::tpkt::read_frame(read, payload), Status::closed);
}

TEST(Tpkt, StreamWithAHugeLengthIsRefusedBeforeReading)
{
    ChunkedStream s;
    s.data = {3, 0, 0xff, 0xff};
    auto read = [&](uint8_t *p, size_t n) { return s.read(p, n); };
    Bytes payload;
    EXPECT_EQ(h323::tpkt::read_frame(read, payload, 8192), Status::bad_length);
    EXPECT_TRUE(payload.empty());
}

TEST(Tpkt, ReassemblesFramesSplitAnywhere)
{
    Bytes stream;
    for (int i = 0; i < 5; i++) {
        Bytes p(size_t(i * 7), uint8_t(i));
        h323::tpkt::write_frame(p.data(), p.size(), stream);
    }
    for (size_t step : {size_t(1), size_t(2), size_t(5), size_t(100)}) {
        h323::tpkt::Reassembler r;
        int got = 0;
        for (size_t at = 0; at < stream.size(); at += step) {
            r.feed(stream.data() + at, std::min(step, stream.size() - at));
            Bytes p;
            while (r.next(p) == Status::ok) {
                EXPECT_EQ(p.size(), size_t(got * 7));
                got++;
            }
        }
        EXPECT_EQ(got, 5) << step;
        EXPECT_EQ(r.buffered(), 0u);
    }
    h323::tpkt::Reassembler bad;
    const uint8_t junk[] = {0x16, 0x03, 0x01, 0x00};
    bad.feed(junk, 4);
    Bytes p;
    EXPECT_EQ(bad.next(p), Status::bad_version);
    EXPECT_EQ(bad.next(p), Status::bad_version); // an error is final
}

} // namespace
