// Two real phones, each from an install directory of its own, calling each other through the
// service simulator, driven only by clicks and keys on their windows: log in, type a local
// port into the menu panel, dial by typing and by the keypad, answer while the ring plays, chat
// with digits both ways, hang up right after keypad digits during a call, press Escape in the
// chat while a call is offered, hang up from either side, look at the call lists, switch the
// language, exit; call a phone whose sound cannot be opened; exit while a tone plays. Keys go
// to the window typed in: a digit gone astray would be dialled with the next number. What is checked: the simulator's log, the data files the
// phones leave, the windows' titles, which one has the keyboard, what their pictures show and
// what they play; each step leaves a screenshot.
#include "artefacts.h"
#include "capture.h"
#include "desktop.h"
#include "e2e_support.h"
#include "installed_phone.h"
#include "loopback_service.h"
#include "pcap_file.h"
#include "phone_user.h"

#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/callsig/signal_pdu.h>
#include <tools/masking/masking.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

namespace e2e
{
namespace
{

// Controls of the main window's skin.
constexpr int kSystemConfig = 1014;
constexpr int kRecentCalls = 1037; // "Last Number"
constexpr int kCall = 1015;
constexpr int kHangup = 1017;
constexpr int kSendMessage = 1087;
constexpr int kRingIndicator = 1036;
constexpr int kCallIndicator = 1035;
constexpr int kExit = 1;
constexpr int kNumberBox = 24; // its skin layout entry
// The chat window.
constexpr int kChatDialog = 259;
constexpr int kChatClose = 1;
constexpr int kChatInput = 1086;
// The menu panel and the rows of its pages.
constexpr int kMenuPanelDialog = 244;
constexpr int kOptionsRow = 4, kConnectionsRow = 5; // System Config
constexpr int kLanguageRow = 1;                     // Options
constexpr int kLocalPortRow = 3;                    // Connections
constexpr int kDialedRow = 2, kReceivedRow = 4; // Recent Calls

// The keypad button of a digit, '*' or '#'.
int KeypadButton(char key)
{
    if (key == '*')
        return 1010;
    if (key == '#')
        return 1011;
    return key == '0' ? 1009 : 1000 + (key - '1');
}

size_t LinesHolding(LoopbackService &service, const std::string &text)
{
    std::vector<std::string> lines = service.Log().Lines();
    return size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string &line) {
        return line.find(text) != std::string::npos;
    }));
}

// Waits for a check to hold, looking again every 200 ms.
template <class Check> bool Eventually(Check check, int timeoutMs = 20000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

// The middle of an indicator of a phone's skin (the bell, the call), as the screen shows it
// now.
QImage Indicator(Desktop &desktop, PhoneUser &user, int control = kRingIndicator)
{
    Point p = ProgramResources::SkinButtonPoint(control);
    return desktop.Grab(user.Main(), p.x - 4, p.y - 4, 8, 8);
}

// The call is offered and its ring plays once the bell looks other than it did while idle.
bool WaitForRinging(Desktop &desktop, PhoneUser &user, const QImage &idleBell)
{
    return Eventually([&] { return Indicator(desktop, user) != idleBell; });
}

// Send Message opens the chat window once the call is connected; before that it is disabled,
// and the user clicks it again. The chat window, 0 when the call never connected.
XWindow OpenChat(PhoneUser &user)
{
    XWindow chat = 0;
    Eventually([&] {
        user.ClickSkin(kSendMessage);
        return (chat = user.WaitForDialog(kChatDialog, 1000)) != 0;
    });
    return chat;
}

// Starts the phone and logs in with the account (password "demo"), past the first start's
// audio wizard.
void StartAndLogIn(Desktop &desktop, InstalledPhone &phone, PhoneUser &user, const char *account)
{
    ASSERT_TRUE(phone.Start(desktop));
    ASSERT_NE(user.LogIn(account, "demo"), 0u) << phone.OutputText();
    ASSERT_TRUE(user.CancelWizard());
}

// One TPKT frame of the phones' call signalling as captured, unmasked.
struct SignalFrame {
    double time; // seconds since the epoch
    uint16_t from, to;
    std::string bytes;
};

// Every TPKT frame of the captured TCP streams, at the time its last byte was captured.
std::vector<SignalFrame> SignalFrames(const std::string &capture)
{
    struct Stream {
        std::string bytes; // unmasked, from the first segment seen on
        size_t walked = 0; // the frames before this offset are taken
        uint32_t next = 0; // sequence number of the next byte
    };
    PcapFile pcap;
    std::vector<SignalFrame> frames;
    if (!ReadPcap(capture, pcap).empty())
        return frames;
    std::map<std::pair<uint16_t, uint16_t>, Stream> streams;
    for (const PcapFile::Frame &f : pcap.frames) {
        std::optional<Segment> s = ParseSegment(f.data);
        if (!s || !s->tcp || s->payloadSize == 0)
            continue;
        auto [it, fresh] = streams.try_emplace({s->srcPort, s->dstPort});
        Stream &stream = it->second;
        if (fresh)
            stream.next = s->seq;
        uint32_t skip = stream.next - s->seq; // bytes already in the stream (retransmitted)
        if (int32_t(s->seq - stream.next) > 0 || skip >= s->payloadSize)
            continue;
        std::string payload(s->payloadSize - skip, '\0');
        toolmask::MaskStream(f.data.data() + s->payload + skip,
                             reinterpret_cast<uint8_t *>(payload.data()), payload.size());
        stream.bytes += payload;
        stream.next += uint32_t(payload.size());
        const std::string &b = stream.bytes;
        while (stream.walked + 4 <= b.size() && b[stream.walked] == 3) {
            size_t length = size_t(uint8_t(b[stream.walked + 2])) << 8 |
                            uint8_t(b[stream.walked + 3]);
            if (length < 4 || stream.walked + length > b.size())
                break;
            frames.push_back({FrameTime(pcap, f), s->srcPort, s->dstPort,
                              b.substr(stream.walked, length)});
            stream.walked += length;
        }
    }
    return frames;
}

// Whether a frame carries the text whole: a chat text goes as one user input string.
bool TextSent(const std::vector<SignalFrame> &frames, const std::string &text)
{
    return std::any_of(frames.begin(), frames.end(), [&](const SignalFrame &f) {
        return f.bytes.find(text) != std::string::npos;
    });
}

constexpr int kConnect = 0x07; // Q.931 message type
constexpr int kAnyMessage = -1;

// The user input a frame carries (keypad characters of its Q.931 message, user input
// indications tunnelled in it), and whether it carries anything else: a message of another
// type than Information and Facility, or any other tunnelled H.245 message.
struct Carried {
    size_t userInputs = 0;
    bool other = true;
};

Carried WhatItCarries(const SignalFrame &f)
{
    Carried carried;
    H323SignalPDU pdu;
    if (f.bytes.size() <= 4 ||
        !pdu.Decode(PBYTEArray(reinterpret_cast<const BYTE *>(f.bytes.data()) + 4,
                               PINDEX(f.bytes.size() - 4))))
        return carried;
    const Q931 &q931 = pdu.GetQ931();
    carried.userInputs = q931.GetKeypad().size();
    carried.other = q931.GetMessageType() != Q931::InformationMsg &&
                    q931.GetMessageType() != Q931::FacilityMsg;
    if (pdu.HasUserUser() && pdu.m_h323_uu_pdu.HasOptionalField(H225_H323_UU_PDU::e_h245Control))
        for (const asn1::OctetString &data : pdu.m_h323_uu_pdu.m_h245Control) {
            H245_MultimediaSystemControlMessage h245;
            if (asn1::decode(data.data(), data.size(), h245) &&
                h245.GetTag() == H245_MultimediaSystemControlMessage::e_indication &&
                h245.indication().GetTag() == H245_IndicationMessage::e_userInput)
                ++carried.userInputs;
            else
                carried.other = true;
        }
    if (carried.userInputs == 0)
        carried.other = true;
    return carried;
}

// When a Q.931 message of the type (or any but one that only carries user input) was first
// sent after a moment from the port (or, with towards, to it); 0 if never.
double FirstMessage(const std::vector<SignalFrame> &frames, uint16_t port, bool towards,
                    int type, double after)
{
    for (const SignalFrame &f : frames) {
        // TPKT header, protocol discriminator 8, call reference length, reference, type.
        const std::string &b = f.bytes;
        if ((towards ? f.to : f.from) != port || f.time < after || b.size() < 6 ||
            uint8_t(b[4]) != 0x08)
            continue;
        size_t typeAt = 6 + (uint8_t(b[5]) & 0x0F);
        if (typeAt >= b.size())
            continue;
        if (type != kAnyMessage) {
            if (uint8_t(b[typeAt]) == type)
                return f.time;
            continue;
        }
        if (WhatItCarries(f).other)
            return f.time;
    }
    return 0;
}

// The user input sent to the port from one moment to another.
size_t UserInputsSent(const std::vector<SignalFrame> &frames, uint16_t port, double from,
                      double to)
{
    size_t count = 0;
    for (const SignalFrame &f : frames)
        if (f.to == port && f.time >= from && f.time <= to)
            count += WhatItCarries(f).userInputs;
    return count;
}

// The player files of a phone (see SetPlayerDevice) in which the tone of the frequency plays.
size_t PlayersWithTone(const std::filesystem::path &dir, double frequency)
{
    size_t count = 0;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec))
        if (AnalyseTone(entry.path().string(), frequency).toneSeconds > 0)
            ++count;
    return count;
}

// Clicks Exit on the phone's skin and waits for its process to end; how long that took after
// the click, in milliseconds (-1 when the click could not be made).
int ExitMs(Desktop &desktop, InstalledPhone &phone, PhoneUser &user)
{
    if (!user.ClickSkin(kExit))
        return -1;
    double clicked = desktop.LastClickTime();
    EXPECT_EQ(phone.WaitForExit(60000), 0) << phone.OutputText();
    double ended =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    return int((ended - clicked) * 1000);
}

class TwoPhones : public ::testing::TestWithParam<Desktop::WindowManager>
{
};

TEST_P(TwoPhones, CallEachOtherAndShowTheCallsByClicksAndKeys)
{
    LoopbackService service({"--balance", "25.00", "--credit-time", "3600"});
    ASSERT_FALSE(service.Address().empty());
    Desktop desktop(GetParam());
    ASSERT_TRUE(desktop.Ready());
    StepShots shots(desktop);
    InstalledPhone phone1(ArtefactDir() / "phone1"), phone2(ArtefactDir() / "phone2");
    int port1 = FreeLocalPort(), port2 = FreeLocalPort(), typedPort = FreeLocalPort();
    // The call signalling between the phones, both ways: to 8001's port and to the one typed
    // for 8002.
    std::string noCapture = CaptureUnavailable();
    std::unique_ptr<LoopbackCapture> capture;
    if (noCapture.empty())
        capture = std::make_unique<LoopbackCapture>(
            (ArtefactDir() / "signalling.pcap").string(), true,
            "tcp and (port " + std::to_string(port1) + " or port " + std::to_string(typedPort) +
                ")");
    for (auto [phone, port, x] : {std::tuple{&phone1, port1, 20}, {&phone2, port2, 620}}) {
        phone->UseService(service.Address());
        phone->SetLocalPort(port);
        // Where a previous run left each window, side by side.
        phone->SetWindowPosition(x, 20);
    }
    PhoneUser user1(desktop, phone1, 0), user2(desktop, phone2, 0);

    SCOPED_TRACE("log in as 8001 and 8002, one phone after the other");
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone1, user1, "8001"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone2, user2, "8002"));
    for (const char *account : {"8001", "8002"}) {
        EXPECT_NE(service.Log().WaitForText(std::string("registrationConfirm ") + account, 20000),
                  "");
        EXPECT_NE(service.Log().WaitForText(std::string("(") + account + " logged in)", 20000),
                  "");
    }
    shots.Take("logged-in");
    QImage idleBell = Indicator(desktop, user2);
    QImage idleCall = Indicator(desktop, user1, kCallIndicator);

    SCOPED_TRACE("type a new local port for 8002 into the menu panel");
    port2 = typedPort;
    ASSERT_TRUE(user2.ClickSkin(kSystemConfig));
    ASSERT_TRUE(user2.ClickPanelRow(kConnectionsRow));
    ASSERT_TRUE(user2.ClickPanelRow(kLocalPortRow));
    desktop.Type(std::to_string(port2));
    shots.Take("typed-local-port");
    desktop.Key({"Return"});
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, "registrationConfirm 8002") >= 2; }))
        << "8002 registers again for its new port";
    ASSERT_TRUE(user2.ClickSkin(kSystemConfig)); // closes the panel

    SCOPED_TRACE("dial 8002 by typing it into the number box and pressing Enter");
    ASSERT_TRUE(user1.ClickLayoutBox(kNumberBox));
    desktop.Type("8002");
    shots.Take("typed-number");
    desktop.Key({"Return"});
    std::string admitted = "8001 calls 8002 at 127.0.0.1:" + std::to_string(port2);
    EXPECT_NE(service.Log().WaitForText(admitted, 20000), "") << "at the port typed";

    SCOPED_TRACE("answer while the ring plays");
    ASSERT_TRUE(WaitForRinging(desktop, user2, idleBell));
    shots.Take("ringing");
    ASSERT_TRUE(user2.ClickSkin(kCall));
    double answered = desktop.LastClickTime();
    XWindow chat = OpenChat(user1);
    shots.Take("connected");
    ASSERT_NE(chat, 0u) << "the call did not connect: Send Message stayed disabled";

    SCOPED_TRACE("chat both ways with digits; arriving text leaves the keyboard where it is");
    ASSERT_TRUE(user1.ClickControl(chat, kChatDialog, kChatInput));
    const std::string hello = "Hello from 8001", reply = "Hi 8001, 8002 here";
    desktop.Type(hello);
    desktop.Key({"ctrl+Return"});
    XWindow chat2 = user2.WaitForDialog(kChatDialog);
    ASSERT_NE(chat2, 0u) << "the text opens 8002's chat window";
    EXPECT_EQ(desktop.Focus(), chat) << "8001's chat window keeps the keyboard";
    // 8002's chat window opens over its main window; the user drags it aside.
    desktop.Move(chat2, 620, 400);
    ASSERT_TRUE(user2.ClickControl(chat2, kChatDialog, kChatInput));
    desktop.Type(reply);
    desktop.Key({"ctrl+Return"});
    shots.Take("chatted");
    ASSERT_TRUE(user1.ClickControl(chat, kChatDialog, kChatClose));
    ASSERT_TRUE(phone1.WaitUntilGone(desktop, chat));

    SCOPED_TRACE("keypad digits on 8001 during the call, and hang up on 8001 right after");
    const std::string digits = "147";
    double keyed = 0;
    for (char key : digits) {
        ASSERT_TRUE(user1.ClickSkin(KeypadButton(key))) << key;
        keyed = keyed > 0 ? keyed : desktop.LastClickTime();
    }
    ASSERT_TRUE(user1.ClickSkin(kHangup));
    double hungUp = desktop.LastClickTime();
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, "disengageRequest") >= 2; }))
        << "both phones leave the call";
    shots.Take("hung-up");
    // The digits went into 8001's number box too: once idle, its keyboard takes them out.
    ASSERT_TRUE(Eventually([&] { return Indicator(desktop, user1, kCallIndicator) == idleCall; }))
        << "8001 shows no call";
    desktop.Key(std::vector<std::string>(digits.size(), "BackSpace"));

    SCOPED_TRACE("dial 8002 on the keypad, answer, and hang up on 8002");
    for (char key : std::string("8002"))
        ASSERT_TRUE(user1.ClickSkin(KeypadButton(key))) << key;
    shots.Take("keyed-number");
    ASSERT_TRUE(user1.ClickSkin(kCall));
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, admitted) == 2; }))
        << "8001's number box held only the keys pressed for it";
    ASSERT_TRUE(WaitForRinging(desktop, user2, idleBell));
    // Escape in 8002's chat input closes the chat window, not the offered call.
    ASSERT_TRUE(user2.ClickControl(chat2, kChatDialog, kChatInput));
    desktop.Key({"Escape"});
    ASSERT_TRUE(phone2.WaitUntilGone(desktop, chat2));
    shots.Take("escape-in-chat");
    ASSERT_TRUE(user2.ClickSkin(kCall));
    chat = OpenChat(user2);
    ASSERT_NE(chat, 0u) << "the second call did not connect";
    ASSERT_TRUE(user2.ClickControl(chat, kChatDialog, kChatClose));
    ASSERT_TRUE(phone2.WaitUntilGone(desktop, chat));
    ASSERT_TRUE(user2.ClickSkin(kHangup));
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, "disengageRequest") >= 4; }));
    shots.Take("second-call-ended");

    SCOPED_TRACE("8002 dials back by typing: its number box held nothing typed elsewhere");
    ASSERT_TRUE(user2.ClickLayoutBox(kNumberBox));
    desktop.Type("8001");
    desktop.Key({"Return"});
    EXPECT_NE(service.Log().WaitForText("8002 calls 8001 at", 20000), "")
        << service.Log().WaitForText("8002 calls", 0);
    ASSERT_TRUE(user2.ClickSkin(kHangup));
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, "disengageRequest") >= 5; }));

    SCOPED_TRACE("the calls in the call lists");
    ASSERT_TRUE(user1.ClickSkin(kRecentCalls));
    ASSERT_TRUE(user1.ClickPanelRow(kDialedRow));
    shots.Take("dialed-calls");
    ASSERT_TRUE(user1.ClickSkin(kRecentCalls)); // closes the panel
    ASSERT_TRUE(user2.ClickSkin(kRecentCalls));
    ASSERT_TRUE(user2.ClickPanelRow(kReceivedRow));
    shots.Take("received-calls");
    ASSERT_TRUE(user2.ClickSkin(kRecentCalls));

    SCOPED_TRACE("switch 8001 to simplified Chinese on the Options page");
    ASSERT_TRUE(user1.ClickSkin(kSystemConfig));
    ASSERT_TRUE(user1.ClickPanelRow(kOptionsRow));
    ASSERT_TRUE(user1.ClickPanelRow(kLanguageRow));
    desktop.Key({"Down"}); // in the choice list under the line: from English to the next one
    user1.SetLanguage(1);
    EXPECT_NE(user1.Panel(), 0u) << "no menu panel titled \""
                                 << user1.Texts().Caption(kMenuPanelDialog) << "\"";
    shots.Take("language-switched");

    SCOPED_TRACE("exit both from the skin");
    ASSERT_TRUE(user1.ClickSkin(kExit));
    ASSERT_TRUE(user2.ClickSkin(kExit));
    EXPECT_EQ(phone1.WaitForExit(30000), 0) << phone1.OutputText();
    EXPECT_EQ(phone2.WaitForExit(30000), 0) << phone2.OutputText();
    EXPECT_NE(service.Log().WaitForText("Quit 8001", 10000), "");
    EXPECT_NE(service.Log().WaitForText("Quit 8002", 10000), "");
    EXPECT_EQ(phone1.Alarms(), std::vector<std::string>{});
    EXPECT_EQ(phone2.Alarms(), std::vector<std::string>{});
    shots.Take("exited");

    SCOPED_TRACE("the data files the phones left");
    std::unique_ptr<CSettings> settings1 = phone1.Settings(), settings2 = phone2.Settings();
    ASSERT_EQ(settings1->m_DialedCalls.m_nCount, 1) << "one entry a number";
    EXPECT_EQ(settings1->m_DialedCalls.m_strNumber[0], "8002");
    ASSERT_EQ(settings2->m_ReceivedCalls.m_nCount, 1);
    EXPECT_EQ(settings2->m_ReceivedCalls.m_strNumber[0], "8001");
    EXPECT_EQ(settings2->m_MissedCalls.m_nCount, 0) << "both calls were answered";
    EXPECT_EQ(phone1.DataFiles()["netphone.ini"], "1");
    EXPECT_EQ(phone2.DataFiles()["netphone.ini"], "0");

    if (!capture) {
        std::cerr << "the signalling between the phones is not looked at: " << noCapture << "\n";
        return;
    }
    SCOPED_TRACE("the call signalling between the phones");
    capture->Stop();
    std::vector<SignalFrame> frames = SignalFrames(capture->Path());
    EXPECT_TRUE(TextSent(frames, hello)) << "\"" << hello << "\" did not go as one text";
    EXPECT_TRUE(TextSent(frames, reply)) << "\"" << reply << "\" did not go as one text";
    // How long after the click 8002's Connect and 8001's first word of the hang-up went, for
    // the record (the benchmarks time them). The hang-up right after the digits does not wait
    // for their tones (a fifth of a second each): it goes within a tone's half, after the
    // digits themselves.
    double connect = FirstMessage(frames, uint16_t(typedPort), false, kConnect, answered);
    double hangUp = FirstMessage(frames, uint16_t(typedPort), true, kAnyMessage, hungUp);
    EXPECT_GT(connect, 0) << "no Connect after the answer";
    EXPECT_GT(hangUp, 0) << "8001 said nothing after the hang-up";
    EXPECT_EQ(UserInputsSent(frames, uint16_t(typedPort), keyed, hangUp), digits.size())
        << "the digits that went to 8002 before the hang-up";
    int hangUpMs = int((hangUp - hungUp) * 1000);
    EXPECT_LT(hangUpMs, 100) << "the hang-up waited for the keypad tones";
    RecordProperty("answer_click_to_connect_ms", int((connect - answered) * 1000));
    RecordProperty("hangup_after_keypad_click_to_signal_ms", hangUpMs);
}

// A call to a phone whose sound cannot be opened: that phone says so and ends the call at
// once, so it never rings, and the caller leaves the call; both log it.
TEST_P(TwoPhones, ACallToAPhoneWhoseSoundCannotOpenEndsOnBothWithoutRinging)
{
    LoopbackService service;
    ASSERT_FALSE(service.Address().empty());
    Desktop desktop(GetParam());
    ASSERT_TRUE(desktop.Ready());
    StepShots shots(desktop);
    InstalledPhone phone1(ArtefactDir() / "phone1"), phone2(ArtefactDir() / "phone2");
    int port2 = FreeLocalPort();
    for (auto [phone, port, x] : {std::tuple{&phone1, FreeLocalPort(), 20}, {&phone2, port2, 620}}) {
        phone->UseService(service.Address());
        phone->SetLocalPort(port);
        phone->SetWindowPosition(x, 20);
    }
    phone2.SetSoundDevice("file:" + (phone2.Dir() / "no-such-dir" / "sound.wav").string());
    PhoneUser user1(desktop, phone1, 0), user2(desktop, phone2, 0);
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone1, user1, "8001"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone2, user2, "8002"));
    EXPECT_NE(service.Log().WaitForText("(8002 logged in)", 20000), "");
    QImage idleBell = Indicator(desktop, user2);

    ASSERT_TRUE(user1.ClickLayoutBox(kNumberBox));
    desktop.Type("8002");
    desktop.Key({"Return"});
    EXPECT_NE(service.Log().WaitForText("8001 calls 8002 at 127.0.0.1:" + std::to_string(port2),
                                        20000),
              "");
    bool rang = false;
    EXPECT_TRUE(Eventually([&] {
        rang = rang || Indicator(desktop, user2) != idleBell;
        return LinesHolding(service, "disengageRequest") >= 1;
    })) << "the caller left the call";
    EXPECT_FALSE(rang) << "the phone without sound rang";
    shots.Take("sound-failed");

    ASSERT_TRUE(user1.ClickSkin(kExit));
    ASSERT_TRUE(user2.ClickSkin(kExit));
    EXPECT_EQ(phone1.WaitForExit(30000), 0) << phone1.OutputText();
    EXPECT_EQ(phone2.WaitForExit(30000), 0) << phone2.OutputText();
    EXPECT_EQ(phone1.Alarms(), std::vector<std::string>{});
    EXPECT_EQ(phone2.Alarms(), std::vector<std::string>{});
    std::unique_ptr<CSettings> settings1 = phone1.Settings(), settings2 = phone2.Settings();
    ASSERT_EQ(settings1->m_DialedCalls.m_nCount, 1);
    EXPECT_EQ(settings1->m_DialedCalls.m_strNumber[0], "8002");
    ASSERT_EQ(settings2->m_MissedCalls.m_nCount, 1) << "the call it could not take";
    EXPECT_EQ(settings2->m_MissedCalls.m_strNumber[0], "8001");
}

// Exit while a tone plays stops the tone and ends the program at once: the callee's ring, the
// caller's ring-back, and a keypad tone just played while idle. The ring and the ring-back
// last far longer than the bound here, so a program that waited for them would be seen to;
// a phone started again at once after its Exit finds no other instance still running.
TEST_P(TwoPhones, ExitWhileAToneIsPlayingEndsTheProgramAtOnce)
{
    // Frequencies (Hz) of the ring and the ring-back written here, and the low one of key 5.
    constexpr double kToneSeconds = 60, kRing = 440, kRingBack = 660, kKeyFive = 770;
    constexpr int kExitBoundMs = 6000;
    LoopbackService service;
    ASSERT_FALSE(service.Address().empty());
    Desktop desktop(GetParam());
    ASSERT_TRUE(desktop.Ready());
    StepShots shots(desktop);
    InstalledPhone phone1(ArtefactDir() / "phone1"), phone2(ArtefactDir() / "phone2");
    int port2 = FreeLocalPort();
    for (auto [phone, port, x] : {std::tuple{&phone1, FreeLocalPort(), 20}, {&phone2, port2, 620}}) {
        phone->UseService(service.Address());
        phone->SetLocalPort(port);
        phone->SetWindowPosition(x, 20);
        // The tones in place of the program's own, and every player kept in a file.
        ASSERT_NO_FATAL_FAILURE(WriteTone((phone->Dir() / "ringin.wav").string(), kRing,
                                          kToneSeconds));
        ASSERT_NO_FATAL_FAILURE(WriteTone((phone->Dir() / "RingOut.wav").string(), kRingBack,
                                          kToneSeconds));
        std::filesystem::create_directories(phone->Dir() / "played");
        phone->SetPlayerDevice("file:" + (phone->Dir() / "played").string());
    }
    const std::filesystem::path played1 = phone1.Dir() / "played";
    const std::filesystem::path played2 = phone2.Dir() / "played";
    PhoneUser user1(desktop, phone1, 0), user2(desktop, phone2, 0);
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone1, user1, "8001"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(desktop, phone2, user2, "8002"));
    EXPECT_NE(service.Log().WaitForText("(8002 logged in)", 20000), "");
    const std::string admitted = "8001 calls 8002 at 127.0.0.1:" + std::to_string(port2);

    SCOPED_TRACE("exit on the callee while its ring plays");
    ASSERT_TRUE(user1.ClickLayoutBox(kNumberBox));
    desktop.Type("8002");
    desktop.Key({"Return"});
    EXPECT_NE(service.Log().WaitForText(admitted, 20000), "");
    ASSERT_TRUE(Eventually([&] { return PlayersWithTone(played2, kRing) > 0; }))
        << "8002 rings";
    shots.Take("ringing");
    int ringing = ExitMs(desktop, phone2, user2);
    EXPECT_GE(ringing, 0);
    EXPECT_LT(ringing, kExitBoundMs) << "the program waited for its ring";
    RecordProperty("exit_while_ringing_ms", ringing);

    SCOPED_TRACE("start 8002 again at once; exit on the caller while its ring-back plays");
    ASSERT_TRUE(phone2.Start(desktop));
    ASSERT_NE(user2.LogIn("8002", "demo"), 0u) << "no second start\n" << phone2.OutputText();
    EXPECT_TRUE(Eventually([&] { return LinesHolding(service, "(8002 logged in)") >= 2; }));
    size_t ringBacks = PlayersWithTone(played1, kRingBack);
    ASSERT_TRUE(user1.ClickLayoutBox(kNumberBox));
    desktop.Type("8002");
    desktop.Key({"Return"});
    ASSERT_TRUE(Eventually([&] { return PlayersWithTone(played1, kRingBack) > ringBacks; }))
        << "8001 hears the ring-back";
    shots.Take("ring-back");
    size_t disengaged = LinesHolding(service, "disengageRequest");
    int ringingBack = ExitMs(desktop, phone1, user1);
    EXPECT_GE(ringingBack, 0);
    EXPECT_LT(ringingBack, kExitBoundMs) << "the program waited for its ring-back";
    RecordProperty("exit_during_ring_back_ms", ringingBack);

    SCOPED_TRACE("exit on a phone that is idle after a keypad tone");
    ASSERT_TRUE(Eventually(
        [&] { return LinesHolding(service, "disengageRequest") >= disengaged + 2; }))
        << "8002's offered call ends with the caller gone";
    ASSERT_TRUE(user2.ClickSkin(KeypadButton('5')));
    ASSERT_TRUE(Eventually([&] { return PlayersWithTone(played2, kKeyFive) > 0; }))
        << "the keypad tone is played";
    int afterKeyTone = ExitMs(desktop, phone2, user2);
    EXPECT_GE(afterKeyTone, 0);
    EXPECT_LT(afterKeyTone, kExitBoundMs);
    RecordProperty("exit_after_keypad_tone_ms", afterKeyTone);
    shots.Take("exited");
    EXPECT_EQ(phone1.Alarms(), std::vector<std::string>{});
    EXPECT_EQ(phone2.Alarms(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Desktops, TwoPhones,
                         ::testing::Values(Desktop::WindowManager::None,
                                           Desktop::WindowManager::Openbox),
                         [](const auto &info) { return std::string(Name(info.param)); });

} // namespace
} // namespace e2e
