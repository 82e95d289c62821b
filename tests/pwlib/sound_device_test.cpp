// PSoundChannel devices: names, opening, pacing, the file recorder and player, abort.
#include "../support/temp_dir.h"
#include "wav_fixture.h"

#include <pwlib/sound/psoundchannel.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

namespace
{

using kestrelin::testing::ReadWave;
using kestrelin::testing::TempDir;
using kestrelin::testing::Wave;
using kestrelin::testing::WriteWave;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/// Sets an environment variable for the life of the scope.
class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        const char *old = std::getenv(name);
        if (old != nullptr)
            old_ = old, hadOld_ = true;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char *name_;
    std::string old_;
    bool hadOld_ = false;
};

TEST(SoundDeviceNames, AreStableStartWithDefaultAndEndWithNull)
{
    for (auto dir : {PSoundChannel::Player, PSoundChannel::Recorder}) {
        PStringArray names = PSoundChannel::GetDeviceNames(dir);
        ASSERT_GE(names.GetSize(), 2);
        EXPECT_EQ(names[0], "Default");
        EXPECT_EQ(names[names.GetSize() - 1], "Null");
        EXPECT_EQ(PSoundChannel::GetDefaultDevice(dir), "Default");
        EXPECT_EQ(PSoundChannel::GetDeviceNames(dir), names);
        for (PINDEX i = 1; i + 1 < names.GetSize(); ++i)
            EXPECT_NE(names[i].Find(" (hw:"), P_MAX_INDEX) << names[i];
    }
}

TEST(SoundDeviceNames, EveryListedNameOpensOrFailsCleanly)
{
    for (auto dir : {PSoundChannel::Player, PSoundChannel::Recorder}) {
        for (const PString &name : PSoundChannel::GetDeviceNames(dir)) {
            PSoundChannel channel;
            BOOL opened = channel.Open(name, dir);
            EXPECT_EQ(channel.IsOpen(), opened) << name;
            if (opened) {
                EXPECT_EQ(channel.GetName(), name);
            } else {
                EXPECT_NE(channel.GetErrorCode(), PChannel::NoError) << name;
            }
            if (name == "Null") {
                EXPECT_TRUE(opened);
            }
        }
    }
}

TEST(SoundDeviceNames, MapToTheAlsaPcmsTheyOpen)
{
    // The environment override is no part of the mapping.
    ScopedEnv env("KESTRELIN_SOUND", "null");
    struct Case {
        const char *name;
        const char *pcm;
    } cases[] = {
        {"Default", "default"},
        {"HDA Intel PCH: ALC892 Analog (hw:0,0)", "plughw:0,0"},
        {"USB Audio Device (hw:12,3)", "plughw:12,3"},
        {"Odd (hw:1)", "Odd (hw:1)"}, // no device number: taken as an ALSA name
        {"pulse", "pulse"},
        {"Null", ""},
        {"null", ""},
        {"file:/tmp/x.wav", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(pwlib::sound::AlsaPcmName(c.name), c.pcm) << c.name;
}
TEST(SoundDeviceOpen, AbsentAlsaDevicesAndBadFormatsFailCleanly)
{
    struct Case {
        const char *name;
        unsigned channels, rate, bits;
    } cases[] = {
        {"hw:97,0", 1, 8000, 16},
        {"Absent Card: Absent PCM (hw:97,0)", 1, 8000, 16},
        {"no-such-alsa-device", 1, 8000, 16},
        {"Null", 0, 8000, 16},
        {"Null", 1, 8000, 24},
        {"Null", 1, 10, 16},
        {"file:", 1, 8000, 16},
    };
    for (const Case &c : cases) {
        PSoundChannel channel;
        EXPECT_FALSE(channel.Open(c.name, PSoundChannel::Player, c.channels, c.rate, c.bits))
            << c.name;
        EXPECT_FALSE(channel.IsOpen()) << c.name;
        EXPECT_NE(channel.GetErrorCode(), PChannel::NoError) << c.name;
        std::vector<BYTE> pcm(320);
        EXPECT_FALSE(channel.Write(pcm.data(), 320)) << c.name;
        EXPECT_EQ(channel.GetErrorCode(PChannel::LastWriteError), PChannel::NotOpen);
    }
}

TEST(SoundDeviceAlsa, RunsThroughAlsasNullPlugin)
{
    // ALSA's own null device needs no card: it takes the driver through set-up, writes,
    // draining, abort, reads and reopening (it does not pace).
    PSoundChannel player;
    if (!player.Open("plug:null", PSoundChannel::Player))
        GTEST_SKIP() << "ALSA has no null device here";
    std::vector<BYTE> pcm(320, 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(player.Write(pcm.data(), PINDEX(pcm.size())));
    EXPECT_TRUE(player.WaitForPlayCompletion());
    TempDir dir;
    WriteWave(dir.file("tone.wav"), kestrelin::testing::Sine(22050, 2, 440, 0.2, 0.5));
    EXPECT_TRUE(player.PlayFile(dir.file("tone.wav"), TRUE));
    EXPECT_TRUE(player.Abort());
    ASSERT_TRUE(player.SetBuffers(640, 10));
    EXPECT_TRUE(player.IsOpen());
    EXPECT_TRUE(player.Write(pcm.data(), PINDEX(pcm.size())));
    EXPECT_TRUE(player.Close());

    PSoundChannel recorder;
    ASSERT_TRUE(recorder.Open("plug:null", PSoundChannel::Recorder, 1, 8000, 16));
    std::vector<BYTE> captured(320, 0xAA);
    ASSERT_TRUE(recorder.Read(captured.data(), PINDEX(captured.size())));
    EXPECT_EQ(recorder.GetLastReadCount(), 320);
}

TEST(SoundDeviceOpen, TheEnvironmentCanReplaceAlsaDevices)
{
    TempDir dir;
    {
        ScopedEnv env("KESTRELIN_SOUND", "null");
        PSoundChannel channel;
        EXPECT_TRUE(channel.Open("Default", PSoundChannel::Player));
        EXPECT_TRUE(channel.Open("hw:97,0", PSoundChannel::Recorder));
    }
    {
        ScopedEnv general("KESTRELIN_SOUND", "null");
        ScopedEnv player("KESTRELIN_SOUND_PLAYER", ("file:" + dir.dir()).c_str());
        PSoundChannel channel;
        ASSERT_TRUE(channel.Open("Default", PSoundChannel::Player));
        std::vector<BYTE> pcm(160, 0);
        ASSERT_TRUE(channel.Write(pcm.data(), PINDEX(pcm.size())));
        channel.Close();
        ASSERT_EQ(dir.entries().size(), 1u) << "the player wrote into the directory";
        EXPECT_TRUE(channel.Open("Default", PSoundChannel::Recorder)) << "the general one";
        EXPECT_EQ(dir.entries().size(), 1u);
    }
}

TEST(SoundDeviceNull, WritesPaceAtTheBufferDepth)
{
    PSoundChannel channel;
    ASSERT_TRUE(channel.SetBuffers(320, 2)); // two 20 ms buffers, before opening
    ASSERT_TRUE(channel.Open("Null", PSoundChannel::Player, 1, 8000, 16));
    PINDEX size = 0, count = 0;
    channel.GetBuffers(size, count);
    EXPECT_EQ(size, 320);
    EXPECT_EQ(count, 2);
    std::vector<BYTE> frame(320);
    auto start = Clock::now();
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(channel.Write(frame.data(), PINDEX(frame.size())));
        EXPECT_EQ(channel.GetLastWriteCount(), 320);
    }
    // The first two frames fill the buffers; each further one waits for 20 ms to play.
    long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 195);
    EXPECT_LT(elapsed, 2000);
}

TEST(SoundDeviceNull, ReadsSilenceInRealTime)
{
    PSoundChannel channel;
    ASSERT_TRUE(channel.Open("Null", PSoundChannel::Recorder, 1, 8000, 16));
    std::vector<BYTE> pcm(1600, 0xAA);
    auto start = Clock::now();
    ASSERT_TRUE(channel.Read(pcm.data(), PINDEX(pcm.size())));
    EXPECT_LT(MsSince(start), 60) << "the first buffer is there at once";
    ASSERT_TRUE(channel.Read(pcm.data(), PINDEX(pcm.size())));
    ASSERT_TRUE(channel.Read(pcm.data(), PINDEX(pcm.size())));
    long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 195); // then 2 x 100 ms
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(channel.GetLastReadCount(), 1600);
    EXPECT_EQ(pcm, std::vector<BYTE>(1600, 0));

    PSoundChannel eightBit("Null", PSoundChannel::Recorder, 1, 8000, 8);
    std::vector<BYTE> u8(80, 0);
    ASSERT_TRUE(eightBit.Read(u8.data(), PINDEX(u8.size())));
    EXPECT_EQ(u8, std::vector<BYTE>(80, 0x80)) << "8-bit silence is 0x80";
}

TEST(SoundDeviceNull, AbortEndsABlockedWriteAndABlockedRead)
{
    PSoundChannel player("Null", PSoundChannel::Player, 1, 8000, 16);
    PSoundChannel recorder("Null", PSoundChannel::Recorder, 1, 8000, 16);
    ASSERT_TRUE(player.IsOpen());
    ASSERT_TRUE(recorder.IsOpen());
    std::vector<BYTE> twoSeconds(32000), captured(32000);
    auto writer = std::async(std::launch::async,
                             [&] { return player.Write(twoSeconds.data(), 32000); });
    auto reader = std::async(std::launch::async,
                             [&] { return recorder.Read(captured.data(), 32000); });
    std::this_thread::sleep_for(100ms);
    auto start = Clock::now();
    player.Abort();
    recorder.Abort();
    ASSERT_EQ(writer.wait_for(2s), std::future_status::ready);
    ASSERT_EQ(reader.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(writer.get());
    EXPECT_FALSE(reader.get());
    EXPECT_LT(MsSince(start), 300);
    EXPECT_LT(player.GetLastWriteCount(), 32000);
    EXPECT_TRUE(player.HasPlayCompleted()) << "the queued samples were dropped";
}

TEST(SoundDeviceFile, ThePlayerWritesAValidWaveFileOfWhatWasPlayed)
{
    TempDir dir;
    PSoundChannel channel;
    ASSERT_TRUE(channel.Open("file:" + dir.file("out.wav"), PSoundChannel::Player, 2, 16000, 16));
    std::vector<int16_t> pcm(640);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(i * 51 - 16000);
    ASSERT_TRUE(channel.Write(pcm.data(), PINDEX(pcm.size() * 2)));
    Wave whileOpen;
    EXPECT_TRUE(ReadWave(dir.file("out.wav"), whileOpen)) << "valid while still open";
    ASSERT_TRUE(channel.Write(pcm.data(), PINDEX(pcm.size() * 2)));
    channel.Close();

    Wave out;
    ASSERT_TRUE(ReadWave(dir.file("out.wav"), out));
    EXPECT_EQ(out.rate, 16000u);
    EXPECT_EQ(out.channels, 2u);
    EXPECT_EQ(out.bits, 16u);
    ASSERT_EQ(out.samples.size(), 2 * pcm.size());
    for (size_t i = 0; i < out.samples.size(); ++i)
        ASSERT_EQ(out.samples[i], pcm[i % pcm.size()]) << "sample " << i;

    EXPECT_FALSE(channel.Open("file:" + dir.file("no/such/dir/out.wav"), PSoundChannel::Player));
}

TEST(SoundDeviceFile, ADirectoryPlayerWritesANewFileAtEveryOpen)
{
    TempDir dir;
    PSoundChannel channel;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(channel.Open("file:" + dir.dir(), PSoundChannel::Player));
        std::vector<BYTE> pcm(160, 0);
        ASSERT_TRUE(channel.Write(pcm.data(), PINDEX(pcm.size())));
    }
    channel.Close();
    std::vector<std::string> files = dir.entries();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string &file : files) {
        EXPECT_EQ(file.rfind("player-", 0), 0u) << file;
        Wave out;
        EXPECT_TRUE(ReadWave(dir.file(file), out)) << file;
        EXPECT_EQ(out.samples.size(), 80u);
    }
}

TEST(SoundDeviceFile, TheRecorderCapturesTheFileInALoop)
{
    TempDir dir;
    Wave in{8000, 1, 16, {}};
    for (int i = 0; i < 100; ++i)
        in.samples.push_back(i * 300 - 15000);
    WriteWave(dir.file("in.wav"), in);
    PSoundChannel channel;
    ASSERT_TRUE(channel.Open("file:" + dir.file("in.wav"), PSoundChannel::Recorder, 1, 8000, 16));
    std::vector<int16_t> pcm(250);
    ASSERT_TRUE(channel.Read(pcm.data(), PINDEX(pcm.size() * 2)));
    for (size_t i = 0; i < pcm.size(); ++i)
        ASSERT_EQ(pcm[i], in.samples[i % 100]) << "sample " << i;

    TempDir empty;
    WriteWave(empty.file("empty.wav"), Wave{8000, 1, 16, {}});
    EXPECT_FALSE(channel.Open("file:" + empty.file("empty.wav"), PSoundChannel::Recorder));
    EXPECT_FALSE(channel.Open("file:" + empty.file("missing.wav"), PSoundChannel::Recorder));
    EXPECT_EQ(channel.GetErrorCode(), PChannel::NotFound);
}

TEST(SoundDeviceFile, SetBuffersOnAnOpenPlayerKeepsItsFile)
{
    TempDir dir;
    PSoundChannel channel;
    ASSERT_TRUE(channel.Open("file:" + dir.file("out.wav"), PSoundChannel::Player));
    std::vector<BYTE> pcm(320, 0);
    ASSERT_TRUE(channel.Write(pcm.data(), 320));
    ASSERT_TRUE(channel.SetBuffers(65536, 2));
    ASSERT_TRUE(channel.IsOpen());
    ASSERT_TRUE(channel.Write(pcm.data(), 320));
    channel.Close();
    Wave out;
    ASSERT_TRUE(ReadWave(dir.file("out.wav"), out));
    EXPECT_EQ(out.samples.size(), 320u);
    EXPECT_FALSE(channel.SetBuffers(0, 2));
    EXPECT_FALSE(channel.SetBuffers(65536, 0));
}

} // namespace
