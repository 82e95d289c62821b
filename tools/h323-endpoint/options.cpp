// Command line of h323-endpoint: one table row per option.
#include <tools/h323-endpoint/options.h>

#include <algorithm>
#include <cstdlib>

namespace h323tool {

namespace {

bool ParseSeconds(const std::string &v, double &out, std::string &error)
{
    char *end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || d < 0) {
        error = "not a number of seconds: " + v;
        return false;
    }
    out = d;
    return true;
}

const tooloptions::Option<Options> kOptions[] = {
    {"--gatekeeper", "HOST[:PORT]", "register with this gatekeeper (RAS port 1719 by default)",
     [](Options &o, const std::string &v, std::string &) { o.gatekeeper = v; return true; }},
    {"--alias", "NAME", "our alias (registered, and the caller's name in Setup)",
     [](Options &o, const std::string &v, std::string &) { o.alias = v; return true; }},
    {"--password", "PW", "gatekeeper password (H.235 tokens)",
     [](Options &o, const std::string &v, std::string &) { o.password = v; return true; }},
    {"--listen", "PORT", "call-signalling port (default 1720, 0: any free port)",
     [](Options &o, const std::string &v, std::string &e) {
         char *end = nullptr;
         long p = std::strtol(v.c_str(), &end, 10);
         if (v.empty() || *end != '\0' || p < 0 || p > 65535) {
             e = "not a port number: " + v;
             return false;
         }
         o.listenPort = int(p);
         return true;
     }},
    {"--call", "ALIAS|HOST[:PORT]", "place a call",
     [](Options &o, const std::string &v, std::string &) { o.call = v; return true; }},
    {"--answer", "now|refuse|busy|never", "how incoming calls are answered (default now)",
     [](Options &o, const std::string &v, std::string &e) {
         if (v == "now")
             o.answer = AnswerMode::Now;
         else if (v == "refuse")
             o.answer = AnswerMode::Refuse;
         else if (v == "busy")
             o.answer = AnswerMode::Busy;
         else if (v == "never")
             o.answer = AnswerMode::Never;
         else {
             e = "answer mode is now, refuse, busy or never";
             return false;
         }
         return true;
     }},
    {"--hangup-after", "SECONDS", "clear the call this long after it connected",
     [](Options &o, const std::string &v, std::string &e) { return ParseSeconds(v, o.hangupAfter, e); }},
    {"--answer-timeout", "SECONDS", "give up a call not answered in this time (default 60)",
     [](Options &o, const std::string &v, std::string &e) { return ParseSeconds(v, o.answerTimeout, e); }},
    {"--codecs", "NAME,NAME,...", "audio codecs in order of preference: PCMU, PCMA, GSM",
     [](Options &o, const std::string &v, std::string &e) {
         o.codecs.clear();
         size_t start = 0;
         while (start <= v.size()) {
             size_t comma = v.find(',', start);
             std::string name = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
             std::transform(name.begin(), name.end(), name.begin(), ::toupper);
             if (name == "G711U" || name == "G.711U" || name == "ULAW")
                 name = "PCMU";
             if (name == "G711A" || name == "G.711A" || name == "ALAW")
                 name = "PCMA";
             if (name == "GSM0610" || name == "GSM-06.10")
                 name = "GSM";
             if (name != "PCMU" && name != "PCMA" && name != "GSM") {
                 e = "unknown codec " + name + " (PCMU, PCMA, GSM)";
                 return false;
             }
             o.codecs.push_back(name);
             if (comma == std::string::npos)
                 break;
             start = comma + 1;
         }
         return !o.codecs.empty();
     }},
    {"--video", "H.261|H.263", "also send (the FakeVideo moving line) and receive video",
     [](Options &o, const std::string &v, std::string &e) {
         std::string name = v;
         std::transform(name.begin(), name.end(), name.begin(), ::toupper);
         if (name == "H261")
             name = "H.261";
         if (name == "H263")
             name = "H.263";
         if (name != "H.261" && name != "H.263") {
             e = "video codec is H.261 or H.263";
             return false;
         }
         o.video = name;
         return true;
     }},
    {"--no-fast-start", nullptr, "do not offer or accept fast start",
     [](Options &o, const std::string &, std::string &) { o.fastStart = false; return true; }},
    {"--no-tunnelling", nullptr, "do not tunnel H.245 in the call signalling",
     [](Options &o, const std::string &, std::string &) { o.tunnelling = false; return true; }},
    {"--h245-separate", nullptr, "a separate H.245 channel, offered from the first message",
     [](Options &o, const std::string &, std::string &) {
         o.h245Separate = true;
         o.tunnelling = false;
         return true;
     }},
    {"--masking", nullptr, "mask the traffic as the service does",
     [](Options &o, const std::string &, std::string &) { o.masking = true; return true; }},
    {"--play", "FILE.wav", "send this wave file (in a loop) as our audio",
     [](Options &o, const std::string &v, std::string &) { o.play = v; return true; }},
    {"--record", "FILE.wav", "write the received audio to this wave file",
     [](Options &o, const std::string &v, std::string &) { o.record = v; return true; }},
    {"--send-tones", "DIGITS", "send these tones once connected",
     [](Options &o, const std::string &v, std::string &) { o.sendTones = v; return true; }},
    {"--send-text", "TEXT", "send this text once connected",
     [](Options &o, const std::string &v, std::string &) { o.sendText = v; return true; }},
    {"--forward", "PARTY", "forward every incoming call to this party",
     [](Options &o, const std::string &v, std::string &) { o.forward = v; return true; }},
    {"--rtp-ports", "BASE-MAX", "UDP ports for RTP and RTCP (default 5000-5999)",
     [](Options &o, const std::string &v, std::string &e) {
         char *end = nullptr;
         long base = std::strtol(v.c_str(), &end, 10);
         long max = *end == '-' ? std::strtol(end + 1, &end, 10) : 0;
         if (*end != '\0' || base < 1024 || max <= base + 1 || max > 65535) {
             e = "not a port range BASE-MAX: " + v;
             return false;
         }
         o.rtpBase = int(base);
         o.rtpMax = int(max);
         return true;
     }},
    {"--exit-after-call", nullptr, "exit when the first call has cleared",
     [](Options &o, const std::string &, std::string &) { o.exitAfterCall = true; return true; }},
    {"--max-seconds", "N", "exit after this long whatever happens",
     [](Options &o, const std::string &v, std::string &e) { return ParseSeconds(v, o.maxSeconds, e); }},
};

} // namespace

ParseResult ParseOptions(int argc, char **argv, Options &options, std::string &error)
{
    return tooloptions::Parse(argc, argv, kOptions, options, error);
}

std::string Usage()
{
    std::string text = "usage: h323-endpoint [OPTION]...\n"
                       "An H.323 endpoint for tests: registers, calls, answers; one line per event.\n\n";
    text += tooloptions::Summary(kOptions, 34);
    text += "\nEvents: LISTENING port=N, REGISTERED, REGISTRATION-FAILED reason, UNREGISTERED,\n"
            "INCOMING from, ALERTING, CONNECTED codec=NAME, FORWARDED party,\n"
            "USER-INPUT-TONE x, USER-INPUT-STRING text, CLEARED reason=N name\n";
    return text;
}

} // namespace h323tool
