// Microphone meter: one recorded block, re-queued after every fill.
#include <core/wave_in_meter.h>

#include <core/sound_devices.h>

#include <win/msgbox.h>

#include <algorithm>
#include <cstring>

CWaveInMeter::CWaveInMeter() = default;

CWaveInMeter::~CWaveInMeter() { Stop(); }

int CWaveInMeter::ClearBuffer()
{
    std::fill(m_buffer, m_buffer + kBufferSamples / 2, short(0)); // the first 16384 bytes
    return 0;
}

void CWaveInMeter::OnBuffer(short *) {}

void CWaveInMeter::SetFormat(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample)
{
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = channels;
    m_format.nSamplesPerSec = samplesPerSecond;
    m_format.wBitsPerSample = bitsPerSample;
    m_format.nAvgBytesPerSec = channels * bitsPerSample * samplesPerSecond / 8;
    m_format.nBlockAlign = WORD(channels * bitsPerSample / 8);
    m_format.cbSize = 0;
}

MMRESULT CWaveInMeter::Start(UINT deviceId)
{
    m_deviceId = deviceId;
    if (waveInGetNumDevs() == 0) {
        AfxMessageBox("No Sound Device");
        return 0;
    }
    if (waveInGetDevCapsA(0, &m_caps, sizeof m_caps) != MMSYSERR_NOERROR)
        AfxMessageBox("Cannot determine sound card capabilities !");
    // A second Start first ends the recording of the first.
    Stop();
    m_event = CreateEventA(nullptr, FALSE, FALSE, "WaveInThreadEvent");
    m_stop = 0;
    m_threadDone = false;
    m_thread = std::thread([this] { CaptureThread(); });
    SetFormat(1, m_sampleRate, 16);
    MMRESULT r = waveInOpen(&m_hWaveIn, deviceId, &m_format, reinterpret_cast<DWORD_PTR>(m_event),
                            0, CALLBACK_EVENT);
    if (r != MMSYSERR_NOERROR) {
        m_hWaveIn = nullptr;
        AfxMessageBox(kCannotOpenInputDevice);
        Stop();
        return r;
    }
    m_header = {};
    m_header.lpData = reinterpret_cast<char *>(m_buffer);
    m_header.dwBufferLength = DWORD(m_blockSamples * 2);
    r = waveInPrepareHeader(m_hWaveIn, &m_header, sizeof m_header);
    if (r != MMSYSERR_NOERROR || m_header.dwFlags != WHDR_PREPARED) {
        AfxMessageBox("Cannot Prepare Header !");
        Stop();
        return r;
    }
    r = waveInAddBuffer(m_hWaveIn, &m_header, sizeof m_header);
    if (r != MMSYSERR_NOERROR) {
        AfxMessageBox("Cannot Add Buffer !");
        Stop();
        return r;
    }
    r = waveInStart(m_hWaveIn);
    if (r != MMSYSERR_NOERROR) {
        AfxMessageBox("Cannot Start Wave In !");
        Stop();
        return r;
    }
    return 0;
}

bool CWaveInMeter::Requeue()
{
    if (waveInUnprepareHeader(m_hWaveIn, &m_header, sizeof m_header) != MMSYSERR_NOERROR)
        return false;
    m_header.lpData = reinterpret_cast<char *>(m_buffer);
    m_header.dwBufferLength = DWORD(m_blockSamples * 2);
    m_header.dwFlags = 0;
    MMRESULT r = waveInPrepareHeader(m_hWaveIn, &m_header, sizeof m_header);
    if (r != MMSYSERR_NOERROR || m_header.dwFlags != WHDR_PREPARED) {
        AfxMessageBox("Cannot Prepare Header !");
        return false;
    }
    if (waveInAddBuffer(m_hWaveIn, &m_header, sizeof m_header) != MMSYSERR_NOERROR) {
        AfxMessageBox("Cannot Add Buffer !");
        return false;
    }
    if (waveInStart(m_hWaveIn) != MMSYSERR_NOERROR) {
        AfxMessageBox("Cannot Start Wave In !");
        return false;
    }
    return true;
}

void CWaveInMeter::CaptureThread()
{
    // The device signals once when it opens and after each block. The event does not count
    // its signals, so a wake-up is taken for a block only when the block is done.
    while (!m_stop) {
        if (WaitForSingleObject(m_event, INFINITE) != WAIT_OBJECT_0 || m_stop)
            break;
        if (!(__atomic_load_n(&m_header.dwFlags, __ATOMIC_ACQUIRE) & WHDR_DONE))
            continue;
        // The finished block is copied before the device gets the buffer back, so the
        // readers never see samples the device is overwriting.
        {
            std::lock_guard<std::mutex> lock(m_latestMutex);
            std::memcpy(m_latest, m_buffer, size_t(m_blockSamples) * 2);
        }
        if (!Requeue())
            break;
        OnBuffer(m_latest);
    }
    m_threadDone = true;
}

MMRESULT CWaveInMeter::Stop()
{
    m_stop = 1;
    if (m_event)
        SetEvent(m_event);
    if (m_thread.joinable()) {
        // The capture thread may be showing a message box on the interface thread.
        win::WaitServingMessages([this] { return m_threadDone.load(); });
        m_thread.join();
    } else {
        Sleep(50);
    }
    MMRESULT r = 0;
    if (m_hWaveIn) {
        waveInStop(m_hWaveIn);
        waveInReset(m_hWaveIn);
        waveInUnprepareHeader(m_hWaveIn, &m_header, sizeof m_header);
        r = waveInClose(m_hWaveIn);
        m_hWaveIn = nullptr;
    }
    if (m_event) {
        CloseHandle(m_event);
        m_event = nullptr;
    }
    return r;
}

void CWaveInMeter::ReadSamples(short *out, int count) const
{
    std::lock_guard<std::mutex> lock(m_latestMutex);
    std::memcpy(out, m_latest, size_t(std::clamp(count, 0, kBufferSamples)) * 2);
}
