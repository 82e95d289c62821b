// CWaveInMeter: records a microphone block over and over on its own thread, for a level bar.
#pragma once

#include <win/handle.h>
#include <win/mmsystem.h>

#include <atomic>
#include <mutex>
#include <thread>

class CWaveInMeter
{
  public:
    static constexpr int kBufferSamples = 16384; // 32768 bytes
    static constexpr int kBlockSamples = 2048;

    CWaveInMeter();
    virtual ~CWaveInMeter();
    CWaveInMeter(const CWaveInMeter &) = delete;
    CWaveInMeter &operator=(const CWaveInMeter &) = delete;

    /// Zeroes the first 16384 bytes of the sample buffer; returns 0.
    virtual int ClearBuffer();
    /// Called on the capture thread after each recorded block, with the block's samples.
    virtual void OnBuffer(short *samples);

    /// Starts recording from wave-in device id; 0, or the WINMM error (after a message box).
    MMRESULT Start(UINT deviceId);
    /// Stops recording and closes the device; the result of closing (0 when none was open).
    MMRESULT Stop();
    void SetFormat(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample);

    /// Copies the first count samples of the latest recorded block (zeros before the first).
    void ReadSamples(short *out, int count) const;

  private:
    void CaptureThread();
    bool Requeue();

    short m_buffer[kBufferSamples] = {};      // the device records into its start
    short m_latest[kBufferSamples] = {};      // the last complete block, for the readers
    mutable std::mutex m_latestMutex;
    WAVEINCAPSA m_caps{};
    HWAVEIN m_hWaveIn = nullptr;
    WAVEHDR m_header{};
    WAVEFORMATEX m_format{};
    UINT m_deviceId = 0;
    HANDLE m_event = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_threadDone{true};
    std::atomic<int> m_stop{0};
    DWORD m_sampleRate = 11025;
    int m_blockSamples = kBlockSamples;
};
