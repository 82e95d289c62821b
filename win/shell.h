// Shell: the notification-area (tray) icon and opening a URL.
#pragma once

#include <win/winuser.h>

#include <functional>
#include <string>

#define NIM_ADD 0x00000000u
#define NIM_MODIFY 0x00000001u
#define NIM_DELETE 0x00000002u
#define NIF_MESSAGE 0x00000001u
#define NIF_ICON 0x00000002u
#define NIF_TIP 0x00000004u

struct NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[128];
};

/// Adds, changes or removes the icon (hWnd, uID). A double click posts the callback message
/// with wParam uID and lParam WM_LBUTTONDBLCLK (515); a context click lParam WM_RBUTTONDOWN
/// (516). The icon keeps its own copy of the picture. FALSE for an unknown icon, and for an
/// icon added while the desktop shows no notification area (nothing is added then).
BOOL Shell_NotifyIconA(DWORD dwMessage, NOTIFYICONDATAA *lpData);

/// Opens a document or URL with the desktop's handler ("open" only); a value above 32 on
/// success, as the shell reports it.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, int nShowCmd);

namespace win::testing {
/// The tip of the tray icon (hWnd, uID), or "" when there is none (UTF-8).
std::string TrayIconTip(HWND hWnd, UINT uID);
/// Acts as the user clicking the tray icon: mouse message 515 or 516.
void ClickTrayIcon(HWND hWnd, UINT uID, UINT mouseMessage);
/// Receives the URLs ShellExecuteA opens instead of the desktop (null: the desktop).
void SetUrlOpener(std::function<bool(const std::string &url)> opener);
/// Whether the desktop shows a notification area: as the desktop says (the default), with
/// one, or without one.
enum class TrayArea { Desktop, Present, Absent };
void SetTrayArea(TrayArea area);
} // namespace win::testing
