// Menu panel: the phone book and call list pages, and the line popup (Call, Delete).
#include <ui/menu_panel_dlg.h>

#include <core/settings.h>

#include <win/cmenu.h>
#include <win/msgbox.h>

#include <algorithm>

namespace
{

// Moves every entry after index up one place in both arrays; the last one is emptied.
template <int N> void RemoveEntry(CCallList<N> &list, int index)
{
    int count = std::min(list.m_nCount, N);
    if (index < 0 || index >= count)
        return;
    for (int j = index; j + 1 < count; ++j) {
        list.m_strNumber[j] = list.m_strNumber[j + 1];
        list.m_strText[j] = list.m_strText[j + 1];
    }
    list.m_strNumber[count - 1].Empty();
    list.m_strText[count - 1].Empty();
    list.m_nCount = count - 1;
}

} // namespace

void CMenuPanelDlg::BuildBookPage(int nPage)
{
    if (nPage == 21) {
        SetLine(0, 179, "", 21);
        for (int k = 1; k <= m_nBookCount; ++k)
            SetLine(k, m_book[k - 1][0], "", 22);
        m_nLineCount = m_nBookCount + 1;
        m_nPageMark = 21;
        SetHeader(255);
        return;
    }
    // Entry page: the record chosen, or the one being made at the end of the book.
    int record = nPage == 221 ? ChosenIndex() - 1 : m_nBookCount;
    if (record < 0 || record >= kPhoneBookCapacity)
        return;
    if (nPage == 211)
        m_book[record] = PhoneBookRecord{}; // nothing left over from an abandoned entry
    const UINT labels[4] = {166, 168, 169, 170};
    for (int f = 0; f < 4; ++f)
        SetLine(f, labels[f], m_book[record][f], f == 0 ? -1 : -23);
    m_nLineCount = 4;
}

void CMenuPanelDlg::CommitBookEdit(int nRow, const CString &text)
{
    int chosen = ChosenIndex();
    int record = chosen == 0 ? m_nBookCount : chosen - 1;
    if (record < 0 || record >= kPhoneBookCapacity || nRow < 1 || nRow > 4)
        return;
    m_book[record][nRow - 1] = text;
}

void CMenuPanelDlg::FinishNewEntry()
{
    if (m_nBookCount >= kPhoneBookCapacity)
        return;
    CString &name = m_book[m_nBookCount][0];
    name.Remove(' ');
    if (!name.IsEmpty())
        ++m_nBookCount;
}

void CMenuPanelDlg::BuildCallsPage(int nPage)
{
    CSettings &s = *m_pSettings;
    switch (nPage) {
    case 11: {
        const UINT labels[4] = {172, 174, 153, 154};
        for (int i = 0; i < 4; ++i)
            SetLine(i, labels[i], "", 11 + i);
        m_nLineCount = 4;
        m_nPageMark = 11;
        SetHeader(254);
        break;
    }
    case 111: {
        const auto &quick = s.m_QuickCalls;
        int count = std::clamp(quick.m_nCount, 0, quick.kCapacity);
        SetLine(0, 179, "", 111);
        for (int k = 1; k <= count; ++k)
            SetLine(k, quick.m_strText[k - 1] + ": " + quick.m_strNumber[k - 1], "", 112);
        m_nLineCount = count + 1;
        m_nPageMark = 111;
        SetHeader(258);
        break;
    }
    case 121:
    case 131:
    case 141: {
        auto fill = [&](const auto &list, int code) {
            int count = std::clamp(list.m_nCount, 0, list.kCapacity);
            for (int k = 0; k < count; ++k)
                SetLine(k, list.m_strNumber[k], "", code);
            m_nLineCount = count;
        };
        if (nPage == 121)
            fill(s.m_DialedCalls, 9);
        else if (nPage == 131)
            fill(s.m_MissedCalls, 131);
        else
            fill(s.m_ReceivedCalls, 141);
        break;
    }
    case 91:
    case 1311:
    case 1411: {
        int k = ChosenIndex();
        auto detail = [&](const auto &list) {
            if (k >= 0 && k < std::min(list.m_nCount, list.kCapacity))
                SetLine(0, 225, list.m_strText[k], 100);
        };
        if (nPage == 91)
            detail(s.m_DialedCalls);
        else if (nPage == 1311)
            detail(s.m_MissedCalls);
        else
            detail(s.m_ReceivedCalls);
        m_nLineCount = 1;
        break;
    }
    case 1111:
    case 1121: {
        auto &quick = s.m_QuickCalls;
        int entry = nPage == 1121 ? ChosenIndex() - 1 : quick.m_nCount;
        if (entry < 0 || entry >= quick.kCapacity)
            return;
        if (nPage == 1111) {
            quick.m_strText[entry].Empty(); // nothing left over from an abandoned entry
            quick.m_strNumber[entry].Empty();
        }
        SetLine(0, 166, quick.m_strText[entry], -1);
        SetLine(1, 190, quick.m_strNumber[entry], -1);
        m_nLineCount = 2;
        break;
    }
    default:
        break;
    }
}

void CMenuPanelDlg::CommitQuickCallEdit(int nRow, const CString &text)
{
    auto &quick = m_pSettings->m_QuickCalls;
    int chosen = ChosenIndex();
    int entry = chosen == 0 ? quick.m_nCount : chosen - 1;
    if (entry < 0 || entry >= quick.kCapacity)
        return;
    if (nRow == 1)
        quick.m_strText[entry] = text;
    else if (nRow == 2)
        quick.m_strNumber[entry] = text;
}

void CMenuPanelDlg::FinishNewQuickCall()
{
    auto &quick = m_pSettings->m_QuickCalls;
    if (quick.m_nCount < 0 || quick.m_nCount >= quick.kCapacity)
        return;
    CString &name = quick.m_strText[quick.m_nCount];
    name.Remove(' ');
    if (!name.IsEmpty())
        ++quick.m_nCount;
}

int CMenuPanelDlg::HoverLine() const
{
    if (m_nHoverRow < 1 || m_nHoverRow > kRows)
        return -1;
    int line = m_nFirstLine + m_nHoverRow - 1;
    return line < m_nLineCount ? line : -1;
}

LRESULT CMenuPanelDlg::OnLineMenu(WPARAM, LPARAM)
{
    int line = HoverLine();
    if (line < 0)
        return 0;
    switch (m_nCode[line]) {
    case -23:
    case 22:
    case 112:
    case 9:
    case 131:
    case 141:
    case 423:
        break;
    default:
        return 0;
    }
    CMenu menu;
    if (!menu.LoadMenu(246))
        return 0;
    CMenu *popup = menu.GetSubMenu(0);
    if (!popup)
        return 0;
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, this);
    return 0;
}

void CMenuPanelDlg::OnCallItem()
{
    int line = HoverLine();
    if (line < 0)
        return;
    const CSettings &s = *m_pSettings;
    CString number;
    switch (m_nCode[line]) {
    case -23:
        number = m_strValue[line];
        break;
    case 112:
        if (line >= 1 && line - 1 < s.m_QuickCalls.m_nCount)
            number = s.m_QuickCalls.m_strNumber[line - 1];
        break;
    case 9:
        if (line < s.m_DialedCalls.m_nCount)
            number = s.m_DialedCalls.m_strNumber[line];
        break;
    case 131:
        if (line < s.m_MissedCalls.m_nCount)
            number = s.m_MissedCalls.m_strNumber[line];
        break;
    case 141:
        if (line < s.m_ReceivedCalls.m_nCount)
            number = s.m_ReceivedCalls.m_strNumber[line];
        break;
    default:
        return;
    }
    m_pHost->CallNumber(number);
}

void CMenuPanelDlg::OnDeleteItem()
{
    int line = HoverLine();
    if (line < 0)
        return;
    int code = m_nCode[line];
    if (code != 22 && code != 112 && code != 9 && code != 131 && code != 141 && code != 423)
        return;
    CString text, caption;
    text.LoadString(160);
    caption.LoadString(159);
    if (MessageBoxA(GetSafeHwnd(), text, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    CSettings &s = *m_pSettings;
    switch (code) {
    case 22: {
        int record = line - 1;
        if (record < 0 || record >= m_nBookCount)
            return;
        std::move(m_book.begin() + record + 1, m_book.begin() + m_nBookCount,
                  m_book.begin() + record);
        m_book[--m_nBookCount] = PhoneBookRecord{};
        break;
    }
    case 112:
        RemoveEntry(s.m_QuickCalls, line - 1);
        break;
    case 9:
        RemoveEntry(s.m_DialedCalls, line);
        break;
    case 131:
        RemoveEntry(s.m_MissedCalls, line);
        break;
    case 141:
        RemoveEntry(s.m_ReceivedCalls, line);
        break;
    case 423:
        DeleteFilterNumber(line);
        return;
    }
    RemoveLine(line);
    RedrawLines();
}
