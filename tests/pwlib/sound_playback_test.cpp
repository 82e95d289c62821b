// PSoundChannel wave playback: waiting, failures, completion, abort and format conversion.
#include "../support/temp_dir.h"
#include "wav_fixture.h"

#include <pwlib/sound/psoundchannel.h>
#include <pwlib/waitpump.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace
{

using kestrelin::testing::ReadWave;
using kestrelin::testing::Sine;
using kestrelin::testing::TempDir;
using kestrelin::testing::ToneAmplitude;
using kestrelin::testing::Wave;
using kestrelin::testing::WriteWave;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The threads of this process.
size_t ThreadCount()
{
    std::error_code ec;
    auto tasks = std::filesystem::directory_iterator("/proc/self/task", ec);
    return size_t(std::distance(tasks, std::filesystem::directory_iterator()));
}

/// A call run on a thread of its own, which can be waited for until it blocks: the thread's
/// wait pump runs once a wait of the library blocks.
class BlockingCall
{
  public:
    explicit BlockingCall(std::function<BOOL()> call)
        : thread_([this, call] {
              pwlib::SetWaitPump([this] {
                  std::lock_guard<std::mutex> lock(mutex_);
                  blocked_ = true;
                  changed_.notify_all();
              });
              BOOL ok = call();
              pwlib::SetWaitPump(nullptr);
              std::lock_guard<std::mutex> lock(mutex_);
              result_ = ok;
              returned_ = true;
              changed_.notify_all();
          })
    {
    }
    ~BlockingCall()
    {
        if (thread_.joinable())
            thread_.join();
    }
    /// Whether the call blocks and has not returned (waits until either happens).
    bool Blocks()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, 30s, [this] { return blocked_ || returned_; });
        return blocked_ && !returned_;
    }
    /// Whether the call returned within the time, and then its result; its thread has ended.
    bool Returns(std::chrono::milliseconds within, BOOL &result)
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed_.wait_for(lock, within, [this] { return returned_; }))
                return false;
            result = result_;
        }
        thread_.join();
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool blocked_ = false, returned_ = false;
    BOOL result_ = FALSE;
    std::thread thread_;
};

class SoundPlayback : public ::testing::Test
{
  protected:
    /// A tone file of the given length at 8000 Hz, 16 bits, mono.
    std::string Tone(const std::string &name, double seconds)
    {
        std::string path = dir_.file(name);
        WriteWave(path, Sine(8000, 1, 440, seconds, 0.5));
        return path;
    }

    TempDir dir_;
    PSoundChannel channel_;
};

TEST_F(SoundPlayback, PlayFileWithWaitReturnsAfterTheFileHasPlayed)
{
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player, 1, 8000, 16));
    std::string tone = Tone("tone.wav", 0.4);
    auto start = Clock::now();
    EXPECT_TRUE(channel_.PlayFile(tone, TRUE));
    long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 380);
    EXPECT_LT(elapsed, 2000);
    EXPECT_TRUE(channel_.HasPlayCompleted());
    // The channel can play again at once.
    EXPECT_TRUE(channel_.PlayFile(Tone("short.wav", 0.05), TRUE));
}

TEST_F(SoundPlayback, FilesThatCannotBePlayedGiveFalse)
{
    dir_.write("text.wav", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
    std::vector<unsigned char> truncated = kestrelin::testing::WaveBytes(Sine(8000, 1, 440, 0.1, 0.5));
    truncated.resize(20);
    dir_.write("truncated.wav", truncated);
    struct Case {
        const char *name;
        std::string path;
        PChannel::Errors error;
    } cases[] = {
        {"missing", dir_.file("missing.wav"), PChannel::NotFound},
        {"a directory", dir_.dir(), PChannel::NotFound},
        {"not a wave", dir_.file("text.wav"), PChannel::Miscellaneous},
        {"cut in the header", dir_.file("truncated.wav"), PChannel::Miscellaneous},
    };
    PSoundChannel closed;
    EXPECT_FALSE(closed.PlayFile(Tone("ok.wav", 0.05), TRUE)) << "channel not open";

    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    for (const Case &c : cases) {
        auto start = Clock::now();
        EXPECT_FALSE(channel_.PlayFile(c.path, TRUE)) << c.name;
        EXPECT_LT(MsSince(start), 500) << c.name;
        EXPECT_EQ(channel_.GetErrorCode(PChannel::LastWriteError), c.error) << c.name;
        EXPECT_TRUE(channel_.HasPlayCompleted()) << c.name;
    }

    PSoundChannel recorder;
    ASSERT_TRUE(recorder.Open("Null", PSoundChannel::Recorder));
    EXPECT_FALSE(recorder.PlayFile(Tone("ok.wav", 0.05), TRUE)) << "a recorder plays nothing";
}

TEST_F(SoundPlayback, HasPlayCompletedIsTrueWhenNothingPlays)
{
    EXPECT_TRUE(channel_.HasPlayCompleted()) << "closed";
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    EXPECT_TRUE(channel_.HasPlayCompleted()) << "open, never played";

    ASSERT_TRUE(channel_.PlayFile(Tone("tone.wav", 0.3), FALSE));
    EXPECT_FALSE(channel_.HasPlayCompleted()) << "playing in the background";
    EXPECT_TRUE(channel_.WaitForPlayCompletion());
    EXPECT_TRUE(channel_.HasPlayCompleted());

    // Samples written and still in the buffers are playing too.
    std::vector<BYTE> pcm(1600);
    ASSERT_TRUE(channel_.Write(pcm.data(), PINDEX(pcm.size())));
    EXPECT_FALSE(channel_.HasPlayCompleted());
    EXPECT_TRUE(channel_.WaitForPlayCompletion());
    EXPECT_TRUE(channel_.HasPlayCompleted());
}

TEST_F(SoundPlayback, AbortFromAnotherThreadEndsABlockedPlayFileAtOnce)
{
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    std::string tone = Tone("long.wav", 5.0);
    BlockingCall player([&] { return channel_.PlayFile(tone, TRUE); });
    ASSERT_TRUE(player.Blocks());
    EXPECT_FALSE(channel_.HasPlayCompleted());
    auto start = Clock::now();
    EXPECT_TRUE(channel_.Abort());
    BOOL played = TRUE;
    ASSERT_TRUE(player.Returns(2s, played));
    EXPECT_FALSE(played);
    EXPECT_LT(MsSince(start), 300);
    EXPECT_TRUE(channel_.HasPlayCompleted());
    EXPECT_EQ(channel_.GetErrorCode(PChannel::LastWriteError), PChannel::Interrupted);

    // The channel stays open, and an abort with nothing playing stops no later playing.
    EXPECT_TRUE(channel_.IsOpen());
    EXPECT_TRUE(channel_.Abort());
    EXPECT_TRUE(channel_.PlayFile(Tone("short.wav", 0.05), TRUE));
}

TEST_F(SoundPlayback, AbortAlsoEndsBackgroundAndQueuedFiles)
{
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    std::string tone = Tone("long.wav", 5.0);
    ASSERT_TRUE(channel_.PlayFile(tone, FALSE));
    ASSERT_TRUE(channel_.PlayFile(tone, FALSE)); // queued behind the first
    std::this_thread::sleep_for(50ms);
    auto waiter = std::async(std::launch::async, [&] { return channel_.WaitForPlayCompletion(); });
    channel_.Abort();
    ASSERT_EQ(waiter.wait_for(2s), std::future_status::ready);
    auto deadline = Clock::now() + 2s;
    while (!channel_.HasPlayCompleted() && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(channel_.HasPlayCompleted());
}

TEST_F(SoundPlayback, CloseFromAnotherThreadEndsABlockedPlayFile)
{
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    std::string tone = Tone("long.wav", 5.0);
    auto player = std::async(std::launch::async, [&] { return channel_.PlayFile(tone, TRUE); });
    std::this_thread::sleep_for(100ms);
    auto start = Clock::now();
    EXPECT_TRUE(channel_.Close());
    EXPECT_LT(MsSince(start), 300);
    ASSERT_EQ(player.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(player.get());
    EXPECT_FALSE(channel_.IsOpen());
    EXPECT_TRUE(channel_.HasPlayCompleted());
}

// Close, and destroying the channel, while a file plays in the background with another
// queued: both end at once, the playing thread is gone and nothing is left playing, and a
// thread waiting for the end is let go. The files last far longer than any wait here.
TEST_F(SoundPlayback, CloseAndDestructionEndBackgroundPlayingAndItsThreadAtOnce)
{
    std::string tone = Tone("long.wav", 5.0);
    const size_t threadsBefore = ThreadCount();
    {
        SCOPED_TRACE("close");
        ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
        ASSERT_TRUE(channel_.PlayFile(tone, FALSE));
        ASSERT_TRUE(channel_.PlayFile(tone, FALSE)); // queued behind the first
        EXPECT_EQ(ThreadCount(), threadsBefore + 1) << "one thread plays them";
        BlockingCall waiter([&] { return channel_.WaitForPlayCompletion(); });
        ASSERT_TRUE(waiter.Blocks());
        auto start = Clock::now();
        EXPECT_TRUE(channel_.Close());
        EXPECT_LT(MsSince(start), 1000);
        EXPECT_TRUE(channel_.HasPlayCompleted()) << "nothing plays once Close returned";
        BOOL completed = TRUE;
        ASSERT_TRUE(waiter.Returns(2s, completed));
        EXPECT_FALSE(completed);
        EXPECT_EQ(ThreadCount(), threadsBefore) << "the playing thread was left";
        EXPECT_FALSE(channel_.PlayFile(tone, FALSE)) << "a closed channel plays nothing";
        EXPECT_EQ(ThreadCount(), threadsBefore);
    }
    {
        SCOPED_TRACE("opened again, the channel plays in the background as before");
        ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
        auto start = Clock::now();
        ASSERT_TRUE(channel_.PlayFile(Tone("short.wav", 0.1), FALSE));
        EXPECT_TRUE(channel_.WaitForPlayCompletion());
        EXPECT_GE(MsSince(start), 90);
        channel_.Close();
    }
    {
        SCOPED_TRACE("destruction");
        auto channel = std::make_unique<PSoundChannel>("Null", PSoundChannel::Player);
        ASSERT_TRUE(channel->PlayFile(tone, FALSE));
        ASSERT_TRUE(channel->PlayFile(tone, FALSE));
        std::this_thread::sleep_for(50ms);
        auto start = Clock::now();
        channel.reset();
        EXPECT_LT(MsSince(start), 1000);
        EXPECT_EQ(ThreadCount(), threadsBefore) << "the playing thread outlived its channel";
    }
}

// A close while a thread waits for the end of playing gives FALSE however late the wait
// wakes, once the playing has ended too: here the waiting thread's own pump closes the
// channel, as a message served by a waiting interface thread would.
TEST_F(SoundPlayback, ACloseDuringTheWaitForTheEndGivesFalse)
{
    ASSERT_TRUE(channel_.Open("Null", PSoundChannel::Player));
    ASSERT_TRUE(channel_.PlayFile(Tone("long.wav", 5.0), FALSE));
    bool closed = false;
    pwlib::SetWaitPump([&] {
        if (!closed) {
            closed = true;
            EXPECT_TRUE(channel_.Close());
        }
    });
    auto start = Clock::now();
    EXPECT_FALSE(channel_.WaitForPlayCompletion());
    pwlib::SetWaitPump(nullptr);
    EXPECT_TRUE(closed);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(channel_.GetErrorCode(PChannel::LastWriteError), PChannel::Interrupted);
}

TEST_F(SoundPlayback, AFileOfTheChannelsFormatIsPlayedSampleForSample)
{
    Wave in{8000, 1, 16, {}};
    for (int i = 0; i < 800; ++i)
        in.samples.push_back((i * 97) % 65536 - 32768);
    WriteWave(dir_.file("in.wav"), in);
    ASSERT_TRUE(channel_.Open("file:" + dir_.file("out.wav"), PSoundChannel::Player));
    ASSERT_TRUE(channel_.PlayFile(dir_.file("in.wav"), TRUE));
    channel_.Close();
    Wave out;
    ASSERT_TRUE(ReadWave(dir_.file("out.wav"), out));
    EXPECT_EQ(out.samples, in.samples);
}

TEST_F(SoundPlayback, FilesOfOtherFormatsAreConvertedToTheChannelsFormat)
{
    // 44.1 kHz stereo 1 kHz tone, and an 8-bit 16 kHz one, into an 8 kHz mono channel.
    WriteWave(dir_.file("cd.wav"), Sine(44100, 2, 1000, 0.5, 0.5));
    Wave low = Sine(16000, 1, 1000, 0.5, 0.5);
    low.bits = 8;
    for (int &s : low.samples)
        s = 128 + int(std::lround(s / 256.0));
    WriteWave(dir_.file("low.wav"), low);

    for (const char *name : {"cd.wav", "low.wav"}) {
        std::string out = dir_.file(std::string("out-") + name);
        ASSERT_TRUE(channel_.Open("file:" + out, PSoundChannel::Player, 1, 8000, 16));
        ASSERT_TRUE(channel_.PlayFile(dir_.file(name), TRUE)) << name;
        channel_.Close();
        Wave got;
        ASSERT_TRUE(ReadWave(out, got)) << name;
        EXPECT_EQ(got.rate, 8000u);
        EXPECT_EQ(got.channels, 1u);
        EXPECT_EQ(got.bits, 16u);
        EXPECT_EQ(got.samples.size(), 4000u) << name << ": half a second at 8 kHz";
        EXPECT_NEAR(ToneAmplitude(got.samples, 8000, 1000, 400, 3600), 0.5, 0.02) << name;
        EXPECT_LT(ToneAmplitude(got.samples, 8000, 2000, 400, 3600), 0.01) << name;
    }
}

TEST_F(SoundPlayback, DownsamplingRemovesWhatTheChannelCannotCarry)
{
    // 6 kHz is above 4 kHz: without filtering it would fold over to 2 kHz.
    WriteWave(dir_.file("high.wav"), Sine(44100, 1, 6000, 0.5, 0.5));
    ASSERT_TRUE(channel_.Open("file:" + dir_.file("out.wav"), PSoundChannel::Player, 1, 8000));
    ASSERT_TRUE(channel_.PlayFile(dir_.file("high.wav"), TRUE));
    channel_.Close();
    Wave got;
    ASSERT_TRUE(ReadWave(dir_.file("out.wav"), got));
    EXPECT_LT(ToneAmplitude(got.samples, 8000, 2000, 400, 3600), 0.005);
}

TEST_F(SoundPlayback, MonoFilesPlayOnEveryChannelOfAStereoChannel)
{
    WriteWave(dir_.file("mono.wav"), Sine(8000, 1, 500, 0.1, 0.25));
    ASSERT_TRUE(channel_.Open("file:" + dir_.file("out.wav"), PSoundChannel::Player, 2, 8000));
    ASSERT_TRUE(channel_.PlayFile(dir_.file("mono.wav"), TRUE));
    channel_.Close();
    Wave got;
    ASSERT_TRUE(ReadWave(dir_.file("out.wav"), got));
    ASSERT_EQ(got.channels, 2u);
    ASSERT_EQ(got.Frames(), 800u);
    for (size_t f = 0; f < got.Frames(); ++f)
        ASSERT_EQ(got.samples[2 * f], got.samples[2 * f + 1]) << "frame " << f;
}

} // namespace
