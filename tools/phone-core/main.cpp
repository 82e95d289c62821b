// phone-core: the call engine with a main window that prints every message it gets; commands
// on standard input drive it as the main dialog would. For the end-to-end tests.
//
//   phone-core [--dir DIR] [--listen PORT] [--play FILE.wav] [--record FILE.wav]
//              [--filter-mode N] [--filter NUMBER]... [--forward-always NUMBER]
//              [--forward-busy NUMBER] [--acm-driver] [--without-g7231]
//              [--video INDEX=VALUE]...
//
// --without-g7231 stands in for a peer that has no G.723.1: its capability table holds GSM only.
// --video sets one video option (and gives the endpoint a chat window that counts the
// pictures it is asked to draw).
//
// Output lines: "LISTENING port=N", "MSG <name> <wParam> <lParam>[ text=<text>]" for each
// window message, "CODEC <tx> <rx>" once a call connects, "RESULT <command> <value>".
// Commands: register HOST:PORT ACCOUNT [PASSWORD], call NUMBER, answer, refuse, hangup,
// dtmf DIGIT, chat TEXT, state, video, quit. "video" prints
// "RESULT video tx=<format> rx=<format> drawn=<pictures of the peer drawn>" (format "none"
// without such a channel).
#include <core/endpoint.h>
#include <core/gatekeeper.h>
#include <core/settings.h>
#include <core/video_window.h>
#include <core/window_messages.h>

#include <h323/callsig/connection.h>
#include <h323/channels/channel.h>
#include <h323/codecs/gsm0610.h>

#include <pwlib/pprocess.h>

#include <tools/common/options.h>

#include <win/cwnd.h>
#include <win/module_testing.h>
#include <win/msacm_testing.h>
#include <win/winmsg.h>

#include <QCoreApplication>

#include <atomic>
#include <charconv>
#include <climits>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{

constexpr UINT WM_DRIVER_COMMAND = 0x0400 + 300;

std::mutex outputLock;

void Print(const std::string &line)
{
    std::lock_guard<std::mutex> lock(outputLock);
    std::cout << line << std::endl;
}

class DriverProcess : public PProcess
{
    PCLASSINFO(DriverProcess, PProcess)
  public:
    DriverProcess() : PProcess("Kestrelin", "phone-core", 1, 0, ReleaseCode, 1) {}
    void Main() override {}
};

const char *MessageName(UINT message)
{
    switch (message) {
    case WM_CALL_RINGING_IN:
        return "RINGING_IN";
    case WM_CALL_CONNECTED:
        return "CONNECTED";
    case WM_CALL_CLEARED:
        return "CLEARED";
    case WM_GK_REJECT_104:
        return "GK_REJECT_104";
    case WM_START_REGISTRATION:
        return "START_REGISTRATION";
    case WM_ACCOUNT_IN_USE:
        return "ACCOUNT_IN_USE";
    case WM_GK_UNREGISTERED:
        return "GK_UNREGISTERED";
    case WM_GK_REGISTERED:
        return "GK_REGISTERED";
    case WM_REGISTRATION_FAILED:
        return "REGISTRATION_FAILED";
    case WM_CALL_FORWARDED:
        return "CALL_FORWARDED";
    case WM_CALL_ALERTING:
        return "CALL_ALERTING";
    case WM_CHAT_TEXT:
        return "CHAT_TEXT";
    case WM_SHOW_TIME:
        return "SHOW_TIME";
    case WM_SHOW_BALANCE:
        return "SHOW_BALANCE";
    default:
        return nullptr;
    }
}

/// The chat window's video areas, counting the received pictures drawn.
class CountingVideoWindow : public CVideoWindow
{
  public:
    BOOL GetVideoAreaSize(int, int *width, int *height) override
    {
        *width = 176;
        *height = 144;
        return TRUE;
    }
    int DrawVideoArea(int nID, int, int areaHeight, const void *, const BITMAPINFO *) override
    {
        if (nID == kRemoteArea)
            ++remotePictures;
        return areaHeight;
    }
    std::atomic<int> remotePictures{0};
};

struct Registration {
    std::string address, account, password;
};

/// The main dialog's stand-in.
class DriverWindow : public CWnd
{
  public:
    DriverWindow(CEndPoint &ep, CountingVideoWindow &video) : endpoint(ep), chat(video)
    {
        CreateHandle();
    }
    ~DriverWindow() override { JoinWorker(); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_DRIVER_COMMAND) {
            RunCommands();
            return 0;
        }
        const char *name = MessageName(message);
        std::ostringstream line;
        line << "MSG " << (name ? name : "0x") << (name ? "" : std::to_string(message)) << " "
             << wParam << " " << lParam;
        if ((message == WM_CHAT_TEXT || message == WM_SHOW_TIME || message == WM_SHOW_BALANCE) &&
            wParam != 0)
            line << " text=" << reinterpret_cast<const char *>(wParam);
        Print(line.str());
        if (message == WM_CALL_CONNECTED)
            PrintCodecs();
        if (message == WM_START_REGISTRATION && !last.address.empty())
            StartRegistration(last);
        return 0;
    }

    void Queue(const std::string &line)
    {
        {
            std::lock_guard<std::mutex> lock(queueLock);
            queue.push_back(line);
        }
        ::PostMessage(GetSafeHwnd(), WM_DRIVER_COMMAND, 0, 0);
    }

  private:
    void RunCommands()
    {
        for (;;) {
            std::string line;
            {
                std::lock_guard<std::mutex> lock(queueLock);
                if (queue.empty())
                    return;
                line = queue.front();
                queue.pop_front();
            }
            Run(line);
        }
    }

    void Run(const std::string &line)
    {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "register") {
            Registration r;
            words >> r.address >> r.account >> r.password;
            last = r;
            StartRegistration(r);
        } else if (command == "call") {
            std::string number;
            words >> number;
            Print("RESULT call " + std::to_string(endpoint.MakeCall(number.c_str())));
        } else if (command == "answer" || command == "refuse") {
            H323Connection *c = endpoint.FindConnectionWithLock(endpoint.GetOfferedCallToken());
            Print("RESULT " + command + " " + (c ? "1" : "0"));
            if (c != nullptr) {
                c->AnsweringCall(command == "answer" ? H323Connection::AnswerCallNow
                                                     : H323Connection::AnswerCallDenied);
                c->Unlock();
            }
        } else if (command == "hangup") {
            endpoint.ClearCurrentCall();
        } else if (command == "dtmf") {
            std::string digit;
            words >> digit;
            if (!digit.empty())
                endpoint.SendDtmfTone(digit[0]);
        } else if (command == "chat") {
            std::string text;
            std::getline(words >> std::ws, text);
            H323Connection *c = endpoint.FindConnectionWithLock(endpoint.GetCurrentCallToken());
            if (c != nullptr) {
                c->SendUserInput(text.c_str());
                c->Unlock();
            }
        } else if (command == "state") {
            CGatekeeper *gk = dynamic_cast<CGatekeeper *>(endpoint.AcquireGatekeeper());
            std::ostringstream s;
            s << "RESULT state idle=" << endpoint.IsIdle()
              << " connections=" << endpoint.GetActiveConnections()
              << " registered=" << endpoint.IsGatekeeperRegistered()
              << " natlink=" << (gk != nullptr && gk->HasNatLink())
              << " caller=" << endpoint.GetCallerNumber().GetString();
            if (gk != nullptr)
                endpoint.ReleaseGatekeeper(gk);
            Print(s.str());
        } else if (command == "video") {
            PrintVideo();
        } else if (command == "quit") {
            QCoreApplication::quit();
        } else if (!command.empty()) {
            Print("RESULT unknown " + command);
        }
    }

    void JoinWorker()
    {
        if (worker.joinable())
            worker.join();
    }

    /// The registration worker of the main dialog, with one gatekeeper address.
    void StartRegistration(const Registration &r)
    {
        JoinWorker();
        HWND hwnd = GetSafeHwnd();
        worker = std::thread([this, r, hwnd] {
            endpoint.RemoveGatekeeper(-1);
            endpoint.SetLocalUserName(r.account.c_str());
            if (!r.password.empty())
                endpoint.SetGatekeeperPassword(r.password.c_str());
            if (!endpoint.UseGatekeeper(r.address.c_str(), PString(), PString()))
                ::PostMessage(hwnd, WM_REGISTRATION_FAILED, 0, 0);
        });
    }

    void PrintCodecs()
    {
        H323Connection *c = endpoint.FindConnectionWithLock(endpoint.GetCurrentCallToken());
        if (c == nullptr)
            return;
        auto name = [c](bool fromRemote) {
            H323Channel *channel = c->FindChannel(1, fromRemote);
            return channel ? std::string(channel->GetCapability().GetFormatName()) : "none";
        };
        Print("CODEC " + name(false) + " " + name(true));
        c->Unlock();
    }

    void PrintVideo()
    {
        std::string tx = "none", rx = "none";
        if (H323Connection *c = endpoint.FindConnectionWithLock(endpoint.GetCurrentCallToken())) {
            if (H323Channel *channel = c->FindChannel(2, false))
                tx = channel->GetCapability().GetFormatName().GetText();
            if (H323Channel *channel = c->FindChannel(2, true))
                rx = channel->GetCapability().GetFormatName().GetText();
            c->Unlock();
        }
        Print("RESULT video tx=" + tx + " rx=" + rx +
              " drawn=" + std::to_string(chat.remotePictures.load()));
    }

    CEndPoint &endpoint;
    CountingVideoWindow &chat;
    std::thread worker;
    Registration last;
    std::mutex queueLock;
    std::deque<std::string> queue;
};

struct Options {
    std::string dir;
    int listen = 0;
    std::string play, record;
    int filterMode = 0;
    std::vector<std::string> filters;
    std::string forwardAlways, forwardBusy;
    bool acmDriver = false;
    bool withoutG7231 = false;
    std::vector<std::pair<int, int>> video; ///< video option index, value
};

bool ParseNumber(const std::string &v, int low, int high, int &out, std::string &error)
{
    int n = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec == std::errc::invalid_argument || end != v.data() + v.size()) {
        error = "not a number: " + v;
        return false;
    }
    if (ec != std::errc() || n < low || n > high) {
        error = "not from " + std::to_string(low) + " to " + std::to_string(high) + ": " + v;
        return false;
    }
    out = n;
    return true;
}

bool ParseVideo(const std::string &v, Options &o, std::string &error)
{
    size_t eq = v.find('=');
    if (eq == std::string::npos) {
        error = "not INDEX=VALUE: " + v;
        return false;
    }
    int index = 0, value = 0;
    if (!ParseNumber(v.substr(0, eq), 0, CSettings::kVideoOptions - 1, index, error) ||
        !ParseNumber(v.substr(eq + 1), INT_MIN, INT_MAX, value, error))
        return false;
    o.video.emplace_back(index, value);
    return true;
}

const tooloptions::Option<Options> kOptions[] = {
    {"--dir", "DIR", "the install directory (its data files and settings)",
     [](Options &o, const std::string &v, std::string &) { o.dir = v; return true; }},
    {"--listen", "PORT", "call-signalling port (0: any free port)",
     [](Options &o, const std::string &v, std::string &e) {
         return ParseNumber(v, 0, 65535, o.listen, e);
     }},
    {"--play", "FILE.wav", "send this wave file as the microphone",
     [](Options &o, const std::string &v, std::string &) { o.play = v; return true; }},
    {"--record", "FILE.wav", "write the received audio to this wave file",
     [](Options &o, const std::string &v, std::string &) { o.record = v; return true; }},
    {"--filter-mode", "N", "0: refuse the listed callers, 1: accept only them",
     [](Options &o, const std::string &v, std::string &e) {
         return ParseNumber(v, 0, 1, o.filterMode, e);
     }},
    {"--filter", "NUMBER", "a caller of the filter list (repeatable)",
     [](Options &o, const std::string &v, std::string &) {
         o.filters.push_back(v);
         return true;
     }},
    {"--forward-always", "NUMBER", "forward every incoming call to this number",
     [](Options &o, const std::string &v, std::string &) { o.forwardAlways = v; return true; }},
    {"--forward-busy", "NUMBER", "forward incoming calls to this number while busy",
     [](Options &o, const std::string &v, std::string &) { o.forwardBusy = v; return true; }},
    {"--acm-driver", nullptr, "install the G.723.1 codec driver",
     [](Options &o, const std::string &, std::string &) { o.acmDriver = true; return true; }},
    {"--without-g7231", nullptr, "offer GSM only, as a peer without G.723.1",
     [](Options &o, const std::string &, std::string &) { o.withoutG7231 = true; return true; }},
    {"--video", "INDEX=VALUE", "set one video option (repeatable; counts the pictures drawn)",
     [](Options &o, const std::string &v, std::string &e) { return ParseVideo(v, o, e); }},
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (tooloptions::Parse(argc, argv, kOptions, options, error)) {
    case tooloptions::ParseResult::Help:
        std::cout << "usage: phone-core [OPTION]...\n"
                     "The call engine driven by commands on standard input.\n\n"
                  << tooloptions::Summary(kOptions, 30)
                  << "\nCommands: register HOST:PORT ACCOUNT [PASSWORD], call NUMBER, answer, refuse,\n"
                     "hangup, dtmf DIGIT, chat TEXT, state, video, quit\n";
        return 0;
    case tooloptions::ParseResult::Error:
        std::cerr << "phone-core: " << error << "\n";
        return 2;
    case tooloptions::ParseResult::Run:
        break;
    }
    QCoreApplication app(argc, argv);
    DriverProcess process;
    if (!options.dir.empty())
        win::testing::OverrideExecutablePath((options.dir + "/kestrelin").c_str());
    if (options.acmDriver)
        win::testing::InstallAcmDriver(win::testing::G7231AcmDriver());

    int status = 0;
    {
        CSettings settings;
        settings.m_nLocalPort = options.listen;
        settings.m_strPlayDevice =
            options.record.empty() ? "Null" : ("file:" + options.record).c_str();
        settings.m_strRecordDevice =
            options.play.empty() ? "Null" : ("file:" + options.play).c_str();
        settings.m_nFilterMode = options.filterMode;
        settings.m_nFilterCount = int(options.filters.size());
        for (size_t i = 0; i < options.filters.size() && i < size_t(CSettings::kFilterCapacity);
             i++)
            settings.m_arrFilter[i] = options.filters[i].c_str();
        settings.m_strForwardAlways = options.forwardAlways.c_str();
        settings.m_strForwardBusy = options.forwardBusy.c_str();
        for (auto [index, value] : options.video)
            settings.m_nVideo[size_t(index)] = value;

        CountingVideoWindow chat; // outlives the endpoint, which may forget channels in it
        CEndPoint endpoint;
        if (!options.video.empty())
            endpoint.SetChatWindow(&chat);
        DriverWindow window(endpoint, chat);
        endpoint.Initialise(&window, &settings);
        if (options.withoutG7231) {
            // The endpoint's GSM entry goes with the table; the driver never asks for it.
            endpoint.RemoveCapabilities();
            H323_GSM0610Capability *gsm = new H323_GSM0610Capability;
            gsm->SetTxFramesInPacket(4);
            endpoint.SetCapability(P_MAX_INDEX, P_MAX_INDEX, gsm);
        }
        auto addresses = endpoint.GetInterfaceAddresses();
        if (addresses.empty()) {
            std::cerr << "phone-core: no listener\n";
            status = 1;
        } else {
            Print("LISTENING port=" + std::to_string(addresses.front().GetPort()));
            std::thread reader([&window] {
                std::string line;
                while (std::getline(std::cin, line))
                    window.Queue(line);
                window.Queue("quit");
            });
            reader.detach();
            status = app.exec();
        }
        endpoint.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
        endpoint.RemoveGatekeeper(-1);
    }
    Print("EXITED");
    // The reader may still block on standard input.
    std::cout.flush();
    _exit(status);
}
