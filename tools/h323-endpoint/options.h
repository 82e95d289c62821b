// Command line of h323-endpoint.
#pragma once

#include <tools/common/options.h>

#include <string>
#include <vector>

namespace h323tool {

enum class AnswerMode { Now, Refuse, Busy, Never };

struct Options {
    std::string gatekeeper; ///< HOST[:PORT]; empty: no gatekeeper
    std::string alias;
    std::string password;
    int listenPort = 1720;  ///< 0: any free port
    std::string call;       ///< ALIAS or HOST[:PORT]
    AnswerMode answer = AnswerMode::Now;
    double hangupAfter = -1; ///< seconds after connecting; < 0: never
    double answerTimeout = -1; ///< seconds to wait for the answer; < 0: the stack's 1 minute
    std::vector<std::string> codecs = {"PCMU", "PCMA", "GSM"};
    std::string video; ///< "H.261" or "H.263": offer video (FakeVideo out); empty: none
    bool fastStart = true;
    bool tunnelling = true;
    bool h245Separate = false;
    bool masking = false;
    std::string play;   ///< wave file sent as our audio
    std::string record; ///< wave file the received audio goes to
    std::string sendTones;
    std::string sendText;
    std::string forward; ///< forward incoming calls to this party
    int rtpBase = 0, rtpMax = 0; ///< RTP port range; 0: the stack's 5000-5999
    bool exitAfterCall = false;
    double maxSeconds = -1;
};

using tooloptions::ParseResult;

/** Parses the arguments after the program name; on Error, error says why. */
ParseResult ParseOptions(int argc, char **argv, Options &options, std::string &error);

std::string Usage();

} // namespace h323tool
