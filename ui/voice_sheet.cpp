// The audio set-up wizard's pages.
#include <ui/voice_sheet.h>

#include <core/settings.h>
#include <core/sound_devices.h>
#include <core/sound_mixer.h>
#include <core/window_messages.h>

#include <ui/dialog_threads.h>

#include <pwlib/sound/psoundchannel.h>
#include <win/cwinapp.h>
#include <win/cwinthread.h>
#include <win/msgbox.h>
#include <win/winmsg.h>

#include <cstring>

#ifndef NM_RELEASEDCAPTURE
#define NM_RELEASEDCAPTURE (0U - 16U)
#endif

namespace
{

enum : int {
    kIdPlaybackCombo = 1021,
    kIdRecordCombo = 1022,
    kIdTest = 1050,
    kIdSlider = 1051,
    kIdLevel = 1053,
};
constexpr UINT_PTR kLevelTimer = 1;
constexpr UINT kLevelPeriodMs = 100;
// Slider steps 0-100 against mixer volumes 0-65535.
constexpr DWORD kVolumePerStep = 655;
constexpr PINDEX kTestBufferSize = 65536;

CVoiceSheet *SheetOf(CPropertySheet *sheet)
{
    return static_cast<CVoiceSheet *>(sheet);
}

void SetButtons(CPropertySheet *sheet, LPARAM flags)
{
    ::PostMessage(sheet->GetSafeHwnd(), PSM_SETWIZBUTTONS, 0, flags);
}

void AudioDevicesChanged()
{
    if (CWnd *main = AfxGetMainWnd())
        ::PostMessage(main->GetSafeHwnd(), WM_AUDIO_DEVICE_CHANGED, 1, 1);
}

/// Index of the name in the list by exact byte comparison; 0 when absent.
int PositionOf(const PStringArray &names, const CString &name)
{
    for (PINDEX i = 0; i < names.GetSize(); ++i)
        if (std::strcmp(names[i], name.GetString()) == 0)
            return int(i);
    return 0;
}

/// Fills the combo with the device names; the index of the name (an exact match, as the
/// combo compares), else 0.
int FillDevices(CComboBox &combo, PSoundChannel::Directions dir, const CString &current)
{
    PStringArray names = PSoundChannel::GetDeviceNames(dir);
    for (PINDEX i = 0; i < names.GetSize(); ++i)
        combo.AddString(names[i]);
    int index = combo.FindStringExact(-1, current);
    return index == CB_ERR ? 0 : index;
}

CString ItemText(const CComboBox &combo, int index)
{
    CString text;
    if (index >= 0 && index < combo.GetCount())
        combo.GetLBText(index, text);
    return text;
}

} // namespace

int MicrophoneLevel(const short *samples)
{
    int max = 0, min = 0;
    for (int i = 0; i < kLevelSamples; ++i) {
        int s = samples[i];
        int a = s / 10;
        if (a > max)
            max = s / 6;
        if (a < min)
            min = s / 6;
    }
    return (max - min) / 100;
}

// ---- page 1 ----

CVoice_Page1::CVoice_Page1() : CPropertyPage(206) {}

void CVoice_Page1::DoDataExchange(CDataExchange *pDX)
{
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, kIdPlaybackCombo, m_comboPlayback);
    DDX_Control(pDX, kIdRecordCombo, m_comboRecord);
    DDX_CBIndex(pDX, kIdRecordCombo, m_nRecordIndex);
    DDX_CBIndex(pDX, kIdPlaybackCombo, m_nPlaybackIndex);
}

BOOL CVoice_Page1::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    CSettings *settings = SheetOf(m_pSheet)->m_pSettings;
    CString play = settings ? settings->m_strPlayDevice : CString();
    CString record = settings ? settings->m_strRecordDevice : CString();
    m_nPlaybackIndex = FillDevices(m_comboPlayback, PSoundChannel::Player, play);
    m_nRecordIndex = FillDevices(m_comboRecord, PSoundChannel::Recorder, record);
    UpdateData(FALSE);
    return TRUE;
}

BOOL CVoice_Page1::OnSetActive()
{
    SetButtons(m_pSheet, PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
}

LRESULT CVoice_Page1::OnWizardNext()
{
    UpdateData(TRUE);
    CVoiceSheet *sheet = SheetOf(m_pSheet);
    sheet->m_strPlaybackDevice = ItemText(m_comboPlayback, m_nPlaybackIndex);
    sheet->m_strRecordDevice = ItemText(m_comboRecord, m_nRecordIndex);
    sheet->m_nRecordIndex = m_nRecordIndex;
    return CPropertyPage::OnWizardNext();
}

void CVoice_Page1::OnReset()
{
    AudioDevicesChanged();
}

// ---- page 2 ----

BEGIN_MESSAGE_MAP(CVoice_Page2, CPropertyPage)
ON_BN_CLICKED(kIdTest, OnTest)
ON_NOTIFY(NM_RELEASEDCAPTURE, kIdSlider, OnSliderReleased)
END_MESSAGE_MAP()

CVoice_Page2::CVoice_Page2() : CPropertyPage(208) {}

CVoice_Page2::~CVoice_Page2()
{
    // The test sound's thread ends after the playing in progress.
    g_bBusyStop = 1;
    m_pBusyThread.reset();
}

void CVoice_Page2::DoDataExchange(CDataExchange *pDX)
{
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, kIdSlider, m_slider);
    DDX_Control(pDX, kIdTest, m_btnTest);
    DDX_Slider(pDX, kIdSlider, m_nSliderPos);
}

BOOL CVoice_Page2::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_bPlaying = 0;
    return TRUE;
}

BOOL CVoice_Page2::OnSetActive()
{
    SetButtons(m_pSheet, PSWIZB_BACK | PSWIZB_NEXT);
    CVoiceSheet *sheet = SheetOf(m_pSheet);
    int mixerId = PositionOf(PSoundChannel::GetDeviceNames(PSoundChannel::Player),
                             sheet->m_strPlaybackDevice);
    MixerClose();
    MixerOpen(GetSafeHwnd(), UINT(mixerId));
    MixerFindControls();
    DWORD volume = 0;
    MixerGetWaveOutVolume(&volume);
    m_nSliderPos = int(volume / kVolumePerStep);
    UpdateData(FALSE);
    return CPropertyPage::OnSetActive();
}

void CVoice_Page2::OnTest()
{
    if (m_bPlaying) {
        m_btnTest.SetWindowText("Test");
        m_bPlaying = 0;
        g_bBusyStop = 1;
        return;
    }
    PSoundChannel *channel = SheetOf(m_pSheet)->m_pToneChannel;
    if (channel == nullptr)
        return;
    // A test sound just stopped finishes its playing first: one player at a time.
    m_pBusyThread.reset();
    BOOL opened;
    {
        CSingleLock lock(&SoundLock(), TRUE);
        ++g_nToneOpenings; // the end of a keypad tone leaves this opening alone
        channel->SetBuffers(kTestBufferSize, 2);
        opened = channel->Open(PString(SheetOf(m_pSheet)->m_strPlaybackDevice.GetString()),
                               PSoundChannel::Player, 1, 8000, 16);
    }
    if (!opened) {
        // Nothing to hear: the user is told, and the button stays a Test button.
        AfxMessageBox(kCannotOpenOutputDevice);
        return;
    }
    m_btnTest.SetWindowText("Stop");
    m_bPlaying = 1;
    g_bBusyStop = 0;
    CWinThread *thread =
        AfxBeginThread(BusyToneThread, channel, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (thread == nullptr)
        return;
    thread->m_bAutoDelete = FALSE;
    m_pBusyThread.reset(thread);
    thread->ResumeThread();
}

void CVoice_Page2::OnSliderReleased(NMHDR *, LRESULT *pResult)
{
    UpdateData(TRUE);
    MixerSetWaveOutVolume(DWORD(m_nSliderPos) * kVolumePerStep);
    *pResult = 0;
}

void CVoice_Page2::StopTestSound()
{
    g_bBusyStop = 1;
    m_btnTest.SetWindowText("Test");
    m_bPlaying = 0;
}

LRESULT CVoice_Page2::OnWizardNext()
{
    StopTestSound();
    return CPropertyPage::OnWizardNext();
}

LRESULT CVoice_Page2::OnWizardBack()
{
    StopTestSound();
    return CPropertyPage::OnWizardBack();
}

void CVoice_Page2::OnCancel()
{
    g_bBusyStop = 1;
    CPropertyPage::OnCancel();
}

// ---- page 3 ----

BEGIN_MESSAGE_MAP(CVoice_Page3, CPropertyPage)
ON_WM_TIMER()
END_MESSAGE_MAP()

CVoice_Page3::CVoice_Page3() : CPropertyPage(207) {}

void CVoice_Page3::DoDataExchange(CDataExchange *pDX)
{
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, kIdLevel, m_progress);
}

BOOL CVoice_Page3::OnSetActive()
{
    SetButtons(m_pSheet, PSWIZB_BACK | PSWIZB_NEXT);
    m_meter.Start(UINT(SheetOf(m_pSheet)->m_nRecordIndex));
    SetTimer(kLevelTimer, kLevelPeriodMs);
    return CPropertyPage::OnSetActive();
}

void CVoice_Page3::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kLevelTimer) {
        CPropertyPage::OnTimer(nIDEvent);
        return;
    }
    short samples[kLevelSamples];
    m_meter.ReadSamples(samples, kLevelSamples);
    m_progress.SetPos(MicrophoneLevel(samples));
}

void CVoice_Page3::StopMeter()
{
    // The level bar follows the meter only while this page is shown.
    KillTimer(kLevelTimer);
    m_meter.Stop();
}

LRESULT CVoice_Page3::OnWizardNext()
{
    StopMeter();
    return CPropertyPage::OnWizardNext();
}

LRESULT CVoice_Page3::OnWizardBack()
{
    StopMeter();
    return CPropertyPage::OnWizardBack();
}

void CVoice_Page3::OnCancel()
{
    StopMeter();
    CPropertyPage::OnCancel();
}

// ---- page 4 ----

CVoice_Page4::CVoice_Page4() : CPropertyPage(209) {}

BOOL CVoice_Page4::OnSetActive()
{
    SetButtons(m_pSheet, PSWIZB_BACK | PSWIZB_FINISH);
    return CPropertyPage::OnSetActive();
}

BOOL CVoice_Page4::OnWizardFinish()
{
    CVoiceSheet *sheet = SheetOf(m_pSheet);
    if (CSettings *settings = sheet->m_pSettings) {
        settings->m_strPlayDevice = sheet->m_strPlaybackDevice;
        settings->m_strRecordDevice = sheet->m_strRecordDevice;
    }
    AudioDevicesChanged();
    return CPropertyPage::OnWizardFinish();
}

// ---- the sheet ----

CVoiceSheet::CVoiceSheet(LPCTSTR pszCaption, CWnd *pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage)
{
    AddPage(&m_page1);
    AddPage(&m_page2);
    AddPage(&m_page3);
    AddPage(&m_page4);
}
