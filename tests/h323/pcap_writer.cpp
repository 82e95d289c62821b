// Test helper: pcap files of IPv4 UDP/TCP frames, and tshark runs over them.
#include "pcap_writer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace h323test {
namespace {

void put16(std::vector<uint8_t> &b, unsigned v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void put32(std::vector<uint8_t> &b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v & 0xffff);
}
void put32le(std::vector<uint8_t> &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(uint8_t(v >> (8 * i)));
}

uint16_t ip_checksum(const uint8_t *p, size_t n)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += uint32_t(p[i] << 8 | p[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return uint16_t(~sum);
}

} // namespace

void write_pcap(const std::string &path, const std::vector<Frame> &frames)
{
    std::vector<uint8_t> out;
    put32le(out, 0xa1b2c3d4);
    out.push_back(2);
    out.push_back(0);
    out.push_back(4);
    out.push_back(0);
    put32le(out, 0);
    put32le(out, 0);
    put32le(out, 65535);
    put32le(out, 101); // raw IPv4
    std::map<std::pair<uint16_t, uint16_t>, uint32_t> seq;
    uint32_t t = 0;
    for (const Frame &f : frames) {
        std::vector<uint8_t> l4;
        if (f.transport == Frame::Udp) {
            put16(l4, f.src_port);
            put16(l4, f.dst_port);
            put16(l4, unsigned(8 + f.payload.size()));
            put16(l4, 0);
        } else {
            uint32_t &s = seq[{f.src_port, f.dst_port}];
            if (s == 0)
                s = 1000;
            put16(l4, f.src_port);
            put16(l4, f.dst_port);
            put32(l4, s);
            put32(l4, 1);
            l4.push_back(0x50);
            l4.push_back(0x18); // PSH|ACK
            put16(l4, 65535);
            put16(l4, 0);
            put16(l4, 0);
            s += uint32_t(f.payload.size());
        }
        l4.insert(l4.end(), f.payload.begin(), f.payload.end());
        std::vector<uint8_t> ip;
        ip.push_back(0x45);
        ip.push_back(0);
        put16(ip, unsigned(20 + l4.size()));
        put16(ip, 0);
        put16(ip, 0x4000);
        ip.push_back(64);
        ip.push_back(f.transport == Frame::Udp ? 17 : 6);
        put16(ip, 0);
        put32(ip, 0x7f000001);
        put32(ip, 0x7f000001);
        uint16_t c = ip_checksum(ip.data(), 20);
        ip[10] = uint8_t(c >> 8);
        ip[11] = uint8_t(c);
        ip.insert(ip.end(), l4.begin(), l4.end());
        put32le(out, t++);
        put32le(out, 0);
        put32le(out, uint32_t(ip.size()));
        put32le(out, uint32_t(ip.size()));
        out.insert(out.end(), ip.begin(), ip.end());
    }
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

namespace {

/** Appends the UDP or TCP payload of one captured packet. */
void add_packet(std::vector<Frame> &frames, const uint8_t *p, size_t len, uint32_t link)
{
    size_t ipoff = link == 1 ? 14 : link == 113 ? 16 : 0;
    if (link == 1 && (len < 14 || (p[12] << 8 | p[13]) != 0x0800))
        return;
    if (ipoff + 20 > len)
        return;
    const uint8_t *ip = p + ipoff;
    size_t avail = len - ipoff;
    if ((ip[0] >> 4) != 4)
        return;
    size_t ihl = size_t(ip[0] & 0x0f) * 4;
    size_t end = std::min(avail, size_t(ip[2] << 8 | ip[3]));
    if (ihl + 8 > end)
        return;
    const uint8_t *l4 = ip + ihl;
    size_t l4len = end - ihl;
    Frame f;
    if (ip[9] == 17) {
        f.transport = Frame::Udp;
        f.payload.assign(l4 + 8, l4 + l4len);
    } else if (ip[9] == 6 && l4len >= 20) {
        f.transport = Frame::Tcp;
        size_t hl = size_t(l4[12] >> 4) * 4;
        if (hl > l4len)
            return;
        f.payload.assign(l4 + hl, l4 + l4len);
    } else {
        return;
    }
    f.src_port = uint16_t(l4[0] << 8 | l4[1]);
    f.dst_port = uint16_t(l4[2] << 8 | l4[3]);
    frames.push_back(std::move(f));
}

} // namespace

std::vector<Frame> read_pcap(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Frame> frames;
    auto le32 = [&](size_t at) {
        return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 |
               uint32_t(d[at + 3]) << 24;
    };
    if (d.size() < 24)
        throw std::runtime_error(path + ": too short for a capture file");
    if (le32(0) == 0x0a0d0d0a) {
        // pcapng: interface description blocks give link types, enhanced packet blocks data.
        std::vector<uint32_t> links;
        size_t at = 0;
        while (at + 12 <= d.size()) {
            uint32_t type = le32(at), len = le32(at + 4);
            if (len < 12 || at + len > d.size())
                break;
            if (type == 1)
                links.push_back(uint32_t(d[at + 8] | d[at + 9] << 8));
            else if (type == 6 && len >= 32) {
                uint32_t iface = le32(at + 8), cap = le32(at + 20);
                if (iface < links.size() && 28 + size_t(cap) <= len)
                    add_packet(frames, &d[at + 28], cap, links[iface]);
            }
            at += len;
        }
        return frames;
    }
    if (le32(0) != 0xa1b2c3d4 && le32(0) != 0xa1b23c4d)
        throw std::runtime_error(path + ": not a pcap or pcapng file");
    uint32_t link = le32(20);
    size_t at = 24;
    while (at + 16 <= d.size()) {
        uint32_t incl = le32(at + 8);
        if (at + 16 + incl > d.size())
            break;
        add_packet(frames, &d[at + 16], incl, link);
        at += 16 + incl;
    }
    return frames;
}

bool tshark_available()
{
    return std::system("tshark -v >/dev/null 2>&1") == 0;
}

std::string run_tshark(const std::string &pcap, const std::string &args, int *exit_code)
{
    std::string cmd = "tshark -n -r '" + pcap + "' " + args + " 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        throw std::runtime_error("cannot run tshark");
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    int status = pclose(p);
    if (exit_code)
        *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string temp_path(const std::string &suffix)
{
    static std::atomic<int> counter{0};
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/kestrelin-h323-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++) + suffix;
}

} // namespace h323test
