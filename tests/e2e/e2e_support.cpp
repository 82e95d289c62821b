// The pieces of the end-to-end tests.
#include "e2e_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace e2e
{

namespace
{

/// The test process's own temporary directory, removed when the process ends.
struct ScratchDir {
    ScratchDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrelin-e2e-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (path != "/tmp")
            std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

} // namespace

std::string TempPath(const std::string &name)
{
    static ScratchDir dir;
    return dir.path + "/" + name;
}

Simulator::Simulator(std::vector<std::string> extra)
{
    accounts = TempPath("accounts-" + std::to_string(::getpid()) + "-" +
                        std::to_string(reinterpret_cast<uintptr_t>(this)) + ".txt");
    std::ofstream(accounts) << "8001 secret\n8002 secret\n8003 secret\n";
    std::vector<std::string> args = {"--ras-port", "0", "--service-port", "0",
                                     "--nat-port", "0", "--accounts",     accounts};
    args.insert(args.end(), extra.begin(), extra.end());
    proc.reset(new Process(SERVICE_SIM, args));
    std::string line = proc->WaitFor("service-sim: ras gatekeeper on udp ");
    size_t at = line.find("udp ");
    size_t comma = line.find(',', at);
    if (at != std::string::npos && comma != std::string::npos)
        gatekeeper = line.substr(at + 4, comma - at - 4);
    EXPECT_FALSE(gatekeeper.empty()) << "the simulator did not start";
}

Simulator::~Simulator()
{
    proc->Terminate();
    proc->Wait(5000);
    if (::testing::Test::HasFailure())
        for (const std::string &line : proc->Lines())
            std::cerr << "service-sim: " << line << "\n";
    std::filesystem::remove(accounts);
}

std::string Simulator::EndpointId(const std::string &alias)
{
    const std::string confirm = "registrationConfirm " + alias + " as ";
    std::string line = proc->WaitForText(confirm);
    size_t at = line.find(confirm);
    if (at == std::string::npos)
        return "";
    std::string id = line.substr(at + confirm.size());
    return id.substr(0, id.find(' '));
}

std::unique_ptr<Process> StartEndpoint(const std::vector<std::string> &args)
{
    std::vector<std::string> all = {"--listen", "0"};
    all.insert(all.end(), args.begin(), args.end());
    std::unique_ptr<Process> p(new Process(H323_ENDPOINT, all));
    EXPECT_FALSE(p->WaitFor("LISTENING").empty());
    return p;
}

void WriteTone(const std::string &path, double frequency, double seconds)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> samples(size_t(seconds * 8000));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = short(8000 * std::sin(2 * M_PI * frequency * double(i) / 8000));
    sf_write_short(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);
}

namespace
{

double Goertzel(const short *x, size_t n, double frequency)
{
    double w = 2 * M_PI * frequency / 8000, c = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; i++) {
        double s = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

} // namespace

ToneAnalysis AnalyseTone(const std::string &path, double frequency)
{
    ToneAnalysis result;
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr)
        return result;
    std::vector<short> samples(size_t(info.frames));
    sf_read_short(f, samples.data(), info.frames);
    sf_close(f);
    result.seconds = double(samples.size()) / info.samplerate;
    const size_t block = 160;
    for (size_t at = 0; at + block <= samples.size(); at += block) {
        double on = Goertzel(&samples[at], block, frequency);
        double off = Goertzel(&samples[at], block, frequency * 0.6) +
                     Goertzel(&samples[at], block, frequency * 1.5);
        if (on > 1e9 && on > 20 * off) {
            result.toneSeconds += 0.02;
            if (result.firstToneAt < 0)
                result.firstToneAt = double(at) / info.samplerate;
        }
    }
    return result;
}

} // namespace e2e
