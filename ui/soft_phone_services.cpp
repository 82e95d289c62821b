// The main dialog's small services: the tray icon and its menu, and the lookup of a caller's
// name in the Quick Calls and the phone book.
#include <ui/soft_phone_dlg.h>

#include <core/window_messages.h>
#include <ui/phone_book.h>

#include <win/cmenu.h>
#include <win/shell.h>

#include <cstring>
#include <memory>

BOOL AddTrayIcon(HWND hWnd, UINT uID, HICON hIcon, LPCTSTR lpszTip)
{
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hWnd;
    data.uID = uID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = hIcon;
    if (lpszTip) {
        std::strncpy(data.szTip, lpszTip, sizeof data.szTip - 1);
        data.szTip[sizeof data.szTip - 1] = '\0';
    }
    BOOL result = Shell_NotifyIconA(NIM_ADD, &data);
    if (hIcon)
        DestroyIcon(hIcon);
    return result;
}

BOOL DeleteTrayIcon(HWND hWnd, UINT uID)
{
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hWnd;
    data.uID = uID;
    return Shell_NotifyIconA(NIM_DELETE, &data);
}

LRESULT CSoftPhoneDlg::OnTrayNotify(WPARAM, LPARAM lParam)
{
    if (lParam == WM_LBUTTONDBLCLK) {
        ShowWindow(SW_SHOWNORMAL);
        SetActiveWindow();
        SetForegroundWindow();
    } else if (lParam == WM_RBUTTONDOWN) {
        SetActiveWindow();
        SetForegroundWindow();
        // The menu's commands (Exit among them) wait while the audio wizard runs over the
        // dialog.
        if (m_pVoiceSheet)
            return 0;
        // The tray menu comes with the language resources; without one there is none to show.
        CMenu menu;
        if (menu.LoadMenu(136)) {
            if (CMenu *popup = menu.GetSubMenu(0)) {
                POINT cursor{};
                GetCursorPos(&cursor);
                popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, this);
            }
            menu.DestroyMenu();
        }
    }
    return 0;
}

CString CSoftPhoneDlg::PhoneBookNameOf(const CString &text, int nFirstField)
{
    auto table = std::make_unique<PhoneBookTable>();
    int count = ReadPhoneBook(m_settings.m_strPhoneBookFile, *table);
    for (int r = 0; r < count; ++r)
        for (int f = nFirstField; f < kPhoneBookFields; ++f)
            if ((*table)[size_t(r)][size_t(f)] == text)
                return (*table)[size_t(r)][0];
    return {};
}

CString CSoftPhoneDlg::LookupPhoneBookName(const CString &number)
{
    return ::LookupPhoneBookName(m_settings, number);
}
