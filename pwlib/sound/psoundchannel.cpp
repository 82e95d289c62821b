// PSoundChannel: opening by name, blocking I/O, wave file playback, abort and close.
#include <pwlib/internal/wait.h>
#include <pwlib/pmutex.h>
#include <pwlib/ptrace.h>
#include <pwlib/sound/internal/devicenames.h>
#include <pwlib/sound/internal/wavfile.h>
#include <pwlib/sound/psoundchannel.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <thread>

namespace pwlib::sound
{

namespace
{

/// The most a channel buffers: enough for seconds of any format.
constexpr size_t kMaxBufferBytes = 16 * 1024 * 1024;
/// Bytes decoded and written at a time while a file plays.
constexpr size_t kMaxPlayChunk = 64 * 1024;

} // namespace

/// A file waiting to be played in the background.
struct PlayJob {
    std::shared_ptr<SoundDevice> device;
    std::unique_ptr<WavReader> reader;
    uint64_t generation;
};

struct ChannelState {
    /// Serialises Open, Close and SetBuffers.
    PMutex openMutex;
    /// Held by the call that reads, writes or plays a file.
    PMutex ioMutex;
    /// Guards everything below.
    pwlib::Waitable waitable;
    std::shared_ptr<SoundDevice> device;
    std::string name;
    Direction direction = Direction::Player;
    PcmFormat format;
    BufferConfig buffers;
    /// PlayFile calls not finished yet (waiting, playing, or queued in the background).
    unsigned filePlays = 0;
    std::deque<PlayJob> queue;
    bool workerRunning = false;
    std::thread worker;

    std::shared_ptr<SoundDevice> Device(PcmFormat *formatOut = nullptr,
                                        Direction *directionOut = nullptr)
    {
        std::lock_guard<std::mutex> lock(waitable.mutex);
        if (formatOut != nullptr)
            *formatOut = format;
        if (directionOut != nullptr)
            *directionOut = direction;
        return device;
    }

    void FinishPlay()
    {
        std::lock_guard<std::mutex> lock(waitable.mutex);
        --filePlays;
        waitable.cond.notify_all();
    }

    /// Plays a file to its end (and until it has been heard), under the I/O lock.
    IoResult Play(SoundDevice &dev, WavReader &reader, uint64_t generation, size_t chunkBytes)
    {
        PWaitAndSignal io(ioMutex);
        std::vector<BYTE> chunk(chunkBytes);
        size_t got;
        while ((got = reader.Read(chunk.data(), chunk.size())) > 0) {
            IoResult result = dev.Write(chunk.data(), got, generation);
            if (result.status != IoStatus::Ok)
                return result;
        }
        return dev.Drain(generation);
    }

    void RunWorker()
    {
        for (;;) {
            PlayJob job;
            size_t chunkBytes;
            {
                std::lock_guard<std::mutex> lock(waitable.mutex);
                if (queue.empty()) {
                    workerRunning = false;
                    return;
                }
                job = std::move(queue.front());
                queue.pop_front();
                chunkBytes = ChunkBytes();
            }
            Play(*job.device, *job.reader, job.generation, chunkBytes);
            job.reader.reset();
            FinishPlay();
        }
    }

    /// Whole frames of about one buffer (with the lock held).
    size_t ChunkBytes() const
    {
        size_t frame = format.FrameBytes();
        size_t bytes = std::clamp(buffers.size, frame, kMaxPlayChunk);
        return bytes - bytes % frame;
    }
};

} // namespace pwlib::sound

using namespace pwlib::sound;

namespace
{

/// The channel error of a device call's result, with its system error number.
std::pair<PChannel::Errors, int> ErrorOf(const IoResult &result)
{
    switch (result.status) {
    case IoStatus::Ok:
        return {PChannel::NoError, 0};
    case IoStatus::Aborted:
    case IoStatus::Closed:
        return {PChannel::Interrupted, 0};
    case IoStatus::Failed:
        break;
    }
    return {result.error == ETIMEDOUT ? PChannel::Timeout : PChannel::Miscellaneous,
            result.error};
}

} // namespace

std::string pwlib::sound::AlsaPcmName(const PString &device)
{
    DeviceTarget target = ResolveNameOnly(device.GetText());
    return target.kind == DeviceTarget::Alsa ? target.path : std::string();
}

PSoundChannel::PSoundChannel() : state_(std::make_unique<ChannelState>())
{
}

PSoundChannel::PSoundChannel(const PString &device, Directions dir, unsigned numChannels,
                             unsigned sampleRate, unsigned bitsPerSample)
    : PSoundChannel()
{
    Open(device, dir, numChannels, sampleRate, bitsPerSample);
}

PSoundChannel::~PSoundChannel()
{
    Close();
}

PStringArray PSoundChannel::GetDeviceNames(Directions dir)
{
    PStringArray names;
    for (const std::string &name : DeviceNames(static_cast<Direction>(dir)))
        names.AppendString(PString(name));
    return names;
}

PString PSoundChannel::GetDefaultDevice(Directions)
{
    return PString(kDefaultDeviceName);
}

BOOL PSoundChannel::Open(const PString &device, Directions dir, unsigned numChannels,
                         unsigned sampleRate, unsigned bitsPerSample)
{
    PWaitAndSignal lock(state_->openMutex);
    Close();
    PcmFormat format{numChannels, sampleRate, bitsPerSample};
    if (!format.Valid() || (dir != Recorder && dir != Player)) {
        PTRACE(2, "Sound\tcannot open \"" << device << "\": unsupported format "
                                           << numChannels << " ch, " << sampleRate << " Hz, "
                                           << bitsPerSample << " bits");
        return SetErrorValues(BadParameter, 0, LastGeneralError);
    }
    const Direction direction = static_cast<Direction>(dir);
    BufferConfig buffers;
    {
        std::lock_guard<std::mutex> guard(state_->waitable.mutex);
        buffers = state_->buffers;
    }
    DeviceTarget target = ResolveDeviceName(device.GetText(), direction);
    errno = 0;
    std::unique_ptr<SoundDevice> opened = OpenDevice(target, direction, format, buffers);
    if (opened == nullptr) {
        int error = errno != 0 ? errno : ENODEV;
        PTRACE(2, "Sound\tcannot open \"" << device << "\" for "
                                           << (dir == Player ? "playing" : "recording") << ": "
                                           << PChannel::GetErrorText(Miscellaneous, error));
        return ConvertOSError(error, LastGeneralError);
    }
    PTRACE(3, "Sound\topened \"" << device << "\" for " << (dir == Player ? "playing" : "recording")
                                 << ", " << numChannels << " ch, " << sampleRate << " Hz, "
                                 << bitsPerSample << " bits");
    std::lock_guard<std::mutex> guard(state_->waitable.mutex);
    state_->device = std::move(opened);
    state_->name = device.GetText();
    state_->direction = direction;
    state_->format = format;
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PSoundChannel::IsOpen() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return state_->device != nullptr;
}

BOOL PSoundChannel::Close()
{
    PWaitAndSignal lock(state_->openMutex);
    std::shared_ptr<SoundDevice> device;
    std::thread worker;
    {
        std::lock_guard<std::mutex> guard(state_->waitable.mutex);
        device = std::move(state_->device);
        state_->device.reset();
        state_->name.clear();
        worker = std::move(state_->worker);
        state_->waitable.cond.notify_all();
    }
    if (device == nullptr) {
        if (worker.joinable())
            worker.join();
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    }
    // Every call on the device ends at once; then nothing holds the I/O lock for long.
    device->Shutdown();
    if (worker.joinable())
        worker.join();
    {
        PWaitAndSignal io(state_->ioMutex);
    }
    device->Release();
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PSoundChannel::Read(void *buf, PINDEX len)
{
    lastReadCount_ = 0;
    PcmFormat format;
    Direction direction;
    std::shared_ptr<SoundDevice> device = state_->Device(&format, &direction);
    if (device == nullptr)
        return SetErrorValues(NotOpen, 0, LastReadError);
    if (direction != Direction::Recorder || buf == nullptr || len < PINDEX(format.FrameBytes()))
        return SetErrorValues(BadParameter, 0, LastReadError);
    const uint64_t generation = device->Generation();
    PWaitAndSignal io(state_->ioMutex);
    IoResult result = device->Read(static_cast<BYTE *>(buf),
                                   size_t(len) - size_t(len) % format.FrameBytes(), generation);
    lastReadCount_ = PINDEX(result.bytes);
    auto [code, os] = ErrorOf(result);
    return SetErrorValues(code, os, LastReadError);
}

BOOL PSoundChannel::Write(const void *buf, PINDEX len)
{
    lastWriteCount_ = 0;
    PcmFormat format;
    Direction direction;
    std::shared_ptr<SoundDevice> device = state_->Device(&format, &direction);
    if (device == nullptr)
        return SetErrorValues(NotOpen, 0, LastWriteError);
    if (direction != Direction::Player || buf == nullptr || len < 0)
        return SetErrorValues(BadParameter, 0, LastWriteError);
    const uint64_t generation = device->Generation();
    PWaitAndSignal io(state_->ioMutex);
    IoResult result = device->Write(static_cast<const BYTE *>(buf),
                                    size_t(len) - size_t(len) % format.FrameBytes(), generation);
    lastWriteCount_ = PINDEX(result.bytes);
    auto [code, os] = ErrorOf(result);
    return SetErrorValues(code, os, LastWriteError);
}

BOOL PSoundChannel::SetBuffers(PINDEX size, PINDEX count)
{
    if (size <= 0 || count <= 0 || size_t(size) * size_t(count) > kMaxBufferBytes)
        return SetErrorValues(BadParameter, 0, LastGeneralError);
    PWaitAndSignal lock(state_->openMutex);
    BufferConfig buffers{size_t(size), unsigned(std::max<PINDEX>(count, 2))};
    std::shared_ptr<SoundDevice> device;
    std::string name;
    Direction direction;
    PcmFormat format;
    {
        std::lock_guard<std::mutex> guard(state_->waitable.mutex);
        state_->buffers = buffers;
        device = state_->device;
        name = state_->name;
        direction = state_->direction;
        format = state_->format;
    }
    if (device == nullptr || device->Resize(buffers))
        return SetErrorValues(NoError, 0, LastGeneralError);
    device.reset();
    return Open(PString(name), static_cast<Directions>(direction), format.channels, format.rate,
                format.bits);
}

BOOL PSoundChannel::GetBuffers(PINDEX &size, PINDEX &count)
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    size = PINDEX(state_->buffers.size);
    count = PINDEX(state_->buffers.count);
    return TRUE;
}

BOOL PSoundChannel::PlayFile(const PString &file, BOOL wait)
{
    PcmFormat format;
    Direction direction;
    std::shared_ptr<SoundDevice> device = state_->Device(&format, &direction);
    if (device == nullptr)
        return SetErrorValues(NotOpen, 0, LastWriteError);
    if (direction != Direction::Player)
        return SetErrorValues(BadParameter, 0, LastWriteError);
    const uint64_t generation = device->Generation();
    WavError error;
    std::unique_ptr<WavReader> reader = WavReader::Open(file.GetText(), format, error);
    if (reader == nullptr) {
        PTRACE(2, "Sound\tcannot play \"" << file << "\"");
        return SetErrorValues(error == WavError::NotFound ? NotFound : Miscellaneous, 0,
                              LastWriteError);
    }
    size_t chunkBytes;
    {
        std::lock_guard<std::mutex> lock(state_->waitable.mutex);
        // Closed (or opened again) while the file was opened: nothing is queued for a
        // device that Close has finished with, and no thread is started for it.
        if (state_->device != device)
            return SetErrorValues(NotOpen, 0, LastWriteError);
        ++state_->filePlays;
        chunkBytes = state_->ChunkBytes();
        if (!wait) {
            state_->queue.push_back({device, std::move(reader), generation});
            if (!state_->workerRunning) {
                if (state_->worker.joinable())
                    state_->worker.join(); // it has left its loop
                state_->workerRunning = true;
                state_->worker = std::thread([state = state_.get()] { state->RunWorker(); });
            }
            return SetErrorValues(NoError, 0, LastWriteError);
        }
    }
    IoResult result = state_->Play(*device, *reader, generation, chunkBytes);
    reader.reset();
    state_->FinishPlay();
    auto [code, os] = ErrorOf(result);
    return SetErrorValues(code, os, LastWriteError);
}

BOOL PSoundChannel::HasPlayCompleted()
{
    std::shared_ptr<SoundDevice> device;
    {
        std::lock_guard<std::mutex> lock(state_->waitable.mutex);
        if (state_->filePlays > 0)
            return FALSE;
        device = state_->device;
    }
    return device == nullptr || !device->HasPendingOutput();
}

BOOL PSoundChannel::WaitForPlayCompletion()
{
    std::shared_ptr<SoundDevice> device = state_->Device();
    if (device == nullptr)
        return TRUE;
    const uint64_t generation = device->Generation();
    {
        pwlib::WaitScope scope(state_->waitable);
        std::unique_lock<std::mutex> lock(state_->waitable.mutex);
        auto ended = [&] {
            return state_->filePlays == 0 || state_->device != device ||
                   device->Generation() != generation;
        };
        scope.Wait(lock, pwlib::Deadline::Never(), ended);
        if (state_->filePlays > 0)
            return SetErrorValues(Interrupted, 0, LastWriteError);
    }
    PWaitAndSignal io(state_->ioMutex);
    IoResult result = device->Drain(generation);
    auto [code, os] = ErrorOf(result);
    return SetErrorValues(code, os, LastWriteError);
}

BOOL PSoundChannel::Abort()
{
    std::shared_ptr<SoundDevice> device = state_->Device();
    if (device == nullptr)
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    device->Abort();
    {
        std::lock_guard<std::mutex> lock(state_->waitable.mutex);
        state_->waitable.cond.notify_all();
    }
    return SetErrorValues(NoError, 0, LastGeneralError);
}

PString PSoundChannel::GetName() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return PString(state_->name);
}

PSoundChannel::Directions PSoundChannel::GetDirection() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return static_cast<Directions>(state_->direction);
}

unsigned PSoundChannel::GetChannels() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return state_->device != nullptr ? state_->format.channels : 0;
}

unsigned PSoundChannel::GetSampleRate() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return state_->device != nullptr ? state_->format.rate : 0;
}

unsigned PSoundChannel::GetSampleSize() const
{
    std::lock_guard<std::mutex> lock(state_->waitable.mutex);
    return state_->device != nullptr ? state_->format.bits : 0;
}
