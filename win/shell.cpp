// Tray icons over QSystemTrayIcon; URLs through the desktop services.
#include <win/shell.h>

#include <win/codepage.h>
#include <win/application.h>
#include <win/wingdi.h>
#include <win/winmsg.h>

#include <QDesktopServices>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct Tray {
    std::unique_ptr<QSystemTrayIcon> icon;
    UINT callback = 0;
};
using TrayTable = std::map<std::pair<HWND, UINT>, Tray>;

// The tray icons by window and id, on the interface thread; built on first use and kept until
// the process ends, as the toolkit is.
TrayTable &Trays()
{
    static TrayTable *trays = new TrayTable;
    return *trays;
}

win::testing::TrayArea g_trayArea = win::testing::TrayArea::Desktop;

bool TrayAreaShown()
{
    switch (g_trayArea) {
    case win::testing::TrayArea::Present: return true;
    case win::testing::TrayArea::Absent: return false;
    default: return QSystemTrayIcon::isSystemTrayAvailable();
    }
}

std::mutex g_openerMutex;
std::function<bool(const std::string &)> g_opener;

void Notify(HWND hWnd, UINT uID, UINT mouse)
{
    TrayTable &trays = Trays();
    auto it = trays.find({hWnd, uID});
    if (it != trays.end() && it->second.callback)
        PostMessage(hWnd, it->second.callback, WPARAM(uID), LPARAM(mouse));
}

} // namespace

BOOL Shell_NotifyIconA(DWORD dwMessage, NOTIFYICONDATAA *d)
{
    if (!d)
        return FALSE;
    auto key = std::make_pair(d->hWnd, d->uID);
    TrayTable &trays = Trays();
    if (dwMessage == NIM_DELETE)
        return trays.erase(key) ? TRUE : FALSE;
    if (dwMessage == NIM_ADD && trays.count(key))
        return FALSE;
    if (dwMessage == NIM_MODIFY && !trays.count(key))
        return FALSE;
    if (dwMessage != NIM_ADD && dwMessage != NIM_MODIFY)
        return FALSE;
    win::EnsureApplication();
    if (dwMessage == NIM_ADD && !TrayAreaShown())
        return FALSE;
    Tray &t = trays[key];
    if (!t.icon) {
        t.icon = std::make_unique<QSystemTrayIcon>();
        HWND hWnd = d->hWnd;
        UINT uID = d->uID;
        QObject::connect(t.icon.get(), &QSystemTrayIcon::activated, t.icon.get(),
                         [hWnd, uID](QSystemTrayIcon::ActivationReason r) {
                             if (r == QSystemTrayIcon::DoubleClick)
                                 Notify(hWnd, uID, WM_LBUTTONDBLCLK);
                             else if (r == QSystemTrayIcon::Context)
                                 Notify(hWnd, uID, WM_RBUTTONDOWN);
                         });
    }
    if (d->uFlags & NIF_MESSAGE)
        t.callback = d->uCallbackMessage;
    if (d->uFlags & NIF_ICON)
        if (const QPixmap *p = win::gdi::IconOf(d->hIcon))
            t.icon->setIcon(QIcon(*p));
    if (d->uFlags & NIF_TIP)
        t.icon->setToolTip(QString::fromStdString(
            win::AnsiToUtf8(std::string(d->szTip, strnlen(d->szTip, sizeof d->szTip)))));
    t.icon->show();
    return TRUE;
}

HINSTANCE ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR, LPCSTR, int)
{
    auto fail = reinterpret_cast<HINSTANCE>(uintptr_t(2)); // file not found
    if (!lpFile || (lpOperation && std::strcmp(lpOperation, "open") != 0))
        return fail;
    std::string url = win::AnsiToUtf8(lpFile);
    std::function<bool(const std::string &)> opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener;
    }
    bool ok = opener ? opener(url)
                     : QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
    return ok ? reinterpret_cast<HINSTANCE>(uintptr_t(42)) : fail;
}

std::string win::testing::TrayIconTip(HWND hWnd, UINT uID)
{
    TrayTable &trays = Trays();
    auto it = trays.find({hWnd, uID});
    return it == trays.end() ? std::string() : it->second.icon->toolTip().toStdString();
}

void win::testing::ClickTrayIcon(HWND hWnd, UINT uID, UINT mouseMessage)
{
    Notify(hWnd, uID, mouseMessage);
}

void win::testing::SetUrlOpener(std::function<bool(const std::string &)> opener)
{
    std::lock_guard<std::mutex> lock(g_openerMutex);
    g_opener = std::move(opener);
}

void win::testing::SetTrayArea(TrayArea area) { g_trayArea = area; }
