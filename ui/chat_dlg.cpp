// CChatDlg: history, sending as user input, the video part and the video areas.
#include <ui/chat_dlg.h>

#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>

#include <win/msgbox.h>
#include <win/winmsg.h>

namespace
{

constexpr UINT kChatDialog = 259;
constexpr int kHistoryLinesShown = 9;

enum : int {
    kIdHistory = 1085,
    kIdInput = 1086,
    kIdSend = 1084,
    kIdVideo = 1094,
    kIdStop = 1092,
    kIdUserName = 1088,
};

CString LoadText(UINT id)
{
    CString s;
    s.LoadString(id);
    return s;
}

} // namespace

BEGIN_MESSAGE_MAP(CChatDlg, CDialog)
ON_BN_CLICKED(kIdSend, OnSend)
ON_BN_CLICKED(kIdVideo, OnToggleVideo)
ON_BN_CLICKED(kIdStop, OnStopVideo)
ON_WM_CLOSE()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CChatDlg::CChatDlg(CWnd *pParent) : CDialog(kChatDialog, pParent), m_pMainWnd(pParent) {}

CChatDlg::~CChatDlg()
{
    std::lock_guard<std::mutex> lock(m_dcMutex);
    m_dcRemote.reset();
    m_dcLocal.reset();
}

void CChatDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kIdHistory, m_history);
    DDX_Control(pDX, kIdInput, m_input);
    DDX_Control(pDX, kIdSend, m_btnSend);
    DDX_Control(pDX, IDOK, m_btnClose);
    DDX_Control(pDX, kIdVideo, m_btnVideo);
    DDX_Control(pDX, kIdStop, m_btnStop);
    DDX_Control(pDX, kRemoteArea, m_remoteArea);
    DDX_Control(pDX, kLocalArea, m_localArea);
    DDX_Text(pDX, kIdHistory, m_strHistory);
    DDX_Text(pDX, kIdInput, m_strInput);
    DDX_Text(pDX, kIdUserName, m_strUserName);
}

BOOL CChatDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWidth(m_nVideoShown == 1 ? m_nShownWidth : m_nHiddenWidth);
    m_btnVideo.SetWindowText(m_nVideoShown == 1 ? "Hide" : "Show");
    {
        std::lock_guard<std::mutex> lock(m_dcMutex);
        m_dcRemote = std::make_unique<CClientDC>(&m_remoteArea);
        m_dcLocal = std::make_unique<CClientDC>(&m_localArea);
        m_dcRemote->SetBkMode(TRANSPARENT);
        m_dcLocal->SetBkMode(TRANSPARENT);
    }
    UpdateData(FALSE);
    m_bVideoInCall = 0;
    return TRUE;
}

void CChatDlg::OnDestroy()
{
    std::lock_guard<std::mutex> lock(m_dcMutex);
    m_dcRemote.reset();
    m_dcLocal.reset();
}

void CChatDlg::SetWidth(int width)
{
    CRect r;
    GetWindowRect(&r);
    MoveWindow(r.left, r.top, width, r.Height());
}

void CChatDlg::AppendChatText()
{
    if (!m_strPendingLine.IsEmpty()) {
        m_strHistory += m_strPendingLine + "\r\n";
        // Text being typed is kept: the fields are filled from the controls' state. The
        // keyboard stays where it is, with the input or another window being typed in.
        m_input.GetWindowText(m_strInput);
        UpdateData(FALSE);
        m_history.LineScroll(m_history.GetLineCount() - kHistoryLinesShown);
    }
    m_strPendingLine = "";
}

void CChatDlg::SendChatMessage()
{
    UpdateData(TRUE);
    if (m_strInput.IsEmpty()) {
        m_input.SetFocus();
        return;
    }
    if (m_pMainWnd != nullptr) {
        H323Connection *connection = nullptr;
        if (m_pEndPoint != nullptr && m_currentCallToken)
            connection = m_pEndPoint->FindConnectionWithLock(m_currentCallToken());
        if (connection == nullptr) {
            AfxMessageBox(LoadText(211), MB_OK);
            m_input.SetFocus();
            return;
        }
        connection->SendUserInput(PString(m_strInput.GetString()));
        connection->Unlock();
    }
    m_strPendingLine = LoadText(213) + m_strInput;
    AppendChatText();
    m_strInput = "";
    UpdateData(FALSE);
    m_history.SetWindowText(m_strHistory);
    m_input.SetFocus();
}

BOOL CChatDlg::PreTranslateMessage(MSG *pMsg)
{
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN &&
        pMsg->hwnd == m_input.GetSafeHwnd() && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
        SendChatMessage();
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

// The video button always offers the other state, also when the main dialog changes it.
void CChatDlg::ShowVideoArea()
{
    m_nVideoShown = 1;
    SetWidth(m_nShownWidth);
    m_btnVideo.SetWindowText("Hide");
}

void CChatDlg::HideVideoArea()
{
    m_nVideoShown = 0;
    SetWidth(m_nHiddenWidth);
    m_btnVideo.SetWindowText("Show");
}

void CChatDlg::OnSend()
{
    SendChatMessage();
}

void CChatDlg::OnToggleVideo()
{
    if (m_nVideoShown)
        HideVideoArea();
    else
        ShowVideoArea();
}

void CChatDlg::OnStopVideo()
{
    CloseTransmitVideoChannel();
}

void CChatDlg::OnClose()
{
    CloseTransmitVideoChannel();
    CloseReceiveVideoChannel();
    CDialog::OnClose();
}

BOOL CChatDlg::GetVideoAreaSize(int nID, int *width, int *height)
{
    BOOL found = FALSE;
    auto measure = [&] {
        CWnd *area = GetDlgItem(nID);
        if (area == nullptr)
            return;
        CRect r;
        area->GetClientRect(&r);
        *width = r.Width();
        *height = r.Height();
        found = TRUE;
    };
    if (win::IsUiThread())
        measure();
    else
        win::InvokeOnUiThread(measure);
    return found;
}

CClientDC *CChatDlg::AreaContext(int nID)
{
    if (nID == kRemoteArea)
        return m_dcRemote.get();
    if (nID == kLocalArea)
        return m_dcLocal.get();
    return nullptr;
}

int CChatDlg::DrawVideoArea(int nID, int areaWidth, int areaHeight, const void *bits,
                            const BITMAPINFO *info)
{
    std::lock_guard<std::mutex> lock(m_dcMutex);
    CClientDC *dc = AreaContext(nID);
    if (dc == nullptr || info == nullptr)
        return 0;
    const BITMAPINFOHEADER &h = info->bmiHeader;
    return StretchDIBits(dc->m_hDC, 0, 0, areaWidth, areaHeight, 0, 0, h.biWidth, h.biHeight, bits,
                         info, DIB_RGB_COLORS, SRCCOPY);
}
