// Dialogs over widgets: modal loops, messages numbered per window, data exchange, keys.
#include <win/cdialog.h>
#include <win/msgbox.h>
#include <win/resources.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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

} // namespace
