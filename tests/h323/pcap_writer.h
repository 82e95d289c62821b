// Test helper: writes IPv4 UDP/TCP frames into a pcap file and runs tshark over it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace h323test {

struct Frame {
    enum Transport { Udp, Tcp } transport = Udp;
    uint16_t src_port = 40000;
    uint16_t dst_port = 1719;
    std::vector<uint8_t> payload;
};

/** Writes frames as raw IPv4 packets (link type 101); TCP sequence numbers run per port pair. */
void write_pcap(const std::string &path, const std::vector<Frame> &frames);

/** Reads the UDP and TCP payloads of an Ethernet, raw IP or Linux cooked capture. */
std::vector<Frame> read_pcap(const std::string &path);

/** True when tshark can be run. */
bool tshark_available();

/** Runs tshark -n -r pcap with the extra arguments; returns its standard output. */
std::string run_tshark(const std::string &pcap, const std::string &args, int *exit_code = nullptr);

/** A fresh temporary file name with the given suffix. */
std::string temp_path(const std::string &suffix);

} // namespace h323test
