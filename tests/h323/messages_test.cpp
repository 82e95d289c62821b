// Every catalogued message: round trip through our codec, and tshark's reading of it.
#include "message_catalog.h"
#include "pcap_writer.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/q931/signal.h>
#include <h323/tpkt/tpkt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

using h323test::CatalogEntry;
using h323test::message_catalog;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kH245Port = 30000;

template <class T> void expect_round_trip(const Bytes &in, const std::string &name)
{
    T v;
    asn1::Result r = asn1::decode(in, v);
    ASSERT_TRUE(r) << name << ": " << r.message();
    Bytes out;
    ASSERT_TRUE(asn1::encode(v, out)) << name;
    EXPECT_EQ(out, in) << name << "\n" << asn1::to_text(v);
    T copy = v; // deep copies encode the same
    Bytes again;
    ASSERT_TRUE(asn1::encode(copy, again));
    EXPECT_EQ(again, in) << name;
}

TEST(Messages, EveryCatalogueMessageRoundTrips)
{
    for (const CatalogEntry &e : message_catalog()) {
        SCOPED_TRACE(e.name);
        switch (e.kind) {
        case CatalogEntry::Ras:
            expect_round_trip<H225_RasMessage>(e.bytes, e.name);
            break;
        case CatalogEntry::H245:
            expect_round_trip<H245_MultimediaSystemControlMessage>(e.bytes, e.name);
            break;
        case CatalogEntry::Signal: {
            Q931 q;
            H225_H323_UserInformation u;
            asn1::Result r = h323::DecodeSignalPDU(e.bytes.data(), e.bytes.size(), q, u);
            ASSERT_TRUE(r) << r.message();
            Bytes out;
            ASSERT_TRUE(q.Encode(out));
            EXPECT_EQ(out, e.bytes);
            expect_round_trip<H225_H323_UserInformation>(q.GetUserUser(), e.name);
            const auto &pdu = u.m_h323_uu_pdu;
            for (const auto &o : pdu.m_h245Control)
                expect_round_trip<H245_MultimediaSystemControlMessage>(o, e.name + " h245Control");
            if (pdu.m_h323_message_body.GetTag() == H225_H323_UU_PDU_h323_message_body::e_setup)
                for (const auto &o : pdu.m_h323_message_body.setup().m_fastStart)
                    expect_round_trip<H245_OpenLogicalChannel>(o, e.name + " fastStart");
            break;
        }
        }
    }
}

/** Splits tshark -V output into the text of each frame, by frame number. */
std::map<int, std::string> split_frames(const std::string &text)
{
    std::map<int, std::string> frames;
    int current = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        int n;
        if (line.rfind("Frame ", 0) == 0 && std::sscanf(line.c_str(), "Frame %d:", &n) == 1)
            current = n;
        frames[current] += line + "\n";
        pos = end + 1;
    }
    return frames;
}

std::vector<h323test::Frame> catalogue_frames()
{
    std::vector<h323test::Frame> frames;
    for (const CatalogEntry &e : message_catalog()) {
        h323test::Frame f;
        if (e.kind == CatalogEntry::Ras) {
            f.transport = h323test::Frame::Udp;
            f.dst_port = 1719;
            f.payload = e.bytes;
        } else {
            f.transport = h323test::Frame::Tcp;
            f.dst_port = e.kind == CatalogEntry::Signal ? 1720 : kH245Port;
            EXPECT_EQ(h323::tpkt::write_frame(e.bytes.data(), e.bytes.size(), f.payload),
                      h323::tpkt::Status::ok);
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

class TsharkOracle : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!h323test::tshark_available())
            GTEST_SKIP() << "tshark is not installed";
        pcap_ = h323test::temp_path(".pcap");
        h323test::write_pcap(pcap_, catalogue_frames());
    }
    void TearDown() override
    {
        if (!pcap_.empty())
            std::remove(pcap_.c_str());
    }
    std::string decode_as() const
    {
        return "-d tcp.port==" + std::to_string(kH245Port) + ",h245 ";
    }
    std::string pcap_;
};

TEST_F(TsharkOracle, ShowsNoMalformedPacketOrWarning)
{
    int rc = -1;
    std::string out = h323test::run_tshark(
        pcap_, decode_as() + "-Y \"_ws.malformed || _ws.expert.severity >= warning\"", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "") << "tshark flags these frames";
    // Every frame is dissected down to its H.323 protocol.
    std::string protos = h323test::run_tshark(pcap_, decode_as() + "-T fields -e frame.protocols");
    size_t i = 0, at = 0;
    for (const CatalogEntry &e : message_catalog()) {
        size_t end = protos.find('\n', at);
        std::string p = protos.substr(at, end - at);
        at = end + 1;
        const char *want = e.kind == CatalogEntry::H245 ? "h245" : "h225";
        EXPECT_NE(p.find(want), std::string::npos) << e.name << ": " << p;
        if (e.kind == CatalogEntry::Signal) {
            EXPECT_NE(p.find("q931"), std::string::npos) << e.name << ": " << p;
        }
        i++;
    }
    EXPECT_EQ(i, message_catalog().size());
}

TEST_F(TsharkOracle, ShowsTheValuesWeSet)
{
    auto frames = split_frames(h323test::run_tshark(pcap_, decode_as() + "-V"));
    int n = 1;
    for (const CatalogEntry &e : message_catalog()) {
        const std::string &text = frames[n++];
        for (const std::string &want : e.expect)
            EXPECT_NE(text.find(want), std::string::npos)
                << e.name << ": tshark does not show \"" << want << "\"\n"
                << text;
    }
}

} // namespace
