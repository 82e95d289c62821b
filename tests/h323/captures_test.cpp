// Captures of calls between independent H.323 implementations decode completely here, and
// every message re-encodes to the bytes that were sent.
#include "pcap_writer.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/q931/signal.h>
#include <h323/tpkt/tpkt.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using Bytes = std::vector<uint8_t>;

struct Tally {
    int ras = 0, signal = 0, h245 = 0, fast_start = 0, keypad = 0;
};

template <class T> void check(const Bytes &in, const std::string &what)
{
    T v;
    asn1::Result r = asn1::decode(in, v);
    ASSERT_TRUE(r) << what << ": " << r.message();
    Bytes out;
    ASSERT_TRUE(asn1::encode(v, out)) << what;
    EXPECT_EQ(out, in) << what << " re-encodes differently\n" << asn1::to_text(v);
}

void check_signal(const Bytes &msg, const std::string &what, Tally &t)
{
    Q931 q;
    H225_H323_UserInformation u;
    asn1::Result r = h323::DecodeSignalPDU(msg.data(), msg.size(), q, u);
    ASSERT_TRUE(r) << what << ": " << r.message();
    Bytes out;
    q.Encode(out);
    EXPECT_EQ(out, msg) << what << ": Q.931 re-encodes differently";
    check<H225_H323_UserInformation>(q.GetUserUser(), what + " UUIE");
    t.signal++;
    if (!q.GetKeypad().empty())
        t.keypad++;
    const auto &pdu = u.m_h323_uu_pdu;
    for (const auto &h : pdu.m_h245Control) {
        check<H245_MultimediaSystemControlMessage>(h, what + " h245Control");
        t.h245++;
    }
    const auto &body = pdu.m_h323_message_body;
    const asn1::Array<asn1::OctetString> *fs = nullptr;
    switch (body.GetTag()) {
    case H225_H323_UU_PDU_h323_message_body::e_setup: fs = &body.setup().m_fastStart; break;
    case H225_H323_UU_PDU_h323_message_body::e_callProceeding:
        fs = &body.callProceeding().m_fastStart;
        break;
    case H225_H323_UU_PDU_h323_message_body::e_alerting: fs = &body.alerting().m_fastStart; break;
    case H225_H323_UU_PDU_h323_message_body::e_connect: fs = &body.connect().m_fastStart; break;
    case H225_H323_UU_PDU_h323_message_body::e_facility: fs = &body.facility().m_fastStart; break;
    default: break;
    }
    if (fs)
        for (const auto &o : *fs) {
            check<H245_OpenLogicalChannel>(o, what + " fastStart");
            t.fast_start++;
        }
}

Tally check_capture(const std::string &path)
{
    Tally t;
    auto frames = h323test::read_pcap(path);
    // TCP payloads are joined per direction, then split into TPKT frames.
    std::map<std::pair<uint16_t, uint16_t>, h323::tpkt::Reassembler> streams;
    std::vector<std::pair<uint16_t, uint16_t>> order;
    for (size_t i = 0; i < frames.size(); i++) {
        const auto &f = frames[i];
        if (f.transport == h323test::Frame::Udp && (f.src_port == 1719 || f.dst_port == 1719)) {
            check<H225_RasMessage>(f.payload, "RAS in frame " + std::to_string(i + 1));
            t.ras++;
        } else if (f.transport == h323test::Frame::Tcp && !f.payload.empty()) {
            std::pair<uint16_t, uint16_t> key{f.src_port, f.dst_port};
            if (!streams.count(key))
                order.push_back(key);
            auto &s = streams[key];
            s.feed(f.payload.data(), f.payload.size());
            Bytes msg;
            h323::tpkt::Status st;
            while ((st = s.next(msg)) == h323::tpkt::Status::ok) {
                std::string what = "TCP " + std::to_string(key.first) + "->" +
                                   std::to_string(key.second) + " frame " + std::to_string(i + 1);
                if (!msg.empty() && msg[0] == 0x08) {
                    check_signal(msg, what, t);
                } else {
                    check<H245_MultimediaSystemControlMessage>(msg, what + " H.245");
                    t.h245++;
                }
            }
            EXPECT_EQ(st, h323::tpkt::Status::need_more) << "TPKT stream broken in frame " << i + 1;
        }
    }
    for (auto &key : order)
        EXPECT_EQ(streams[key].buffered(), 0u) << "a partial TPKT frame is left at the end";
    return t;
}

class Captures : public ::testing::Test {
  protected:
    void SetUp() override
    {
        dir_ = KESTRELIN_PCAP_DIR;
        if (!std::filesystem::is_directory(dir_))
            GTEST_SKIP() << "no captures: " << dir_ << " is missing";
    }
    std::string dir_;
};

TEST_F(Captures, GatekeeperRoutedCallDecodesCompletely)
{
    Tally t = check_capture(dir_ + "/gk-routed-call.pcap");
    EXPECT_GE(t.ras, 16); // GRQ/GCF and RRQ/RCF twice, ARQ/ACF, DRQ/DCF, URQ/UCF
    EXPECT_GE(t.signal, 10);
    EXPECT_GE(t.h245, 10); // TCS, MSD, acks, OLC/OLCAck, user input, end session
}

TEST_F(Captures, DirectCallWithFastStartAndSeparateH245DecodesCompletely)
{
    Tally t = check_capture(dir_ + "/direct-call.pcap");
    EXPECT_GE(t.fast_start, 10); // 8 proposals in Setup, 2 accepted in Connect
    EXPECT_GE(t.h245, 6);
}

TEST_F(Captures, FastStartOnlyCallDecodesCompletely)
{
    Tally t = check_capture(dir_ + "/direct-faststart-noh245.pcap");
    EXPECT_GE(t.signal, 4);
    EXPECT_GE(t.fast_start, 2);
    EXPECT_GE(t.keypad, 1); // digits sent in Q.931 Information messages
}

} // namespace
