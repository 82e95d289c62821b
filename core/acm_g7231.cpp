// G.723.1 through the Audio Compression Manager, and the search for its driver.
#include <core/acm_g7231.h>

#include <h323/asn1/gen/h245.h>

#include <cstring>

namespace
{

constexpr WORD kG7231FormatTag = 0x0042;
constexpr DWORD kMinimumFormatSize = 18;
// The records' sizes in the layout the ACM knows them by.
constexpr DWORD kFormatDetailsSize = 152;
constexpr DWORD kFormatTagDetailsSize = 72;
constexpr DWORD kStreamHeaderSize = 84;

void PutWord(std::vector<BYTE> &out, size_t at, WORD value)
{
    out[at] = BYTE(value);
    out[at + 1] = BYTE(value >> 8);
}

void PutDword(std::vector<BYTE> &out, size_t at, DWORD value)
{
    for (int i = 0; i < 4; i++)
        out[at + size_t(i)] = BYTE(value >> (8 * i));
}

LPWAVEFORMATEX AsWaveFormat(std::vector<BYTE> &bytes)
{
    return reinterpret_cast<LPWAVEFORMATEX>(bytes.data());
}

} // namespace

H323_REGISTER_CAPABILITY(H323_ACMG7231Capability, OPAL_G7231 "(ACM)");

// ---- the driver search ----

ACMFormatSearch::ACMFormatSearch(DWORD tag) : wantedTag(tag)
{
    DWORD maxSize = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize) != MMSYSERR_NOERROR)
        maxSize = 0;
    formatBuffer.assign(maxSize > kMinimumFormatSize ? maxSize : kMinimumFormatSize, 0);
}

bool IsACMG7231Available()
{
    ACMFormatSearch search(kG7231FormatTag);
    MMRESULT result =
        acmDriverEnum(EnumACMDriversCallback, reinterpret_cast<DWORD_PTR>(&search), 0);
    return result == MMSYSERR_NOERROR && !search.tagNames.empty();
}

BOOL EnumACMDriversCallback(HACMDRIVERID driver, DWORD_PTR instance, DWORD support)
{
    ACMFormatSearch &search = *reinterpret_cast<ACMFormatSearch *>(instance);
    if (!(support & ACMDRIVERDETAILS_SUPPORTF_CODEC))
        return TRUE;
    HACMDRIVER handle = nullptr;
    if (acmDriverOpen(&handle, driver, 0) != MMSYSERR_NOERROR)
        return FALSE;

    ACMFORMATDETAILSA details;
    std::memset(&details, 0, sizeof(details));
    details.cbStruct = kFormatDetailsSize;
    std::fill(search.formatBuffer.begin(), search.formatBuffer.end(), BYTE(0));
    PutWord(search.formatBuffer, 0, WORD(search.wantedTag));
    details.pwfx = AsWaveFormat(search.formatBuffer);
    details.cbwfx = DWORD(search.formatBuffer.size());
    details.dwFormatTag = search.wantedTag;
    acmFormatEnumA(handle, &details, EnumACMFormatsCallback, instance, 0);
    acmDriverClose(handle, 0);
    return search.matchedDriver == nullptr;
}

BOOL EnumACMFormatsCallback(HACMDRIVERID driver, LPACMFORMATDETAILSA details, DWORD_PTR instance,
                            DWORD)
{
    ACMFormatSearch &search = *reinterpret_cast<ACMFormatSearch *>(instance);
    DWORD tag = details->pwfx != nullptr ? details->pwfx->wFormatTag : details->dwFormatTag;
    if (search.wantedTag == 0)
        return AddACMFormatTag(tag, search);
    if (tag == search.wantedTag) {
        AddACMFormatTag(tag, search);
        search.matchedDriver = driver;
        return FALSE;
    }
    return TRUE;
}

BOOL AddACMFormatTag(DWORD tag, ACMFormatSearch &search)
{
    if (search.tagNames.count(tag) != 0)
        return TRUE;
    ACMFORMATTAGDETAILSA details;
    std::memset(&details, 0, sizeof(details));
    details.cbStruct = kFormatTagDetailsSize;
    details.dwFormatTag = tag;
    if (acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) !=
        MMSYSERR_NOERROR)
        return FALSE;
    details.szFormatTag[sizeof(details.szFormatTag) - 1] = '\0';
    search.tagNames[tag] = details.szFormatTag;
    return TRUE;
}

std::vector<BYTE> G7231WaveFormat()
{
    std::vector<BYTE> f(28, 0);
    PutWord(f, 0, kG7231FormatTag);
    PutWord(f, 2, 1);     // channels
    PutDword(f, 4, 8000); // samples per second
    PutDword(f, 8, 800);  // average bytes per second
    PutWord(f, 12, 24);   // block align
    PutWord(f, 14, 0);    // bits per sample
    PutWord(f, 16, 10);   // extra bytes
    PutWord(f, 18, 2);    // first extra word; the driver data stays zero
    return f;
}

std::vector<BYTE> PcmWaveFormat()
{
    std::vector<BYTE> f(18, 0);
    PutWord(f, 0, WAVE_FORMAT_PCM);
    PutWord(f, 2, 1);
    PutDword(f, 4, 8000);
    PutDword(f, 8, 16000);
    PutWord(f, 12, 2);
    PutWord(f, 14, 16);
    PutWord(f, 16, 0);
    return f;
}

// ---- capability ----

H323_ACMG7231Capability::H323_ACMG7231Capability() : H323AudioCapability(8, 1) {}

unsigned H323_ACMG7231Capability::GetSubType() const
{
    return H245_AudioCapability::e_g7231;
}

H323Codec *H323_ACMG7231Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_ACMCodec(direction);
}

BOOL H323_ACMG7231Capability::OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const
{
    return G7231OnSendingPDU(pdu, packetSize);
}

BOOL H323_ACMG7231Capability::OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize)
{
    return G7231OnReceivedPDU(pdu, packetSize);
}

// ---- codec ----

H323_ACMCodec::H323_ACMCodec(Direction dir)
    : H323FramedAudioCodec(OPAL_G7231, dir), m_waveFormat(G7231WaveFormat())
{
}

H323_ACMCodec::~H323_ACMCodec()
{
    if (m_hStream != nullptr)
        acmStreamClose(m_hStream, 0);
}

BOOL H323_ACMCodec::Open(H323Connection &connection)
{
    std::vector<BYTE> pcm = PcmWaveFormat();
    std::vector<BYTE> coded = m_waveFormat;
    LPWAVEFORMATEX source = direction == Decoder ? AsWaveFormat(coded) : AsWaveFormat(pcm);
    LPWAVEFORMATEX destination = direction == Decoder ? AsWaveFormat(pcm) : AsWaveFormat(coded);
    if (acmStreamOpen(&m_hStream, nullptr, source, destination, nullptr, 0, 0, 0) !=
        MMSYSERR_NOERROR) {
        m_hStream = nullptr;
        return FALSE;
    }
    return H323AudioCodec::Open(connection);
}

long H323_ACMCodec::Convert(const BYTE *src, DWORD srcLength, BYTE *dst, DWORD dstLength)
{
    ACMSTREAMHEADER header;
    std::memset(&header, 0, sizeof(header));
    header.cbStruct = kStreamHeaderSize;
    header.pbSrc = const_cast<BYTE *>(src);
    header.cbSrcLength = srcLength;
    header.pbDst = dst;
    header.cbDstLength = dstLength;
    if (acmStreamPrepareHeader(m_hStream, &header, 0) != MMSYSERR_NOERROR)
        return -1;
    MMRESULT converted = acmStreamConvert(m_hStream, &header, 0);
    acmStreamUnprepareHeader(m_hStream, &header, 0);
    return converted == MMSYSERR_NOERROR ? long(header.cbDstLengthUsed) : -1;
}

BOOL H323_ACMCodec::EncodeFrame(BYTE *buffer, unsigned &length)
{
    if (m_hStream == nullptr)
        return FALSE;
    BYTE *pcm = reinterpret_cast<BYTE *>(sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame)));
    if (Convert(pcm, g7231::kPcmBytes, buffer, g7231::kFullRateBytes) <= 0)
        return FALSE;
    length = G7231FrameLength(buffer[0]);
    return TRUE;
}

BOOL H323_ACMCodec::DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written)
{
    if (m_hStream == nullptr)
        return FALSE;
    BYTE *pcm = reinterpret_cast<BYTE *>(sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame)));
    // The frame's own length bounds the source, so a short last frame is never read past.
    if (Convert(buffer, length, pcm, g7231::kPcmBytes) != long(g7231::kPcmBytes))
        return FALSE;
    written = g7231::kFullRateBytes;
    return TRUE;
}

BOOL H323_ACMCodec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &,
                          unsigned &written)
{
    PWaitAndSignal lock(rawChannelMutex);
    short *samples = sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame));
    return g7231::WriteOneFrame(*this, samples, buffer, length, written,
                                [this](const BYTE *frame, unsigned n, unsigned &used) {
                                    return DecodeFrame(frame, n, used) != FALSE;
                                });
}

void H323_ACMCodec::DecodeSilenceFrame(void *buffer, unsigned length)
{
    std::memset(buffer, 0, length);
}
