// WINMM wave input over ALSA capture, with a reading thread per open device.
#include <win/mmsystem.h>
#include <win/mmsystem_testing.h>

#include <alsa/asoundlib.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace win::mm {
namespace {

std::mutex g_listMutex;
std::optional<std::vector<std::string>> g_overrideDevices;

// ALSA names of the capture devices, in the order of the device ids.
std::vector<std::string> CaptureDevices()
{
    {
        std::lock_guard<std::mutex> lock(g_listMutex);
        if (g_overrideDevices)
            return *g_overrideDevices;
    }
    std::vector<std::string> names;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return names;
    for (void **h = hints; *h; ++h) {
        char *name = snd_device_name_get_hint(*h, "NAME");
        char *io = snd_device_name_get_hint(*h, "IOID");
        bool capture = !io || std::strcmp(io, "Input") == 0;
        if (name && capture && std::strcmp(name, "null") != 0)
            names.emplace_back(name);
        free(name);
        free(io);
    }
    snd_device_name_free_hint(hints);
    return names;
}

class WaveIn
{
  public:
    WaveIn(snd_pcm_t *pcm, HANDLE event, size_t frameBytes)
        : pcm_(pcm), event_(event), frameBytes_(frameBytes)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~WaveIn()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
        snd_pcm_close(pcm_);
        // Whatever is still queued is handed back as done, so no caller waits for it.
        for (WAVEHDR *h : queue_)
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    }

    void Add(WAVEHDR *h)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        h->dwFlags = (h->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        h->dwBytesRecorded = 0;
        queue_.push_back(h);
        wake_.notify_all();
    }
    void Start()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!started_)
            snd_pcm_prepare(pcm_);
        started_ = true;
        wake_.notify_all();
    }
    void Stop()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = false;
    }
    void Reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = false;
        for (WAVEHDR *h : queue_)
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.clear();
    }

  private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        bool running = false;
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || (started_ && !queue_.empty()); });
            if (quit_)
                return;
            if (!running) {
                snd_pcm_start(pcm_);
                running = true;
            }
            WAVEHDR *h = queue_.front();
            lock.unlock();
            // Wait briefly for data so that Stop and close are seen quickly.
            int ready = snd_pcm_wait(pcm_, 50);
            lock.lock();
            if (!started_ || queue_.empty() || queue_.front() != h) {
                if (!started_ && running) {
                    snd_pcm_drop(pcm_);
                    running = false;
                }
                continue;
            }
            if (ready < 0) {
                // An overrun (the reader was late): start over with an empty buffer.
                snd_pcm_recover(pcm_, ready, 1);
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                running = false;
                continue;
            }
            size_t roomFrames = (h->dwBufferLength - h->dwBytesRecorded) / frameBytes_;
            // The wait only paces the loop: some devices (ALSA's null device among them)
            // never report readiness, so a read is tried after every wait.
            snd_pcm_sframes_t got =
                snd_pcm_readi(pcm_, h->lpData + h->dwBytesRecorded, roomFrames);
            if (got == -EAGAIN || got == 0) {
                if (ready == 0) {
                    lock.unlock();
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    lock.lock();
                }
                continue;
            }
            if (got < 0) {
                snd_pcm_recover(pcm_, int(got), 1);
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                running = false;
                continue;
            }
            h->dwBytesRecorded += DWORD(size_t(got) * frameBytes_);
            if (h->dwBufferLength - h->dwBytesRecorded < frameBytes_) {
                // Readers on other threads test WHDR_DONE after the event.
                __atomic_store_n(&h->dwFlags, (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE,
                                 __ATOMIC_RELEASE);
                queue_.pop_front();
                if (event_)
                    SetEvent(event_);
            }
        }
    }

    snd_pcm_t *pcm_;
    HANDLE event_;
    size_t frameBytes_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<WAVEHDR *> queue_;
    bool started_ = false;
    bool quit_ = false;
    std::thread thread_;
};

std::mutex g_openMutex;
std::map<HWAVEIN, std::shared_ptr<WaveIn>> g_open;
uintptr_t g_next = 0x20;

std::shared_ptr<WaveIn> Lookup(HWAVEIN h)
{
    std::lock_guard<std::mutex> lock(g_openMutex);
    auto it = g_open.find(h);
    return it == g_open.end() ? nullptr : it->second;
}

} // namespace
} // namespace win::mm

void win::testing::SetWaveInDevices(const std::vector<std::string> *alsaNames)
{
    std::lock_guard<std::mutex> lock(win::mm::g_listMutex);
    if (alsaNames)
        win::mm::g_overrideDevices = *alsaNames;
    else
        win::mm::g_overrideDevices.reset();
}

using namespace win::mm;

UINT waveInGetNumDevs() { return UINT(CaptureDevices().size()); }

MMRESULT waveInGetDevCapsA(UINT_PTR uDeviceID, WAVEINCAPSA *pwic, UINT cbwic)
{
    auto devices = CaptureDevices();
    if (uDeviceID >= devices.size())
        return MMSYSERR_BADDEVICEID;
    if (!pwic || cbwic < sizeof(WAVEINCAPSA))
        return MMSYSERR_INVALPARAM;
    std::memset(pwic, 0, sizeof *pwic);
    std::strncpy(pwic->szPname, devices[uDeviceID].c_str(), sizeof pwic->szPname - 1);
    pwic->wChannels = 2;
    pwic->dwFormats = 0xFFF;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, const WAVEFORMATEX *pwfx,
                    DWORD_PTR dwCallback, DWORD_PTR, DWORD fdwOpen)
{
    if (!phwi || !pwfx)
        return MMSYSERR_INVALPARAM;
    *phwi = nullptr;
    DWORD kind = fdwOpen & 0xFFFF0000u;
    if (kind != CALLBACK_EVENT && kind != CALLBACK_NULL)
        return MMSYSERR_INVALFLAG;
    if (pwfx->wFormatTag != WAVE_FORMAT_PCM || pwfx->nChannels < 1 || pwfx->nChannels > 2 ||
        (pwfx->wBitsPerSample != 16 && pwfx->wBitsPerSample != 8) || pwfx->nSamplesPerSec == 0)
        return WAVERR_BADFORMAT;
    auto devices = CaptureDevices();
    if (uDeviceID >= devices.size())
        return MMSYSERR_BADDEVICEID;
    snd_pcm_t *pcm = nullptr;
    if (snd_pcm_open(&pcm, devices[uDeviceID].c_str(), SND_PCM_STREAM_CAPTURE,
                     SND_PCM_NONBLOCK) < 0)
        return MMSYSERR_ALLOCATED;
    snd_pcm_format_t format = pwfx->wBitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE
                                                         : SND_PCM_FORMAT_U8;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, pwfx->nChannels,
                           pwfx->nSamplesPerSec, 1, 500000) < 0) {
        snd_pcm_close(pcm);
        return WAVERR_BADFORMAT;
    }
    HANDLE event = kind == CALLBACK_EVENT ? reinterpret_cast<HANDLE>(dwCallback) : nullptr;
    auto device = std::make_shared<WaveIn>(pcm, event,
                                           size_t(pwfx->nChannels) * pwfx->wBitsPerSample / 8);
    HWAVEIN h;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        h = reinterpret_cast<HWAVEIN>(g_next++);
        g_open[h] = device;
    }
    if (event)
        SetEvent(event); // the open notice
    *phwi = h;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    if (!Lookup(hwi))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR) || !pwh->lpData)
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    if (!Lookup(hwi))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    auto device = Lookup(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (!(pwh->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    device->Add(pwh);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi)
{
    auto device = Lookup(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->Start();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN hwi)
{
    auto device = Lookup(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->Stop();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    auto device = Lookup(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->Reset();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    std::shared_ptr<WaveIn> device;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        auto it = g_open.find(hwi);
        if (it == g_open.end())
            return MMSYSERR_INVALHANDLE;
        device = std::move(it->second);
        g_open.erase(it);
    }
    return MMSYSERR_NOERROR; // the device closes when the last user lets go
}
