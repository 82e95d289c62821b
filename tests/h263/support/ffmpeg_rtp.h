// RTP packets of H.263 video as ffmpeg's command line sends them, caught on a local socket.
#pragma once

#include "ffmpeg_source.h"
#include "rtp_packets.h"

#include <cstdint>
#include <string>
#include <vector>

namespace h263test {

/**
 * Runs ffmpeg on count pictures of the source at width x height, coded by
 * its H.263 encoder with the given options (quantiser, "-mb_info", "-ps" ...)
 * at 30000/1001 pictures per second, and packetised by its RTP muxer with
 * RFC 2190 payload headers in packets of at most 1024 bytes. Returns the
 * H.263 packets in the order ffmpeg sent them; empty, with the reason in
 * error, when ffmpeg is missing or fails.
 */
std::vector<RtpPacket> ffmpeg_rfc2190_packets(const LavfiSource &src, int width, int height,
                                              int count,
                                              const std::vector<std::string> &encoder_options,
                                              std::string &error);

/**
 * Runs ffmpeg on count pictures of the source and returns the elementary
 * stream its encoder (codec "h263" or "h263p") makes with the given options
 * at the given picture rate; empty, with the reason in error, on failure.
 * With encoder_psnr, also the PSNR of the luma of each of the encoder's own
 * reconstructions against the source, in dB (the options must not hold
 * "-flags" then).
 */
std::vector<uint8_t> ffmpeg_h263_stream(const LavfiSource &src, int width, int height, int count,
                                        const std::string &codec, const std::string &rate,
                                        const std::vector<std::string> &encoder_options,
                                        std::string &error,
                                        std::vector<double> *encoder_psnr = nullptr);

/** Joins the payloads of packets in the order given into an elementary stream. */
std::vector<uint8_t> join_payloads(const std::vector<RtpPacket> &packets);

} // namespace h263test
