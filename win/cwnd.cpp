// CWnd: handles, message-map dispatch, timers; free message functions.
#include <win/cwnd.h>

#include <win/internal/transport.h>
#include <win/widget_bridge.h>

#include <atomic>

namespace {

std::atomic<const win::detail::WidgetHooks *> g_widgetHooks{nullptr};

} // namespace

void win::detail::SetWidgetHooks(const WidgetHooks *hooks) { g_widgetHooks = hooks; }

CWnd::~CWnd()
{
    // A window has a widget only through the widget part, which installed the hooks.
    if (m_pWidget)
        g_widgetHooks.load()->detach(this);
    ReleaseHandle();
}

CWnd *CWnd::FromHandle(HWND hWnd)
{
    return win::detail::LookupWindow(hWnd);
}

BOOL CWnd::CreateHandle()
{
    if (m_hWnd)
        return FALSE;
    m_hWnd = win::detail::RegisterWindow(this);
    return m_hWnd != nullptr;
}

void CWnd::ReleaseHandle()
{
    if (!m_hWnd)
        return;
    HWND h = m_hWnd;
    m_hWnd = nullptr;
    win::detail::UnregisterWindow(h);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    if (!win::IsUiThread()) {
        BOOL result = FALSE;
        win::InvokeOnUiThread([&] { result = DestroyWindow(); });
        return result;
    }
    win::detail::CallWindowProc(this, WM_DESTROY, 0, 0);
    ReleaseHandle();
    PostNcDestroy();
    return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult)
{
    UINT code = 0, id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (!header)
            return FALSE;
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    bool byControl = message == WM_COMMAND || message == WM_NOTIFY;
    for (const win::MessageMap *map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const win::MessageMapEntry *e = map->lpEntries; e->nMessage != 0; ++e) {
            if (e->nMessage != message)
                continue;
            if (byControl && (e->nCode != code || id < e->nID || id > e->nLastID))
                continue;
            LRESULT result = e->pfn(this, wParam, lParam);
            if (pResult)
                *pResult = result;
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        DestroyWindow();
        return 0;
    }
    // A window backed by a widget lets the toolkit do what the message stands for.
    return m_pWidget ? g_widgetHooks.load()->defaultProc(this, message, wParam, lParam) : 0;
}

LRESULT CWnd::Default()
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    if (!win::detail::CurrentMessage(message, wParam, lParam))
        return 0;
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::detail::Post(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::detail::Send(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, std::nullptr_t)
{
    return win::detail::StartTimer(m_hWnd, nIDEvent, nElapse);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent)
{
    return win::detail::StopTimer(m_hWnd, nIDEvent);
}

BOOL CWnd::PreTranslateMessage(MSG *) { return FALSE; }

void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
BOOL CWnd::OnSetCursor(CWnd *, UINT, UINT) { return BOOL(Default()); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnNcLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnNcMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnMove(int, int) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC *, CWnd *, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

void CWnd::OnDestroy()
{
    Default();
}

void CWnd::OnClose()
{
    Default();
}

const win::MessageMap *CWnd::GetThisMessageMap()
{
    static const win::MessageMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
    static const win::MessageMap map = {nullptr, entries};
    return &map;
}

const win::MessageMap *CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return win::detail::Post(hWnd, Msg, wParam, lParam);
}

LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return win::detail::Send(hWnd, Msg, wParam, lParam);
}

BOOL IsWindow(HWND hWnd)
{
    return win::detail::LookupWindow(hWnd) != nullptr;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, std::nullptr_t)
{
    return win::detail::StartTimer(hWnd, nIDEvent, uElapse);
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    return win::detail::StopTimer(hWnd, uIDEvent);
}
