// The Audio Compression Manager: no driver in the phone, test drivers, streams, failures.
#include <win/g723lib.h>
#include <win/msacm.h>
#include <win/msacm_testing.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

using win::testing::AcmDriverFault;
using win::testing::G7231AcmDriver;
using Bytes = std::vector<BYTE>;

constexpr DWORD kG7231 = 0x0042;

// A driver installed for one test.
class Installed
{
  public:
    explicit Installed(const win::testing::AcmTestDriver &driver)
        : id(win::testing::InstallAcmDriver(driver))
    {
    }
    ~Installed() { win::testing::RemoveAcmDriver(id); }
    const HACMDRIVERID id;
};

// A search for the drivers listing a format tag, made as the phone makes it: codec drivers
// only, each opened and its formats listed; the first match ends it.
struct Search {
    DWORD wanted = kG7231;
    HACMDRIVERID matched = nullptr;
    std::map<DWORD, std::string> tags;
    Bytes format;
    std::vector<HACMDRIVERID> drivers; // every driver the enumeration reported
};

BOOL OnFormat(HACMDRIVERID id, LPACMFORMATDETAILSA details, DWORD_PTR instance, DWORD)
{
    auto &s = *reinterpret_cast<Search *>(instance);
    if (details->dwFormatTag != s.wanted)
        return TRUE;
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = 72;
    tag.dwFormatTag = details->dwFormatTag;
    if (acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG) != MMSYSERR_NOERROR)
        return FALSE;
    s.tags[tag.dwFormatTag] = tag.szFormatTag;
    s.matched = id;
    return FALSE;
}

BOOL OnDriver(HACMDRIVERID id, DWORD_PTR instance, DWORD support)
{
    auto &s = *reinterpret_cast<Search *>(instance);
    s.drivers.push_back(id);
    if (!(support & ACMDRIVERDETAILS_SUPPORTF_CODEC))
        return TRUE;
    HACMDRIVER had;
    if (acmDriverOpen(&had, id, 0) != MMSYSERR_NOERROR)
        return FALSE;
    ACMFORMATDETAILSA details{};
    details.cbStruct = 152;
    details.pwfx = reinterpret_cast<LPWAVEFORMATEX>(s.format.data());
    details.cbwfx = DWORD(s.format.size());
    details.dwFormatTag = s.wanted;
    EXPECT_EQ(acmFormatEnumA(had, &details, OnFormat, instance, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmDriverClose(had, 0), MMSYSERR_NOERROR);
    return !s.matched;
}

Search Find()
{
    Search s;
    DWORD size = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    s.format.assign(std::max<DWORD>(size, 18), 0);
    EXPECT_EQ(acmDriverEnum(OnDriver, reinterpret_cast<DWORD_PTR>(&s), 0), MMSYSERR_NOERROR);
    return s;
}

LPWAVEFORMATEX Format(Bytes &bytes)
{
    return reinterpret_cast<LPWAVEFORMATEX>(bytes.data());
}

MMRESULT Open(HACMSTREAM &stream, bool encode)
{
    Bytes pcm = win::testing::PcmAcmFormat(), g7231 = win::testing::G7231AcmFormat();
    return encode ? acmStreamOpen(&stream, nullptr, Format(pcm), Format(g7231), nullptr, 0, 0, 0)
                  : acmStreamOpen(&stream, nullptr, Format(g7231), Format(pcm), nullptr, 0, 0, 0);
}

struct Converted {
    MMRESULT prepare = 0, convert = 0, unprepare = 0;
    DWORD srcUsed = 0, dstUsed = 0, status = 0;
};

// One conversion with a fresh header, as the codecs make it.
Converted Convert(HACMSTREAM stream, Bytes &src, Bytes &dst, DWORD srcLength)
{
    ACMSTREAMHEADER h{};
    h.cbStruct = 84;
    h.pbSrc = src.data();
    h.cbSrcLength = srcLength;
    h.pbDst = dst.data();
    h.cbDstLength = DWORD(dst.size());
    Converted c;
    c.prepare = acmStreamPrepareHeader(stream, &h, 0);
    if (c.prepare == MMSYSERR_NOERROR) {
        c.convert = acmStreamConvert(stream, &h, 0);
        c.status = h.fdwStatus;
        c.unprepare = acmStreamUnprepareHeader(stream, &h, 0);
    }
    c.srcUsed = h.cbSrcLengthUsed;
    c.dstUsed = h.cbDstLengthUsed;
    return c;
}

Bytes ToneBlock(int index)
{
    Bytes pcm(480);
    for (int i = 0; i < 240; ++i) {
        auto s = int16_t(7000 * std::sin(2 * M_PI * 500 * (index * 240 + i) / 8000.0));
        std::memcpy(&pcm[2 * i], &s, 2);
    }
    return pcm;
}

TEST(AcmTest, WithoutADriverNothingIsFoundAndNoStreamOpens)
{
    Search s = Find();
    EXPECT_TRUE(s.drivers.empty());
    EXPECT_TRUE(s.tags.empty());
    EXPECT_EQ(s.format.size(), 18u);

    for (bool encode : {true, false}) {
        HACMSTREAM stream = reinterpret_cast<HACMSTREAM>(1);
        EXPECT_EQ(Open(stream, encode), ACMERR_NOTPOSSIBLE);
        EXPECT_EQ(stream, nullptr);
    }
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = 72;
    tag.dwFormatTag = kG7231;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG),
              ACMERR_NOTPOSSIBLE);
}

TEST(AcmTest, TheTestDriverListsTheG7231FormatUnderItsTagName)
{
    Installed driver(G7231AcmDriver());
    ASSERT_NE(driver.id, nullptr);
    Search s = Find();
    EXPECT_EQ(s.matched, driver.id);
    EXPECT_EQ(s.tags, (std::map<DWORD, std::string>{{kG7231, "G.723.1"}}));
    EXPECT_EQ(s.format, win::testing::G7231AcmFormat()) << "the buffer holds the last format";

    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = sizeof tag;
    tag.dwFormatTag = kG7231;
    ASSERT_EQ(acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG), 0u);
    EXPECT_EQ(tag.cbFormatSize, 28u);
    EXPECT_EQ(tag.cFormats, 1u);
    EXPECT_EQ(tag.dwFormatTagIndex, 1u) << "after PCM";
    EXPECT_EQ(tag.fdwSupport, ACMDRIVERDETAILS_SUPPORTF_CODEC);

    // Every format is listed, each into the caller's buffer; a buffer too small is refused.
    HACMDRIVER had;
    ASSERT_EQ(acmDriverOpen(&had, driver.id, 0), 0u);
    Bytes buffer(28);
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.pwfx = Format(buffer);
    details.cbwfx = 28;
    std::vector<DWORD> tags;
    auto collect = [](HACMDRIVERID, LPACMFORMATDETAILSA d, DWORD_PTR out, DWORD) -> BOOL {
        reinterpret_cast<std::vector<DWORD> *>(out)->push_back(d->dwFormatTag);
        return TRUE;
    };
    EXPECT_EQ(acmFormatEnumA(had, &details, collect, DWORD_PTR(&tags), 0), 0u);
    EXPECT_EQ(tags, (std::vector<DWORD>{1, kG7231}));
    details.cbwfx = 27;
    EXPECT_EQ(acmFormatEnumA(had, &details, collect, DWORD_PTR(&tags), 0), MMSYSERR_INVALPARAM);
    details.cbStruct = 100;
    EXPECT_EQ(acmFormatEnumA(had, &details, collect, DWORD_PTR(&tags), 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmDriverClose(had, 0), 0u);
    EXPECT_EQ(acmDriverClose(had, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmTest, StreamsCodeBothDirectionsWithTheCoder)
{
    Installed driver(G7231AcmDriver());
    HACMSTREAM encoder, decoder;
    ASSERT_EQ(Open(encoder, true), 0u);
    ASSERT_EQ(Open(decoder, false), 0u);
    DWORD enc = g723_enc_init(), dec = g723_dec_init();

    for (int f = 0; f < 10; ++f) {
        Bytes pcm = ToneBlock(f), coded(24), expected(24);
        Converted c = Convert(encoder, pcm, coded, 480);
        EXPECT_EQ(c.convert, 0u);
        EXPECT_EQ(c.unprepare, 0u);
        EXPECT_TRUE(c.status & ACMSTREAMHEADER_STATUSF_DONE);
        EXPECT_EQ(c.srcUsed, 480u);
        EXPECT_EQ(c.dstUsed, 24u);
        g723_encode(enc, pcm.data(), 480, expected.data(), 24);
        EXPECT_EQ(coded, expected);

        Bytes out(480), reference(480);
        c = Convert(decoder, coded, out, 24);
        EXPECT_EQ(c.convert, 0u);
        EXPECT_EQ(c.srcUsed, 24u);
        EXPECT_EQ(c.dstUsed, 480u);
        g723_decode(dec, coded.data(), 24, reference.data(), 480);
        EXPECT_EQ(out, reference);
    }
    g723_enc_cleanup(enc);
    g723_dec_cleanup(dec);

    // Frames of mixed lengths: each consumes its own length while there is room for its PCM;
    // a frame cut short, or PCM short of a block, is left unused.
    Bytes payload = {0x01, 0, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,   0,
                     0,    0, 0, 0, 0, 0, 0x82, 0x11, 0x22, 0x33, 0x03, 0x00, 0x00};
    Bytes one(480), three(1440), pcm(479);
    Converted c = Convert(decoder, payload, one, DWORD(payload.size()));
    EXPECT_EQ(c.srcUsed, 20u);
    EXPECT_EQ(c.dstUsed, 480u);
    c = Convert(decoder, payload, three, DWORD(payload.size()));
    EXPECT_EQ(c.srcUsed, 25u) << "20 + 4 + 1; the 24-byte frame at the end has 2 bytes";
    EXPECT_EQ(c.dstUsed, 1440u);
    c = Convert(encoder, pcm, payload, 479);
    EXPECT_EQ(c.convert, 0u);
    EXPECT_EQ(c.srcUsed, 0u);
    EXPECT_EQ(c.dstUsed, 0u);

    // A stream outlives the removal of its driver.
    win::testing::RemoveAcmDriver(driver.id);
    EXPECT_EQ(Find().matched, nullptr);
    c = Convert(encoder, one, payload, 480);
    EXPECT_EQ(c.dstUsed, 24u);
    EXPECT_EQ(acmStreamClose(encoder, 0), 0u);
    EXPECT_EQ(acmStreamClose(decoder, 0), 0u);
    EXPECT_EQ(acmStreamClose(decoder, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmTest, StreamCallsCheckTheirArguments)
{
    Installed driver(G7231AcmDriver());
    HACMSTREAM stream;
    ASSERT_EQ(Open(stream, true), 0u);
    Bytes pcm = ToneBlock(0), coded(24);
    ACMSTREAMHEADER h{};
    h.cbStruct = 84;
    h.pbSrc = pcm.data();
    h.cbSrcLength = 480;
    h.pbDst = coded.data();
    h.cbDstLength = 24;
    EXPECT_EQ(acmStreamConvert(stream, &h, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &h, 0), ACMERR_UNPREPARED);
    h.cbStruct = 83;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &h, 0), MMSYSERR_INVALPARAM);
    h.cbStruct = sizeof h;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &h, 0), 0u);
    EXPECT_EQ(acmStreamConvert(stream, &h, 1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamConvert(stream, &h, 0), 0u);
    EXPECT_EQ(acmStreamConvert(nullptr, &h, 0), MMSYSERR_INVALHANDLE);

    // Formats other than 8 kHz 16-bit mono PCM and G.723.1 have no converter.
    Bytes pcm16k = win::testing::PcmAcmFormat(), g7231 = win::testing::G7231AcmFormat();
    pcm16k[4] = 0x80, pcm16k[5] = 0x3E; // 16000 Hz
    HACMSTREAM other;
    EXPECT_EQ(acmStreamOpen(&other, nullptr, Format(pcm16k), Format(g7231), nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamOpen(&other, nullptr, Format(g7231), Format(g7231), nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    Bytes pcm8k = win::testing::PcmAcmFormat();
    EXPECT_EQ(acmStreamOpen(&other, nullptr, Format(pcm8k), Format(g7231), nullptr, 0, 0, 1),
              MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamClose(stream, 0), 0u);
    EXPECT_EQ(acmStreamConvert(stream, &h, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmTest, FaultyDriversFailWhereTheyAreMadeTo)
{
    struct Case {
        const char *name;
        win::testing::AcmTestDriver driver;
        bool found, streamOpens, prepares, converts;
    } cases[] = {
        {"cannot be opened", G7231AcmDriver(AcmDriverFault::Open), false, false, false, false},
        {"tag details fail", G7231AcmDriver(AcmDriverFault::FormatTagDetails), false, true, true,
         true},
        {"stream open fails", G7231AcmDriver(AcmDriverFault::StreamOpen), true, false, false,
         false},
        {"prepare fails", G7231AcmDriver(AcmDriverFault::PrepareHeader), true, true, false, false},
        {"convert fails", G7231AcmDriver(AcmDriverFault::Convert), true, true, true, false},
        {"not a codec", G7231AcmDriver(), false, true, true, true},
        {"disabled", G7231AcmDriver(), false, false, false, false},
    };
    cases[5].driver.support = ACMDRIVERDETAILS_SUPPORTF_CONVERTER;
    cases[6].driver.support |= ACMDRIVERDETAILS_SUPPORTF_DISABLED;

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Installed driver(c.driver);
        EXPECT_EQ(Find().matched != nullptr, c.found);
        for (bool encode : {true, false}) {
            HACMSTREAM stream;
            MMRESULT opened = Open(stream, encode);
            EXPECT_EQ(opened == MMSYSERR_NOERROR, c.streamOpens);
            if (opened != MMSYSERR_NOERROR) {
                EXPECT_EQ(opened, ACMERR_NOTPOSSIBLE);
                continue;
            }
            Bytes src(480, 0), dst(480);
            Converted r = Convert(stream, src, dst, encode ? 480 : 24);
            EXPECT_EQ(r.prepare == MMSYSERR_NOERROR, c.prepares);
            if (c.prepares) {
                EXPECT_EQ(r.convert == MMSYSERR_NOERROR, c.converts);
                EXPECT_EQ(r.dstUsed != 0, c.converts);
            }
            EXPECT_EQ(acmStreamClose(stream, 0), 0u);
        }
    }
}

TEST(AcmTest, DriversAreListedInInstallationOrderAndSkippedWhenUnusable)
{
    Installed broken(G7231AcmDriver(AcmDriverFault::Open));
    Installed disabled([] {
        auto d = G7231AcmDriver();
        d.support |= ACMDRIVERDETAILS_SUPPORTF_DISABLED;
        return d;
    }());
    Installed good(G7231AcmDriver());

    Search s = Find();
    EXPECT_EQ(s.drivers, std::vector<HACMDRIVERID>{broken.id})
        << "an unopenable codec driver ends the search before a good one";
    std::vector<HACMDRIVERID> all;
    auto collect = [](HACMDRIVERID id, DWORD_PTR out, DWORD) -> BOOL {
        reinterpret_cast<std::vector<HACMDRIVERID> *>(out)->push_back(id);
        return TRUE;
    };
    EXPECT_EQ(acmDriverEnum(collect, DWORD_PTR(&all), 0), 0u);
    EXPECT_EQ(all, (std::vector<HACMDRIVERID>{broken.id, good.id}));
    all.clear();
    EXPECT_EQ(acmDriverEnum(collect, DWORD_PTR(&all), ACM_DRIVERENUMF_DISABLED), 0u);
    EXPECT_EQ(all, (std::vector<HACMDRIVERID>{broken.id, disabled.id, good.id}));
    EXPECT_EQ(acmDriverEnum(nullptr, 0, 0), MMSYSERR_INVALPARAM);

    HACMDRIVER had;
    EXPECT_EQ(acmDriverOpen(&had, disabled.id, 0), MMSYSERR_NOTENABLED);
    EXPECT_EQ(had, nullptr);
    EXPECT_EQ(acmDriverOpen(&had, nullptr, 0), MMSYSERR_INVALHANDLE);

    // A stream without a named driver goes through the first one that can convert.
    HACMSTREAM stream;
    ASSERT_EQ(Open(stream, false), 0u);
    EXPECT_EQ(acmStreamClose(stream, 0), 0u);

    DWORD size = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), 0u);
    EXPECT_EQ(size, 28u);
}

} // namespace
