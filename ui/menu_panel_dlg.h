// CMenuPanelDlg: the menu panel beside the main window, a phone-like display of five lines
// with Up, Down and Back, whose pages are the phone book, the call lists and the settings.
//
// Its behaviour is split over three files:
//   menu_panel_dlg.cpp       frame: construction, navigation, editors, keyboard and mouse
//   menu_panel_book.cpp      phone book and call list pages, the line popup (Call, Delete)
//   menu_panel_settings.cpp  System Config and User Setting pages, Set.dat and netphone.ini
#pragma once

#include <ui/custom_controls.h>
#include <ui/menu_panel_host.h>
#include <ui/phone_book.h>
#include <ui/skin_dialog.h>

#include <win/controls.h>
#include <win/wingdi.h>

#include <array>
#include <memory>

class CSettings;

class CMenuPanelDlg : public CSkinDialog
{
  public:
    static constexpr int kMaxLines = 500;
    static constexpr int kMaxDepth = 10;
    static constexpr int kRows = 5;

    /// The panel of the host's main window; Create(244, main window) builds its window.
    explicit CMenuPanelDlg(CMenuPanelHost *pHost);
    ~CMenuPanelDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;
    BOOL PreTranslateMessage(MSG *pMsg) override;

    /// Acts as a click on row nRow (1-5) of the current page.
    void ShowMenuItem(int nRow);
    /// One step back (the Back button); nothing while editing or on the root page.
    afx_msg void OnBack();
    /// One step back, then writes pbook.dat.
    void SavePhoneBook();

    /// Group of the current page: 1, 11, 21, 31 or 111; -1 before the window is built.
    int m_nPageMark = -1;
    /// Index of the line shown in the first row.
    int m_nFirstLine = 0;

    // ---- state of the pages (read by tests and by the main window) ----

    CMenuPanelHost *m_pHost;
    CWnd *m_pMainWnd;
    CSettings *m_pSettings;
    CBitmap m_bmpHeader;
    CBrush m_brushBackground;
    COLORREF m_crNormal;
    COLORREF m_crHover;
    std::unique_ptr<CEdit> m_pEdit; // the in-place editor, while one is open
    CFont m_font;
    int m_bEditing = 0;
    std::array<CString, kMaxLines> m_strLabel;
    std::array<CString, kMaxLines> m_strValue;
    std::array<int, kMaxLines> m_nCode{};
    int m_nLineCount = 0;
    int m_nEditRow = 0;
    std::array<int, kMaxDepth> m_nSavedFirst{};
    std::array<int, kMaxDepth> m_nReturnPage{};
    std::array<int, kMaxDepth> m_nChosenIndex{};
    int m_nDepth = 0;
    int m_nHoverRow = 0;
    int m_nLanguage = 0;
    int m_nFramesIndex = 4;
    int m_nSilenceFlag = 1;
    PhoneBookTable m_book;
    int m_nBookCount = 0;
    CHoverButton m_btnHeader;  // 1083
    CLinkStatic m_rows[kRows]; // 1077-1081
    CComboBox m_choice;        // 1044
    CHoverButton m_btnUp;      // 1047
    CHoverButton m_btnDown;    // 1048
    CHoverButton m_btnBack;    // 1049
    int m_nChoiceIndex = 0;
    /// Number of the page shown (see BuildPage).
    int m_nPage = 0;

  protected:
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    afx_msg void OnDestroy();
    afx_msg void OnUp();
    afx_msg void OnDown();
    afx_msg void OnLine1() { OnLine(1); }
    afx_msg void OnLine2() { OnLine(2); }
    afx_msg void OnLine3() { OnLine(3); }
    afx_msg void OnLine4() { OnLine(4); }
    afx_msg void OnLine5() { OnLine(5); }
    afx_msg LRESULT OnLineMenu(WPARAM wParam, LPARAM lParam);
    afx_msg void OnCallItem();
    afx_msg void OnDeleteItem();
    afx_msg void OnChoiceSelected();
    /// The panel is closed only by the main window: Enter and Escape never end it.
    void OnOK() override {}
    void OnCancel() override {}

    DECLARE_MESSAGE_MAP()

  private:
    void OnLine(int nRow);
    void BuildPage(int nPage);
    void RedrawLines();
    /// Pushes the navigation entry and builds page nCode × 10 + 1.
    void OpenPage(int nCode, int nReturnPage, int nChosenIndex);
    /// Closes the edit box or the choice list without storing anything.
    void CloseEditor();
    /// Opens the edit box (or the password edit) in the row below nRow.
    void OpenEditBox(int nRow, int nLine, BOOL bPassword);
    void OpenChoiceList(int nRow, int nLine);
    /// Stores the text of the edit box into the edited line and its setting.
    void CommitEdit();
    void SetHeader(UINT nBitmap);
    void PostToMain(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    /// The page the current one returns to (0 on the root page).
    int ReturnPage() const { return m_nDepth > 0 ? m_nReturnPage[m_nDepth - 1] : 0; }
    int ChosenIndex() const { return m_nDepth > 0 ? m_nChosenIndex[m_nDepth - 1] : 0; }
    void SetLine(int nLine, UINT nLabel, const CString &strValue, int nCode);
    void SetLine(int nLine, const CString &strLabel, const CString &strValue, int nCode);
    /// Removes line nLine (and everything after it moves up one).
    void RemoveLine(int nLine);

    // Phone book and call lists (menu_panel_book.cpp).
    void BuildBookPage(int nPage);
    void BuildCallsPage(int nPage);
    void CommitBookEdit(int nRow, const CString &text);
    void CommitQuickCallEdit(int nRow, const CString &text);
    void FinishNewEntry();
    void FinishNewQuickCall();
    /// The line under the mouse, or -1.
    int HoverLine() const;

    // Settings pages (menu_panel_settings.cpp).
    void ReadOptions();
    void WriteSetFile();
    void BuildSettingsPage(int nPage);
    void CommitSettingsEdit(int nLine, const CString &text);
    void FillChoiceList(int nLine);
    void StoreChoice(int nLine, int nIndex);
    void DeleteFilterNumber(int nLine);
};
