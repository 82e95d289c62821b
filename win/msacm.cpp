// Audio Compression Manager: the installed drivers, their open instances and streams.
#include <win/g723lib.h>
#include <win/internal/g723_frame.h>
#include <win/msacm.h>
#include <win/msacm_testing.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace win::acm
{
namespace
{

using testing::AcmDriverFault;
using testing::AcmTestDriver;

constexpr WORD kPcmTag = WAVE_FORMAT_PCM;
constexpr WORD kG7231Tag = 0x0042;
constexpr DWORD kFormatHeaderBytes = 18;

// The 32-bit Windows sizes of the records, which callers may give as cbStruct.
constexpr DWORD kFormatDetailsBytes32 = 152;
constexpr DWORD kFormatTagDetailsBytes32 = 72;
constexpr DWORD kStreamHeaderBytes32 = 84;

template <typename Record> bool SizeOk(const Record *record, DWORD size32)
{
    return record && (record->cbStruct == size32 || record->cbStruct == sizeof(Record));
}

struct Format {
    WORD tag = 0, channels = 0;
    DWORD rate = 0, bytesPerSecond = 0;
    WORD blockAlign = 0, bits = 0, extraBytes = 0;
};

Format ReadFormat(const void *bytes)
{
    const BYTE *p = static_cast<const BYTE *>(bytes);
    Format f;
    std::memcpy(&f.tag, p, 2);
    std::memcpy(&f.channels, p + 2, 2);
    std::memcpy(&f.rate, p + 4, 4);
    std::memcpy(&f.bytesPerSecond, p + 8, 4);
    std::memcpy(&f.blockAlign, p + 12, 2);
    std::memcpy(&f.bits, p + 14, 2);
    std::memcpy(&f.extraBytes, p + 16, 2);
    return f;
}

bool IsPcm8kMono16(const Format &f)
{
    return f.tag == kPcmTag && f.channels == 1 && f.rate == 8000 && f.bits == 16 &&
           f.blockAlign == 2;
}

bool IsG7231(const Format &f)
{
    return f.tag == kG7231Tag && f.channels == 1 && f.rate == 8000;
}

struct Driver {
    AcmTestDriver spec;

    bool Enabled() const { return !(spec.support & ACMDRIVERDETAILS_SUPPORTF_DISABLED); }
    bool Opens() const { return Enabled() && spec.fault != AcmDriverFault::Open; }
    bool ListsTag(WORD tag) const
    {
        return std::any_of(spec.formats.begin(), spec.formats.end(),
                           [tag](const auto &f) { return ReadFormat(f.data()).tag == tag; });
    }
};

struct Instance {
    std::shared_ptr<const Driver> driver;
};

// A PCM <-> G.723.1 stream with its own coder state.
struct Stream {
    Stream(std::shared_ptr<const Driver> driver, bool encode)
        : driver(std::move(driver)), encode(encode),
          coder(encode ? g723_enc_init() : g723_dec_init())
    {
    }
    ~Stream() { encode ? g723_enc_cleanup(coder) : g723_dec_cleanup(coder); }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    bool Convert(ACMSTREAMHEADER &h) const;

    const std::shared_ptr<const Driver> driver;
    const bool encode;
    const DWORD coder;
};

bool Stream::Convert(ACMSTREAMHEADER &h) const
{
    using namespace win::g723;
    bool ok = true;
    DWORD src = 0, dst = 0;
    if (encode) {
        while (ok && h.cbSrcLength - src >= kPcmBytes && h.cbDstLength - dst >= kMaxFrameBytes) {
            int n = g723_encode(coder, h.pbSrc + src, kPcmBytes, h.pbDst + dst, kMaxFrameBytes);
            ok = n > 0;
            if (ok) {
                src += kPcmBytes;
                dst += static_cast<DWORD>(n);
            }
        }
    } else {
        while (ok && src < h.cbSrcLength && h.cbDstLength - dst >= kPcmBytes) {
            unsigned length = FrameLength(h.pbSrc[src]);
            if (h.cbSrcLength - src < length)
                break;
            ok = g723_decode(coder, h.pbSrc + src, length, h.pbDst + dst, kPcmBytes) >= 0;
            if (ok) {
                src += length;
                dst += kPcmBytes;
            }
        }
    }
    h.cbSrcLengthUsed = src;
    h.cbDstLengthUsed = dst;
    return ok;
}

class Registry
{
  public:
    std::vector<std::shared_ptr<const Driver>> Drivers()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return drivers;
    }

    std::shared_ptr<const Driver> FindDriver(HACMDRIVERID id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &d : drivers)
            if (Id(d.get()) == id)
                return d;
        return nullptr;
    }

    HACMDRIVERID Install(AcmTestDriver spec)
    {
        auto driver = std::make_shared<Driver>();
        driver->spec = std::move(spec);
        std::lock_guard<std::mutex> lock(mutex);
        drivers.push_back(driver);
        return Id(driver.get());
    }

    void Remove(HACMDRIVERID id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::erase_if(drivers, [id](const auto &d) { return Id(d.get()) == id; });
    }

    template <typename Object, typename Handle>
    Handle Add(std::unordered_map<Object *, std::unique_ptr<Object>> &map,
               std::unique_ptr<Object> object)
    {
        std::lock_guard<std::mutex> lock(mutex);
        Object *key = object.get();
        map.emplace(key, std::move(object));
        return reinterpret_cast<Handle>(key);
    }

    template <typename Object, typename Handle>
    Object *Find(std::unordered_map<Object *, std::unique_ptr<Object>> &map, Handle handle)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = map.find(reinterpret_cast<Object *>(handle));
        return it == map.end() ? nullptr : it->second.get();
    }

    template <typename Object, typename Handle>
    bool Erase(std::unordered_map<Object *, std::unique_ptr<Object>> &map, Handle handle)
    {
        std::unique_ptr<Object> released;
        std::lock_guard<std::mutex> lock(mutex);
        auto it = map.find(reinterpret_cast<Object *>(handle));
        if (it == map.end())
            return false;
        released = std::move(it->second);
        map.erase(it);
        return true;
    }

    static HACMDRIVERID Id(const Driver *d)
    {
        return reinterpret_cast<HACMDRIVERID>(const_cast<Driver *>(d));
    }

    std::unordered_map<Instance *, std::unique_ptr<Instance>> instances;
    std::unordered_map<Stream *, std::unique_ptr<Stream>> streams;

  private:
    std::mutex mutex;
    std::vector<std::shared_ptr<const Driver>> drivers;
};

Registry &TheRegistry()
{
    static Registry registry;
    return registry;
}

// The driver of an open instance, or with had NULL every enabled driver that opens.
std::vector<std::shared_ptr<const Driver>> Candidates(HACMDRIVER had, bool &badHandle)
{
    Registry &r = TheRegistry();
    badHandle = false;
    if (had) {
        Instance *instance = r.Find(r.instances, had);
        badHandle = !instance;
        if (!instance)
            return {};
        return {instance->driver};
    }
    auto drivers = r.Drivers();
    std::erase_if(drivers, [](const auto &d) { return !d->Opens(); });
    return drivers;
}

void CopyName(char *out, size_t size, const std::string &name)
{
    size_t n = std::min(size - 1, name.size());
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
}

std::string TagName(const Driver &d, WORD tag)
{
    auto it = d.spec.tagNames.find(tag);
    return it == d.spec.tagNames.end() ? std::string() : it->second;
}

} // namespace
} // namespace win::acm

using namespace win::acm;

std::vector<BYTE> win::testing::G7231AcmFormat()
{
    return {0x42, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x20, 0x03, 0x00, 0x00, 0x18, 0x00,
            0x00, 0x00, 0x0A, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

std::vector<BYTE> win::testing::PcmAcmFormat()
{
    return {0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x80,
            0x3E, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 0x00, 0x00};
}

win::testing::AcmTestDriver win::testing::G7231AcmDriver(AcmDriverFault fault)
{
    AcmTestDriver driver;
    driver.formats = {PcmAcmFormat(), G7231AcmFormat()};
    driver.tagNames = {{kPcmTag, "PCM"}, {kG7231Tag, "G.723.1"}};
    driver.fault = fault;
    return driver;
}

HACMDRIVERID win::testing::InstallAcmDriver(const AcmTestDriver &driver)
{
    for (const auto &format : driver.formats)
        if (format.size() < kFormatHeaderBytes ||
            format.size() != kFormatHeaderBytes + ReadFormat(format.data()).extraBytes)
            return nullptr;
    return TheRegistry().Install(driver);
}

void win::testing::RemoveAcmDriver(HACMDRIVERID id)
{
    TheRegistry().Remove(id);
}

MMRESULT acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum)
{
    if (!fnCallback)
        return MMSYSERR_INVALPARAM;
    if (fdwEnum & ~ACM_DRIVERENUMF_DISABLED)
        return MMSYSERR_INVALFLAG;
    for (const auto &d : TheRegistry().Drivers()) {
        if (!d->Enabled() && !(fdwEnum & ACM_DRIVERENUMF_DISABLED))
            continue;
        if (!fnCallback(Registry::Id(d.get()), dwInstance, d->spec.support))
            break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverOpen(LPHACMDRIVER phad, HACMDRIVERID hadid, DWORD fdwOpen)
{
    if (!phad)
        return MMSYSERR_INVALPARAM;
    *phad = nullptr;
    if (fdwOpen)
        return MMSYSERR_INVALFLAG;
    Registry &r = TheRegistry();
    auto driver = r.FindDriver(hadid);
    if (!driver)
        return MMSYSERR_INVALHANDLE;
    if (!driver->Enabled())
        return MMSYSERR_NOTENABLED;
    if (!driver->Opens())
        return MMSYSERR_ERROR;
    *phad = r.Add<Instance, HACMDRIVER>(r.instances,
                                        std::make_unique<Instance>(Instance{std::move(driver)}));
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverClose(HACMDRIVER had, DWORD fdwClose)
{
    if (fdwClose)
        return MMSYSERR_INVALFLAG;
    Registry &r = TheRegistry();
    return r.Erase(r.instances, had) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT acmFormatEnumA(HACMDRIVER had, LPACMFORMATDETAILSA pafd, ACMFORMATENUMCBA fnCallback,
                        DWORD_PTR dwInstance, DWORD fdwEnum)
{
    Registry &r = TheRegistry();
    Instance *instance = r.Find(r.instances, had);
    if (!instance)
        return MMSYSERR_INVALHANDLE;
    if (!SizeOk(pafd, kFormatDetailsBytes32) || !pafd->pwfx || !fnCallback)
        return MMSYSERR_INVALPARAM;
    if (fdwEnum)
        return MMSYSERR_INVALFLAG;
    const Driver &d = *instance->driver;
    HACMDRIVERID id = Registry::Id(&d);
    for (size_t i = 0; i < d.spec.formats.size(); ++i) {
        const auto &format = d.spec.formats[i];
        if (format.size() > pafd->cbwfx)
            return MMSYSERR_INVALPARAM;
        WORD tag = ReadFormat(format.data()).tag;
        pafd->dwFormatIndex = static_cast<DWORD>(i);
        pafd->dwFormatTag = tag;
        pafd->fdwSupport = d.spec.support;
        std::memcpy(pafd->pwfx, format.data(), format.size());
        CopyName(pafd->szFormat, sizeof pafd->szFormat, TagName(d, tag));
        if (!fnCallback(id, pafd, dwInstance, d.spec.support))
            break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatTagDetailsA(HACMDRIVER had, LPACMFORMATTAGDETAILSA paftd, DWORD fdwDetails)
{
    if (!SizeOk(paftd, kFormatTagDetailsBytes32))
        return MMSYSERR_INVALPARAM;
    if (fdwDetails != ACM_FORMATTAGDETAILSF_FORMATTAG)
        return MMSYSERR_NOTSUPPORTED;
    bool badHandle;
    auto drivers = Candidates(had, badHandle);
    if (badHandle)
        return MMSYSERR_INVALHANDLE;
    const DWORD tag = paftd->dwFormatTag;
    for (const auto &d : drivers) {
        if (d->spec.fault == AcmDriverFault::FormatTagDetails)
            continue;
        std::vector<WORD> tags;
        DWORD count = 0, largest = 0;
        for (const auto &format : d->spec.formats) {
            WORD t = ReadFormat(format.data()).tag;
            if (std::find(tags.begin(), tags.end(), t) == tags.end())
                tags.push_back(t);
            if (t == tag) {
                ++count;
                largest = std::max(largest, static_cast<DWORD>(format.size()));
            }
        }
        if (!count)
            continue;
        paftd->dwFormatTagIndex =
            static_cast<DWORD>(std::find(tags.begin(), tags.end(), tag) - tags.begin());
        paftd->cbFormatSize = largest;
        paftd->fdwSupport = d->spec.support;
        paftd->cFormats = count;
        CopyName(paftd->szFormatTag, sizeof paftd->szFormatTag, TagName(*d, WORD(tag)));
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void *pMetric)
{
    if (hao)
        return MMSYSERR_INVALHANDLE;
    if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT)
        return MMSYSERR_NOTSUPPORTED;
    if (!pMetric)
        return MMSYSERR_INVALPARAM;
    DWORD largest = kFormatHeaderBytes;
    for (const auto &d : TheRegistry().Drivers())
        if (d->Enabled())
            for (const auto &format : d->spec.formats)
                largest = std::max(largest, static_cast<DWORD>(format.size()));
    std::memcpy(pMetric, &largest, sizeof largest);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR, DWORD_PTR,
                       DWORD fdwOpen)
{
    if (!phas || !pwfxSrc || !pwfxDst)
        return MMSYSERR_INVALPARAM;
    *phas = nullptr;
    if (pwfltr)
        return MMSYSERR_NOTSUPPORTED;
    if (fdwOpen)
        return MMSYSERR_INVALFLAG;
    Format src = ReadFormat(pwfxSrc), dst = ReadFormat(pwfxDst);
    bool encode = IsPcm8kMono16(src) && IsG7231(dst);
    bool decode = IsG7231(src) && IsPcm8kMono16(dst);
    bool badHandle;
    auto drivers = Candidates(had, badHandle);
    if (badHandle)
        return MMSYSERR_INVALHANDLE;
    for (const auto &d : drivers) {
        if (!(encode || decode) || d->spec.fault == AcmDriverFault::StreamOpen ||
            !d->ListsTag(kG7231Tag))
            continue;
        auto stream = std::make_unique<Stream>(d, encode);
        if (!stream->coder)
            return MMSYSERR_NOMEM;
        Registry &r = TheRegistry();
        *phas = r.Add<Stream, HACMSTREAM>(r.streams, std::move(stream));
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare)
{
    Registry &r = TheRegistry();
    Stream *stream = r.Find(r.streams, has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!SizeOk(pash, kStreamHeaderBytes32) || !pash->pbSrc || !pash->pbDst)
        return MMSYSERR_INVALPARAM;
    if (fdwPrepare)
        return MMSYSERR_INVALFLAG;
    if (stream->driver->spec.fault == AcmDriverFault::PrepareHeader)
        return MMSYSERR_NOMEM;
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare)
{
    Registry &r = TheRegistry();
    if (!r.Find(r.streams, has))
        return MMSYSERR_INVALHANDLE;
    if (!SizeOk(pash, kStreamHeaderBytes32))
        return MMSYSERR_INVALPARAM;
    if (fdwUnprepare)
        return MMSYSERR_INVALFLAG;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert)
{
    Registry &r = TheRegistry();
    Stream *stream = r.Find(r.streams, has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!SizeOk(pash, kStreamHeaderBytes32) || !pash->pbSrc || !pash->pbDst)
        return MMSYSERR_INVALPARAM;
    if (fdwConvert)
        return MMSYSERR_INVALFLAG;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    pash->cbSrcLengthUsed = pash->cbDstLengthUsed = 0;
    if (stream->driver->spec.fault == AcmDriverFault::Convert || !stream->Convert(*pash))
        return MMSYSERR_ERROR;
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose)
{
    if (fdwClose)
        return MMSYSERR_INVALFLAG;
    Registry &r = TheRegistry();
    return r.Erase(r.streams, has) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}
