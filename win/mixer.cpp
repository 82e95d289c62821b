// WINMM mixer functions over a mixer back-end; mixer ids follow the playback device list.
#include <win/mixer_backend.h>
#include <win/mmsystem.h>
#include <win/mmsystem_testing.h>
#include <win/winmsg.h>

#include <pwlib/sound/psoundchannel.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace win::mm {
namespace {

struct OpenMixer {
    std::string mixer;
    std::shared_ptr<MixerBackend> backend;
    MixerDesc desc;
    std::shared_ptr<void> watch;
};

struct MixerTable {
    std::mutex mutex;
    std::shared_ptr<MixerBackend> backend;
    std::map<HMIXER, std::shared_ptr<OpenMixer>> open;
    // Above every mixer id, so that a handle never passes for an id.
    uintptr_t nextHandle = 0x10000;
};

// Built on first use and kept until the process ends (mixer watches post from their threads).
MixerTable &Mixers()
{
    static MixerTable *table = new MixerTable;
    return *table;
}

std::shared_ptr<MixerBackend> Backend()
{
    MixerTable &t = Mixers();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (!t.backend)
        t.backend = MakeAlsaMixerBackend();
    return t.backend;
}

std::shared_ptr<OpenMixer> Lookup(HMIXEROBJ h)
{
    MixerTable &t = Mixers();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.open.find(h);
    return it == t.open.end() ? nullptr : it->second;
}

void CopyName(char *to, size_t size, const std::string &from)
{
    size_t n = std::min(from.size(), size - 1);
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

// Line ids: a destination is 0xFFFF0000 | d, source s of destination d is (s << 16) | d.
DWORD LineId(DWORD d, DWORD s, bool source) { return source ? (s << 16) | d : 0xFFFF0000u | d; }

const MixerLineDesc *FindLine(const MixerDesc &desc, DWORD lineId)
{
    DWORD d = lineId & 0xFFFF, s = lineId >> 16;
    if (d >= desc.destinations.size())
        return nullptr;
    const auto &dest = desc.destinations[d];
    if (s == 0xFFFF)
        return &dest;
    return s < dest.sources.size() ? &dest.sources[s] : nullptr;
}

const MixerControlDesc *FindControl(const MixerDesc &desc, DWORD controlId)
{
    for (const auto &dest : desc.destinations) {
        for (const auto &c : dest.controls)
            if (c.id == controlId)
                return &c;
        for (const auto &src : dest.sources)
            for (const auto &c : src.controls)
                if (c.id == controlId)
                    return &c;
    }
    return nullptr;
}

void FillLine(MIXERLINEA &out, const MixerLineDesc &line, DWORD d, DWORD s, bool source,
              DWORD connections)
{
    DWORD size = out.cbStruct;
    std::memset(&out, 0, sizeof out);
    out.cbStruct = size;
    out.dwDestination = d;
    out.dwSource = s;
    out.dwLineID = LineId(d, s, source);
    out.dwComponentType = line.componentType;
    out.cChannels = line.channels;
    out.cConnections = connections;
    out.cControls = DWORD(line.controls.size());
    CopyName(out.szShortName, sizeof out.szShortName, line.name);
    CopyName(out.szName, sizeof out.szName, line.name);
}

/// The mixer of id, or empty.
std::string MixerOfId(UINT_PTR id)
{
    std::vector<std::string> mixers = MixersById();
    return id < mixers.size() ? mixers[id] : std::string();
}

} // namespace

std::string MixerOfDevice(const std::string &deviceName)
{
    std::string pcm = pwlib::sound::AlsaPcmName(PString(deviceName));
    if (pcm == "default")
        return pcm;
    // "plughw:C,D": the mixer of card C.
    const std::string prefix = "plughw:";
    if (pcm.rfind(prefix, 0) != 0)
        return std::string();
    size_t comma = pcm.find(',', prefix.size());
    if (comma == std::string::npos || comma == prefix.size())
        return std::string();
    return "hw:" + pcm.substr(prefix.size(), comma - prefix.size());
}

std::vector<std::string> MixersById()
{
    std::vector<std::string> mixers;
    for (const PString &name : PSoundChannel::GetDeviceNames(PSoundChannel::Player))
        mixers.push_back(MixerOfDevice(name.GetText()));
    return mixers;
}

} // namespace win::mm

void win::testing::SetMixerBackend(std::unique_ptr<win::mm::MixerBackend> backend)
{
    win::mm::MixerTable &t = win::mm::Mixers();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.backend = std::move(backend);
}

using namespace win::mm;

// The ids of the devices with a mixer come first ("Default" and the cards, before "Null").
UINT mixerGetNumDevs()
{
    std::vector<std::string> mixers = MixersById();
    return UINT(std::find(mixers.begin(), mixers.end(), std::string()) - mixers.begin());
}

MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA *pmxcaps, UINT cbmxcaps)
{
    if (!pmxcaps || cbmxcaps < sizeof(MIXERCAPSA))
        return MMSYSERR_INVALPARAM;
    MixerDesc desc;
    // A handle may stand for its mixer, as in WINMM.
    if (auto open = Lookup(reinterpret_cast<HMIXEROBJ>(uMxId))) {
        desc = open->desc;
    } else {
        std::string mixer = MixerOfId(uMxId);
        if (mixer.empty() || !Backend()->Describe(mixer, desc))
            return MMSYSERR_BADDEVICEID;
    }
    std::memset(pmxcaps, 0, sizeof *pmxcaps);
    CopyName(pmxcaps->szPname, sizeof pmxcaps->szPname, desc.name);
    pmxcaps->cDestinations = DWORD(desc.destinations.size());
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR, DWORD fdwOpen)
{
    if (!phmx)
        return MMSYSERR_INVALPARAM;
    *phmx = nullptr;
    if ((fdwOpen & 0xFFFF0000u) != CALLBACK_WINDOW && (fdwOpen & 0xFFFF0000u) != CALLBACK_NULL)
        return MMSYSERR_INVALFLAG;
    auto open = std::make_shared<OpenMixer>();
    open->mixer = MixerOfId(uMxId);
    open->backend = Backend();
    if (open->mixer.empty() || !open->backend->Describe(open->mixer, open->desc))
        return MMSYSERR_BADDEVICEID;
    HMIXER h;
    {
        MixerTable &t = Mixers();
        std::lock_guard<std::mutex> lock(t.mutex);
        h = reinterpret_cast<HMIXER>(t.nextHandle++);
        t.open[h] = open;
    }
    if ((fdwOpen & 0xFFFF0000u) == CALLBACK_WINDOW && dwCallback) {
        HWND hwnd = reinterpret_cast<HWND>(dwCallback);
        open->watch = open->backend->Watch(open->mixer, [hwnd, h](DWORD control) {
            ::PostMessage(hwnd, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(h),
                                  LPARAM(control));
        });
    }
    *phmx = h;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx)
{
    std::shared_ptr<OpenMixer> gone;
    {
        MixerTable &t = Mixers();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.open.find(hmx);
        if (it == t.open.end())
            return MMSYSERR_INVALHANDLE;
        gone = std::move(it->second);
        t.open.erase(it);
    }
    gone->watch.reset();
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA *pmxl, DWORD fdwInfo)
{
    auto open = Lookup(hmxobj);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA))
        return MMSYSERR_INVALPARAM;
    const auto &dests = open->desc.destinations;
    DWORD d = pmxl->dwDestination;
    if (d >= dests.size())
        return MIXERR_INVALLINE;
    switch (fdwInfo & 0x0F) {
    case MIXER_GETLINEINFOF_DESTINATION:
        FillLine(*pmxl, dests[d], d, 0, false, DWORD(dests[d].sources.size()));
        return MMSYSERR_NOERROR;
    case MIXER_GETLINEINFOF_SOURCE: {
        DWORD s = pmxl->dwSource;
        if (s >= dests[d].sources.size())
            return MIXERR_INVALLINE;
        FillLine(*pmxl, dests[d].sources[s], d, s, true, 0);
        return MMSYSERR_NOERROR;
    }
    default:
        return MMSYSERR_INVALFLAG;
    }
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ hmxobj, MIXERLINECONTROLSA *pmxlc, DWORD fdwControls)
{
    auto open = Lookup(hmxobj);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (!pmxlc || (fdwControls & 0x0F) != MIXER_GETLINECONTROLSF_ALL)
        return MMSYSERR_INVALFLAG;
    if (pmxlc->cbmxctrl < sizeof(MIXERCONTROLA) || !pmxlc->pamxctrl)
        return MMSYSERR_INVALPARAM;
    const MixerLineDesc *line = FindLine(open->desc, pmxlc->dwLineID);
    if (!line)
        return MIXERR_INVALLINE;
    // Never more records than the caller's buffer holds.
    size_t n = std::min<size_t>(pmxlc->cControls, line->controls.size());
    for (size_t i = 0; i < n; ++i) {
        auto *rec = reinterpret_cast<MIXERCONTROLA *>(reinterpret_cast<char *>(pmxlc->pamxctrl) +
                                                      i * pmxlc->cbmxctrl);
        const auto &c = line->controls[i];
        std::memset(rec, 0, sizeof *rec);
        rec->cbStruct = sizeof *rec;
        rec->dwControlID = c.id;
        rec->dwControlType = c.type;
        rec->cMultipleItems = c.items;
        rec->Bounds.dwMinimum = 0;
        rec->Bounds.dwMaximum = 65535;
        rec->Metrics.cSteps = 65536;
        CopyName(rec->szShortName, sizeof rec->szShortName, c.name);
        CopyName(rec->szName, sizeof rec->szName, c.name);
    }
    pmxlc->cControls = DWORD(n);
    return MMSYSERR_NOERROR;
}

namespace {

MMRESULT CheckDetails(const OpenMixer &open, const MIXERCONTROLDETAILS *d)
{
    if (!d || !d->paDetails || d->cbDetails < sizeof(MIXERCONTROLDETAILS_UNSIGNED) ||
        d->cChannels == 0 || d->cChannels > 32)
        return MMSYSERR_INVALPARAM;
    return FindControl(open.desc, d->dwControlID) ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

} // namespace

MMRESULT mixerGetControlDetailsA(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS *pmxcd, DWORD)
{
    auto open = Lookup(hmxobj);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = CheckDetails(*open, pmxcd))
        return r;
    std::vector<DWORD> values(pmxcd->cChannels);
    if (!open->backend->Get(open->mixer, pmxcd->dwControlID, values))
        return MMSYSERR_ERROR;
    for (DWORD i = 0; i < pmxcd->cChannels; ++i)
        reinterpret_cast<MIXERCONTROLDETAILS_UNSIGNED *>(
            static_cast<char *>(pmxcd->paDetails) + i * pmxcd->cbDetails)
            ->dwValue = values[i];
    return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS *pmxcd, DWORD)
{
    auto open = Lookup(hmxobj);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = CheckDetails(*open, pmxcd))
        return r;
    std::vector<DWORD> values(pmxcd->cChannels);
    for (DWORD i = 0; i < pmxcd->cChannels; ++i)
        values[i] = std::min<DWORD>(65535, reinterpret_cast<MIXERCONTROLDETAILS_UNSIGNED *>(
                                               static_cast<char *>(pmxcd->paDetails) +
                                               i * pmxcd->cbDetails)
                                               ->dwValue);
    return open->backend->Set(open->mixer, pmxcd->dwControlID, values) ? MMSYSERR_NOERROR
                                                                       : MMSYSERR_ERROR;
}
