// The main dialog's skin: button layout, volume sliders, window dragging, the status area and
// painting.
#include <ui/soft_phone_dlg.h>
#include <ui/skin_buttons.h>

#include <core/sound_mixer.h>

#include <pwlib/sound/psoundchannel.h>

#include <algorithm>

namespace {

constexpr int kPlaySlider = 20; // layout entries of the two sliders
constexpr int kMicSlider = 21;
constexpr DWORD kVolumeStep = 3276; // one of the 20 levels

// Heights of the status area's fonts: the text lines and the call time.
constexpr int kTextFontHeight = 13;
constexpr int kCallTimeFontHeight = 16;

void CreateStatusFont(CFont &font, int height, int weight)
{
    font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                    CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, nullptr);
}

int ThumbY(const SkinLayoutEntry &slider, int level)
{
    return slider.c - int((slider.c - slider.b) * level * 0.05);
}

} // namespace

void CSoftPhoneDlg::LoadFaceTable() { ::LoadFaceTable(m_face); }

void CSoftPhoneDlg::LayoutSkin()
{
    m_number.SendMessage(WM_SETFONT, WPARAM(HFONT(m_number.m_font)), TRUE);
    m_number.SetFont(&m_number.m_font);
    const SkinLayoutEntry &box = m_face[24];
    if (box.e == 1)
        m_number.MoveWindow(box.a, box.b, box.c, box.d);
    for (int i = 0; i < m_settings.m_DialedCalls.m_nCount; ++i)
        m_number.AddString(m_settings.m_DialedCalls.m_strNumber[size_t(i)]);

    for (const SkinButtonSpec &spec : kSkinButtons) {
        auto *button = static_cast<CHoverButton *>(GetDlgItem(spec.id));
        if (!button)
            continue;
        const SkinLayoutEntry &e = m_face[spec.entry];
        if (e.e != 1) {
            button->ShowWindow(SW_HIDE);
            continue;
        }
        button->SetBitmaps(spec.normal, spec.hover);
        button->SizeToContent();
        button->MoveTo(e.a, e.b);
        if (spec.tooltip) {
            CString tip;
            tip.LoadString(spec.tooltip);
            button->SetTooltip(tip, TRUE);
        }
    }

    const SkinLayoutEntry &send = m_face[kSendMessageButton.entry];
    m_btnSendMessage.SetBitmaps(kSendMessageButton.normal, kSendMessageButton.hover);
    if (send.e == 1) {
        m_btnSendMessage.SizeToContent();
        m_btnSendMessage.MoveTo(send.a, send.b);
        CString tip;
        tip.LoadString(kSendMessageButton.tooltip);
        m_btnSendMessage.SetTooltip(tip, TRUE);
    } else {
        m_btnSendMessage.ShowWindow(SW_HIDE);
    }
    m_btnSendMessage.EnableWindow(FALSE);

    const SkinLayoutEntry &video = m_face[kVideoButton.entry];
    m_btnVideo.SetBitmaps(kVideoButton.normal, kVideoButton.hover);
    m_btnVideo.SizeToContent();
    m_btnVideo.MoveTo(video.a, video.b);
    CString videoTip;
    videoTip.LoadString(kVideoButton.tooltip);
    m_btnVideo.SetTooltip(videoTip, TRUE);

    const SkinLayoutEntry &play = m_face[kPlaySlider];
    const SkinLayoutEntry &mic = m_face[kMicSlider];
    m_thumbPlay.SetWindowPos(&wndTopMost, 20, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    m_thumbPlay.MoveWindow(play.a, m_nPlayThumbY, play.d, play.e);
    m_thumbMic.SetWindowPos(&wndTopMost, 39, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    m_thumbMic.MoveWindow(mic.a, m_nMicThumbY, mic.d, mic.e);
}

void CSoftPhoneDlg::ReadMixerVolumes()
{
    DWORD value = 0;
    if (MixerGetWaveOutVolume(&value))
        m_dwPlayVolume = value;
    if (MixerGetMicVolume(&value))
        m_dwMicVolume = value;
    m_nPlayLevel = int(m_dwPlayVolume / kVolumeStep);
    m_nMicLevel = int(m_dwMicVolume / kVolumeStep);
    const SkinLayoutEntry &play = m_face[kPlaySlider];
    const SkinLayoutEntry &mic = m_face[kMicSlider];
    if (m_nPlayLevel >= 0 && m_nPlayLevel <= 20) {
        m_nPlayThumbY = ThumbY(play, m_nPlayLevel);
        m_nPlayThumbX = play.a;
    }
    if (m_nMicLevel >= 0 && m_nMicLevel <= 20) {
        m_nMicThumbY = ThumbY(mic, m_nMicLevel);
        m_nMicThumbX = mic.a;
    }
    if (m_thumbPlay.GetSafeHwnd())
        m_thumbPlay.MoveWindow(play.a, m_nPlayThumbY, play.d, play.e);
    if (m_thumbMic.GetSafeHwnd())
        m_thumbMic.MoveWindow(mic.a, m_nMicThumbY, mic.d, mic.e);
}

void CSoftPhoneDlg::OpenSoundMixer()
{
    m_nPlayThumbY = m_nMicThumbY = 160;
    m_bDragPlay = m_bDragMic = 0;
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
    DrawStatusArea();
}

void CSoftPhoneDlg::SetSliderLevel(int slider, int y)
{
    const SkinLayoutEntry &s = m_face[slider == 0 ? kPlaySlider : kMicSlider];
    int level = int((s.c - y) / ((s.c - s.b) * 0.05));
    DWORD volume = DWORD(level) * kVolumeStep;
    if (slider == 0) {
        m_nPlayThumbY = y;
        m_thumbPlay.MoveWindow(s.a, y, s.d, s.e);
        MixerSetWaveOutVolume(volume);
    } else {
        m_nMicThumbY = y;
        m_thumbMic.MoveWindow(s.a, y, s.d, s.e);
        MixerSetMicVolume(volume);
    }
}

LRESULT CSoftPhoneDlg::OnNcHitTest(CPoint point)
{
    if (!m_bDragPlay && !m_bDragMic)
        return HTCAPTION;
    return CSkinDialog::OnNcHitTest(point);
}

void CSoftPhoneDlg::OnNcLButtonDown(UINT, CPoint point)
{
    CPoint client = point;
    ScreenToClient(&client);
    const int thumbY[2] = {m_nPlayThumbY, m_nMicThumbY};
    int *drag[2] = {&m_bDragPlay, &m_bDragMic};
    for (int slider = 0; slider < 2; ++slider) {
        const SkinLayoutEntry &s = m_face[slider == 0 ? kPlaySlider : kMicSlider];
        CRect thumb(s.a, thumbY[slider], s.a + s.d, thumbY[slider] + s.e);
        if (thumb.PtInRect(client)) {
            *drag[slider] = 1;
            PostMessage(WM_NCHITTEST, 0, 0);
            return;
        }
        if (client.x > s.a && client.x < s.a + s.d && client.y >= s.b && client.y <= s.c) {
            SetSliderLevel(slider, client.y);
            break;
        }
    }
    Default();
}

void CSoftPhoneDlg::OnNcLButtonUp(UINT, CPoint)
{
    m_bDragPlay = m_bDragMic = 0;
    Default();
}

void CSoftPhoneDlg::OnNcMouseMove(UINT, CPoint point)
{
    CPoint client = point;
    ScreenToClient(&client);
    OnMouseMove(0, client);
}

void CSoftPhoneDlg::OnMouseMove(UINT, CPoint point)
{
    for (int slider = 0; slider < 2; ++slider) {
        if (!(slider == 0 ? m_bDragPlay : m_bDragMic))
            continue;
        const SkinLayoutEntry &s = m_face[slider == 0 ? kPlaySlider : kMicSlider];
        if (point.y >= s.b && point.y < s.c)
            SetSliderLevel(slider, point.y);
    }
}

void CSoftPhoneDlg::OnLButtonUp(UINT, CPoint)
{
    m_bDragPlay = m_bDragMic = 0;
    Default();
}

void CSoftPhoneDlg::OnMove(int, int)
{
    Default();
    MoveMenuPanelBeside();
}

HBRUSH CSoftPhoneDlg::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_DLG)
        return m_brushDialog;
    if (nCtlColor == CTLCOLOR_EDIT) {
        pDC->SetBkColor(m_crEditBack);
        pDC->SetTextColor(m_crEditText);
        return m_brushEdit;
    }
    return CSkinDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

void CSoftPhoneDlg::OnPaint()
{
    if (IsIconic()) {
        Default();
        return;
    }
    CTime now = CTime::GetCurrentTime();
    m_nClockMinute = now.GetMinute();
    m_nClockHour = now.GetHour();
    {
        CPaintDC dc(this);
        PaintStatusArea(dc);
    }
    Default();
}

void CSoftPhoneDlg::DrawStatusArea()
{
    // Drawing happens in the paint of the status area, so it can never be lost to a repaint.
    if (GetSafeHwnd())
        InvalidateStatusArea();
}

void CSoftPhoneDlg::PaintStatusArea(CDC &dc)
{
    dc.SetBkMode(TRANSPARENT);
    if (m_face[30].e == 1) {
        CFont bold;
        CreateStatusFont(bold, 14, FW_BOLD);
        CFont *old = dc.SelectObject(&bold);
        dc.SetTextColor(RGB(m_face[51].a, m_face[51].b, m_face[51].c));
        CTime now = CTime::GetCurrentTime();
        CString date;
        date.Format("%d.%s%d.%s%d", now.GetYear(), now.GetMonth() < 10 ? "0" : "", now.GetMonth(),
                    now.GetDay() < 10 ? "0" : "", now.GetDay());
        dc.TextOut(m_face[30].a, m_face[30].b, date);
        dc.SelectObject(old);
    }
    for (int i = 0; i < 20; ++i) {
        dc.FillSolidRect(208 + 3 * i, 38, 1, 5,
                         i < m_nPlayLevel ? RGB(255, 255, 255) : RGB(210, 171, 153));
        dc.FillSolidRect(208 + 3 * i, 47, 1, 5,
                         i < m_nMicLevel ? RGB(255, 255, 255) : RGB(210, 171, 153));
    }
    CFont text;
    CreateStatusFont(text, kTextFontHeight, FW_THIN);
    CFont *old = dc.SelectObject(&text);
    dc.SetTextColor(RGB(m_face[50].a, m_face[50].b, m_face[50].c));
    ForEachStatusLine([&](const CString &line, int x, int y) { dc.TextOut(x, y, line); });
    CFont big;
    CreateStatusFont(big, kCallTimeFontHeight, FW_THIN);
    dc.SelectObject(&big);
    dc.SetTextColor(RGB(m_face[52].a, m_face[52].b, m_face[52].c));
    if (!m_strCallTime.IsEmpty())
        dc.TextOut(m_face[29].a, m_face[29].b, m_strCallTime);
    dc.SelectObject(old);
    m_rcTextsPainted = StatusTextBounds();
    m_rcCallTimePainted = CallTimeRect();
}

void CSoftPhoneDlg::ForEachStatusLine(const std::function<void(const CString &, int, int)> &draw)
{
    auto at = [&](const CString &s, int x, int y) {
        if (!s.IsEmpty())
            draw(s, x, y);
    };
    at(m_strBalance, m_face[27].a, m_face[27].b);
    at(m_strStatus, m_face[25].a, m_face[25].b);
    at(m_strTime, m_face[28].a, m_face[28].b);
    at(m_strStatus2, m_face[26].a, m_strTime.IsEmpty() ? m_face[28].b : m_face[26].b);
}

CRect CSoftPhoneDlg::CallTimeRect()
{
    CDC dc;
    CFont big;
    CreateStatusFont(big, kCallTimeFontHeight, FW_THIN);
    dc.SelectObject(&big);
    CSize extent = dc.GetTextExtent(m_strCallTime);
    const int x = m_face[29].a, y = m_face[29].b;
    return CRect(x, y, x + std::max<int>(60, extent.cx), y + std::max<int>(20, extent.cy));
}

CRect CSoftPhoneDlg::StatusTextBounds()
{
    CDC dc;
    CFont text;
    CreateStatusFont(text, kTextFontHeight, FW_THIN);
    dc.SelectObject(&text);
    CRect bounds = CallTimeRect();
    ForEachStatusLine([&](const CString &line, int x, int y) {
        CSize extent = dc.GetTextExtent(line);
        CRect box(x, y, x + extent.cx, y + extent.cy);
        bounds.UnionRect(&bounds, &box);
    });
    return bounds;
}

void CSoftPhoneDlg::InvalidateStatusArea()
{
    CRect rect(m_face[25].a, m_face[25].b - 20, m_face[25].a + 180, m_face[25].b - 20 + 75);
    // Texts reach past the area (the call time always does): those drawn last and those to
    // draw now are repainted whole, so no part of an old text stays behind.
    CRect texts = StatusTextBounds();
    rect.UnionRect(&rect, &texts);
    rect.UnionRect(&rect, &m_rcTextsPainted);
    InvalidateRect(&rect, TRUE);
}

void CSoftPhoneDlg::InvalidateCallTime()
{
    CRect rect = CallTimeRect();
    rect.UnionRect(&rect, &m_rcCallTimePainted);
    InvalidateRect(&rect, TRUE);
}

void CSoftPhoneDlg::InvalidateAt(int entry, int w, int h)
{
    CRect rect(m_face[entry].a, m_face[entry].b, m_face[entry].a + w, m_face[entry].b + h);
    InvalidateRect(&rect, TRUE);
}

void CSoftPhoneDlg::SetButtonPicture(CHoverButton &button, UINT nBitmap)
{
    button.SetBitmaps(nBitmap, nBitmap);
    if (button.GetSafeHwnd())
        button.InvalidateRect(nullptr, TRUE);
}
