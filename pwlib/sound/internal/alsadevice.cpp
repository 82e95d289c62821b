// The ALSA device: card enumeration, hardware set-up, non-blocking I/O with abortable waits.
#include <pwlib/internal/wait.h>
#include <pwlib/ptrace.h>
#include <pwlib/sound/internal/alsadevice.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace pwlib::sound
{

namespace
{

using Clock = std::chrono::steady_clock;

/// Longest wait between two polls of a draining PCM.
constexpr int kDrainPollMs = 50;
/// A device that makes no progress for this long (or twice its buffer time) has failed.
constexpr int kMinStallMs = 2000;

/// ALSA's own messages go to the trace instead of stderr.
void AlsaMessage(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    if (!PTrace::CanTrace(3))
        return;
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    PTRACE(3, "ALSA\t" << function << ": " << text << (err != 0 ? ": " : "")
                       << (err != 0 ? snd_strerror(err) : ""));
}

void RouteAlsaMessages()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(AlsaMessage); });
}

snd_pcm_stream_t StreamOf(Direction direction)
{
    return direction == Direction::Player ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
}

class AlsaDevice : public SoundDevice
{
  public:
    AlsaDevice(snd_pcm_t *pcm, Direction direction, const PcmFormat &format,
               snd_pcm_uframes_t bufferFrames, int wakeFd)
        : pcm_(pcm), direction_(direction), format_(format), bufferFrames_(bufferFrames),
          wakeFd_(wakeFd),
          stallMs_(std::max<int>(kMinStallMs,
                                 int(2000ull * bufferFrames / std::max(format.rate, 1u))))
    {
    }
    ~AlsaDevice() override
    {
        Release();
        close(wakeFd_);
    }

    IoResult Write(const BYTE *data, size_t bytes, uint64_t generation) override
    {
        if (direction_ != Direction::Player)
            return {IoStatus::Failed, EINVAL, 0};
        return Transfer(const_cast<BYTE *>(data), bytes, generation);
    }

    IoResult Read(BYTE *data, size_t bytes, uint64_t generation) override
    {
        if (direction_ != Direction::Recorder)
            return {IoStatus::Failed, EINVAL, 0};
        return Transfer(data, bytes, generation);
    }

    IoResult Drain(uint64_t generation) override
    {
        IoResult result;
        if (direction_ != Direction::Player)
            return result;
        snd_pcm_sframes_t lastRemaining = -1;
        Clock::time_point lastProgress = Clock::now();
        for (;;) {
            if ((result.status = Interrupted(generation)) != IoStatus::Ok)
                return result;
            snd_pcm_sframes_t remaining;
            {
                std::lock_guard<std::mutex> lock(pcmMutex_);
                if (pcm_ == nullptr)
                    return {IoStatus::Closed, 0, 0};
                snd_pcm_state_t state = snd_pcm_state(pcm_);
                if (state == SND_PCM_STATE_XRUN) { // played to the end and ran dry
                    snd_pcm_prepare(pcm_);
                    return result;
                }
                if (state == SND_PCM_STATE_SUSPENDED || state == SND_PCM_STATE_DISCONNECTED) {
                    int err = Recover(-ESTRPIPE);
                    if (err < 0 || state == SND_PCM_STATE_DISCONNECTED)
                        return {IoStatus::Failed, ENODEV, 0};
                    continue;
                }
                snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
                if (avail < 0) {
                    if (Recover(int(avail)) < 0)
                        return {IoStatus::Failed, int(-avail), 0};
                    return result;
                }
                if (snd_pcm_uframes_t(avail) >= bufferFrames_) {
                    if (state == SND_PCM_STATE_RUNNING) {
                        snd_pcm_drop(pcm_);
                        snd_pcm_prepare(pcm_);
                    }
                    return result;
                }
                if (state == SND_PCM_STATE_PREPARED)
                    snd_pcm_start(pcm_); // less than the start threshold was queued
                remaining = snd_pcm_sframes_t(bufferFrames_) - avail;
            }
            Clock::time_point now = Clock::now();
            if (lastRemaining < 0 || remaining < lastRemaining)
                lastProgress = now;
            else if (now - lastProgress > std::chrono::milliseconds(stallMs_))
                return {IoStatus::Failed, ETIMEDOUT, 0};
            lastRemaining = remaining;
            int ms = int(std::clamp<long long>(remaining * 1000ll / format_.rate, 1, kDrainPollMs));
            pollfd wake{wakeFd_, POLLIN, 0};
            if (pwlib::PollWait(&wake, 1, pwlib::Deadline::After(ms)) > 0)
                DrainWake();
        }
    }

    bool HasPendingOutput() override
    {
        if (direction_ != Direction::Player)
            return false;
        std::lock_guard<std::mutex> lock(pcmMutex_);
        if (pcm_ == nullptr)
            return false;
        snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED)
            return false;
        snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        return avail >= 0 && snd_pcm_uframes_t(avail) < bufferFrames_;
    }

    void Release() override
    {
        std::lock_guard<std::mutex> lock(pcmMutex_);
        if (pcm_ != nullptr) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
    }

  protected:
    void DropOutput() override
    {
        std::lock_guard<std::mutex> lock(pcmMutex_);
        if (pcm_ != nullptr) {
            snd_pcm_drop(pcm_);
            snd_pcm_prepare(pcm_);
        }
    }

    void Wake() override
    {
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof(one));
    }

  private:
    /// Moves whole frames to (playing) or from (recording) the PCM.
    IoResult Transfer(BYTE *data, size_t bytes, uint64_t generation)
    {
        IoResult result;
        const size_t frameBytes = format_.FrameBytes();
        const snd_pcm_uframes_t frames = bytes / frameBytes;
        snd_pcm_uframes_t done = 0;
        while (done < frames) {
            if ((result.status = Interrupted(generation)) != IoStatus::Ok)
                break;
            snd_pcm_sframes_t n;
            std::vector<pollfd> fds;
            {
                std::lock_guard<std::mutex> lock(pcmMutex_);
                if (pcm_ == nullptr) {
                    result.status = IoStatus::Closed;
                    break;
                }
                if (direction_ == Direction::Player) {
                    n = snd_pcm_writei(pcm_, data + done * frameBytes, frames - done);
                } else {
                    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED)
                        snd_pcm_start(pcm_);
                    n = snd_pcm_readi(pcm_, data + done * frameBytes, frames - done);
                }
                if (n < 0 && n != -EAGAIN) {
                    int err = Recover(int(n));
                    if (err < 0) {
                        PTRACE(2, "ALSA\t" << (direction_ == Direction::Player ? "write" : "read")
                                           << " failed: " << snd_strerror(err));
                        result.status = IoStatus::Failed;
                        result.error = -err;
                        break;
                    }
                    continue;
                }
                if (n <= 0) { // no room (or no data) yet: wait on the PCM's descriptors
                    int count = snd_pcm_poll_descriptors_count(pcm_);
                    fds.resize(size_t(std::max(count, 0)) + 1);
                    if (count > 0)
                        snd_pcm_poll_descriptors(pcm_, fds.data(), unsigned(count));
                }
            }
            if (n > 0) {
                done += snd_pcm_uframes_t(n);
                continue;
            }
            fds.back() = {wakeFd_, POLLIN, 0};
            int ready = pwlib::PollWait(fds.data(), fds.size(), pwlib::Deadline::After(stallMs_));
            if (ready == 0) {
                PTRACE(2, "ALSA\tthe device made no progress for " << stallMs_ << " ms");
                result.status = IoStatus::Failed;
                result.error = ETIMEDOUT;
                break;
            }
            if (fds.back().revents & POLLIN)
                DrainWake();
        }
        result.bytes = done * frameBytes;
        return result;
    }

    /// Recovers from an underrun, overrun or suspend (called with the PCM lock held);
    /// 0 when the stream can go on, else the error.
    int Recover(int err)
    {
        if (err == -EINTR)
            return 0;
        if (err == -EPIPE)
            return snd_pcm_prepare(pcm_);
        if (err == -ESTRPIPE) {
            for (int tries = 0; tries < 100; ++tries) {
                int resumed = snd_pcm_resume(pcm_);
                if (resumed != -EAGAIN)
                    return resumed < 0 ? snd_pcm_prepare(pcm_) : 0;
                usleep(10000);
            }
            return snd_pcm_prepare(pcm_);
        }
        return err;
    }

    void DrainWake()
    {
        uint64_t count;
        while (read(wakeFd_, &count, sizeof(count)) > 0) {
        }
    }

    std::mutex pcmMutex_;
    snd_pcm_t *pcm_;
    Direction direction_;
    PcmFormat format_;
    snd_pcm_uframes_t bufferFrames_;
    int wakeFd_;
    int stallMs_;
};

/// Sets the hardware and software parameters; 0 or a negative ALSA error.
int Configure(snd_pcm_t *pcm, Direction direction, const PcmFormat &format,
              const BufferConfig &buffers, snd_pcm_uframes_t &bufferFrames)
{
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    int err;
    if ((err = snd_pcm_hw_params_any(pcm, hw)) < 0 ||
        (err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (err = snd_pcm_hw_params_set_format(
             pcm, hw, format.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16)) < 0 ||
        (err = snd_pcm_hw_params_set_channels(pcm, hw, format.channels)) < 0)
        return err;
    unsigned rate = format.rate;
    if ((err = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr)) < 0)
        return err;
    if (rate != format.rate) {
        PTRACE(2, "ALSA\tthe device plays " << rate << " Hz, not " << format.rate);
        return -EINVAL;
    }
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(buffers.size / format.FrameBytes(), 1);
    snd_pcm_uframes_t total = period * std::max(buffers.count, 2u);
    if ((err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0 ||
        (err = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &total)) < 0 ||
        (err = snd_pcm_hw_params(pcm, hw)) < 0)
        return err;
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);

    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    if ((err = snd_pcm_sw_params_current(pcm, sw)) < 0 ||
        (err = snd_pcm_sw_params_set_start_threshold(
             pcm, sw, direction == Direction::Player ? std::min(period, bufferFrames) : 1)) < 0 ||
        (err = snd_pcm_sw_params_set_avail_min(pcm, sw, period)) < 0 ||
        (err = snd_pcm_sw_params(pcm, sw)) < 0)
        return err;
    PTRACE(4, "ALSA\t" << format.rate << " Hz, " << format.channels << " ch, " << format.bits
                       << " bits, period " << period << ", buffer " << bufferFrames << " frames");
    return snd_pcm_prepare(pcm);
}

} // namespace

std::vector<AlsaPcm> EnumerateAlsaPcms(Direction direction)
{
    RouteAlsaMessages();
    std::vector<AlsaPcm> found;
    snd_ctl_card_info_t *cardInfo;
    snd_pcm_info_t *pcmInfo;
    snd_ctl_card_info_alloca(&cardInfo);
    snd_pcm_info_alloca(&pcmInfo);
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char ctlName[32];
        std::snprintf(ctlName, sizeof(ctlName), "hw:%d", card);
        snd_ctl_t *ctl;
        if (snd_ctl_open(&ctl, ctlName, 0) < 0)
            continue;
        if (snd_ctl_card_info(ctl, cardInfo) == 0) {
            int device = -1;
            while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
                snd_pcm_info_set_device(pcmInfo, unsigned(device));
                snd_pcm_info_set_subdevice(pcmInfo, 0);
                snd_pcm_info_set_stream(pcmInfo, StreamOf(direction));
                if (snd_ctl_pcm_info(ctl, pcmInfo) < 0)
                    continue; // not in this direction
                found.push_back({card, device, snd_ctl_card_info_get_name(cardInfo),
                                 snd_pcm_info_get_name(pcmInfo)});
            }
        }
        snd_ctl_close(ctl);
    }
    return found;
}

std::unique_ptr<SoundDevice> OpenAlsaDevice(const std::string &pcmName, Direction direction,
                                            const PcmFormat &format, const BufferConfig &buffers)
{
    RouteAlsaMessages();
    snd_pcm_t *pcm = nullptr;
    int err = snd_pcm_open(&pcm, pcmName.c_str(), StreamOf(direction), SND_PCM_NONBLOCK);
    if (err < 0) {
        PTRACE(2, "ALSA\tcannot open \"" << pcmName << "\": " << snd_strerror(err));
        errno = -err;
        return nullptr;
    }
    snd_pcm_uframes_t bufferFrames = 0;
    if ((err = Configure(pcm, direction, format, buffers, bufferFrames)) < 0) {
        PTRACE(2, "ALSA\tcannot set up \"" << pcmName << "\": " << snd_strerror(err));
        snd_pcm_close(pcm);
        errno = -err;
        return nullptr;
    }
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        int saved = errno;
        snd_pcm_close(pcm);
        errno = saved;
        return nullptr;
    }
    return std::make_unique<AlsaDevice>(pcm, direction, format, bufferFrames, wakeFd);
}

} // namespace pwlib::sound
