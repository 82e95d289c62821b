// H.263 RTP packets for the tests: our encoder's, fed to the decoder in any order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class H263Decoder;

namespace h263test {

/** One RTP packet: the fields a receiver hands the decoder, and the payload. */
struct RtpPacket {
    uint16_t sequence = 0;
    bool marker = false;
    uint32_t timestamp = 0;
    std::vector<uint8_t> payload;   ///< RFC 2190 header and data
};

/**
 * Codes the pictures (YUV 4:2:0 of width x height) with our encoder as a
 * call does and returns its packets, numbered from first_sequence on; the
 * encoder's reconstructions go to recon when given.
 */
std::vector<RtpPacket> encode_packets(const std::vector<std::vector<uint8_t>> &pictures,
                                      int width, int height, uint16_t first_sequence,
                                      std::vector<std::vector<uint8_t>> *recon = nullptr);

/**
 * Feeds the packets to the decoder in the order given, as the codec class
 * does, and returns every picture it completes, in order (an empty one where
 * the picture handed out is not the last completed).
 */
std::vector<std::vector<uint8_t>> decode_packets(H263Decoder &dec,
                                                 const std::vector<RtpPacket> &packets);

/**
 * Cuts an elementary stream into mode A packets of at most 1000 data bytes at
 * its picture start codes and wherever a picture is longer, numbered from
 * first_sequence on, each with the source format and coding type of its
 * picture's PTYPE or PLUSPTYPE and the marker on each picture's last packet.
 */
std::vector<RtpPacket> packets_of_stream(const std::vector<uint8_t> &stream,
                                         uint16_t first_sequence);

/** Numbers the packets from first on (modulo 65536), keeping their order. */
void renumber(std::vector<RtpPacket> &packets, uint16_t first);

/** Swaps each pair of neighbours, the first pair starting at packet from. */
void swap_neighbours(std::vector<RtpPacket> &packets, size_t from);

/** The lowest PSNR over pictures of a and b, pairwise; 0 when their counts differ. */
double worst_psnr(const std::vector<std::vector<uint8_t>> &a,
                  const std::vector<std::vector<uint8_t>> &b, int width, int height);

} // namespace h263test
