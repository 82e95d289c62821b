// Classic pcap files of Ethernet frames, and the TCP or UDP segment of each frame.
#include "pcap_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace e2e
{

namespace
{

constexpr uint32_t kMagicMicro = 0xa1b2c3d4, kMagicNano = 0xa1b23c4d;
constexpr uint32_t kEthernet = 1;
constexpr size_t kFileHeader = 24, kRecordHeader = 16;

uint32_t Native32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t Big16(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t Big32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

double FrameTime(const PcapFile &file, const PcapFile::Frame &frame)
{
    double fraction = Native32(file.header.data()) == kMagicNano ? 1e-9 : 1e-6;
    return Native32(frame.record.data()) + Native32(frame.record.data() + 4) * fraction;
}

std::string ReadPcap(const std::string &path, PcapFile &file)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (bytes.size() < kFileHeader)
        return "no pcap header in " + path;
    uint32_t magic = Native32(bytes.data());
    if (magic != kMagicMicro && magic != kMagicNano)
        return "not a pcap file of this byte order: " + path;
    if (Native32(bytes.data() + 20) != kEthernet)
        return "link type " + std::to_string(Native32(bytes.data() + 20)) + " is not Ethernet";
    file.header.assign(bytes.begin(), bytes.begin() + kFileHeader);
    file.frames.clear();
    size_t at = kFileHeader;
    while (at + kRecordHeader <= bytes.size()) {
        uint32_t captured = Native32(bytes.data() + at + 8);
        if (at + kRecordHeader + captured > bytes.size())
            break; // the last record cut short by the end of the capture
        PcapFile::Frame frame;
        frame.record.assign(bytes.begin() + long(at), bytes.begin() + long(at + kRecordHeader));
        frame.data.assign(bytes.begin() + long(at + kRecordHeader),
                          bytes.begin() + long(at + kRecordHeader + captured));
        file.frames.push_back(std::move(frame));
        at += kRecordHeader + captured;
    }
    return "";
}

bool WritePcap(const std::string &path, const PcapFile &file)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(file.header.data()), long(file.header.size()));
    for (const PcapFile::Frame &frame : file.frames) {
        out.write(reinterpret_cast<const char *>(frame.record.data()), long(frame.record.size()));
        out.write(reinterpret_cast<const char *>(frame.data.data()), long(frame.data.size()));
    }
    return bool(out);
}

std::optional<Segment> ParseSegment(const std::vector<uint8_t> &f)
{
    constexpr size_t kEthernetHeader = 14;
    if (f.size() < kEthernetHeader + 20 || Big16(&f[12]) != 0x0800 || (f[14] >> 4) != 4)
        return std::nullopt;
    size_t ip = kEthernetHeader;
    size_t ipHeader = size_t(f[ip] & 0x0f) * 4;
    size_t ipEnd = ip + Big16(&f[ip + 2]);
    bool fragment = (Big16(&f[ip + 6]) & 0x3fff) != 0;
    if (ipHeader < 20 || ipEnd > f.size() || ip + ipHeader > ipEnd || fragment)
        return std::nullopt;
    Segment s;
    s.srcAddress = Big32(&f[ip + 12]);
    s.dstAddress = Big32(&f[ip + 16]);
    s.header = ip + ipHeader;
    uint8_t protocol = f[ip + 9];
    if (protocol == 6 && s.header + 20 <= ipEnd) {
        s.tcp = true;
        s.seq = Big32(&f[s.header + 4]);
        s.payload = s.header + size_t(f[s.header + 12] >> 4) * 4;
    } else if (protocol == 17 && s.header + 8 <= ipEnd) {
        s.payload = s.header + 8;
        ipEnd = s.header + Big16(&f[s.header + 4]);
        if (ipEnd > f.size() || ipEnd < s.payload)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (s.payload > ipEnd)
        return std::nullopt;
    s.srcPort = Big16(&f[s.header]);
    s.dstPort = Big16(&f[s.header + 2]);
    s.payloadSize = ipEnd - s.payload;
    return s;
}

} // namespace e2e
