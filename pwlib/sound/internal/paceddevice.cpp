// The null and file devices: real-time pacing on the steady clock.
#include <pwlib/internal/wait.h>
#include <pwlib/sound/internal/paceddevice.h>

#include <algorithm>
#include <cerrno>

namespace pwlib::sound
{

namespace
{

using Clock = std::chrono::steady_clock;

/// Waits (pumping the thread's messages) until the time or until interrupted() holds;
/// gives TRUE when interrupted.
template <typename Interrupted>
bool WaitUntil(pwlib::WaitScope &scope, std::unique_lock<std::mutex> &lock,
               Clock::time_point until, Interrupted interrupted)
{
    for (;;) {
        if (interrupted())
            return true;
        Clock::time_point now = Clock::now();
        if (now >= until)
            return false;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        scope.Wait(lock, pwlib::Deadline::After(ms), interrupted);
    }
}

} // namespace

PacedPlayer::PacedPlayer(const PcmFormat &format, const BufferConfig &buffers,
                         std::unique_ptr<WavWriter> writer)
    : format_(format), writer_(std::move(writer)),
      capacity_(std::max<size_t>(buffers.Total() / format.FrameBytes(), 1) * format.FrameBytes()),
      playEnd_(Clock::now())
{
}

bool PacedPlayer::Resize(const BufferConfig &buffers)
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    capacity_ = std::max<size_t>(buffers.Total() / format_.FrameBytes(), 1) * format_.FrameBytes();
    return true;
}

IoResult PacedPlayer::Write(const BYTE *data, size_t bytes, uint64_t generation)
{
    IoResult result;
    const size_t frameBytes = format_.FrameBytes();
    bytes -= bytes % frameBytes;
    while (result.bytes < bytes) {
        size_t chunk;
        {
            pwlib::WaitScope scope(waitable_);
            std::unique_lock<std::mutex> lock(waitable_.mutex);
            chunk = std::min(bytes - result.bytes, capacity_);
            const auto capacityTime = format_.Duration(capacity_ / frameBytes);
            const auto chunkTime = format_.Duration(chunk / frameBytes);
            // Room for the chunk once the queue has drained to capacity minus the chunk.
            if (WaitUntil(scope, lock, playEnd_ - (capacityTime - chunkTime),
                          [&] { return Interrupted(generation) != IoStatus::Ok; })) {
                result.status = Interrupted(generation);
                return result;
            }
            playEnd_ = std::max(Clock::now(), playEnd_) + chunkTime;
        }
        if (writer_ != nullptr && !writer_->Write(data + result.bytes, chunk)) {
            result.status = IoStatus::Failed;
            result.error = errno != 0 ? errno : EIO;
            return result;
        }
        result.bytes += chunk;
    }
    return result;
}

IoResult PacedPlayer::Read(BYTE *, size_t, uint64_t)
{
    return {IoStatus::Failed, EINVAL, 0};
}

IoResult PacedPlayer::Drain(uint64_t generation)
{
    pwlib::WaitScope scope(waitable_);
    std::unique_lock<std::mutex> lock(waitable_.mutex);
    IoResult result;
    // An abort or shutdown before the call ends it too, though it left nothing to play.
    if ((result.status = Interrupted(generation)) != IoStatus::Ok)
        return result;
    while (Clock::now() < playEnd_) {
        if (WaitUntil(scope, lock, playEnd_,
                      [&] { return Interrupted(generation) != IoStatus::Ok; })) {
            result.status = Interrupted(generation);
            break;
        }
    }
    return result;
}

bool PacedPlayer::HasPendingOutput()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    return Clock::now() < playEnd_;
}

void PacedPlayer::DropOutput()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    playEnd_ = Clock::now();
}

void PacedPlayer::Wake()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    waitable_.cond.notify_all();
}

PacedRecorder::PacedRecorder(const PcmFormat &format, const BufferConfig &buffers,
                             std::unique_ptr<WavReader> source)
    : format_(format), source_(std::move(source)),
      capacityFrames_(std::max<size_t>(buffers.Total() / format.FrameBytes(), 1)),
      bufferFrames_(std::max<size_t>(buffers.size / format.FrameBytes(), 1))
{
    if (source_ != nullptr)
        source_->SetLooping(true);
}

bool PacedRecorder::Resize(const BufferConfig &buffers)
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    capacityFrames_ = std::max<size_t>(buffers.Total() / format_.FrameBytes(), 1);
    bufferFrames_ = std::max<size_t>(buffers.size / format_.FrameBytes(), 1);
    return true;
}

IoResult PacedRecorder::Write(const BYTE *, size_t, uint64_t)
{
    return {IoStatus::Failed, EINVAL, 0};
}

IoResult PacedRecorder::Read(BYTE *data, size_t bytes, uint64_t generation)
{
    IoResult result;
    const size_t frameBytes = format_.FrameBytes();
    const size_t frames = bytes / frameBytes;
    size_t dropped = 0;
    {
        pwlib::WaitScope scope(waitable_);
        std::unique_lock<std::mutex> lock(waitable_.mutex);
        Clock::time_point now = Clock::now();
        if (!started_) {
            // The first buffer is there at once, as on a card that has captured its first
            // period; from then on samples come at the format's rate.
            started_ = true;
            start_ = now - format_.Duration(std::min(frames, bufferFrames_));
            consumed_ = 0;
        }
        // Captured so far; beyond the buffers the oldest frames are lost.
        uint64_t captured =
            uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count()) *
            format_.rate / 1000000000ull;
        if (captured > consumed_ + capacityFrames_) {
            dropped = size_t(captured - capacityFrames_ - consumed_);
            consumed_ += dropped;
        }
        const Clock::time_point ready = start_ + format_.Duration(size_t(consumed_ + frames));
        if (WaitUntil(scope, lock, ready,
                      [&] { return Interrupted(generation) != IoStatus::Ok; })) {
            result.status = Interrupted(generation);
            return result;
        }
        consumed_ += frames;
    }
    // Keep the file's timeline: samples lost to an overrun are skipped in it too (whole
    // turns of the loop need no reading).
    if (source_ != nullptr && source_->FileFrames() > 0) {
        uint64_t loop = uint64_t(source_->FileFrames()) * format_.rate / source_->FileRate();
        if (loop > 0)
            dropped = size_t(dropped % loop);
    }
    while (dropped > 0 && source_ != nullptr) {
        size_t n = std::min(dropped, size_t(4096));
        scratch_.resize(n * frameBytes);
        Fill(scratch_.data(), n);
        dropped -= n;
    }
    Fill(data, frames);
    result.bytes = frames * frameBytes;
    return result;
}

void PacedRecorder::Fill(BYTE *data, size_t frames)
{
    const size_t bytes = frames * format_.FrameBytes();
    size_t got = source_ != nullptr ? source_->Read(data, bytes) : 0;
    std::fill(data + got, data + bytes, SilenceByte(format_.bits));
}

IoResult PacedRecorder::Drain(uint64_t)
{
    return {};
}

bool PacedRecorder::HasPendingOutput()
{
    return false;
}

void PacedRecorder::Wake()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    waitable_.cond.notify_all();
}

} // namespace pwlib::sound
