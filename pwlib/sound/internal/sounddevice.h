// The sound device behind a PSoundChannel: blocking PCM I/O that another thread can abort.
#pragma once

#include <pwlib/sound/internal/pcmformat.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace pwlib::sound
{

enum class IoStatus { Ok, Aborted, Closed, Failed };

struct IoResult {
    IoStatus status = IoStatus::Ok;
    /// errno of a failure.
    int error = 0;
    /// Bytes moved before the call ended.
    size_t bytes = 0;
};

/// Buffering asked of a device: count buffers of size bytes.
struct BufferConfig {
    size_t size = 1600;
    unsigned count = 4;
    size_t Total() const { return size * count; }
};

/// One open device. Every blocking call takes the abort generation its operation started
/// with and ends (Aborted) as soon as Abort() moves the generation on; after Shutdown()
/// every call ends at once (Closed). Read and Write calls come from one thread at a time.
class SoundDevice
{
  public:
    virtual ~SoundDevice() = default;

    uint64_t Generation() const { return generation_; }

    /// Queues all bytes for playing, blocking while the buffers are full.
    virtual IoResult Write(const BYTE *data, size_t bytes, uint64_t generation) = 0;
    /// Blocks until bytes of captured PCM have been read.
    virtual IoResult Read(BYTE *data, size_t bytes, uint64_t generation) = 0;
    /// Blocks until everything queued has been played.
    virtual IoResult Drain(uint64_t generation) = 0;
    /// TRUE while queued output has not been played yet.
    virtual bool HasPendingOutput() = 0;
    /// Changes the buffering in place; false when the device must be reopened for it.
    virtual bool Resize(const BufferConfig &buffers) { return false; }

    /// Any thread: drops the queued output and ends the blocking calls in progress; later
    /// calls work as before.
    void Abort()
    {
        ++generation_;
        DropOutput();
        Wake();
    }
    /// Any thread: ends the blocking calls in progress and every later one.
    void Shutdown()
    {
        shut_ = true;
        DropOutput();
        Wake();
    }
    /// Releases the device; only after Shutdown, once no call is in progress.
    virtual void Release() {}

  protected:
    /// The status a blocked call ends with, Ok while it may go on.
    IoStatus Interrupted(uint64_t generation) const
    {
        if (shut_)
            return IoStatus::Closed;
        return generation_ != generation ? IoStatus::Aborted : IoStatus::Ok;
    }
    virtual void DropOutput() = 0;
    /// Wakes the blocked calls so that they look at Interrupted().
    virtual void Wake() = 0;

  private:
    std::atomic<uint64_t> generation_{0};
    std::atomic<bool> shut_{false};
};

} // namespace pwlib::sound
