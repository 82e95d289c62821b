// Video capabilities on the wire and their negotiation (H.263 formats and picture intervals,
// H.261 QCIF and CIF), and the RFC 2032 payloads of H.261 pictures.
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/caps/capabilities.h>
#include <h323/codecs/h261codec.h>
#include <h323/codecs/h261packet.h>
#include <h323/codecs/h263codec.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include <memory>

using h323::video::CIF;
using h323::video::QCIF;
using h323::video::SQCIF;

namespace {

/// The table's TerminalCapabilitySet after a PER round trip.
H245_TerminalCapabilitySet OnTheWire(const H323Capabilities &table)
{
    H245_TerminalCapabilitySet pdu;
    pdu.m_sequenceNumber = 1;
    pdu.m_protocolIdentifier = asn1::ObjectId("0.0.8.245.0.7");
    table.BuildPDU(pdu);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(asn1::encode(pdu, bytes));
    H245_TerminalCapabilitySet decoded;
    EXPECT_TRUE(asn1::decode(bytes, decoded));
    return decoded;
}

H245_DataType DataTypeOf(const H323Capability &cap)
{
    H245_DataType type;
    cap.OnSendingPDU(type);
    return type;
}

} // namespace

TEST(VideoCapabilities, H263OnTheWireClampsTheBitRateAndNamesOnlyTheFormatsGiven)
{
    H323Capabilities table;
    // As the phone builds it: QCIF at MPI 1, 320 kbit/s given as 320 x 1024 (in 100 bit/s).
    table.SetCapability(0, 0, new H323_H263Capability(0, 1, 0, 0, 0, 320 * 1024, 10, FALSE,
                                                      FALSE, FALSE, FALSE, TRUE));
    H245_TerminalCapabilitySet pdu = OnTheWire(table);
    ASSERT_EQ(pdu.m_capabilityTable.size(), 1u);
    const H245_Capability &entry = pdu.m_capabilityTable[0].m_capability;
    ASSERT_EQ(entry.GetTag(), H245_Capability::e_receiveVideoCapability);
    const H245_H263VideoCapability &h263 = entry.receiveVideoCapability().h263VideoCapability();
    EXPECT_TRUE(h263.HasOptionalField(H245_H263VideoCapability::e_qcifMPI));
    EXPECT_EQ(h263.m_qcifMPI, 1);
    for (auto field : {H245_H263VideoCapability::e_sqcifMPI, H245_H263VideoCapability::e_cifMPI,
                       H245_H263VideoCapability::e_cif4MPI, H245_H263VideoCapability::e_cif16MPI})
        EXPECT_FALSE(h263.HasOptionalField(field)) << field;
    EXPECT_EQ(h263.m_maxBitRate, 192400);
    EXPECT_TRUE(h263.m_temporalSpatialTradeOffCapability);
    EXPECT_FALSE(h263.m_unrestrictedVector || h263.m_arithmeticCoding ||
                 h263.m_advancedPrediction || h263.m_pbFrames);

    H323Capabilities remote(pdu, table);
    ASSERT_EQ(remote.GetSize(), 1);
    auto &back = dynamic_cast<H323_H263Capability &>(remote[0]);
    EXPECT_EQ(back.GetPictureIntervals().mpi[QCIF], 1u);
    EXPECT_EQ(back.GetPictureIntervals().mpi[CIF], 0u);
    EXPECT_EQ(back.GetMaxBitRate(), 192400u);
}

TEST(VideoCapabilities, H261OnTheWireInEachOfThePhonesForms)
{
    struct Case {
        unsigned qcif, cif;
        BOOL tradeOff;
        unsigned bitRate;
    };
    for (const Case &c : {Case{1, 0, TRUE, 850}, Case{1, 0, FALSE, 6217}, Case{0, 1, FALSE, 6217}}) {
        H323Capabilities table;
        table.SetCapability(0, 0, new H323_H261Capability(c.qcif, c.cif, c.tradeOff, FALSE, c.bitRate));
        H245_TerminalCapabilitySet pdu = OnTheWire(table);
        ASSERT_EQ(pdu.m_capabilityTable.size(), 1u);
        const H245_H261VideoCapability &h261 =
            pdu.m_capabilityTable[0].m_capability.receiveVideoCapability().h261VideoCapability();
        EXPECT_EQ(h261.HasOptionalField(H245_H261VideoCapability::e_qcifMPI), c.qcif != 0);
        EXPECT_EQ(h261.HasOptionalField(H245_H261VideoCapability::e_cifMPI), c.cif != 0);
        EXPECT_EQ(h261.m_temporalSpatialTradeOffCapability, c.tradeOff != FALSE);
        EXPECT_EQ(h261.m_maxBitRate, c.bitRate);
        EXPECT_FALSE(h261.m_stillImageTransmission);

        H323Capabilities remote(pdu, table);
        ASSERT_EQ(remote.GetSize(), 1);
        auto &back = dynamic_cast<H323_H261Capability &>(remote[0]);
        EXPECT_EQ(back.GetQcifMPI(), c.qcif);
        EXPECT_EQ(back.GetCifMPI(), c.cif);
    }
}

TEST(VideoCapabilities, PeerEntryWithoutAnyPictureFormatIsDropped)
{
    H323Capabilities local;
    local.SetCapability(0, 0, new H323_H263Capability);
    local.SetCapability(0, 0, new H323_H261Capability);
    H245_TerminalCapabilitySet pdu;
    pdu.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityTable);
    for (unsigned n : {1u, 2u}) {
        H245_CapabilityTableEntry entry;
        entry.m_capabilityTableEntryNumber = n;
        entry.IncludeOptionalField(H245_CapabilityTableEntry::e_capability);
        H245_VideoCapability &video = entry.m_capability.receiveVideoCapability();
        if (n == 1)
            video.h263VideoCapability().m_maxBitRate = 100; // no MPI at all
        else
            video.h261VideoCapability().m_maxBitRate = 100;
        pdu.m_capabilityTable.push_back(entry);
    }
    H323Capabilities remote(pdu, local);
    EXPECT_EQ(remote.GetSize(), 0);
}

TEST(VideoNegotiation, TransmitCapabilityKeepsTheCommonFormatsAtTheSlowerInterval)
{
    struct Case {
        const char *name;
        std::unique_ptr<H323VideoCapability> local, remote;
        bool opens;
        unsigned qcif, cif;  ///< the picture intervals sent
        unsigned bitRate;    ///< 100 bit/s
    };
    Case cases[] = {
        {"h263 qcif slower remote", std::make_unique<H323_H263Capability>(0, 1, 1, 0, 0, 3000),
         std::make_unique<H323_H263Capability>(1, 2, 0, 0, 0, 1000), true, 2, 0, 1000},
        {"h263 no common format", std::make_unique<H323_H263Capability>(0, 1, 0, 0, 0, 3000),
         std::make_unique<H323_H263Capability>(0, 0, 1, 0, 0, 3000), false, 0, 0, 0},
        {"h261 both formats", std::make_unique<H323_H261Capability>(1, 1, FALSE, FALSE, 6217),
         std::make_unique<H323_H261Capability>(2, 4, TRUE, FALSE, 850), true, 2, 4, 850},
        {"h261 qcif against cif", std::make_unique<H323_H261Capability>(1, 0, FALSE, FALSE, 6217),
         std::make_unique<H323_H261Capability>(0, 1, FALSE, FALSE, 6217), false, 0, 0, 0},
        {"h263 against h261", std::make_unique<H323_H263Capability>(),
         std::make_unique<H323_H261Capability>(), false, 0, 0, 0},
    };
    for (Case &c : cases) {
        std::unique_ptr<H323VideoCapability> tx(c.local->CreateTransmitCapability(*c.remote));
        ASSERT_EQ(tx != nullptr, c.opens) << c.name;
        if (!tx)
            continue;
        // What the channel's data type says is what it sends.
        H245_DataType type = DataTypeOf(*tx);
        if (auto *h263 = dynamic_cast<H323_H263Capability *>(tx.get())) {
            EXPECT_EQ(h263->GetPictureIntervals().mpi[QCIF], c.qcif) << c.name;
            EXPECT_EQ(h263->GetPictureIntervals().mpi[CIF], c.cif) << c.name;
            EXPECT_EQ(h263->GetPictureIntervals().mpi[SQCIF], 0u) << c.name;
            EXPECT_EQ(h263->GetMaxBitRate(), c.bitRate) << c.name;
            EXPECT_EQ(type.videoData().h263VideoCapability().m_maxBitRate, c.bitRate) << c.name;
        } else {
            auto &h261 = dynamic_cast<H323_H261Capability &>(*tx);
            EXPECT_EQ(h261.GetQcifMPI(), c.qcif) << c.name;
            EXPECT_EQ(h261.GetCifMPI(), c.cif) << c.name;
            EXPECT_EQ(h261.GetMaxBitRate(), c.bitRate) << c.name;
            EXPECT_FALSE(type.videoData().h261VideoCapability().m_temporalSpatialTradeOffCapability);
        }
    }
}

TEST(VideoNegotiation, ChannelDataTypeMatchesOnlyWithAFormatInCommon)
{
    H323Capabilities local;
    local.SetCapability(0, 0, new H323_H261Capability(1, 0, FALSE, FALSE, 6217)); // QCIF
    local.SetCapability(0, 0, new H323_H261Capability(0, 1, FALSE, FALSE, 6217)); // CIF
    H323_H261Capability cifOnly(0, 1, FALSE, FALSE, 6217);
    H323Capability *found = local.FindCapability(DataTypeOf(cifOnly));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetCapabilityNumber(), 2u);

    H323Capabilities qcifOnly;
    qcifOnly.SetCapability(0, 0, new H323_H263Capability(0, 1, 0, 0, 0, 1000));
    EXPECT_EQ(qcifOnly.FindCapability(DataTypeOf(H323_H263Capability(0, 0, 1))), nullptr);
    EXPECT_NE(qcifOnly.FindCapability(DataTypeOf(H323_H263Capability(0, 2, 1))), nullptr);

    // A receiver takes the sender's formats; a transmitter keeps only the common ones.
    H323_H263Capability rx(0, 1, 0, 0, 0, 1000), tx(0, 1, 0, 0, 0, 1000);
    H245_DataType offer = DataTypeOf(H323_H263Capability(0, 3, 2, 0, 0, 500));
    ASSERT_TRUE(rx.OnReceivedPDU(offer, TRUE));
    EXPECT_EQ(rx.GetPictureIntervals().mpi[CIF], 2u);
    ASSERT_TRUE(tx.OnReceivedPDU(offer, FALSE));
    EXPECT_EQ(tx.GetPictureIntervals().mpi[QCIF], 3u);
    EXPECT_EQ(tx.GetPictureIntervals().mpi[CIF], 0u);
    EXPECT_EQ(tx.GetMaxBitRate(), 500u);
    H323_H263Capability cifTx(0, 0, 1);
    EXPECT_FALSE(cifTx.OnReceivedPDU(DataTypeOf(H323_H263Capability(0, 1, 0)), FALSE));
}

// ---- RFC 2032 payloads ----

namespace {

/// H.261 pictures from libavcodec: an intra picture of noise (long GOBs) and inter ones.
std::vector<std::vector<uint8_t>> CodedPictures(int width, int height, int count, int quantiser)
{
    std::vector<std::vector<uint8_t>> pictures;
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_H261);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1001, 30000};
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * quantiser;
    EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket *packet = av_packet_alloc();
    uint32_t noise = 7;
    for (int n = 0; n < count; n++) {
        av_frame_make_writable(frame);
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < (p ? height / 2 : height); y++)
                for (int x = 0; x < (p ? width / 2 : width); x++)
                    frame->data[p][y * frame->linesize[p] + x] =
                        uint8_t(p ? 128 : ((noise = noise * 1103515245u + 12345u) >> 24) / 2 + x + n * 3);
        frame->pts = n;
        frame->quality = ctx->global_quality;
        avcodec_send_frame(ctx, frame);
        while (avcodec_receive_packet(ctx, packet) == 0) {
            pictures.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return pictures;
}

unsigned BitsAt(const std::vector<uint8_t> &payload, size_t bit, int width)
{
    unsigned v = 0;
    for (int i = 0; i < width; i++, bit++)
        v = v << 1 | ((payload[bit / 8] >> (7 - bit % 8)) & 1);
    return v;
}

/// Start codes in the payload's bits.
int StartCodes(const std::vector<uint8_t> &payload)
{
    size_t first = 32 + (payload[0] >> 5), end = payload.size() * 8 - ((payload[0] >> 2) & 7);
    int count = 0;
    for (size_t bit = first; bit + 16 <= end; bit++)
        count += BitsAt(payload, bit, 16) == 0x0001u;
    return count;
}

} // namespace

TEST(H261Payloads, StartAtStartCodesStayWithinTheSizeAndReassembleExactly)
{
    for (int quantiser : {2, 12}) {
        for (const auto &picture : CodedPictures(352, 288, 3, quantiser)) {
            auto payloads = h323::h261::Packetise(picture.data(), picture.size(), 1024);
            ASSERT_FALSE(payloads.empty());
            h323::h261::Depacketiser joined;
            for (const auto &p : payloads) {
                ASSERT_GT(p.size(), h323::h261::kHeaderSize);
                unsigned sbit = p[0] >> 5;
                EXPECT_EQ(p[0] & 0x03, 0x01);                          // I 0, V 1
                EXPECT_EQ(p[1] | p[2] | p[3], 0);                      // at a GOB start
                EXPECT_EQ(BitsAt(p, 32 + sbit, 16), 0x0001u) << "no start code"; // PSC or GBSC
                if (p.size() > 1024) { // only a single GOB may be longer
                    EXPECT_EQ(StartCodes(p), 1);
                }
                ASSERT_TRUE(joined.Add(p.data(), p.size(), false));
            }
            EXPECT_EQ(joined.Picture(), picture);
            if (quantiser == 12) {
                EXPECT_GT(payloads.size(), 1u); // a CIF picture has 12 GOBs
            }
        }
    }
}

TEST(H261Payloads, AfterALossOnlyAPayloadStartingAGobIsTaken)
{
    auto pictures = CodedPictures(176, 144, 1, 4);
    auto payloads = h323::h261::Packetise(pictures[0].data(), pictures[0].size(), 200);
    ASSERT_GE(payloads.size(), 3u);
    h323::h261::Depacketiser d;
    ASSERT_TRUE(d.Add(payloads[0].data(), payloads[0].size(), false));
    // A payload continuing a GOB (GOBN set) after a loss is skipped, and so is the next
    // one without loss until a GOB start comes.
    std::vector<uint8_t> middle = payloads[2];
    middle[1] = 0x30; // GOBN 3
    EXPECT_FALSE(d.Add(middle.data(), middle.size(), true));
    EXPECT_FALSE(d.Add(middle.data(), middle.size(), false));
    EXPECT_TRUE(d.Add(payloads[2].data(), payloads[2].size(), false));

    // Malformed payloads: no data, bit counts that leave nothing.
    const uint8_t headerOnly[4] = {0, 0, 0, 0};
    const uint8_t allIgnored[5] = {uint8_t(7 << 5 | 1 << 2), 0, 0, 0, 0xff};
    EXPECT_FALSE(d.Add(headerOnly, sizeof headerOnly, false));
    EXPECT_FALSE(d.Add(allIgnored, sizeof allIgnored, false));
    EXPECT_FALSE(d.Add(nullptr, 0, false));
}
