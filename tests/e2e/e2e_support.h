// The pieces of the end-to-end tests: the simulator, endpoints, wave files.
#pragma once

#include "process.h"

#include <memory>
#include <string>
#include <vector>

namespace e2e {

/** The service simulator with a fresh accounts file; every port chosen by the system. */
class Simulator
{
  public:
    explicit Simulator(std::vector<std::string> extra = {});
    ~Simulator();
    /** "127.0.0.1:port" of its gatekeeper. */
    const std::string &Gatekeeper() const { return gatekeeper; }
    Process &process() { return *proc; }
    /** The endpoint identifier the gatekeeper gave alias (waiting for the registration), or
     *  "" when it did not register. */
    std::string EndpointId(const std::string &alias);

  private:
    std::string accounts;
    std::unique_ptr<Process> proc;
    std::string gatekeeper;
};

/** h323-endpoint with the arguments; waits for its LISTENING line. */
std::unique_ptr<Process> StartEndpoint(const std::vector<std::string> &args);

/** Writes a mono 8 kHz 16-bit wave file of a sine tone. */
void WriteTone(const std::string &path, double frequency, double seconds);

struct ToneAnalysis {
    double seconds = 0;       ///< length of the file
    double toneSeconds = 0;   ///< 20 ms blocks dominated by the frequency
    double firstToneAt = -1;  ///< seconds to the first such block
};

/** Finds the 20 ms blocks whose energy sits at frequency (Goertzel against neighbours). */
ToneAnalysis AnalyseTone(const std::string &path, double frequency);

/** A fresh file name in the test's temporary directory. */
std::string TempPath(const std::string &name);

} // namespace e2e
