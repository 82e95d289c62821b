// Captures of the loopback interface, tshark's fields, and the ports of a process's sockets.
#include "capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace e2e
{

std::string Shell(const std::string &command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe.get())) > 0)
        out.append(buf, n);
    return out;
}

std::string CaptureUnavailable()
{
    if (::geteuid() != 0 || ::access("/usr/bin/dumpcap", X_OK) != 0 ||
        ::access("/usr/bin/tshark", X_OK) != 0)
        return "capturing on lo needs root, dumpcap and tshark";
    return "";
}

namespace
{

/// Whether the file holds text, looking from scanned on (which moves to the end).
bool FileHolds(const std::string &path, const std::string &text, std::streamoff &scanned)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, scanned - std::streamoff(text.size()));
    if (size <= from)
        return false;
    std::string bytes(size_t(size - from), '\0');
    in.seekg(from);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    scanned = from + in.gcount();
    return bytes.find(text) != std::string::npos;
}

} // namespace

LoopbackCapture::LoopbackCapture(const std::string &file, bool classicPcap,
                                 const std::string &filter)
    : path(file)
{
    // The marks go from a socket of our own to itself, captured whatever the filter.
    markSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(self);
    if (markSocket < 0 ||
        ::bind(markSocket, reinterpret_cast<sockaddr *>(&self), sizeof(self)) != 0 ||
        ::getsockname(markSocket, reinterpret_cast<sockaddr *>(&self), &length) != 0) {
        ADD_FAILURE() << "no socket for the capture's marks";
        return;
    }
    markPort = ntohs(self.sin_port);
    std::vector<std::string> args = {"-q", "-i", "lo", "-f",
                                     "(" + filter + ") or udp port " + std::to_string(markPort),
                                     "-w", path};
    if (classicPcap)
        args.push_back("-P");
    dumpcap.reset(new Process("/usr/bin/dumpcap", args));
    EXPECT_TRUE(Mark()) << "dumpcap did not capture on lo within 30 s";
}

LoopbackCapture::~LoopbackCapture()
{
    Stop();
    if (markSocket >= 0)
        ::close(markSocket);
}

bool LoopbackCapture::Mark()
{
    // A datagram of our own, repeated until dumpcap has written it: dumpcap reports on
    // stderr before it has opened the interface, and writes the file late.
    const std::string mark = "capture mark " + std::to_string(::getpid()) + " " + path + " " +
                             std::to_string(marks++);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    self.sin_port = htons(markPort);
    std::streamoff scanned = 0;
    bool written = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!written && dumpcap->Running() && std::chrono::steady_clock::now() < end) {
        ::sendto(markSocket, mark.data(), mark.size(), 0, reinterpret_cast<sockaddr *>(&self),
                 sizeof(self));
        char drop[256];
        while (::recv(markSocket, drop, sizeof(drop), MSG_DONTWAIT) > 0) {
        }
        usleep(50000);
        written = FileHolds(path, mark, scanned);
    }
    return written;
}

void LoopbackCapture::Stop()
{
    if (!dumpcap)
        return;
    // What was sent before the mark is in the file once the mark is.
    EXPECT_TRUE(Mark()) << "dumpcap did not write the last packets within 30 s";
    dumpcap->Terminate();
    dumpcap->Wait(5000);
    dumpcap.reset();
}

std::vector<std::vector<std::string>> TsharkFields(const std::string &capture,
                                                   const std::string &options,
                                                   const std::vector<std::string> &fields)
{
    std::string command =
        "tshark -n -r " + capture + " " + options + " -T fields -E separator='|' -E occurrence=a";
    for (const std::string &f : fields)
        command += " -e " + f;
    std::string out = Shell(command + " 2>/dev/null");
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cols;
        size_t start = 0;
        for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
            cols.push_back(line.substr(start, bar - start));
        cols.push_back(line.substr(start));
        cols.resize(fields.size());
        rows.push_back(cols);
    }
    return rows;
}

int DecodeProblems(const std::vector<std::string> &cols)
{
    int problems = cols[0].empty() ? 0 : 1;
    bool carriesCalls = false;
    for (const char *p : {"h225", "h245", "q931", "tpkt", "rtp", "rtcp"})
        carriesCalls = carriesCalls || cols[2].find(p) != std::string::npos;
    // Warning and error severities (0x600000, 0x800000).
    for (size_t at = 0; carriesCalls && at < cols[1].size();) {
        long severity = std::strtol(cols[1].c_str() + at, nullptr, 10);
        if (severity >= 0x600000)
            problems++;
        size_t comma = cols[1].find(',', at);
        at = comma == std::string::npos ? cols[1].size() : comma + 1;
    }
    return problems;
}

std::string ProblemFrames(const std::string &capture, const std::string &decodeAs,
                          const std::string &filter)
{
    return Shell("tshark -n -r " + capture + " " + decodeAs + " -Y '(" + filter +
                 ") && (_ws.malformed || (_ws.expert.severity >= warning && (h225 || h245 || "
                 "q931 || tpkt || rtp || rtcp)))' 2>&1 | head");
}

namespace
{

struct SocketEntry {
    uint16_t local, remote;
    int state;
};

/// Socket inode -> its ports and state, from one /proc/net table.
std::map<unsigned long, SocketEntry> SocketTable(const char *file)
{
    std::map<unsigned long, SocketEntry> table;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // the heading
    auto port = [](const std::string &address) {
        size_t colon = address.find(':');
        return colon == std::string::npos
                   ? -1
                   : int(std::stoul(address.substr(colon + 1), nullptr, 16));
    };
    while (std::getline(in, line)) {
        std::istringstream cols(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(cols >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        int localPort = port(local), remotePort = port(remote);
        if (localPort < 0 || remotePort < 0)
            continue;
        table[inode] = {uint16_t(localPort), uint16_t(remotePort),
                        int(std::stoul(state, nullptr, 16))};
    }
    return table;
}

} // namespace

SocketPorts PortsOf(int pid)
{
    constexpr int kListen = 0x0A;
    SocketPorts ports;
    auto tcp = SocketTable("/proc/net/tcp");
    auto udp = SocketTable("/proc/net/udp");
    std::error_code ec;
    for (const auto &fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (ec || target.rfind("socket:[", 0) != 0)
            continue;
        unsigned long inode = std::stoul(target.substr(8));
        if (auto it = tcp.find(inode); it != tcp.end()) {
            if (it->second.state == kListen)
                ports.tcpListening.insert(it->second.local);
            else
                ports.tcpConnections.insert({it->second.local, it->second.remote});
        } else if (auto u = udp.find(inode); u != udp.end()) {
            ports.udp.insert(u->second.local);
        }
    }
    return ports;
}

} // namespace e2e
