// The mixer back-end over ALSA's simple mixer API.
//
// A mixer is ALSA's "default" or a card's "hw:C". Its speakers destination carries the card's
// master playback volume ("Master", else "PCM" or "Speaker"), with a wave-out source that has the
// "PCM" volume when the card has both; its wave-in destination carries the "Capture" volume,
// with a microphone source that has the "Mic" capture volume when there is one.
#include <win/mixer_backend.h>
#include <win/mmsystem.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <map>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace win::mm {
namespace {

enum ControlId : DWORD { kMaster = 1, kWaveOut = 2, kCapture = 3, kMic = 4 };

struct Mixer {
    snd_mixer_t *handle = nullptr;
    ~Mixer()
    {
        if (handle)
            snd_mixer_close(handle);
    }
};

bool OpenMixer(const std::string &name, Mixer &m)
{
    if (name.empty() || snd_mixer_open(&m.handle, 0) < 0)
        return false;
    if (snd_mixer_attach(m.handle, name.c_str()) < 0 ||
        snd_mixer_selem_register(m.handle, nullptr, nullptr) < 0 || snd_mixer_load(m.handle) < 0)
        return false;
    return true;
}

snd_mixer_elem_t *Element(Mixer &m, const char *name, bool capture)
{
    snd_mixer_selem_id_t *sid;
    snd_mixer_selem_id_alloca(&sid);
    snd_mixer_selem_id_set_name(sid, name);
    snd_mixer_elem_t *e = snd_mixer_find_selem(m.handle, sid);
    if (!e)
        return nullptr;
    bool ok = capture ? snd_mixer_selem_has_capture_volume(e)
                      : snd_mixer_selem_has_playback_volume(e);
    return ok ? e : nullptr;
}

struct Binding {
    const char *name = nullptr;
    bool capture = false;
};

// Which element stands for each control id on this card.
std::map<DWORD, Binding> Bindings(Mixer &m)
{
    std::map<DWORD, Binding> b;
    for (const char *n : {"Master", "PCM", "Speaker", "Headphone"})
        if (Element(m, n, false)) {
            b[kMaster] = {n, false};
            break;
        }
    if (b.count(kMaster) && std::string(b[kMaster].name) != "PCM" && Element(m, "PCM", false))
        b[kWaveOut] = {"PCM", false};
    if (Element(m, "Capture", true))
        b[kCapture] = {"Capture", true};
    for (const char *n : {"Mic", "Mic Capture", "Internal Mic"})
        if (Element(m, n, true)) {
            b[kMic] = {n, true};
            break;
        }
    return b;
}

int Channels(snd_mixer_elem_t *e, bool capture)
{
    bool mono = capture ? snd_mixer_selem_is_capture_mono(e) : snd_mixer_selem_is_playback_mono(e);
    return mono ? 1 : 2;
}

// The name of the card behind a control device ("default", "hw:C").
std::string CardName(const std::string &mixer)
{
    std::string name = "ALSA mixer";
    snd_ctl_t *ctl = nullptr;
    if (snd_ctl_open(&ctl, mixer.c_str(), 0) < 0)
        return name;
    snd_ctl_card_info_t *info;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(ctl, info) == 0 && *snd_ctl_card_info_get_name(info))
        name = snd_ctl_card_info_get_name(info);
    snd_ctl_close(ctl);
    return name;
}

class AlsaMixerBackend : public MixerBackend
{
  public:
    bool Describe(const std::string &mixer, MixerDesc &out) override
    {
        Mixer m;
        if (!OpenMixer(mixer, m))
            return false;
        out = {};
        out.name = CardName(mixer);
        auto b = Bindings(m);
        auto control = [](DWORD cid, const char *name) {
            return MixerControlDesc{cid, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, name};
        };
        if (b.count(kMaster)) {
            MixerDestinationDesc spk;
            spk.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
            spk.name = "Speakers";
            spk.channels = Channels(Element(m, b[kMaster].name, false), false);
            spk.controls.push_back(control(kMaster, b[kMaster].name));
            MixerLineDesc wave;
            wave.componentType = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
            wave.name = "Wave";
            wave.channels = spk.channels;
            if (b.count(kWaveOut))
                wave.controls.push_back(control(kWaveOut, "PCM"));
            spk.sources.push_back(wave);
            out.destinations.push_back(spk);
        }
        if (b.count(kCapture) || b.count(kMic)) {
            MixerDestinationDesc rec;
            rec.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
            rec.name = "Recording";
            if (b.count(kCapture))
                rec.controls.push_back(control(kCapture, "Capture"));
            MixerLineDesc mic;
            mic.componentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
            mic.name = "Microphone";
            if (b.count(kMic))
                mic.controls.push_back(control(kMic, b[kMic].name));
            rec.sources.push_back(mic);
            out.destinations.push_back(rec);
        }
        return true;
    }

    bool Get(const std::string &mixer, DWORD control, std::vector<DWORD> &values) override
    {
        return Access(mixer, control, [&](snd_mixer_elem_t *e, bool capture) {
            long lo = 0, hi = 0;
            if ((capture ? snd_mixer_selem_get_capture_volume_range(e, &lo, &hi)
                         : snd_mixer_selem_get_playback_volume_range(e, &lo, &hi)) < 0 ||
                hi <= lo)
                return false;
            for (size_t i = 0; i < values.size(); ++i) {
                auto ch = Channels(e, capture) == 1 ? SND_MIXER_SCHN_MONO
                                                    : snd_mixer_selem_channel_id_t(i % 2);
                long v = 0;
                if ((capture ? snd_mixer_selem_get_capture_volume(e, ch, &v)
                             : snd_mixer_selem_get_playback_volume(e, ch, &v)) < 0)
                    return false;
                values[i] = DWORD((v - lo) * 65535 / (hi - lo));
            }
            return true;
        });
    }

    bool Set(const std::string &mixer, DWORD control, const std::vector<DWORD> &values) override
    {
        return Access(mixer, control, [&](snd_mixer_elem_t *e, bool capture) {
            long lo = 0, hi = 0;
            if ((capture ? snd_mixer_selem_get_capture_volume_range(e, &lo, &hi)
                         : snd_mixer_selem_get_playback_volume_range(e, &lo, &hi)) < 0 ||
                hi <= lo)
                return false;
            for (size_t i = 0; i < values.size(); ++i) {
                auto ch = Channels(e, capture) == 1 ? SND_MIXER_SCHN_MONO
                                                    : snd_mixer_selem_channel_id_t(i % 2);
                long v = lo + (long(values[i]) * (hi - lo) + 32767) / 65535;
                if ((capture ? snd_mixer_selem_set_capture_volume(e, ch, v)
                             : snd_mixer_selem_set_playback_volume(e, ch, v)) < 0)
                    return false;
            }
            return true;
        });
    }

    std::shared_ptr<void> Watch(const std::string &mixer,
                                std::function<void(DWORD)> onChange) override
    {
        return std::make_shared<Watcher>(mixer, std::move(onChange));
    }

  private:
    template <class F> bool Access(const std::string &mixer, DWORD control, F &&f)
    {
        Mixer m;
        if (!OpenMixer(mixer, m))
            return false;
        auto b = Bindings(m);
        auto it = b.find(control);
        if (it == b.end())
            return false;
        snd_mixer_elem_t *e = Element(m, it->second.name, it->second.capture);
        return e && f(e, it->second.capture);
    }

    // Waits on the card's mixer events on its own thread; a pipe wakes it to stop.
    class Watcher
    {
      public:
        Watcher(const std::string &mixer, std::function<void(DWORD)> onChange)
            : onChange_(std::move(onChange))
        {
            if (::pipe(stop_) != 0 || !OpenMixer(mixer, mixer_))
                return;
            bindings_ = Bindings(mixer_);
            for (auto &[cid, binding] : bindings_) {
                snd_mixer_elem_t *e = Element(mixer_, binding.name, binding.capture);
                snd_mixer_elem_set_callback_private(e, this);
                snd_mixer_elem_set_callback(e, &Watcher::OnElement);
            }
            thread_ = std::thread([this] { Run(); });
        }
        ~Watcher()
        {
            if (thread_.joinable()) {
                char c = 0;
                (void)!::write(stop_[1], &c, 1);
                thread_.join();
            }
            for (int fd : stop_)
                if (fd >= 0)
                    ::close(fd);
        }

      private:
        static int OnElement(snd_mixer_elem_t *e, unsigned int mask)
        {
            auto *self = static_cast<Watcher *>(snd_mixer_elem_get_callback_private(e));
            if (!(mask & SND_CTL_EVENT_MASK_VALUE))
                return 0;
            for (auto &[cid, binding] : self->bindings_)
                if (Element(self->mixer_, binding.name, binding.capture) == e)
                    self->onChange_(cid);
            return 0;
        }

        void Run()
        {
            int n = snd_mixer_poll_descriptors_count(mixer_.handle);
            if (n <= 0)
                return;
            std::vector<pollfd> fds(size_t(n) + 1);
            for (;;) {
                snd_mixer_poll_descriptors(mixer_.handle, fds.data(), unsigned(n));
                fds[size_t(n)] = {stop_[0], POLLIN, 0};
                if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                    return;
                if (fds[size_t(n)].revents)
                    return;
                snd_mixer_handle_events(mixer_.handle);
            }
        }

        std::function<void(DWORD)> onChange_;
        Mixer mixer_;
        std::map<DWORD, Binding> bindings_;
        int stop_[2] = {-1, -1};
        std::thread thread_;
    };
};

} // namespace

std::unique_ptr<MixerBackend> MakeAlsaMixerBackend()
{
    return std::make_unique<AlsaMixerBackend>();
}

} // namespace win::mm
