// Dialogs over widgets: modal loops, messages numbered per window, data exchange, keys.
#include <win/application.h>
#include <win/cdialog.h>
#include <win/cmenu.h>
#include <win/cpropertysheet.h>
#include <win/msgbox.h>
#include <win/resources.h>
#include <win/shell.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ostream>
#include <thread>

namespace {

constexpr UINT WM_NUMBERED = 0x470;

class LoginLike : public CDialog
{
  public:
    LoginLike() : CDialog(221) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (endAfterMs)
            SetTimer(5, endAfterMs);
        return TRUE;
    }
    void DoDataExchange(CDataExchange *pDX) override
    {
        DDX_CBIndex(pDX, 1044, language);
        DDX_Text(pDX, 1016, account);
        DDX_Text(pDX, 1017, password);
        DDX_Check(pDX, 1071, keep);
    }
    afx_msg void OnTimer(UINT_PTR id)
    {
        if (id == 5)
            EndDialog(77);
    }
    afx_msg LRESULT OnNumbered(WPARAM w, LPARAM) { numbered.push_back(int(w)); return 0; }
    int language = 2, keep = 1;
    CString account = "alice", password = "secret";
    UINT endAfterMs = 0;
    std::vector<int> numbered;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LoginLike, CDialog)
    ON_WM_TIMER()
    ON_MESSAGE(WM_NUMBERED, OnNumbered)
END_MESSAGE_MAP()

class Dialogs : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }
};

TEST_F(Dialogs, DataExchangeGoesBothWays)
{
    LoginLike d;
    ASSERT_TRUE(d.Create(221));
    auto *account = static_cast<QLineEdit *>(d.GetDlgItem(1016)->GetWidget());
    auto *password = static_cast<QLineEdit *>(d.GetDlgItem(1017)->GetWidget());
    auto *keep = static_cast<QCheckBox *>(d.GetDlgItem(1071)->GetWidget());
    auto *language = static_cast<QComboBox *>(d.GetDlgItem(1044)->GetWidget());
    EXPECT_EQ(account->text(), "alice");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(password->text(), "secret");
    EXPECT_TRUE(keep->isChecked());
    EXPECT_EQ(language->currentIndex(), 2);
    EXPECT_EQ(language->itemText(1), "Chn(Simplified)");
    EXPECT_FALSE(d.GetDlgItem(1066)->IsWindowVisible()) << "Register is hidden in English";
    account->setText("bob");
    keep->setChecked(false);
    language->setCurrentIndex(0);
    ASSERT_TRUE(d.UpdateData(TRUE));
    EXPECT_EQ(d.account, "bob");
    EXPECT_EQ(d.keep, 0);
    EXPECT_EQ(d.language, 0);
    d.DestroyWindow();
}

// Types each character as a key press carrying it, as an input method delivers it.
void TypeCharacters(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

TEST_F(Dialogs, ALimitedEditTakesTypedTextUpToItsAnsiBytesAndCanStillBeShortened)
{
    LoginLike d;
    d.password = "set by the program, longer than the limit";
    ASSERT_TRUE(d.Create(221));
    auto *edit = static_cast<CEdit *>(d.GetDlgItem(1017));
    auto *widget = static_cast<QLineEdit *>(edit->GetWidget());
    edit->LimitText(6);
    EXPECT_EQ(widget->text().toStdString(), "set by the program, longer than the limit") << "not cut";
    QTest::keyClick(widget, Qt::Key_Backspace);
    EXPECT_EQ(widget->text().toStdString(), "set by the program, longer than the limi");

    widget->clear();
    QTest::keyClicks(widget, "1234567890");
    EXPECT_EQ(widget->text().toStdString(), "123456");
    // A character of two bytes in the ANSI code page (GBK) counts two.
    widget->clear();
    TypeCharacters(widget, QString::fromUtf8("12345\u4e2d"));
    EXPECT_EQ(widget->text().toStdString(), "12345");
    widget->clear();
    TypeCharacters(widget, QString::fromUtf8("1234\u4e2d6"));
    EXPECT_EQ(widget->text().toStdString(), "1234\u4e2d");

    edit->LimitText(0);
    QTest::keyClicks(widget, "789");
    EXPECT_EQ(widget->text().toStdString(), "1234\u4e2d789") << "no limit any more";
    d.DestroyWindow();
}

TEST_F(Dialogs, AModalLoopServesTimersAndOtherThreadsUntilEndDialog)
{
    LoginLike other;
    ASSERT_TRUE(other.Create(221));
    HWND otherWindow = other.GetSafeHwnd();
    LoginLike modal;
    modal.endAfterMs = 200;
    std::thread poster([otherWindow] {
        for (int i = 1; i <= 3; ++i)
            PostMessage(otherWindow, WM_NUMBERED, WPARAM(i), 0);
    });
    EXPECT_EQ(modal.DoModal(), 77);
    poster.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(other.numbered, (std::vector<int>{1, 2, 3})) << "posted in order, during the loop";
    EXPECT_TRUE(modal.numbered.empty()) << "the same number reaches only its own window";
    EXPECT_EQ(modal.GetWidget(), nullptr);
    other.DestroyWindow();
}

TEST_F(Dialogs, EscapeCancelsAndEnterConfirms)
{
    for (auto [key, result] : {std::pair{Qt::Key_Escape, IDCANCEL}, {Qt::Key_Return, IDOK}}) {
        LoginLike d;
        QTimer::singleShot(50, [&d, key = key] {
            QTest::keyClick(d.GetDlgItem(1016)->GetWidget(), key);
        });
        EXPECT_EQ(d.DoModal(), result);
    }
}

TEST_F(Dialogs, AMissingTemplateGivesMinusOne)
{
    CDialog d(4242);
    EXPECT_EQ(d.DoModal(), -1);
    EXPECT_FALSE(d.Create(4242));
}

TEST_F(Dialogs, MessageBoxesAreAnsweredByTheTestHook)
{
    std::vector<std::string> seen;
    win::testing::SetMessageBoxHandler([&](const win::testing::MessageBoxCall &c) {
        seen.push_back(c.caption + "|" + c.text);
        return IDYES;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Are you sure?", "Delete Item", MB_YESNO | MB_ICONQUESTION),
              IDYES);
    int fromThread = 0;
    std::thread t([&] { fromThread = AfxMessageBox("No Sound Device"); });
    t.join();
    EXPECT_EQ(fromThread, IDYES);
    EXPECT_EQ(seen, (std::vector<std::string>{"Delete Item|Are you sure?",
                                              "Kestrelin|No Sound Device"}));
    win::testing::SetMessageBoxHandler(nullptr);
}

TEST_F(Dialogs, MessageBoxesFromAnyThreadAreDialogsOnTheInterfaceThread)
{
    // Answers the box the program shows, from inside its modal loop.
    QString shown;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->windowTitle() + "|" + box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    answerer.start(10);
    std::atomic<int> answer{0};
    std::thread t([&] { answer = MessageBoxA(nullptr, "Delete it?", "Delete Item", MB_YESNO); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answer == 0 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    answerer.stop();
    t.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(shown, "Delete Item|Delete it?");
}

// A wizard page that asks for its buttons as the audio wizard's pages do: by posting
// PSM_SETWIZBUTTONS (0x470, the same number as a main window message) to the sheet.
class WizardPage : public CPropertyPage
{
  public:
    WizardPage(UINT id, LPARAM buttons) : CPropertyPage(id), buttons_(buttons) {}
    BOOL OnSetActive() override
    {
        GetParent()->PostMessage(PSM_SETWIZBUTTONS, 0, buttons_);
        ++activations;
        return CPropertyPage::OnSetActive();
    }
    BOOL OnWizardFinish() override
    {
        finished = true;
        return TRUE;
    }
    int activations = 0;
    bool finished = false;

  private:
    LPARAM buttons_;
};

TEST_F(Dialogs, AWizardFollowsTheButtonsItsPagesAskFor)
{
    LoginLike mainLike;
    ASSERT_TRUE(mainLike.Create(221));
    CPropertySheet sheet("Voice Setting", &mainLike, 0);
    WizardPage p1(206, PSWIZB_NEXT), p2(208, PSWIZB_BACK | PSWIZB_NEXT),
        p3(209, PSWIZB_BACK | PSWIZB_FINISH);
    sheet.AddPage(&p1);
    sheet.AddPage(&p2);
    sheet.AddPage(&p3);
    sheet.SetWizardMode();
    std::vector<std::string> seen;
    auto state = [&] {
        QCoreApplication::processEvents();
        std::string s;
        s += sheet.GetButton(ID_WIZBACK)->IsWindowEnabled() ? "B" : "-";
        s += sheet.GetButton(ID_WIZNEXT)->IsWindowVisible() &&
                     sheet.GetButton(ID_WIZNEXT)->IsWindowEnabled()
                 ? "N"
                 : "-";
        s += sheet.GetButton(ID_WIZFINISH)->IsWindowVisible() &&
                     sheet.GetButton(ID_WIZFINISH)->IsWindowEnabled()
                 ? "F"
                 : "-";
        seen.push_back(std::to_string(sheet.GetActiveIndex()) + s);
    };
    auto click = [&](int id) {
        static_cast<QAbstractButton *>(sheet.GetButton(id)->GetWidget())->click();
    };
    QTimer::singleShot(50, [&] {
        state();
        click(ID_WIZNEXT);
        state();
        click(ID_WIZNEXT);
        state();
        click(ID_WIZBACK);
        state();
        click(ID_WIZNEXT);
        state();
        click(ID_WIZFINISH);
    });
    EXPECT_EQ(sheet.DoModal(), ID_WIZFINISH);
    EXPECT_EQ(seen, (std::vector<std::string>{"0-N-", "1BN-", "2B-F", "1BN-", "2B-F"}));
    EXPECT_TRUE(p3.finished);
    EXPECT_EQ(p2.activations, 2);
    EXPECT_TRUE(mainLike.numbered.empty()) << "0x470 of the sheet reached another window";
    mainLike.DestroyWindow();
}

TEST_F(Dialogs, PopupMenusSendTheChosenCommand)
{
    LoginLike d;
    ASSERT_TRUE(d.Create(221));
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(246));
    CMenu *popup = menu.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->GetMenuItemID(1), 32782u);
    std::vector<std::string> shown;
    win::testing::SetPopupMenuHandler([&](const std::vector<std::string> &items) {
        shown = items;
        return 1;
    });
    EXPECT_TRUE(popup->TrackPopupMenu(TPM_RIGHTBUTTON, 10, 10, &d));
    win::testing::SetPopupMenuHandler([](const std::vector<std::string> &) { return -1; });
    EXPECT_FALSE(popup->TrackPopupMenu(TPM_RIGHTBUTTON, 10, 10, &d)) << "dismissed";
    win::testing::SetPopupMenuHandler(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"&Call", "&Delete"}));
    CMenu *system = d.GetSystemMenu(FALSE);
    system->AppendMenu(MF_SEPARATOR);
    system->AppendMenu(MF_STRING, 16, "&About Kestrelin...");
    EXPECT_EQ(d.GetSystemMenu(FALSE)->GetMenuItemCount(), 2u);
    EXPECT_FALSE(menu.LoadMenu(4242));
    d.DestroyWindow();
}

TEST_F(Dialogs, TheTrayIconReportsClicksAndTheShellOpensUrls)
{
    LoginLike d;
    ASSERT_TRUE(d.Create(221));
    NOTIFYICONDATAA n{};
    n.cbSize = sizeof n;
    n.hWnd = d.GetSafeHwnd();
    n.uID = 143;
    n.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    n.uCallbackMessage = WM_NUMBERED;
    n.hIcon = LoadIcon(nullptr, MAKEINTRESOURCE(211));
    EXPECT_NE(n.hIcon, nullptr);
    std::strcpy(n.szTip, "Kestrelin 5.2.1");
    win::testing::SetTrayArea(win::testing::TrayArea::Absent);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &n)) << "no notification area";
    EXPECT_TRUE(win::testing::TrayIconTip(d.GetSafeHwnd(), 143).empty());
    win::testing::SetTrayArea(win::testing::TrayArea::Present);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &n));
    DestroyIcon(n.hIcon);
    EXPECT_EQ(win::testing::TrayIconTip(d.GetSafeHwnd(), 143), "Kestrelin 5.2.1");
    win::testing::ClickTrayIcon(d.GetSafeHwnd(), 143, WM_LBUTTONDBLCLK);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.numbered, (std::vector<int>{143}));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &n));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &n));
    win::testing::SetTrayArea(win::testing::TrayArea::Desktop);

    std::string opened;
    win::testing::SetUrlOpener([&](const std::string &url) {
        opened = url;
        return true;
    });
    EXPECT_GT(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open",
                                                       "http://127.0.0.1/user/license.asp",
                                                       nullptr, nullptr, SW_SHOWNORMAL)),
              32);
    EXPECT_EQ(opened, "http://127.0.0.1/user/license.asp");
    win::testing::SetUrlOpener(nullptr);
    d.DestroyWindow();
}

// Records the mouse moves and keys its PreTranslateMessage sees, and its own mouse moves.
class InputProbe : public CDialog
{
  public:
    InputProbe() : CDialog(221) {}
    struct Seen {
        HWND hwnd;
        UINT message;
        int x, y;
        bool operator==(const Seen &) const = default;
    };
    BOOL PreTranslateMessage(MSG *pMsg) override
    {
        if (pMsg->message == WM_MOUSEMOVE || pMsg->message == WM_KEYDOWN)
            translated.push_back({pMsg->hwnd, pMsg->message, short(LOWORD(pMsg->lParam)),
                                  short(HIWORD(pMsg->lParam))});
        return CDialog::PreTranslateMessage(pMsg);
    }
    afx_msg void OnMouseMove(UINT, CPoint point) { moves.push_back({point.x, point.y}); }
    std::vector<Seen> translated;
    std::vector<std::pair<int, int>> moves;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(InputProbe, CDialog)
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

std::ostream &operator<<(std::ostream &out, const InputProbe::Seen &s)
{
    return out << "{" << s.hwnd << " " << s.message << " " << s.x << "," << s.y << "}";
}

TEST_F(Dialogs, AMouseMoveReachesOneWindowOnceAsTheWindowUnderTheCursor)
{
    InputProbe d;
    ASSERT_TRUE(d.Create(221));
    d.ShowWindow(SW_SHOW);
    QWidget *dialog = d.GetWidget();
    auto label = [&](const char *text) -> QWidget * {
        for (auto *l : dialog->findChildren<QLabel *>())
            if (l->text() == text)
                return l;
        return nullptr;
    };
    QWidget *notifying = label("Account:"), *plain = label("Password:");
    ASSERT_TRUE(notifying && plain);
    CWnd::FromWidget(notifying)->ModifyStyle(0, SS_NOTIFY);
    QWidget *ok = d.GetDlgItem(1)->GetWidget();
    const QPoint at(3, 3);
    // Statics without SS_NOTIFY let the mouse through to their parent; the others take it,
    // though their widgets pass the move on to the dialog's.
    struct Case {
        QWidget *under;
        HWND target;
        bool dialogMoves;
    };
    const Case cases[] = {
        {notifying, CWnd::FromWidget(notifying)->GetSafeHwnd(), false},
        {ok, d.GetDlgItem(1)->GetSafeHwnd(), false},
        {plain, d.GetSafeHwnd(), true},
        {dialog, d.GetSafeHwnd(), true},
    };
    for (const Case &c : cases) {
        d.translated.clear();
        d.moves.clear();
        QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(c.under->mapToGlobal(at)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(c.under, &move);
        QPoint p = c.target == d.GetSafeHwnd() ? c.under->mapTo(dialog, at) : at;
        const char *what = c.under->metaObject()->className();
        EXPECT_EQ(d.translated,
                  (std::vector<InputProbe::Seen>{{c.target, WM_MOUSEMOVE, p.x(), p.y()}}))
            << what;
        using Moves = std::vector<std::pair<int, int>>;
        EXPECT_EQ(d.moves, (c.dialogMoves ? Moves{{p.x(), p.y()}} : Moves{})) << what;
    }
    // A key the focus ignores goes on to its parent widgets; it is translated once too.
    d.translated.clear();
    QTest::keyClick(ok, Qt::Key_A);
    EXPECT_EQ(d.translated, (std::vector<InputProbe::Seen>{
                                {d.GetDlgItem(1)->GetSafeHwnd(), WM_KEYDOWN, 0, 0}}));
    d.DestroyWindow();
}

} // namespace

namespace {

class ChatLike : public CDialog
{
  public:
    ChatLike() : CDialog(259) {}
    void DoDataExchange(CDataExchange *pDX) override
    {
        DDX_Control(pDX, 1085, history);
        DDX_Text(pDX, 1085, text);
    }
    CRichEditCtrl history;
    CString text;
};

TEST(PlainTextEdits, CountAndScrollLines)
{
    win::EnsureApplication();
    ChatLike d;
    ASSERT_TRUE(d.Create(259));
    d.text = "one\r\ntwo\r\nthree\r\n";
    d.UpdateData(FALSE);
    EXPECT_EQ(d.history.GetLineCount(), 4);
    for (int i = 0; i < 30; ++i)
        d.text += "line\r\n";
    d.UpdateData(FALSE);
    EXPECT_TRUE(d.history.LineScroll(d.history.GetLineCount() - 9));
    EXPECT_GT(d.history.GetFirstVisibleLine(), 0);
    d.UpdateData(TRUE);
    EXPECT_EQ(d.text.Left(10), "one\r\ntwo\r\n") << "line ends come back as CR LF";
    d.DestroyWindow();
}

TEST(Pictures, ABottomUpFrameDrawnFromAnotherThreadShowsUpright)
{
    win::EnsureApplication();
    ChatLike d;
    ASSERT_TRUE(d.Create(259));
    d.ShowWindow(SW_SHOW);
    CWnd *area = d.GetDlgItem(1091);
    ASSERT_NE(area, nullptr);
    CClientDC dc(area);
    // Two rows: the first in memory is the bottom one.
    const uint32_t pixels[4] = {0x00FF0000, 0x00FF0000, 0x000000FF, 0x000000FF};
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = 2;
    bmi.bmiHeader.biHeight = 2;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    int rows = 0;
    std::thread([&] {
        rows = StretchDIBits(dc.m_hDC, 0, 0, 40, 40, 0, 0, 2, 2, pixels, &bmi, DIB_RGB_COLORS,
                             SRCCOPY);
    }).join();
    EXPECT_EQ(rows, 2);
    QCoreApplication::processEvents();
    QImage shot = area->GetWidget()->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(10, 5)), QColor(0, 0, 255)) << "top";
    EXPECT_EQ(QColor(shot.pixel(10, 35)), QColor(255, 0, 0)) << "bottom";
    bmi.bmiHeader.biBitCount = 24;
    EXPECT_EQ(StretchDIBits(dc.m_hDC, 0, 0, 4, 4, 0, 0, 2, 2, pixels, &bmi, DIB_RGB_COLORS,
                            SRCCOPY),
              0);
    d.DestroyWindow();
}

} // namespace
