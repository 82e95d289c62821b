// G.723.1 through the Audio Compression Manager: the "G.723.1(ACM)" capability and its codec,
// and the search for an installed G.723.1 driver.
#pragma once

#include <core/g7231_codec.h>

#include <win/msacm.h>

#include <map>
#include <string>
#include <vector>

/// TRUE when an enabled ACM codec driver lists a format of tag 0x0042 (G.723.1).
bool IsACMG7231Available();

/// The state of one driver search.
struct ACMFormatSearch {
    explicit ACMFormatSearch(DWORD tag);

    DWORD wantedTag;                       ///< 0: collect every tag
    HACMDRIVERID matchedDriver = nullptr;  ///< the driver that listed the wanted tag
    std::map<DWORD, std::string> tagNames; ///< tags seen, with the names the ACM reports
    std::vector<BYTE> formatBuffer;        ///< the largest format any driver lists
};

BOOL EnumACMDriversCallback(HACMDRIVERID driver, DWORD_PTR search, DWORD support);
BOOL EnumACMFormatsCallback(HACMDRIVERID driver, LPACMFORMATDETAILSA details, DWORD_PTR search,
                            DWORD support);
/// Enters tag with its reported name; FALSE (stop) when its details cannot be had.
BOOL AddACMFormatTag(DWORD tag, ACMFormatSearch &search);

/// The 28-byte ACM format of the coded side.
std::vector<BYTE> G7231WaveFormat();
/// 8 kHz 16-bit mono PCM (18 bytes).
std::vector<BYTE> PcmWaveFormat();

class H323_ACMG7231Capability : public H323AudioCapability
{
    PCLASSINFO(H323_ACMG7231Capability, H323AudioCapability)
  public:
    H323_ACMG7231Capability();
    PObject *Clone() const override { return new H323_ACMG7231Capability(*this); }
    unsigned GetSubType() const override;
    PString GetFormatName() const override { return OPAL_G7231 "(ACM)"; }
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;
    BOOL OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const override;
    BOOL OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize) override;
    using H323AudioCapability::OnReceivedPDU;
    using H323AudioCapability::OnSendingPDU;
};

class H323_ACMCodec : public H323FramedAudioCodec
{
    PCLASSINFO(H323_ACMCodec, H323FramedAudioCodec)
  public:
    explicit H323_ACMCodec(Direction direction);
    /// Closes the stream.
    ~H323_ACMCodec() override;
    /// Opens the conversion stream, then the audio channel; FALSE when no driver converts.
    BOOL Open(H323Connection &connection) override;
    /// As H323_G7231Codec::Write.
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;
    BOOL EncodeFrame(BYTE *buffer, unsigned &length) override;
    BOOL DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written) override;
    void DecodeSilenceFrame(void *buffer, unsigned length) override;

  private:
    /// Converts src into dst through the stream; the bytes of dst written, or -1.
    long Convert(const BYTE *src, DWORD srcLength, BYTE *dst, DWORD dstLength);

    std::vector<BYTE> m_waveFormat;
    HACMSTREAM m_hStream = nullptr;
};
