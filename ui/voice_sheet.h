// CVoiceSheet: the four-page audio set-up wizard: devices, a test sound with the playback
// volume, the microphone level, and the end page that stores the choice.
#pragma once

#include <core/wave_in_meter.h>

#include <win/controls.h>
#include <win/cpropertysheet.h>

#include <memory>

class CSettings;
class CVoiceSheet;
class CWinThread;
class PSoundChannel;

/// The level bar's value for a block of samples: the extremes among the first 400 samples,
/// kept at a sixth of the sample (compared at a tenth), their span divided by 100.
int MicrophoneLevel(const short *samples);
inline constexpr int kLevelSamples = 400;

/// Page 1, "Select Device": the playback and recording devices.
class CVoice_Page1 : public CPropertyPage
{
  public:
    CVoice_Page1();
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    /// Cancelling the wizard (from any page) has the main window reopen its mixer.
    void OnReset() override;
    void DoDataExchange(CDataExchange *pDX) override;

    CComboBox m_comboPlayback; // 1021
    CComboBox m_comboRecord;   // 1022
    int m_nRecordIndex = -1;
    int m_nPlaybackIndex = -1;
};

/// Page 2, "Test the sound": the busy tone on the chosen device and the playback volume.
class CVoice_Page2 : public CPropertyPage
{
  public:
    CVoice_Page2();
    ~CVoice_Page2() override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    LRESULT OnWizardBack() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange *pDX) override;

    int m_bPlaying = 0;
    int m_nSliderPos = 0;
    CSliderCtrl m_slider; // 1051
    CButton m_btnTest;    // 1050

  protected:
    afx_msg void OnTest();
    afx_msg void OnSliderReleased(NMHDR *pNMHDR, LRESULT *pResult);
    DECLARE_MESSAGE_MAP()

  private:
    void StopTestSound();
    /// The busy-tone thread last started; waited for before another one plays.
    std::unique_ptr<CWinThread> m_pBusyThread;
};

/// Page 3, "Test the microphone": the level bar of the chosen recording device.
class CVoice_Page3 : public CPropertyPage
{
  public:
    CVoice_Page3();
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    LRESULT OnWizardBack() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange *pDX) override;

    CWaveInMeter m_meter;
    CProgressCtrl m_progress; // 1053

  protected:
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    DECLARE_MESSAGE_MAP()

  private:
    void StopMeter();
};

/// Page 4, "End": Finish stores the two device names.
class CVoice_Page4 : public CPropertyPage
{
  public:
    CVoice_Page4();
    BOOL OnSetActive() override;
    BOOL OnWizardFinish() override;
};

/// Opened modally: construct, SetWizardMode, set m_pSettings and m_pToneChannel, DoModal.
class CVoiceSheet : public CPropertySheet
{
  public:
    CVoiceSheet(LPCTSTR pszCaption, CWnd *pParentWnd = nullptr, UINT iSelectPage = 0);

    CVoice_Page1 m_page1;
    CVoice_Page2 m_page2;
    CVoice_Page3 m_page3;
    CVoice_Page4 m_page4;

    CString m_strPlaybackDevice;
    CString m_strRecordDevice;
    CSettings *m_pSettings = nullptr;
    /// The main dialog's tone channel: the test sound plays on it.
    PSoundChannel *m_pToneChannel = nullptr;
    int m_nRecordIndex = 0;
};
