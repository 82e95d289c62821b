// The main dialog's display updates: balance, remaining time, volume, sound devices and the
// interface language.
#include <ui/soft_phone_dlg.h>

#include <core/sound_mixer.h>
#include <core/window_messages.h>

#include <cstdlib>

LRESULT CSoftPhoneDlg::OnShowBalance(WPARAM wParam, LPARAM)
{
    const char *text = reinterpret_cast<const char *>(wParam);
    if (!text || !*text)
        return 0;
    m_strBalance.LoadString(223);
    m_strBalance += text;
    DrawStatusArea();
    return 0;
}

LRESULT CSoftPhoneDlg::OnShowTime(WPARAM wParam, LPARAM)
{
    const char *text = reinterpret_cast<const char *>(wParam);
    if (!text || !*text)
        return 0;
    long seconds = std::strtol(text, nullptr, 10);
    m_strTime.LoadString(224);
    if (seconds >= 86400) {
        CString over;
        over.LoadString(226);
        m_strTime += over;
    } else if (seconds > 0) {
        auto two = [](long n) {
            CString s;
            s.Format("%s%ld", n < 10 ? "0" : "", n);
            return s;
        };
        CString hms;
        hms.Format("%s:%s:%s", two(seconds / 3600).GetString(), two(seconds / 60 % 60).GetString(),
                   two(seconds % 60).GetString());
        m_strTime += hms;
    }
    return 0;
}

LRESULT CSoftPhoneDlg::OnVolumeChanged(WPARAM, LPARAM)
{
    CRect rect(207, 35, 207 + 70, 35 + 20);
    InvalidateRect(&rect, TRUE);
    return 0;
}

LRESULT CSoftPhoneDlg::OnMixerControlChange(WPARAM wParam, LPARAM lParam)
{
    const MixerState &mixer = GetMixerState();
    if (!mixer.handle || HMIXER(wParam) != mixer.handle)
        return 0;
    DWORD value = 0;
    if (DWORD(lParam) == mixer.waveOutVolumeControl && MixerGetWaveOutVolume(&value)) {
        m_dwPlayVolume = value;
        m_nPlayLevel = int(value / 3276);
        PostMessage(WM_VOLUME_CHANGED, 0, 0);
    } else if (DWORD(lParam) == mixer.micVolumeControl && MixerGetMicVolume(&value)) {
        m_dwMicVolume = value;
        m_nMicLevel = int(value / 3276);
        PostMessage(WM_VOLUME_CHANGED, 0, 0);
    }
    return 0;
}

LRESULT CSoftPhoneDlg::OnAudioDeviceChanged(WPARAM wParam, LPARAM lParam)
{
    if (wParam != 0)
        m_endpoint.SetSoundChannelPlayDevice(PString(m_settings.m_strPlayDevice.GetString()));
    if (intptr_t(lParam) > 0)
        m_endpoint.SetSoundChannelRecordDevice(PString(m_settings.m_strRecordDevice.GetString()));
    MixerClose();
    PStringArray names = PSoundChannel::GetDeviceNames(PSoundChannel::Player);
    UINT index = 0;
    for (PINDEX i = 0; i < names.GetSize(); ++i) {
        if (names[i] == PString(m_settings.m_strPlayDevice.GetString())) {
            index = UINT(i);
            break;
        }
    }
    MixerOpen(GetSafeHwnd(), index);
    MixerFindControls();
    ReadMixerVolumes();
    PostMessage(WM_VOLUME_CHANGED, 0, 0);
    return 0;
}

LRESULT CSoftPhoneDlg::OnLanguageChanged(WPARAM, LPARAM)
{
    ApplyLanguage();
    ReopenMenuPanelOnLanguagePage();
    static const struct {
        int id;
        UINT tip;
    } kTips[] = {{1012, 105}, {1013, 106}, {1, 107},    {1014, 109}, {1041, 116}, {1015, 114},
                 {1017, 115}, {1039, 171}, {1037, 108}, {1040, 173}, {1038, 172}};
    for (const auto &t : kTips) {
        if (auto *button = static_cast<CHoverButton *>(GetDlgItem(t.id))) {
            CString tip;
            tip.LoadString(t.tip);
            button->SetTooltip(tip, TRUE);
        }
    }
    Invalidate(TRUE);
    return 0;
}
