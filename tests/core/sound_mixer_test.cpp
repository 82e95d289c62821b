// Mixer control search and volumes on stand-in mixer descriptions, mixer ids by playback
// device; the microphone meter on the sound channel's null recorder.
#include <core/sound_mixer.h>
#include <core/wave_in_meter.h>

#include <win/cwnd.h>
#include <win/mmsystem_testing.h>
#include <win/msgbox.h>

#include <pwlib/sound/psoundchannel.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

namespace {

using win::mm::MixerControlDesc;
using win::mm::MixerDesc;
using win::mm::MixerDestinationDesc;
using win::mm::MixerLineDesc;

constexpr DWORD kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;

struct FakeState {
    std::map<DWORD, std::vector<DWORD>> values;
    std::function<void(DWORD)> onChange;
    std::vector<std::string> described; // the mixers asked for
};

class FakeMixer : public win::mm::MixerBackend
{
  public:
    FakeMixer(MixerDesc desc, std::shared_ptr<FakeState> state)
        : desc_(std::move(desc)), state_(std::move(state))
    {
    }
    // Only ALSA's default mixer is there.
    bool Describe(const std::string &mixer, MixerDesc &out) override
    {
        state_->described.push_back(mixer);
        if (mixer != "default")
            return false;
        out = desc_;
        return true;
    }
    bool Get(const std::string &, DWORD control, std::vector<DWORD> &values) override
    {
        auto &v = state_->values[control];
        v.resize(std::max(v.size(), values.size()));
        std::copy(v.begin(), v.begin() + long(values.size()), values.begin());
        return true;
    }
    bool Set(const std::string &, DWORD control, const std::vector<DWORD> &values) override
    {
        state_->values[control] = values;
        return true;
    }
    std::shared_ptr<void> Watch(const std::string &, std::function<void(DWORD)> onChange) override
    {
        state_->onChange = std::move(onChange);
        return std::make_shared<int>(0);
    }

  private:
    MixerDesc desc_;
    std::shared_ptr<FakeState> state_;
};

MixerLineDesc Line(DWORD type, DWORD channels, std::vector<MixerControlDesc> controls)
{
    MixerLineDesc l;
    l.componentType = type;
    l.channels = channels;
    l.controls = std::move(controls);
    return l;
}

MixerDestinationDesc Destination(DWORD type, DWORD channels, std::vector<MixerControlDesc> own,
                                 std::vector<MixerLineDesc> sources)
{
    MixerDestinationDesc d;
    static_cast<MixerLineDesc &>(d) = Line(type, channels, std::move(own));
    d.sources = std::move(sources);
    return d;
}

// Speakers (stereo, volume 10) with a wave-out source, then wave-in (mono, volume 20) with
// a microphone that has its own volume 21 of 3 items.
MixerDesc Card(bool waveOutHasVolume)
{
    MixerDesc m;
    m.name = "Stand-in card";
    std::vector<MixerControlDesc> wave;
    if (waveOutHasVolume)
        wave.push_back({11, kVolume, 0, "Wave"});
    m.destinations.push_back(Destination(
        MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 2, {{9, 0x20010002, 0, "Mute"}, {10, kVolume, 0, "Master"}},
        {Line(0x1004, 2, {{12, kVolume, 0, "CD"}}),
         Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, std::move(wave))}));
    m.destinations.push_back(Destination(
        MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 1, {{20, kVolume, 0, "Capture"}},
        {Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 1, {{21, kVolume, 3, "Mic"}})}));
    return m;
}

class SoundMixer : public ::testing::Test
{
  protected:
    void Use(MixerDesc desc)
    {
        state_ = std::make_shared<FakeState>();
        win::testing::SetMixerBackend(std::make_unique<FakeMixer>(std::move(desc), state_));
    }
    void TearDown() override
    {
        MixerClose();
        win::testing::SetMixerBackend(nullptr);
    }
    std::shared_ptr<FakeState> state_;
};

TEST_F(SoundMixer, FindsTheWaveOutAndMicrophoneVolumes)
{
    Use(Card(true));
    ASSERT_NE(MixerOpen(nullptr, 0), nullptr);
    EXPECT_TRUE(MixerFindControls());
    const MixerState &s = GetMixerState();
    EXPECT_EQ(s.name, "Stand-in card");
    EXPECT_EQ(s.destinations, 2u);
    EXPECT_EQ(s.waveOutVolumeControl, 11u);
    EXPECT_EQ(s.micVolumeControl, 21u);
    EXPECT_EQ(s.micItems, 3u);
    EXPECT_EQ(s.destinationChannels, 1u) << "the last destination examined";
}

TEST_F(SoundMixer, AWaveOutSourceWithoutControlsUsesTheSpeakersVolume)
{
    Use(Card(false));
    ASSERT_NE(MixerOpen(nullptr, 0), nullptr);
    EXPECT_TRUE(MixerFindControls()) << "the CD and microphone sources have volumes";
    EXPECT_EQ(GetMixerState().waveOutVolumeControl, 10u);
}

TEST_F(SoundMixer, SetsEveryChannelOfThePlaybackVolume)
{
    Use(Card(true));
    MixerOpen(nullptr, 0);
    MixerFindControls();
    ASSERT_TRUE(MixerSetWaveOutVolume(40000));
    EXPECT_EQ(state_->values[11], (std::vector<DWORD>{40000, 40000}));
    state_->values[11] = {1234, 999};
    DWORD v = 0;
    ASSERT_TRUE(MixerGetWaveOutVolume(&v));
    EXPECT_EQ(v, 1234u) << "the first channel is reported";
    ASSERT_TRUE(MixerSetMicVolume(65535));
    EXPECT_EQ(state_->values[21], (std::vector<DWORD>{65535}));
    ASSERT_TRUE(MixerGetMicVolume(&v));
    EXPECT_EQ(v, 65535u);
}

TEST_F(SoundMixer, ReopeningKeepsTheHandleAndClearsTheControlsUntilTheNextSearch)
{
    Use(Card(true));
    HMIXER h = MixerOpen(nullptr, 0);
    MixerFindControls();
    EXPECT_EQ(MixerOpen(nullptr, 0), h);
    EXPECT_EQ(GetMixerState().waveOutVolumeControl, 0u);
    DWORD v = 7;
    EXPECT_FALSE(MixerGetWaveOutVolume(&v));
    EXPECT_EQ(v, 0u) << "a failed get leaves 0";
    MixerFindControls();
    EXPECT_TRUE(MixerGetWaveOutVolume(&v));
}

TEST_F(SoundMixer, ClosedOrMissingMixersFailQuietly)
{
    Use(Card(true));
    DWORD v = 5;
    EXPECT_FALSE(MixerFindControls());
    EXPECT_FALSE(MixerGetMicVolume(&v));
    EXPECT_FALSE(MixerSetWaveOutVolume(1));
    EXPECT_EQ(MixerOpen(nullptr, 0xFFFFFFFFu), nullptr);
    UINT beyond = UINT(PSoundChannel::GetDeviceNames(PSoundChannel::Player).GetSize());
    EXPECT_EQ(MixerOpen(nullptr, beyond), nullptr);
}

// The callers pass the index of the playback device as the mixer id.
TEST_F(SoundMixer, TheMixerIdIsTheIndexOfThePlaybackDevice)
{
    Use(Card(true));
    PStringArray devices = PSoundChannel::GetDeviceNames(PSoundChannel::Player);
    ASSERT_GE(devices.GetSize(), 2);
    for (PINDEX id = 0; id < devices.GetSize(); ++id) {
        state_->described.clear();
        HMIXER h = MixerOpen(nullptr, UINT(id));
        std::string mixer = win::mm::MixerOfDevice(devices[id].GetText());
        if (devices[id] == "Null") {
            EXPECT_EQ(h, nullptr) << "the null device has no mixer";
            EXPECT_TRUE(state_->described.empty());
        } else {
            ASSERT_FALSE(state_->described.empty()) << devices[id];
            EXPECT_EQ(state_->described.front(), mixer) << devices[id];
            EXPECT_EQ(h != nullptr, mixer == "default") << devices[id];
        }
        MixerClose();
    }
    EXPECT_EQ(mixerGetNumDevs(), UINT(devices.GetSize() - 1)) << "every device but Null";
    MIXERCAPSA caps{};
    EXPECT_EQ(mixerGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Stand-in card");
    EXPECT_EQ(mixerGetDevCapsA(UINT(devices.GetSize() - 1), &caps, sizeof caps),
              MMSYSERR_BADDEVICEID);
}

TEST(SoundMixerDevices, EachPlaybackDeviceNameHasItsCardsMixer)
{
    struct Case {
        const char *device;
        const char *mixer;
    } cases[] = {
        {"Default", "default"},
        {"HDA Intel PCH: ALC892 Analog (hw:0,0)", "hw:0"},
        {"HDA Intel PCH: ALC892 Digital (hw:0,1)", "hw:0"},
        {"USB Audio Device (hw:12,3)", "hw:12"},
        {"Null", ""},
        {"file:/tmp/out.wav", ""},
        {"pulse", ""},
        {"Broken (hw:x,0)", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(win::mm::MixerOfDevice(c.device), c.mixer) << c.device;
}

TEST_F(SoundMixer, ALineWithMoreThan151ControlsIsReadBounded)
{
    MixerDesc m = Card(false);
    auto &mic = m.destinations[1].sources[0].controls;
    mic.clear();
    for (DWORD i = 0; i < 200; ++i)
        mic.push_back({1000 + i, i == 150 ? kVolume : 0x20010002, 0, "x"});
    mic.push_back({5000, kVolume, 0, "beyond"});
    Use(m);
    MixerOpen(nullptr, 0);
    MixerFindControls();
    EXPECT_EQ(GetMixerState().micVolumeControl, 1150u);
}

class MixerWindow : public CWnd
{
  public:
    MixerWindow() { CreateHandle(); }
    afx_msg LRESULT OnMixerChange(WPARAM wParam, LPARAM lParam)
    {
        notices.emplace_back(wParam, lParam);
        return 0;
    }
    std::vector<std::pair<WPARAM, LPARAM>> notices;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MixerWindow, CWnd)
    ON_MESSAGE(MM_MIXM_CONTROL_CHANGE, OnMixerChange)
END_MESSAGE_MAP()

TEST_F(SoundMixer, ControlChangesArePostedToTheWindowWhileItExists)
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "core_sound_mixer_test";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    Use(Card(true));
    auto window = std::make_unique<MixerWindow>();
    HMIXER h = MixerOpen(window->GetSafeHwnd(), 0);
    ASSERT_TRUE(state_->onChange);
    // The back-end reports changes on a thread of its own.
    std::thread([this] { state_->onChange(11); }).join();
    for (int i = 0; i < 100 && window->notices.empty(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(window->notices.size(), 1u);
    EXPECT_EQ(window->notices[0], std::make_pair(reinterpret_cast<WPARAM>(h), LPARAM(11)));
    // A notice for a window that is gone is dropped.
    window.reset();
    state_->onChange(11);
    QCoreApplication::processEvents();
}

class MeterWithBlocks : public CWaveInMeter
{
  public:
    void OnBuffer(short *) override { ++blocks; }
    std::atomic<int> blocks{0};
};

class WaveInMeter : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        win::testing::SetMessageBoxHandler([this](const win::testing::MessageBoxCall &c) {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(c.text);
            return IDOK;
        });
    }
    void TearDown() override
    {
        win::testing::SetWaveInDevices(nullptr);
        win::testing::SetMessageBoxHandler(nullptr);
    }
    std::vector<std::string> Boxes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    std::mutex mutex_;
    std::vector<std::string> boxes_;
};

TEST_F(WaveInMeter, NoDeviceShowsNoSoundDeviceAndStartsNothing)
{
    std::vector<std::string> none;
    win::testing::SetWaveInDevices(&none);
    MeterWithBlocks meter;
    EXPECT_EQ(meter.Start(0), 0u);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"No Sound Device"}));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(meter.Stop(), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    EXPECT_EQ(meter.blocks, 0);
}

/// The device id of the null recorder among the recording devices.
UINT NullRecorder()
{
    PStringArray devices = PSoundChannel::GetDeviceNames(PSoundChannel::Recorder);
    return UINT(devices.GetStringsIndex("Null"));
}

TEST_F(WaveInMeter, DeviceIdsAreTheRecordingDevicesOfTheSoundChannel)
{
    PStringArray devices = PSoundChannel::GetDeviceNames(PSoundChannel::Recorder);
    ASSERT_EQ(waveInGetNumDevs(), UINT(devices.GetSize()));
    for (PINDEX id = 0; id < devices.GetSize(); ++id) {
        WAVEINCAPSA caps{};
        ASSERT_EQ(waveInGetDevCapsA(UINT(id), &caps, sizeof caps), MMSYSERR_NOERROR);
        EXPECT_EQ(std::string(caps.szPname), devices[id].Left(MAXPNAMELEN - 1).GetText());
    }
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(UINT(devices.GetSize()), &caps, sizeof caps), MMSYSERR_BADDEVICEID);
}

TEST_F(WaveInMeter, RecordsBlocksUntilStopped)
{
    MeterWithBlocks meter;
    ASSERT_EQ(meter.Start(NullRecorder()), 0u);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (meter.blocks < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(meter.blocks, 2);
    EXPECT_EQ(meter.Stop(), 0u);
    int after = meter.blocks;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(meter.blocks, after) << "no block after Stop";
    short samples[400];
    meter.ReadSamples(samples, 400);
    EXPECT_EQ(samples[0], 0) << "the null device records silence";
    EXPECT_TRUE(Boxes().empty());
    // A second run on the same meter works as the first.
    ASSERT_EQ(meter.Start(NullRecorder()), 0u);
    EXPECT_EQ(meter.Stop(), 0u);
}

TEST_F(WaveInMeter, AnUnopenableDeviceIsReported)
{
    std::vector<std::string> devices = {"file:/nonexistent/kestrelin-no-such.wav"};
    win::testing::SetWaveInDevices(&devices);
    MeterWithBlocks meter;
    EXPECT_NE(meter.Start(0), 0u);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Cannot Open Sound Input Device!"}));
    meter.Stop();
}

} // namespace
