// H323Codec families: the raw channel, framed audio reading and writing, silence detection.
#include <h323/codecs/codec.h>

#include <h323/callsig/connection.h>
#include <h323/rtp/rtp_frame.h>

#include <pwlib/ptrace.h>
#include <pwlib/video/pvideochannel.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

H323Codec::H323Codec(const char *format, Direction dir) : direction(dir), mediaFormat(format) {}

H323Codec::~H323Codec()
{
    CloseRawDataChannel();
}

void H323Codec::Close()
{
    // Not under rawChannelMutex: closing ends a Read or Write that holds it.
    PWaitAndSignal lock(channelPointerMutex);
    if (rawDataChannel != nullptr)
        rawDataChannel->Close();
}

unsigned H323Codec::GetFrameRate() const
{
    return 1;
}

BOOL H323Codec::AttachChannel(PChannel *channel, BOOL autoDelete)
{
    PWaitAndSignal lock(rawChannelMutex);
    PWaitAndSignal pointer(channelPointerMutex);
    if (rawDataChannel != nullptr && deleteChannel && rawDataChannel != channel)
        delete rawDataChannel;
    rawDataChannel = channel;
    deleteChannel = autoDelete;
    return channel != nullptr && channel->IsOpen();
}

PChannel *H323Codec::SwapChannel(PChannel *newChannel, BOOL autoDelete)
{
    PWaitAndSignal lock(rawChannelMutex);
    PWaitAndSignal pointer(channelPointerMutex);
    PChannel *old = rawDataChannel;
    rawDataChannel = newChannel;
    deleteChannel = autoDelete;
    return old;
}

BOOL H323Codec::CloseRawDataChannel()
{
    Close();
    PWaitAndSignal lock(rawChannelMutex);
    PWaitAndSignal pointer(channelPointerMutex);
    if (rawDataChannel == nullptr)
        return FALSE;
    if (deleteChannel)
        delete rawDataChannel;
    rawDataChannel = nullptr;
    return TRUE;
}

BOOL H323Codec::IsRawDataChannelOpen() const
{
    return rawDataChannel != nullptr && rawDataChannel->IsOpen();
}

BOOL H323Codec::ReadRaw(void *data, PINDEX size, PINDEX &length)
{
    length = 0;
    if (rawDataChannel == nullptr || !rawDataChannel->ReadBlock(data, size)) {
        if (rawDataChannel != nullptr)
            length = rawDataChannel->GetLastReadCount();
        return FALSE;
    }
    length = rawDataChannel->GetLastReadCount();
    return TRUE;
}

BOOL H323Codec::WriteRaw(void *data, PINDEX length)
{
    if (rawDataChannel == nullptr)
        return FALSE;
    return rawDataChannel->Write(data, length);
}

// ---- audio ----

H323AudioCodec::H323AudioCodec(const char *format, Direction dir) : H323Codec(format, dir) {}

BOOL H323AudioCodec::Open(H323Connection &connection)
{
    unsigned frameBytes = unsigned(mediaFormat.GetFrameTime()) * 2;
    if (frameBytes == 0)
        frameBytes = 320;
    unsigned bufferSize = frameBytes * framesPerRead;
    if (bufferSize < 320) // at least 20 ms a buffer
        bufferSize = 320;
    return connection.OpenAudioChannel(direction == Encoder, bufferSize, *this);
}

void H323AudioCodec::SetSilenceDetectionMode(SilenceDetectionMode mode, unsigned threshold)
{
    silenceDetectMode = mode;
    levelThreshold = threshold;
    signalFrames = silenceFrames = 0;
    inTalkBurst = FALSE;
    noiseLevel = 0;
}

BOOL H323AudioCodec::DetectSilence()
{
    if (silenceDetectMode == NoSilenceDetection)
        return FALSE;
    unsigned level = GetAverageSignalLevel();
    unsigned threshold = levelThreshold;
    if (silenceDetectMode == AdaptiveSilenceDetection) {
        // Track the background: fall fast to quieter frames, rise slowly during silence.
        if (noiseLevel == 0 || level < noiseLevel)
            noiseLevel = level > 0 ? level : 1;
        else if (!inTalkBurst)
            noiseLevel += (level - noiseLevel) / 64 + 1;
        threshold = noiseLevel * 2 + 100;
    }
    if (level > threshold) {
        silenceFrames = 0;
        if (++signalFrames >= 1)
            inTalkBurst = TRUE;
    } else {
        signalFrames = 0;
        // A short hang-over keeps the ends of words.
        if (++silenceFrames > 10)
            inTalkBurst = FALSE;
    }
    return !inTalkBurst;
}

// ---- framed audio ----

H323FramedAudioCodec::H323FramedAudioCodec(const char *format, Direction dir)
    : H323AudioCodec(format, dir)
{
    samplesPerFrame = mediaFormat.GetFrameTime();
    if (samplesPerFrame == 0)
        samplesPerFrame = 8;
    bytesPerFrame = unsigned(mediaFormat.GetFrameSize());
    sampleBuffer.SetSize(PINDEX(samplesPerFrame));
}

BOOL H323FramedAudioCodec::Read(BYTE *buffer, unsigned &length, RTP_DataFrame &)
{
    length = 0;
    if (direction != Encoder)
        return FALSE;
    if (readOffset >= readBuffer.size()) {
        readBuffer.resize(size_t(samplesPerFrame) * framesPerRead);
        PINDEX got = 0;
        PWaitAndSignal lock(rawChannelMutex);
        if (!ReadRaw(readBuffer.data(), PINDEX(readBuffer.size() * sizeof(short)), got))
            return FALSE;
        readOffset = 0;
    }
    std::memcpy(sampleBuffer.GetPointer(PINDEX(samplesPerFrame)), readBuffer.data() + readOffset,
                samplesPerFrame * sizeof(short));
    readOffset += samplesPerFrame;
    if (DetectSilence())
        return TRUE; // a silent frame is not sent
    length = bytesPerFrame;
    return EncodeFrame(buffer, length);
}

BOOL H323FramedAudioCodec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &,
                                 unsigned &written)
{
    PWaitAndSignal lock(rawChannelMutex);
    if (direction != Decoder)
        return FALSE;
    written = 0;
    unsigned pcmBytes = samplesPerFrame * 2;
    short *samples = sampleBuffer.GetPointer(PINDEX(samplesPerFrame));
    bool decoded = false;
    if (length > 0) {
        unsigned frameLength = bytesPerFrame > 0 && length > bytesPerFrame ? bytesPerFrame : length;
        written = frameLength;
        decoded = DecodeFrame(buffer, frameLength, written);
        if (written == 0 || written > length)
            written = frameLength;
    }
    if (!decoded)
        DecodeSilenceFrame(samples, pcmBytes);
    return WriteRaw(samples, PINDEX(pcmBytes));
}

void H323FramedAudioCodec::DecodeSilenceFrame(void *buffer, unsigned length)
{
    std::memset(buffer, 0, length);
}

unsigned H323FramedAudioCodec::GetAverageSignalLevel()
{
    const short *s = sampleBuffer.GetPointer();
    unsigned long sum = 0;
    for (unsigned i = 0; i < samplesPerFrame; i++)
        sum += unsigned(std::abs(int(s[i])));
    return samplesPerFrame > 0 ? unsigned(sum / samplesPerFrame) : 0;
}

// ---- video ----

H323VideoCodec::H323VideoCodec(const char *format, Direction dir,
                               const h323::video::PictureIntervals &allowed, unsigned maxBitRate)
    : H323Codec(format, dir), bitRateHighLimit(maxBitRate), allowedFormats(allowed),
      timestampBase(std::random_device{}())
{
}

BOOL H323VideoCodec::Open(H323Connection &connection)
{
    if (!connection.OpenVideoChannel(direction == Encoder, *this))
        return FALSE;
    if (direction != Encoder)
        return TRUE;
    PVideoChannel *video = GetVideoChannel();
    if (video == nullptr) {
        PTRACE(2, "H323\tvideo encoder without a video channel");
        return FALSE;
    }
    unsigned grabWidth = unsigned(video->GetGrabWidth());
    unsigned grabHeight = unsigned(video->GetGrabHeight());
    h323::video::Format format = allowedFormats.Choose(grabWidth, grabHeight);
    if (format == h323::video::NumFormats) {
        PTRACE(2, "H323\tno picture format to send " << mediaFormat);
        return FALSE;
    }
    h323::video::FrameSize size = h323::video::SizeOf(format);
    if ((size.width != grabWidth || size.height != grabHeight) &&
        (!video->SetGrabberFrameSize(size.width, size.height) ||
         unsigned(video->GetGrabWidth()) != size.width ||
         unsigned(video->GetGrabHeight()) != size.height)) {
        PTRACE(2, "H323\tthe grabber cannot give " << size.width << "x" << size.height);
        return FALSE;
    }
    frameWidth = size.width;
    frameHeight = size.height;
    // MPI counts 1001/30000 s; a little slack keeps a 30 Hz camera at MPI 1.
    pictureInterval = std::chrono::microseconds(allowedFormats.mpi[format] * 1001000ull / 30 - 2000);
    return TRUE;
}

void H323VideoCodec::Close()
{
    {
        std::lock_guard<std::mutex> lock(paceMutex);
        paceClosed = true;
    }
    paceWake.notify_all();
    H323Codec::Close();
}

BOOL H323VideoCodec::SetMaxBitRate(unsigned bitsPerSecond)
{
    if (bitsPerSecond == 0)
        return FALSE;
    bitRateHighLimit = bitsPerSecond;
    return TRUE;
}

PVideoChannel *H323VideoCodec::GetVideoChannel() const
{
    return dynamic_cast<PVideoChannel *>(rawDataChannel);
}

BOOL H323VideoCodec::ReadPicture(BYTE *buffer, DWORD &timestamp)
{
    PINDEX size = PINDEX(frameWidth * frameHeight * 3 / 2);
    for (;;) {
        PINDEX got = 0;
        {
            PWaitAndSignal lock(rawChannelMutex);
            if (!ReadRaw(buffer, size, got) || got != size)
                return FALSE;
        }
        Clock::time_point now = Clock::now();
        if (havePicture && now - lastPicture < pictureInterval)
            continue; // faster than the peer takes pictures: dropped
        havePicture = true;
        lastPicture = now;
        auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - started);
        timestamp = timestampBase + DWORD(elapsed.count() * 9 / 100);
        return TRUE;
    }
}

BOOL H323VideoCodec::PacePacket(unsigned bytes)
{
    std::unique_lock<std::mutex> lock(paceMutex);
    if (paceClosed)
        return FALSE;
    if ((videoBitRateControlModes & AdaptivePacketDelay) == 0 || bitRateHighLimit == 0)
        return TRUE;
    Clock::time_point now = Clock::now();
    if (nextSend > now)
        paceWake.wait_until(lock, nextSend, [this] { return paceClosed; });
    if (paceClosed)
        return FALSE;
    nextSend = std::max(nextSend, now) +
               std::chrono::microseconds(uint64_t(bytes) * 8000000 / bitRateHighLimit);
    return TRUE;
}

BOOL H323VideoCodec::ShowPicture(const BYTE *picture, unsigned width, unsigned height)
{
    PVideoChannel *video = GetVideoChannel();
    if (video == nullptr)
        return FALSE;
    if (unsigned(video->GetRenderWidth()) != width || unsigned(video->GetRenderHeight()) != height)
        video->SetRenderFrameSize(width, height);
    return WriteRaw(const_cast<BYTE *>(picture), PINDEX(width * height * 3 / 2));
}
