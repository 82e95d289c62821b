// RTP packets from ffmpeg's command line.
#include "ffmpeg_rtp.h"

#include "h263/packetiser.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace h263test {

namespace {

/**
 * Runs ffmpeg with args, its standard output a sequenced-packet socket so
 * that every write (one RTP packet) arrives as one record and none is lost:
 * the writer waits while the reader is behind. Returns the records.
 */
std::vector<std::vector<uint8_t>> run_ffmpeg(const std::vector<std::string> &args,
                                             std::string &error)
{
    std::vector<std::vector<uint8_t>> records;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) {
        error = "socketpair failed";
        return records;
    }
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, sv[1], 1);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "ffmpeg", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(sv[1]);
    if (rc != 0) {
        ::close(sv[0]);
        error = "cannot start ffmpeg (is it installed?)";
        return records;
    }
    std::vector<uint8_t> buf(1 << 16);
    for (;;) {
        ssize_t n = ::recv(sv[0], buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        records.emplace_back(buf.begin(), buf.begin() + n);
    }
    ::close(sv[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "ffmpeg failed (status " + std::to_string(status) + ")";
        records.clear();
    }
    return records;
}

std::vector<std::string> source_args(const LavfiSource &src, int width, int height,
                                     const std::string &rate, int count)
{
    return {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
            std::string(src.source) + "=size=" + std::to_string(width) + "x" +
                std::to_string(height) + ":rate=" + rate + src.filters,
            "-frames:v", std::to_string(count), "-threads", "1"};
}

} // namespace

std::vector<RtpPacket> ffmpeg_rfc2190_packets(const LavfiSource &src, int width, int height,
                                              int count,
                                              const std::vector<std::string> &encoder_options,
                                              std::string &error)
{
    std::vector<std::string> args = source_args(src, width, height, "30000/1001", count);
    args.insert(args.end(), {"-c:v", "h263"});
    args.insert(args.end(), encoder_options.begin(), encoder_options.end());
    args.insert(args.end(), {"-f", "rtp", "-rtpflags", "rfc2190", "-packetsize", "1024", "pipe:1"});
    std::vector<RtpPacket> packets;
    for (const std::vector<uint8_t> &r : run_ffmpeg(args, error)) {
        // The session description and the RTCP reports share the output: only
        // RTP (version 2) of payload type 34 is H.263.
        if (r.size() < 12 || (r[0] >> 6) != 2 || (r[1] & 0x7f) != 34)
            continue;
        const size_t header = 12 + 4 * static_cast<size_t>(r[0] & 15);
        if (r.size() < header)
            continue;
        RtpPacket p;
        p.sequence = static_cast<uint16_t>(r[2] << 8 | r[3]);
        p.marker = (r[1] & 0x80) != 0;
        p.timestamp = static_cast<uint32_t>(r[4]) << 24 | r[5] << 16 | r[6] << 8 | r[7];
        p.payload.assign(r.begin() + static_cast<long>(header), r.end());
        packets.push_back(std::move(p));
    }
    if (packets.empty() && error.empty())
        error = "ffmpeg sent no H.263 packets";
    return packets;
}

std::vector<uint8_t> ffmpeg_h263_stream(const LavfiSource &src, int width, int height, int count,
                                        const std::string &codec, const std::string &rate,
                                        const std::vector<std::string> &encoder_options,
                                        std::string &error, std::vector<double> *encoder_psnr)
{
    std::vector<std::string> args = source_args(src, width, height, rate, count);
    args.insert(args.end(), {"-c:v", codec});
    args.insert(args.end(), encoder_options.begin(), encoder_options.end());
    std::string stats;
    if (encoder_psnr) {
        char path[] = "/tmp/h263-vstats-XXXXXX";
        int fd = ::mkstemp(path);
        if (fd < 0) {
            error = "cannot make a file for ffmpeg's statistics";
            return {};
        }
        ::close(fd);
        stats = path;
        args.insert(args.end(), {"-flags", "+psnr", "-vstats_file", stats});
    }
    args.insert(args.end(), {"-f", "h263", "pipe:1"});
    std::vector<uint8_t> stream;
    for (const std::vector<uint8_t> &r : run_ffmpeg(args, error))
        stream.insert(stream.end(), r.begin(), r.end());
    if (encoder_psnr) {
        // One line per picture: "... PSNR= 38.60 ...".
        encoder_psnr->clear();
        std::ifstream in(stats);
        for (std::string line; std::getline(in, line);) {
            size_t at = line.find("PSNR=");
            if (at != std::string::npos)
                encoder_psnr->push_back(std::strtod(line.c_str() + at + 5, nullptr));
        }
        ::unlink(stats.c_str());
    }
    if (stream.empty() && error.empty())
        error = "ffmpeg made no stream";
    return stream;
}

std::vector<uint8_t> join_payloads(const std::vector<RtpPacket> &packets)
{
    std::vector<uint8_t> stream;
    int ebit = 0;
    for (const RtpPacket &p : packets)
        h263::join_payload(p.payload.data(), p.payload.size(), stream, ebit);
    return stream;
}

} // namespace h263test
