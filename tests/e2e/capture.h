// Captures of the loopback interface for the end-to-end tests, what tshark reads in them, and
// the ports a test's processes hold.
#pragma once

#include "process.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace e2e
{

/** The standard output of a shell command. */
std::string Shell(const std::string &command);

/** Why the loopback cannot be captured here, or "" when it can. */
std::string CaptureUnavailable();

/** dumpcap on lo (host 127.0.0.1) into a file, from construction until Stop; the file also
 *  holds the capture's own marks, datagrams from one port to itself. */
class LoopbackCapture
{
  public:
    /** classicPcap: the pcap format rather than pcapng; filter: dumpcap's capture filter.
     *  Returns once dumpcap listens. */
    explicit LoopbackCapture(const std::string &path, bool classicPcap = false,
                             const std::string &filter = "host 127.0.0.1");
    ~LoopbackCapture();
    /** Waits until the packets sent so far are in the file, then ends dumpcap. */
    void Stop();
    const std::string &Path() const { return path; }

  private:
    /** Sends a datagram of its own until dumpcap has written it to the file; false when it
     *  did not within seconds. */
    bool Mark();

    std::string path;
    std::unique_ptr<Process> dumpcap;
    int markSocket = -1;
    uint16_t markPort = 0;
    int marks = 0;
};

/** tshark -T fields over a capture: per frame, one column per field ("" when absent, several
 *  occurrences separated by commas). options go before the field list (-Y, -d, ...). */
std::vector<std::vector<std::string>> TsharkFields(const std::string &capture,
                                                   const std::string &options,
                                                   const std::vector<std::string> &fields);

/** The fields DecodeProblems reads, first in a TsharkFields list. */
inline const std::vector<std::string> kProblemFields = {"_ws.malformed", "_ws.expert.severity",
                                                        "frame.protocols"};
/** Problems tshark reports on one frame (columns of kProblemFields): a malformed mark, and
 *  each warning or error on a frame that carries H.323 or RTP (notes on bare TCP frames, a
 *  segment the capture missed under load, are not the stack's). */
int DecodeProblems(const std::vector<std::string> &cols);
/** tshark's summary of the frames of filter that DecodeProblems counts, for a message. */
std::string ProblemFrames(const std::string &capture, const std::string &decodeAs,
                          const std::string &filter);

/** The local ports of the sockets a process holds. */
struct SocketPorts {
    std::set<uint16_t> tcpListening; ///< TCP sockets in the listening state
    /** (local, remote) ports of the other TCP sockets: a port that connect chose may serve
     *  another process's connection to another peer at the same time. */
    std::set<std::pair<uint16_t, uint16_t>> tcpConnections;
    std::set<uint16_t> udp;
};

/** Reads the process's sockets from /proc (the caller must be allowed to: root). */
SocketPorts PortsOf(int pid);

} // namespace e2e
