// H323Codec and its families: the media coders between a raw channel and RTP payloads.
#pragma once

#include <h323/caps/media_format.h>
#include <h323/codecs/video_format.h>

#include <pwlib/parray.h>
#include <pwlib/pchannel.h>
#include <pwlib/pmutex.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class H323Channel;
class PVideoChannel;
class H323Connection;
class RTP_DataFrame;

/// A codec of one logical channel, for one direction. The encoder reads from its raw
/// channel (a sound or video device) and gives RTP payloads; the decoder takes payloads
/// and writes to its raw channel.
class H323Codec : public PObject
{
    PCLASSINFO(H323Codec, PObject)
  public:
    enum Direction { Encoder, Decoder };

    H323Codec(const char *mediaFormat, Direction direction);
    ~H323Codec() override;

    /// Opens the codec's media (its raw channel) for the connection.
    virtual BOOL Open(H323Connection &connection) = 0;
    /// Closes the raw channel (ends a blocked Read or Write).
    virtual void Close();
    /// Encoder: fills buffer with the next payload part and sets length (0: nothing to
    /// send now). The frame gives the marker and timestamp hints.
    virtual BOOL Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame) = 0;
    /// Decoder: consumes the start of buffer (length bytes, 0 for a lost frame) and sets
    /// written to the bytes used.
    virtual BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
                       unsigned &written) = 0;
    /// Timestamp units per frame.
    virtual unsigned GetFrameRate() const;

    /// Makes channel the raw data channel (owned when autoDelete).
    virtual BOOL AttachChannel(PChannel *channel, BOOL autoDelete = TRUE);
    /// Detaches and returns the raw channel (the caller owns it then).
    virtual PChannel *SwapChannel(PChannel *newChannel, BOOL autoDelete = TRUE);
    /// Closes and forgets the raw channel.
    virtual BOOL CloseRawDataChannel();
    BOOL IsRawDataChannelOpen() const;
    /// Reads from the raw channel; FALSE when it is closed or fails.
    BOOL ReadRaw(void *data, PINDEX size, PINDEX &length);
    /// Writes to the raw channel; FALSE when it is closed or fails.
    BOOL WriteRaw(void *data, PINDEX length);

    Direction GetDirection() const { return direction; }
    const OpalMediaFormat &GetMediaFormat() const { return mediaFormat; }
    void AttachLogicalChannel(H323Channel *channel) { logicalChannel = channel; }
    H323Channel *GetLogicalChannel() const { return logicalChannel; }

  protected:
    Direction direction;
    OpalMediaFormat mediaFormat;
    H323Channel *logicalChannel = nullptr;
    PChannel *rawDataChannel = nullptr;
    BOOL deleteChannel = FALSE;
    /// Held while the raw channel is read or written (and by a codec's Write around both
    /// decoding and writing).
    PMutex rawChannelMutex;

  private:
    /// Guards the channel pointer only, so that Close never waits for a Read or Write.
    PMutex channelPointerMutex;
};

/// An audio codec: PCM 8000 Hz mono 16-bit on the raw side, with silence detection.
class H323AudioCodec : public H323Codec
{
    PCLASSINFO(H323AudioCodec, H323Codec)
  public:
    enum SilenceDetectionMode {
        NoSilenceDetection,
        FixedSilenceDetection,
        AdaptiveSilenceDetection
    };

    H323AudioCodec(const char *mediaFormat, Direction direction);

    /// Opens the sound channel through the connection (its OpenAudioChannel).
    BOOL Open(H323Connection &connection) override;

    /// Silence detection of the encoder: in Fixed mode threshold is the level (0..32767)
    /// below which a frame is silent; Adaptive finds the level itself.
    virtual void SetSilenceDetectionMode(SilenceDetectionMode mode, unsigned threshold = 0);
    SilenceDetectionMode GetSilenceDetectionMode() const { return silenceDetectMode; }
    /// TRUE when the frame just read is silent (then it is not sent).
    virtual BOOL DetectSilence();
    /// Average absolute level of the frame just read (0..32767).
    virtual unsigned GetAverageSignalLevel() = 0;
    /// Frames read from the device in one go (the frames of one packet).
    void SetFramesPerRead(unsigned frames) { framesPerRead = frames > 0 ? frames : 1; }

  protected:
    SilenceDetectionMode silenceDetectMode = NoSilenceDetection;
    unsigned levelThreshold = 0;
    unsigned signalFrames = 0;   ///< consecutive loud frames
    unsigned silenceFrames = 0;  ///< consecutive quiet frames
    BOOL inTalkBurst = FALSE;
    unsigned noiseLevel = 0;     ///< adaptive: running estimate of the background
    unsigned framesPerRead = 1;
};

/// An audio codec of fixed frames: samplesPerFrame PCM samples coded in at most
/// bytesPerFrame bytes.
class H323FramedAudioCodec : public H323AudioCodec
{
    PCLASSINFO(H323FramedAudioCodec, H323AudioCodec)
  public:
    H323FramedAudioCodec(const char *mediaFormat, Direction direction);

    /// Reads one frame of PCM (the device is read a packet at a time), runs silence
    /// detection and encodes it; length 0 for a silent frame.
    BOOL Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame) override;
    /// Decodes one frame from buffer (a lost or empty frame gives silence) and writes the
    /// PCM; written is the coded bytes used.
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;
    unsigned GetFrameRate() const override { return samplesPerFrame; }
    unsigned GetAverageSignalLevel() override;

    /// Encodes sampleBuffer into buffer; length is the coded size.
    virtual BOOL EncodeFrame(BYTE *buffer, unsigned &length) = 0;
    /// Decodes length bytes into sampleBuffer; written may be set to the bytes used.
    virtual BOOL DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written) = 0;
    /// Fills buffer (length bytes) with the PCM of a lost frame; silence by default.
    virtual void DecodeSilenceFrame(void *buffer, unsigned length);

    unsigned GetSamplesPerFrame() const { return samplesPerFrame; }
    unsigned GetBytesPerFrame() const { return bytesPerFrame; }

  protected:
    PBaseArray<short> sampleBuffer; ///< one frame of PCM
    unsigned samplesPerFrame;
    unsigned bytesPerFrame;

  private:
    std::vector<short> readBuffer; ///< the PCM of one packet, read in one go
    size_t readOffset = 0;
};

/// A video codec: the raw channel is a PVideoChannel. The encoder sends one standard
/// format that the channel's capability allows, no faster than its picture interval, and
/// with AdaptivePacketDelay spaces its packets to keep the maximum bit rate.
class H323VideoCodec : public H323Codec
{
    PCLASSINFO(H323VideoCodec, H323Codec)
  public:
    enum BitRateModeBits { None = 0x00, DynamicVideoQuality = 0x01, AdaptivePacketDelay = 0x02 };
    /// The largest payload an encoder's Read gives; its buffer holds that many bytes.
    static constexpr unsigned MaxPayloadSize = 8192;

    /// allowed: the formats the encoder may send (unused by a decoder); maxBitRate in bit/s.
    H323VideoCodec(const char *mediaFormat, Direction direction,
                   const h323::video::PictureIntervals &allowed = {}, unsigned maxBitRate = 0);

    /// Opens the video channel through the connection (its OpenVideoChannel); an encoder
    /// then picks its format and asks the grabber for that size. FALSE when either fails.
    BOOL Open(H323Connection &connection) override;
    /// Also ends a wait of the packet pacing.
    void Close() override;

    virtual void SetTxQualityLevel(int quality) { videoQuality = quality; }
    virtual int GetTxQualityLevel() const { return videoQuality; }
    virtual void SetBackgroundFill(int fill) { fillLevel = fill; }
    virtual int GetBackgroundFill() const { return fillLevel; }
    /// Target bit rate in bit/s; FALSE for 0.
    virtual BOOL SetMaxBitRate(unsigned bitsPerSecond);
    unsigned GetMaxBitRate() const { return bitRateHighLimit; }
    virtual void SetVideoMode(int mode) { videoBitRateControlModes = mode; }
    virtual int GetVideoMode() const { return videoBitRateControlModes; }
    /// The peer asked for an intra picture.
    virtual void OnFastUpdatePicture() {}

    unsigned GetWidth() const { return frameWidth; }
    unsigned GetHeight() const { return frameHeight; }

  protected:
    /// The raw channel as a video channel, or nullptr.
    PVideoChannel *GetVideoChannel() const;
    /// Encoder: reads the next picture (frameWidth x frameHeight YUV 4:2:0) into buffer,
    /// dropping pictures that come sooner than the picture interval, and gives its RTP
    /// timestamp (90 kHz). FALSE when the channel is closed or fails.
    BOOL ReadPicture(BYTE *buffer, DWORD &timestamp);
    /// Encoder: waits until a packet of bytes may go out; FALSE when the codec closed.
    BOOL PacePacket(unsigned bytes);
    /// Decoder: shows a YUV 4:2:0 picture of width x height.
    BOOL ShowPicture(const BYTE *picture, unsigned width, unsigned height);

    int videoQuality = 10;
    int fillLevel = 2;
    unsigned bitRateHighLimit = 0;
    int videoBitRateControlModes = None;
    unsigned frameWidth = 0;
    unsigned frameHeight = 0;
    unsigned targetFrameTimeMs = 100;
    h323::video::PictureIntervals allowedFormats;

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point started = Clock::now();
    DWORD timestampBase;
    Clock::duration pictureInterval{};
    Clock::time_point lastPicture{};
    bool havePicture = false;
    std::mutex paceMutex;
    std::condition_variable paceWake;
    bool paceClosed = false;
    Clock::time_point nextSend{};
};
