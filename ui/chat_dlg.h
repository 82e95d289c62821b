// CChatDlg: the modeless window of a call's text messages and its remote and local video.
#pragma once

#include <core/video_window.h>

#include <ui/custom_controls.h>

#include <pwlib/pstring.h>
#include <win/cdialog.h>
#include <win/controls.h>
#include <win/wingdi.h>

#include <functional>
#include <memory>
#include <mutex>

class H323EndPoint;

/// Created once by the main dialog (hidden) and kept for the program's life. The history
/// and input are plain multi-line edits; the right part holds the video areas 1091 (remote)
/// and 1090 (local) and is shown or hidden by changing the window's width.
class CChatDlg : public CDialog, public CVideoWindow
{
  public:
    static constexpr int kShownWidth = 501;
    static constexpr int kHiddenWidth = 298;

    /// The main window is pParent (the main dialog, the application's main window).
    explicit CChatDlg(CWnd *pParent = nullptr);
    ~CChatDlg() override;

    /// Appends the pending line (when not empty) and a line end to the history, scrolls the
    /// newest lines into view; the pending line is emptied.
    void AppendChatText();
    /// Sends the input text to the peer of the current call as a user-input string and adds
    /// it to the history; without a call connection a message box says so and the text stays.
    void SendChatMessage();
    /// The video part: shown (width 501) or hidden (width 298), position and height kept.
    void ShowVideoArea();
    void HideVideoArea();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;
    /// Ctrl+Return in the input sends the message.
    BOOL PreTranslateMessage(MSG *pMsg) override;

    // CVideoWindow: the video areas, drawn from the stack's video threads.
    BOOL GetVideoAreaSize(int nID, int *width, int *height) override;
    int DrawVideoArea(int nID, int areaWidth, int areaHeight, const void *bits,
                      const BITMAPINFO *info) override;

    CString m_strHistory;
    CString m_strInput;
    CString m_strUserName;
    CString m_strPendingLine;
    int m_nVideoShown = 0;
    int m_nShownWidth = kShownWidth;
    int m_nHiddenWidth = kHiddenWidth;
    CWnd *m_pMainWnd;
    /// Set by the main dialog: the endpoint and the token of its current call.
    H323EndPoint *m_pEndPoint = nullptr;
    std::function<PString()> m_currentCallToken;

    CRichEditCtrl m_history; // 1085
    CRichEditCtrl m_input;   // 1086
    CHoverButton m_btnSend;  // 1084
    CHoverButton m_btnClose; // 1
    CHoverButton m_btnVideo; // 1094
    CHoverButton m_btnStop;  // 1092
    CStatic m_remoteArea;    // 1091
    CStatic m_localArea;     // 1090

  protected:
    afx_msg void OnSend();
    afx_msg void OnToggleVideo();
    afx_msg void OnStopVideo();
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

  private:
    void SetWidth(int width);
    CClientDC *AreaContext(int nID);

    // The areas' drawing contexts, made and dropped on the interface thread.
    std::mutex m_dcMutex;
    std::unique_ptr<CClientDC> m_dcRemote;
    std::unique_ptr<CClientDC> m_dcLocal;
};
