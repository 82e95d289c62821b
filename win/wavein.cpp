// WINMM wave input over the sound channel's recorders, with a reading thread per open device.
#include <win/mmsystem.h>
#include <win/mmsystem_testing.h>

#include <pwlib/sound/psoundchannel.h>

#include <algorithm>
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

// The recording devices in the order of the device ids: the sound channel's list.
std::vector<std::string> CaptureDevices()
{
    {
        std::lock_guard<std::mutex> lock(g_listMutex);
        if (g_overrideDevices)
            return *g_overrideDevices;
    }
    std::vector<std::string> names;
    for (const PString &name : PSoundChannel::GetDeviceNames(PSoundChannel::Recorder))
        names.emplace_back(name.GetText());
    return names;
}

// Reads the front buffer of the queue in steps of about 20 ms, so that a stop takes effect
// within one step even when it comes just before a read begins.
class WaveIn
{
  public:
    WaveIn(std::unique_ptr<PSoundChannel> channel, HANDLE event, size_t frameBytes,
           size_t stepBytes)
        : channel_(std::move(channel)), event_(event), frameBytes_(frameBytes),
          stepBytes_(stepBytes)
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
        channel_->Close(); // ends a read in progress
        thread_.join();
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
        started_ = true;
        wake_.notify_all();
    }
    /// Returns once no read writes into a buffer any more.
    void Stop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        started_ = false;
        EndRead(lock);
    }
    void Reset()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        started_ = false;
        EndRead(lock);
        for (WAVEHDR *h : queue_)
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.clear();
    }

  private:
    void EndRead(std::unique_lock<std::mutex> &lock)
    {
        if (!reading_)
            return;
        channel_->Abort();
        wake_.wait(lock, [this] { return !reading_; });
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || (started_ && !queue_.empty()); });
            if (quit_)
                return;
            WAVEHDR *h = queue_.front();
            size_t room = (h->dwBufferLength - h->dwBytesRecorded) / frameBytes_ * frameBytes_;
            size_t step = std::min(room, stepBytes_);
            char *at = h->lpData + h->dwBytesRecorded;
            reading_ = true;
            lock.unlock();
            BOOL ok = step > 0 && channel_->Read(at, PINDEX(step));
            size_t got = ok ? size_t(channel_->GetLastReadCount()) : 0;
            bool failed = !ok && step > 0 &&
                          channel_->GetErrorCode(PChannel::LastReadError) != PChannel::Interrupted;
            lock.lock();
            reading_ = false;
            wake_.notify_all();
            if (quit_)
                return;
            // A stop or reset during the read has taken the buffer or its turn.
            if (!started_ || queue_.empty() || queue_.front() != h)
                continue;
            if (failed) {
                // A device that fails (unplugged, say) is retried now and then.
                wake_.wait_for(lock, std::chrono::milliseconds(100),
                               [this] { return quit_ || !started_; });
                continue;
            }
            h->dwBytesRecorded += DWORD(got);
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

    std::unique_ptr<PSoundChannel> channel_;
    HANDLE event_;
    size_t frameBytes_;
    size_t stepBytes_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<WAVEHDR *> queue_;
    bool started_ = false;
    bool reading_ = false;
    bool quit_ = false;
    std::thread thread_;
};

struct WaveInTable {
    std::mutex mutex;
    std::map<HWAVEIN, std::shared_ptr<WaveIn>> open;
    uintptr_t next = 0x20;
};

// Built on first use and kept until the process ends.
WaveInTable &WaveIns()
{
    static WaveInTable *table = new WaveInTable;
    return *table;
}

std::shared_ptr<WaveIn> Lookup(HWAVEIN h)
{
    WaveInTable &t = WaveIns();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.open.find(h);
    return it == t.open.end() ? nullptr : it->second;
}

} // namespace
} // namespace win::mm

void win::testing::SetWaveInDevices(const std::vector<std::string> *deviceNames)
{
    std::lock_guard<std::mutex> lock(win::mm::g_listMutex);
    if (deviceNames)
        win::mm::g_overrideDevices = *deviceNames;
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
    auto channel = std::make_unique<PSoundChannel>();
    if (!channel->Open(PString(devices[uDeviceID]), PSoundChannel::Recorder, pwfx->nChannels,
                       pwfx->nSamplesPerSec, pwfx->wBitsPerSample))
        return channel->GetErrorCode() == PChannel::BadParameter ? MMRESULT(WAVERR_BADFORMAT)
                                                                 : MMRESULT(MMSYSERR_ALLOCATED);
    HANDLE event = kind == CALLBACK_EVENT ? reinterpret_cast<HANDLE>(dwCallback) : nullptr;
    size_t frameBytes = size_t(pwfx->nChannels) * pwfx->wBitsPerSample / 8;
    size_t stepFrames = std::max<size_t>(pwfx->nSamplesPerSec / 50, 1);
    auto device =
        std::make_shared<WaveIn>(std::move(channel), event, frameBytes, stepFrames * frameBytes);
    HWAVEIN h;
    {
        WaveInTable &t = WaveIns();
        std::lock_guard<std::mutex> lock(t.mutex);
        h = reinterpret_cast<HWAVEIN>(t.next++);
        t.open[h] = device;
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
        WaveInTable &t = WaveIns();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.open.find(hwi);
        if (it == t.open.end())
            return MMSYSERR_INVALHANDLE;
        device = std::move(it->second);
        t.open.erase(it);
    }
    return MMSYSERR_NOERROR; // the device closes when the last user lets go
}
