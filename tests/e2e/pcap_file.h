// Classic pcap files of the loopback interface: read, written back, and the TCP or UDP payload
// of each IPv4 frame, so that a test can rewrite payloads in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e
{

struct PcapFile {
    std::vector<uint8_t> header; ///< the file header as read (byte order, link type, ...)
    struct Frame {
        std::vector<uint8_t> record; ///< the record header (times and lengths)
        std::vector<uint8_t> data;
    };
    std::vector<Frame> frames;
};

/** When a frame was captured, in seconds since the epoch. */
double FrameTime(const PcapFile &file, const PcapFile::Frame &frame);

/** Reads a pcap file of Ethernet frames (lo on Linux); "" or why it could not. */
std::string ReadPcap(const std::string &path, PcapFile &file);
bool WritePcap(const std::string &path, const PcapFile &file);

/** The transport part of an Ethernet IPv4 frame. */
struct Segment {
    bool tcp = false;
    uint32_t srcAddress = 0, dstAddress = 0; ///< host order
    uint16_t srcPort = 0, dstPort = 0;
    uint32_t seq = 0;   ///< TCP only
    size_t header = 0;  ///< offset of the TCP or UDP header in the frame
    size_t payload = 0; ///< offset of the payload
    size_t payloadSize = 0;
};

/** The TCP or UDP segment of a captured frame; nothing for other frames and cut ones. */
std::optional<Segment> ParseSegment(const std::vector<uint8_t> &frame);

} // namespace e2e
