// CSoftPhoneDlg: the phone's skinned main window; it owns the settings, the endpoint, the
// service socket, the tone channel, the chat window and the menu panel, holds the call and
// login state and handles every window message of the program.
//
// Its behaviour is split over several source files, one per job:
//   soft_phone_dlg.cpp        construction, message map, data exchange, start-up, shutdown
//   soft_phone_timers.cpp     the window timers
//   soft_phone_skin.cpp       skin layout, volume sliders, status area, painting
//   soft_phone_calls.cpp      dialling, answering, hang-up, keyboard, chat text
//   soft_phone_events.cpp     call events and the call log
//   soft_phone_login.cpp      service login and gatekeeper registration
//   soft_phone_handsets.cpp   handset events
//   soft_phone_updates.cpp    balance, remaining time, volume, devices and language
//   soft_phone_services.cpp   tray icon, about box, caller lookup
//   soft_phone_children.cpp   the menu panel, the chat window and the audio wizard
#pragma once

#include <core/endpoint.h>
#include <core/service_socket.h>
#include <core/settings.h>

#include <pwlib/sound/psoundchannel.h>

#include <ui/custom_controls.h>
#include <ui/dialog_threads.h>
#include <ui/skin_dialog.h>
#include <ui/skin_layout.h>

#include <win/ctime.h>
#include <win/wingdi.h>

#include <functional>

class CChatDlg;
class CMenuPanelDlg;
class CVoiceSheet;

class CSoftPhoneDlg : public CSkinDialog
{
  public:
    /// Dialog 102 with region "BACKGROUND"; loads every data file, switches the resources to
    /// the application's language and loads the skin layout table.
    explicit CSoftPhoneDlg(CWnd *pParent = nullptr);
    ~CSoftPhoneDlg() override;

    // ---- used by the other windows of the program ----

    CSettings *GetSettings() { return &m_settings; }
    CEndPoint *GetEndPoint() { return &m_endpoint; }
    /// The channel the dialog plays its tones on (the audio wizard's test sound too).
    PSoundChannel *GetToneChannel() { return &m_toneChannel; }

    /// One key of the keypad: '0'-'9', '*', '#', '.', or 8 (backspace).
    void OnKeypadDigit(char c);
    /// Answers an offered call, or calls the number in the number field.
    void PlaceCall();
    /// Refuses an offered call and/or clears the current call.
    void HangUp();
    /// Shows the chat window, adding the text (with the peer's name) when it is not empty.
    void ShowChatText(const CString &text);
    /// Makes the language of the application's language digit the resources in force and
    /// writes the digit to netphone.ini; reloads the background and the edit colours.
    void ApplyLanguage();
    /// The name for a number from the Quick Calls and the phone book, else the number.
    CString LookupPhoneBookName(const CString &number);
    /// Runs the audio set-up wizard ("Voice Setting") modally over pParent (the dialog when
    /// null) on the settings and the tone channel; nothing while a wizard is already open.
    void RunVoiceWizard(CWnd *pParent = nullptr);

    /// Creates and shows the menu panel when it is closed; returns it.
    CMenuPanelDlg *OpenMenuPanel();
    /// Saves the phone book, destroys and deletes the panel.
    void CloseMenuPanel();

    BOOL OnInitDialog() override;
    /// Exit: shuts the calls and the handsets down, stops the tone that plays (not waiting
    /// for it to be heard out) and ends the dialog.
    void OnOK() override;
    BOOL PreTranslateMessage(MSG *pMsg) override;
    void DoDataExchange(CDataExchange *pDX) override;

    // ---- handsets (their callbacks post to the dialog; these run on its thread) ----

    /// A key of the USBPhone_ handsets; returns 1.
    int OnUsbPhoneKey(int key);
    /// Closes the handset, runs the audio wizard and resets the handset index.
    void RunAudioWizardForHandset();

    /// The gatekeeper's port at the primary host (the service's fixed port; tests change it).
    int m_nGatekeeperPort = 19900;

    // ---- members, in the order of the main dialog's model ----

    CEndPoint m_endpoint;
    CSettings m_settings;
    RegistrationRequest *m_pRegistration;
    PSoundChannel m_toneChannel;
    CBitmap m_bmpSkin;
    CBitmap m_bmpSpare;
    CBrush m_brushDialog;
    CBrush m_brushEdit;
    COLORREF m_crEditBack = 0;
    COLORREF m_crEditText = 0;
    int m_nClockMinute = 0;
    int m_nClockHour = 0;

    // Volume display: levels 0-20 and mixer volumes 0-65535, the sliders' thumbs.
    int m_nMicLevel = 0;
    int m_nPlayLevel = 0;
    DWORD m_dwMicVolume = 0;
    DWORD m_dwPlayVolume = 0;
    int m_nMicThumbY = 160;
    int m_nPlayThumbY = 160;
    int m_nMicThumbX = 0;
    int m_nPlayThumbX = 0;
    int m_bDragMic = 0;
    int m_bDragPlay = 0;

    CString m_strStatus;  // the call or party line
    CString m_strStatus2; // the state line
    CString m_strBalance; // "Balance: ..."
    CString m_strTime;    // "Available Time: ..."
    CTime m_timeCallStart;
    CString m_strCallTime; // "hh:mm:ss"
    CRect m_rcTextsPainted;    // the texts of the status area as painted last
    CRect m_rcCallTimePainted; // the call time as painted last

    int m_bRinging = 0;  // an offered call waits for the answer (the offered-call flag)
    int m_bRegBlink = 0; // alternates the registering indicator
    int m_bRingBlink = 0; // alternates the ringing indicator
    int m_nCallState = 0; // 0 no call, 2 an incoming call answered, 3 a call placed

    CString m_strDialedNumber;
    CString m_strRemoteDisplay; // the party shown for the call
    CString m_strDeviceError;   // the sound device error that ends the call, shown at its end

    SkinLayoutEntry m_face[kSkinLayoutEntries];

    CMenuPanelDlg *m_pMenuPanel = nullptr;
    CChatDlg *m_pChatDlg = nullptr; // handed to the endpoint for the call's video
    CVoiceSheet *m_pVoiceSheet = nullptr; // the audio wizard while it runs
    CString m_strRemoteName; // the peer's name for the call and the chat

    CServiceSocket m_serviceSocket;
    int m_nHeloRetries = 3;
    int m_nAuthRetries = 3;
    int m_nLoginState = -1; // below 1: not logged in to the service; 1 logged in
    int m_nLiveRetries = 3;
    CString m_strAuthDigest;
    CString m_strAuthId;
    CString m_strHeloId;
    CString m_strLiveId;

    CStatic m_thumbMic;  // 1079
    CStatic m_thumbPlay; // 1078

    CHoverButton m_btnSendMessage; // 1087
    CHoverButton m_btnQuickCalls;  // 1038
    CHoverButton m_btnPhoneBook;   // 1041
    CHoverButton m_btnLog;         // 1016
    CHoverButton m_btnRate;        // 1039
    CHoverButton m_btnHangup;      // 1017
    CHoverButton m_btnClear;       // 1040
    CHoverButton m_btnCall;        // 1015
    CNumberComboBox m_number;      // 1044
    CHoverButton m_btnRingIndicator; // 1036
    CHoverButton m_btnVideo;       // 1042
    CHoverButton m_btnExit;        // 1
    CHoverButton m_btnCallIndicator; // 1035
    CHoverButton m_btnRegIndicator;  // 1034
    CHoverButton m_btnMin;         // 1012
    CHoverButton m_btnMenu;        // 1013
    CHoverButton m_btnLastNumber;  // 1037
    CHoverButton m_btnConfig;      // 1014
    CHoverButton m_btnKey[12];     // 1000-1011: '1'-'9', '0', '*', '#'
    HICON m_hIcon = nullptr;
    BOOL m_bTrayIcon = FALSE; // the tray icon was added (the desktop has a notification area)

    // Handset state of the dialog.
    int m_nHistoryIndex = 0;   // position in the number history for the handset's up and down
    int m_bYLConfirmed = 0;    // the YL handset reported its status
    int m_bCmHidResetup = 0;   // the next CM_HID key-scan message runs the audio wizard

  protected:
    // Start-up and shutdown.
    afx_msg void OnDestroy();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);

    // Timers.
    afx_msg void OnTimer(UINT_PTR nIDEvent);

    // Skin.
    afx_msg void OnPaint();
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    afx_msg LRESULT OnNcHitTest(CPoint point);
    afx_msg void OnNcLButtonDown(UINT nHitTest, CPoint point);
    afx_msg void OnNcLButtonUp(UINT nHitTest, CPoint point);
    afx_msg void OnNcMouseMove(UINT nHitTest, CPoint point);
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnMove(int x, int y);

    // Buttons.
    afx_msg void OnKeypadButton(UINT nID);
    afx_msg void OnMinimize();
    afx_msg void OnMenuButton();
    afx_msg void OnSystemConfig();
    afx_msg void OnLastNumber();
    afx_msg void OnPhoneBook();
    afx_msg void OnQuickCalls();
    afx_msg void OnVideoSetting();
    afx_msg void OnRate();
    afx_msg void OnClear();
    afx_msg void OnCallButton();
    afx_msg void OnHangupButton();
    afx_msg void OnSendMessage();
    afx_msg void OnCancel() override;

    // Call events.
    afx_msg LRESULT OnCallAlerting(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnIncomingCallMsg(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCallConnected(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCallForwarded(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCallCleared(WPARAM wParam, LPARAM lParam);
    /// The call's sound device could not be opened (wParam 1 recording, 0 playing).
    afx_msg LRESULT OnSoundDeviceFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnChatText(WPARAM wParam, LPARAM lParam);

    // Login and registration.
    afx_msg LRESULT OnStartRegistration(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGatekeeperRegistered(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGatekeeperUnregistered(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRegistrationFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnAccountInUse(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceHeloOk(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceHeloFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceAuthOk(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceAuthFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceKicked(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceRelogin(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServiceAck(WPARAM wParam, LPARAM lParam);

    // Handsets.
    afx_msg LRESULT OnUsbPhoneKeyMsg(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUsbPhoneDeviceMsg(WPARAM wParam, LPARAM lParam);

    // Display updates.
    afx_msg LRESULT OnShowBalance(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowTime(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnVolumeChanged(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnMixerControlChange(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnAudioDeviceChanged(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnLanguageChanged(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

  public:
    // ---- pieces of the handlers, shared between the files ----

    void LoadFaceTable();
    void LayoutSkin();
    void OpenSoundMixer();
    /// Keeps the clock for the status area and repaints it (drawing happens in OnPaint).
    void DrawStatusArea();
    /// Repaints the status area with every text in it, wholly.
    void InvalidateStatusArea();
    /// Repaints the call time, wholly.
    void InvalidateCallTime();
    /// Paints the status area with the painter of the paint in progress.
    void PaintStatusArea(CDC &dc);
    /// Calls draw for each text line of the status area that is not empty, at its place.
    void ForEachStatusLine(const std::function<void(const CString &, int, int)> &draw);
    /// The call time's box (at least 60 x 20) and the box of all status texts with it.
    CRect CallTimeRect();
    CRect StatusTextBounds();
    /// Invalidates the rectangle of the skin layout entry's (x, y), w x h in size.
    void InvalidateAt(int entry, int w, int h);
    /// Gives a skin button a picture (normal and hover) and repaints it.
    void SetButtonPicture(CHoverButton &button, UINT nBitmap);
    /// The registration indicator's picture and the status line; the registering blink ends.
    void ShowRegistration(UINT nIndicator, UINT nStatus);
    /// Goes back to the top of the open menu panel and chooses rows in turn.
    void ChoosePanelRows(std::initializer_list<int> rows);
    /// Shortcut buttons: close the panel when it shows the page group mark, else open it on
    /// the rows given.
    void TogglePanelPage(int nPageMark, std::initializer_list<int> rows);
    /// The dial key of the handsets: fills an empty number field with the last number.
    void HandsetDialKey();
    /// Steps through the number history (-1 up, +1 down).
    void HistoryStep(int nStep);
    void StartRingBack();
    void AddCallLog(int nState);
    void HideMenuPanel();
    /// The open panel's page mark (1, 11, 21, 31, 111), -1 when it is closed.
    int MenuPanelPageMark() const;
    /// After a language change: the open panel made again, back on its language page.
    void ReopenMenuPanelOnLanguagePage();
    /// A call connected or cleared: the chat window's video area shown or hidden.
    void ShowVideoIfShown();
    void HideVideoIfShown();
    /// The name (field 0) of the first phone book record that holds text in one of its fields
    /// from nFirstField on; empty when none does or the phone book cannot be read.
    CString PhoneBookNameOf(const CString &text, int nFirstField);
    /// Keeps the open menu panel beside the main window.
    void MoveMenuPanelBeside();
    /// Makes the chat window (when the program has one) and links it with the endpoint.
    void CreateChatWindow();
    /// Hides and deletes the menu panel (saving the phone book) and the chat window.
    void DestroyChildWindows();
    /// Ends the start-up grace of the handset device reports (timer 30).
    static void ResetDeviceEventState();

    /// Starts the keypad tone of c on the tone channel in place of any tone that plays;
    /// returns at once, and the channel closes when the tone has been played.
    void PlayKeyTone(char c);
    /// Aborts and closes the tone channel when it is open for a tone.
    void StopTone();
    /// Opens the tone channel for playing on the play device; keeps the result in g_bToneOpen.
    void OpenToneChannel();
    /// TRUE when both sound devices of the settings exist.
    BOOL SoundDevicesPresent() const;
    /// Reads the mixer's two volumes into the levels and places the thumbs.
    void ReadMixerVolumes();
    /// Moves slider 0 (playback) or 1 (microphone) to y and sets its volume from there.
    void SetSliderLevel(int slider, int y);

    std::shared_ptr<void> m_pPanelHost; // what the menu panel reaches of the dialog
    CWorkerThreads m_soundThreads;        // playing on the tone channel
    CWorkerThreads m_registrationThreads; // GatekeeperRegisterThread
    CString m_strAliasDomain;             // of the service configuration
    CString m_strPrimaryHost;
    CString m_strSecondaryHost;
    CString m_strWebHost;
    bool m_bShutDown = false; // OnOK ran
};

/// Posted by the USBPhone_ handset callbacks (their own threads) to the dialog: a key (wParam)
/// and a device notice (wParam event, lParam value).
inline constexpr UINT WM_USBPHONE_KEY = 0x48d;
inline constexpr UINT WM_USBPHONE_DEVICE = 0x48e;

/// Adds the tray icon (id, picture, tip of at most 127 characters) of the window.
BOOL AddTrayIcon(HWND hWnd, UINT uID, HICON hIcon, LPCTSTR lpszTip);
BOOL DeleteTrayIcon(HWND hWnd, UINT uID);

/// The dialog that the handset key and device callbacks reach (set while the second kind of
/// handset is bound); null otherwise.
extern CSoftPhoneDlg *g_pSoftPhoneDlg;
/// -1 from the dialog's start until the first device notice of the USBPhone_ handsets; 0 after;
/// 1 while a later one is handled.
extern int g_nHandsetIndex;
