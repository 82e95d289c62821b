// The audio set-up wizard: pages and their buttons, what Finish and Cancel leave in the
// settings and tell the main window, the playback volume through the mixer, the test sound's
// busy-tone thread, and the microphone level from the meter.
#include <ui/voice_sheet.h>

#include <core/settings.h>
#include <core/sound_mixer.h>
#include <core/window_messages.h>
#include <ui/dialog_threads.h>

#include <pwlib/sound/psoundchannel.h>
#include <win/application.h>
#include <win/cwinapp.h>
#include <win/mmsystem_testing.h>
#include <win/module_testing.h>
#include <win/msgbox.h>

#include <tests/pwlib/wav_fixture.h>
#include <tests/support/temp_dir.h>

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <unistd.h>

namespace
{

using namespace std::chrono_literals;

constexpr auto kStepGap = 10ms;

/// A mixer whose one playback volume (control 11) the test reads and sets.
class OneVolumeMixer : public win::mm::MixerBackend
{
  public:
    explicit OneVolumeMixer(std::shared_ptr<DWORD> volume) : volume_(std::move(volume)) {}
    bool Describe(const std::string &mixer, win::mm::MixerDesc &out) override
    {
        if (mixer != "default")
            return false;
        win::mm::MixerDestinationDesc speakers;
        speakers.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        speakers.channels = 1;
        win::mm::MixerLineDesc wave;
        wave.componentType = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
        wave.controls.push_back({11, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Wave"});
        speakers.sources.push_back(wave);
        out.name = "Stand-in";
        out.destinations = {speakers};
        return true;
    }
    bool Get(const std::string &, DWORD, std::vector<DWORD> &values) override
    {
        std::fill(values.begin(), values.end(), *volume_);
        return true;
    }
    bool Set(const std::string &, DWORD, const std::vector<DWORD> &values) override
    {
        *volume_ = values.front();
        return true;
    }
    std::shared_ptr<void> Watch(const std::string &, std::function<void(DWORD)>) override
    {
        return std::make_shared<int>(0);
    }

  private:
    std::shared_ptr<DWORD> volume_;
};

/// The main window: keeps the audio-device notices it gets.
class MainWindow : public CWnd
{
  public:
    MainWindow() { CreateHandle(); }
    std::vector<std::pair<WPARAM, LPARAM>> notices;

  protected:
    LRESULT OnAudioDeviceChanged(WPARAM w, LPARAM l)
    {
        notices.emplace_back(w, l);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainWindow, CWnd)
ON_MESSAGE(WM_AUDIO_DEVICE_CHANGED, OnAudioDeviceChanged)
END_MESSAGE_MAP()

CWinApp g_app;

std::string ExecutableDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

class VoiceWizard : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        win::EnsureApplication();
    }
    VoiceWizard()
    {
        std::filesystem::copy_file(ExecutableDir() + "/Busy.wav", tmp.file("Busy.wav"));
        win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str());
        settings = std::make_unique<CSettings>();
        settings->m_strPlayDevice = "Null";
        settings->m_strRecordDevice = "Null";
        win::testing::SetMixerBackend(std::make_unique<OneVolumeMixer>(volume));
        g_app.m_pMainWnd = &main;
        g_bBusyStop = 0;
        win::testing::SetMessageBoxHandler([this](const win::testing::MessageBoxCall &c) {
            boxes.push_back(c.text);
            return IDOK;
        });
        sheet.SetWizardMode();
        sheet.m_pSettings = settings.get();
        sheet.m_pToneChannel = &tone;
    }
    ~VoiceWizard() override
    {
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        win::testing::SetMessageBoxHandler(nullptr);
        g_app.m_pMainWnd = nullptr;
        MixerClose();
        win::testing::SetMixerBackend(nullptr);
        win::testing::SetWaveInDevices(nullptr);
        settings.reset();
        win::testing::OverrideExecutablePath(nullptr);
    }

    /// Runs the wizard modally; each step runs inside its loop from a timer (not a posted
    /// event, so that the messages the step before posted are handled first).
    INT_PTR Run(std::vector<std::function<void()>> steps)
    {
        size_t next = 0;
        QTimer timer;
        timer.setInterval(kStepGap);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QCoreApplication::processEvents();
            if (next < steps.size())
                steps[next++]();
        });
        timer.start();
        INT_PTR result = sheet.DoModal();
        timer.stop();
        QCoreApplication::processEvents();
        EXPECT_EQ(next, steps.size()) << "the wizard ended before its last step";
        return result;
    }
    /// The sheet as shown now, as a PNG in the build tree.
    void Screenshot(int page)
    {
        QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
        QString file = QString(KESTRELIN_SCREENSHOT_DIR "/voice-wizard-%1.png").arg(page);
        EXPECT_TRUE(sheet.GetWidget()->grab().save(file)) << file.toStdString();
    }
    void Press(int id) { sheet.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool Enabled(int id) { return sheet.GetButton(id)->IsWindowEnabled(); }
    bool Shown(int id) { return sheet.GetButton(id)->IsWindowVisible(); }
    CString Caption(CWnd &w)
    {
        CString s;
        w.GetWindowText(s);
        return s;
    }
    /// Waits, serving the interface, until done() (at most 5 s).
    static bool Within(const std::function<bool()> &done)
    {
        for (int i = 0; i < 500 && !done(); ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(10ms);
        }
        return done();
    }

    kestrelin::testing::TempDir tmp;
    std::vector<std::string> boxes;
    std::unique_ptr<CSettings> settings;
    std::shared_ptr<DWORD> volume = std::make_shared<DWORD>(654);
    MainWindow main;
    PSoundChannel tone;
    CVoiceSheet sheet{"Voice Setting", nullptr, 0};
};

int IndexOf(PSoundChannel::Directions dir, const char *name)
{
    PStringArray names = PSoundChannel::GetDeviceNames(dir);
    for (PINDEX i = 0; i < names.GetSize(); ++i)
        if (names[i] == name)
            return int(i);
    return -1;
}

TEST_F(VoiceWizard, FinishStoresTheChosenDevicesAndTellsTheMainWindow)
{
    const int nullPlayer = IndexOf(PSoundChannel::Player, "Null");
    ASSERT_GT(nullPlayer, 0);
    INT_PTR result = Run({
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 0);
            EXPECT_EQ(sheet.m_page1.m_comboPlayback.GetCurSel(), nullPlayer);
            EXPECT_EQ(sheet.m_page1.m_comboRecord.GetCurSel(),
                      IndexOf(PSoundChannel::Recorder, "Null"));
            EXPECT_TRUE(Enabled(ID_WIZNEXT));
            EXPECT_FALSE(Enabled(ID_WIZBACK));
            Screenshot(1);
            sheet.m_page1.m_comboPlayback.SetCurSel(0); // "Default"
            Press(ID_WIZNEXT);
        },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 1);
            EXPECT_EQ(sheet.m_strPlaybackDevice, "Default");
            EXPECT_EQ(sheet.m_strRecordDevice, "Null");
            EXPECT_TRUE(Enabled(ID_WIZBACK));
            EXPECT_TRUE(Enabled(ID_WIZNEXT));
            EXPECT_EQ(sheet.m_page2.m_slider.GetPos(), 0) << "654 / 655";
            // The slider at 100, released: the volume becomes 65500.
            sheet.m_page2.m_slider.SetPos(100);
            NMHDR h{sheet.m_page2.m_slider.GetSafeHwnd(), 1051, 0U - 16U};
            sheet.m_page2.SendMessage(WM_NOTIFY, 1051, reinterpret_cast<LPARAM>(&h));
            EXPECT_EQ(*volume, 65500u);
            Screenshot(2);
            Press(ID_WIZNEXT);
        },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 2);
            EXPECT_TRUE(Enabled(ID_WIZBACK));
            Screenshot(3);
            Press(ID_WIZBACK);
        },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 1);
            EXPECT_EQ(sheet.m_page2.m_slider.GetPos(), 100) << "read back from the mixer";
            Press(ID_WIZNEXT);
        },
        [&] { Press(ID_WIZNEXT); },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 3);
            EXPECT_TRUE(Shown(ID_WIZFINISH));
            EXPECT_TRUE(Enabled(ID_WIZFINISH));
            EXPECT_FALSE(Shown(ID_WIZNEXT));
            EXPECT_TRUE(Enabled(ID_WIZBACK));
            EXPECT_EQ(settings->m_strPlayDevice, "Null") << "nothing stored before Finish";
            EXPECT_TRUE(main.notices.empty());
            Screenshot(4);
            Press(ID_WIZFINISH);
        },
    });
    EXPECT_EQ(result, ID_WIZFINISH);
    EXPECT_EQ(settings->m_strPlayDevice, "Default");
    EXPECT_EQ(settings->m_strRecordDevice, "Null");
    EXPECT_EQ(main.notices, (std::vector<std::pair<WPARAM, LPARAM>>{{1, 1}}));
}

TEST_F(VoiceWizard, CancelStoresNothingAndHasTheMainWindowReopenItsMixer)
{
    settings->m_strPlayDevice = "no such device";
    INT_PTR result = Run({
        [&] {
            EXPECT_EQ(sheet.m_page1.m_comboPlayback.GetCurSel(), 0) << "a missing name: the first";
            sheet.m_page1.m_comboRecord.SetCurSel(0);
            Press(ID_WIZNEXT);
        },
        [&] { Press(ID_WIZNEXT); },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 2);
            Press(IDCANCEL);
        },
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(settings->m_strPlayDevice, "no such device");
    EXPECT_EQ(settings->m_strRecordDevice, "Null");
    EXPECT_EQ(main.notices, (std::vector<std::pair<WPARAM, LPARAM>>{{1, 1}}));
}

TEST_F(VoiceWizard, TheTestButtonStartsAndStopsTheBusyTone)
{
    CButton &test = sheet.m_page2.m_btnTest;
    auto PressTest = [&] {
        sheet.m_page2.SendMessage(WM_COMMAND, MAKEWPARAM(1050, BN_CLICKED), 0);
    };
    Run({
        [&] { Press(ID_WIZNEXT); },
        [&] {
            EXPECT_EQ(Caption(test), "Test");
            PressTest();
            EXPECT_EQ(Caption(test), "Stop");
            EXPECT_EQ(sheet.m_page2.m_bPlaying, 1);
            EXPECT_EQ(g_bBusyStop, 0);
            EXPECT_TRUE(tone.IsOpen()) << "opened on the chosen device";
            EXPECT_TRUE(Within([&] { return !tone.HasPlayCompleted(); })) << "the tone plays";
            // Pressed again: the tone stops after the playing in progress, the channel closes.
            PressTest();
            EXPECT_EQ(Caption(test), "Test");
            EXPECT_EQ(sheet.m_page2.m_bPlaying, 0);
            EXPECT_EQ(g_bBusyStop, 1);
            EXPECT_TRUE(Within([&] { return !tone.IsOpen(); }));
            // Started once more, then left with Next: the tone stops as well.
            PressTest();
            EXPECT_TRUE(tone.IsOpen());
            Press(ID_WIZNEXT);
            EXPECT_EQ(Caption(test), "Test");
            EXPECT_EQ(g_bBusyStop, 1);
            EXPECT_TRUE(Within([&] { return !tone.IsOpen(); }));
            Press(IDCANCEL);
        },
    });
}

// A playback device that cannot be opened: Test says so in a box and stays a Test button, with
// nothing started; on a device that opens it plays.
TEST_F(VoiceWizard, TheTestButtonSaysWhenThePlaybackDeviceCannotOpen)
{
    // Every ALSA player of this machine fails to open; the Null device still opens.
    std::string missing = "file:" + tmp.file("no-such-dir/sound.wav");
    ASSERT_EQ(setenv("KESTRELIN_SOUND_PLAYER", missing.c_str(), 1), 0);
    CButton &test = sheet.m_page2.m_btnTest;
    auto PressTest = [&] {
        sheet.m_page2.SendMessage(WM_COMMAND, MAKEWPARAM(1050, BN_CLICKED), 0);
    };
    Run({
        [&] {
            sheet.m_page1.m_comboPlayback.SetCurSel(0); // "Default"
            Press(ID_WIZNEXT);
        },
        [&] {
            PressTest();
            EXPECT_EQ(boxes, std::vector<std::string>{"Cannot Open Sound Output Device!"});
            boxes.clear();
            EXPECT_EQ(Caption(test), "Test");
            EXPECT_EQ(sheet.m_page2.m_bPlaying, 0);
            EXPECT_FALSE(tone.IsOpen());
            Press(ID_WIZBACK);
        },
        [&] {
            sheet.m_page1.m_comboPlayback.SetCurSel(IndexOf(PSoundChannel::Player, "Null"));
            Press(ID_WIZNEXT);
        },
        [&] {
            PressTest();
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(Caption(test), "Stop");
            EXPECT_TRUE(Within([&] { return !tone.HasPlayCompleted(); })) << "the tone plays";
            Press(IDCANCEL);
        },
    });
    unsetenv("KESTRELIN_SOUND_PLAYER");
}

TEST(MicrophoneLevel, SpanOfTheExtremesOfTheFirst400Samples)
{
    struct Case {
        const char *what;
        std::function<short(int)> sample;
        int level;
    } cases[] = {
        {"silence", [](int) { return short(0); }, 0},
        {"full scale", [](int i) { return short(i % 2 ? 32767 : -32768); }, 109},
        {"positive only", [](int i) { return short(i == 7 ? 30000 : 0); }, 50},
        {"below a tenth of the stored extreme",
         [](int i) { return short(i == 0   ? 6000
                                  : i == 1 ? 9000
                                           : 0); }, 10},
        {"sample 400 is not read", [](int i) { return short(i >= 400 ? 32767 : 0); }, 0},
    };
    for (const Case &c : cases) {
        std::vector<short> block(2048);
        for (int i = 0; i < 2048; ++i)
            block[size_t(i)] = c.sample(i);
        EXPECT_EQ(MicrophoneLevel(block.data()), c.level) << c.what;
    }
}

TEST_F(VoiceWizard, TheLevelBarFollowsTheMicrophoneOnlyOnItsPage)
{
    // The recorder loops a full-scale square wave.
    kestrelin::testing::Wave loud;
    loud.rate = 11025;
    for (int i = 0; i < 11025; ++i)
        loud.samples.push_back(i % 2 ? 32767 : -32768);
    std::string path = tmp.file("loud.wav");
    kestrelin::testing::WriteWave(path, loud);
    std::vector<std::string> devices{"file:" + path};
    win::testing::SetWaveInDevices(&devices);

    CProgressCtrl &bar = sheet.m_page3.m_progress;
    Run({
        [&] {
            sheet.m_page1.m_comboRecord.SetCurSel(0);
            Press(ID_WIZNEXT);
        },
        [&] { Press(ID_WIZNEXT); },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 2);
            EXPECT_TRUE(Within([&] { return bar.GetPos() == 100; })) << "109, a full bar";
            Press(ID_WIZNEXT);
            bar.SetPos(0);
        },
        [&] {
            EXPECT_EQ(sheet.GetActiveIndex(), 3);
            std::this_thread::sleep_for(300ms);
            QCoreApplication::processEvents();
            EXPECT_EQ(bar.GetPos(), 0) << "the meter stopped with the page";
            Press(IDCANCEL);
        },
    });
}

} // namespace
