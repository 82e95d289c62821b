// Captures of the loopback interface, tshark's fields, and the ports of a process's sockets.
#include "capture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
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

LoopbackCapture::LoopbackCapture(const std::string &file, bool classicPcap,
                                 const std::string &filter)
    : path(file)
{
    std::vector<std::string> args = {"-q", "-i", "lo", "-f", filter, "-w", path};
    if (classicPcap)
        args.push_back("-P");
    dumpcap.reset(new Process("/usr/bin/dumpcap", args));
    // dumpcap reports on stderr; give it a moment to open the interface.
    usleep(700000);
}

LoopbackCapture::~LoopbackCapture()
{
    Stop();
}

void LoopbackCapture::Stop()
{
    if (!dumpcap)
        return;
    usleep(300000);
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

/// Socket inode -> (local port, state) from one /proc/net table.
std::map<unsigned long, std::pair<uint16_t, int>> SocketTable(const char *file)
{
    std::map<unsigned long, std::pair<uint16_t, int>> table;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // the heading
    while (std::getline(in, line)) {
        std::istringstream cols(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(cols >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        size_t colon = local.find(':');
        if (colon == std::string::npos)
            continue;
        table[inode] = {uint16_t(std::stoul(local.substr(colon + 1), nullptr, 16)),
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
            ports.tcp.insert(it->second.first);
            if (it->second.second == kListen)
                ports.tcpListening.insert(it->second.first);
        } else if (auto u = udp.find(inode); u != udp.end()) {
            ports.udp.insert(u->second.first);
        }
    }
    return ports;
}

} // namespace e2e
