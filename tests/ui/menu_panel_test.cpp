// The menu panel as a user drives it: navigation, the in-place editors, the phone book, the
// call lists and the settings pages, with the files they write and the messages they post.
#include "layout_check.h"

#include <ui/menu_panel_dlg.h>

#include <core/settings.h>
#include <core/window_messages.h>

#include <tests/support/temp_dir.h>
#include <win/application.h>
#include <win/controls_testing.h>
#include <win/cmenu.h>
#include <win/library.h>
#include <win/module.h>
#include <win/module_testing.h>
#include <win/msgbox.h>
#include <win/resources.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace
{

using kestrelin::testing::TempDir;

// The main window as the panel sees it: records what reaches it.
class FakeMain : public CDialog, public CMenuPanelHost
{
  public:
    FakeMain() : CDialog(102) { LoadFaceTable(m_face); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_START_REGISTRATION || message == WM_AUDIO_DEVICE_CHANGED ||
            message == WM_LANGUAGE_CHANGED)
            posted.push_back({message, wParam, lParam});
        return CDialog::WindowProc(message, wParam, lParam);
    }

    CWnd *GetMainWindow() override { return this; }
    CSettings *GetSettings() override { return &settings; }
    const SkinLayoutEntry *GetSkinLayout() override { return m_face; }
    CString GetServerHost(int nIndex) override { return hosts[nIndex ? 1 : 0]; }
    void CallNumber(const CString &strNumber) override { called.push_back(strNumber); }
    void ShowAboutBox() override { ++about; }
    void ExitProgram() override { ++exits; }
    void RunAudioWizard(CWnd *) override { ++wizards; }
    int GetLanguage() override { return language; }
    void SetLanguage(int nLanguage) override { language = nLanguage; }
    BOOL IsEndPointIdle() override { return idle; }
    void UpdateCapabilities() override { ++capabilityUpdates; }
    void SetAudioPacketOptions(BOOL off, unsigned frames) override
    {
        silenceOff = off;
        framesInPacket = int(frames);
    }

    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool operator==(const Posted &) const = default;
    };
    CSettings settings;
    SkinLayoutEntry m_face[kSkinLayoutEntries];
    CString hosts[2] = {"first.example", "second.example"};
    std::vector<Posted> posted;
    std::vector<CString> called;
    int about = 0, exits = 0, wizards = 0, language = 0, capabilityUpdates = 0;
    BOOL idle = TRUE;
    int silenceOff = -1, framesInPacket = -1;
};

class Panel : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }

    Panel()
    {
        win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str());
        win::testing::SetMessageBoxHandler([this](const win::testing::MessageBoxCall &c) {
            boxes.push_back(c.text);
            return answer;
        });
        win::testing::SetPopupMenuHandler([this](const std::vector<std::string> &items) {
            menus.push_back(items);
            return popupChoice;
        });
        main = std::make_unique<FakeMain>();
        EXPECT_TRUE(main->Create(102));
    }
    ~Panel() override
    {
        panel.reset();
        if (main)
            main->DestroyWindow();
        main.reset();
        win::testing::SetMessageBoxHandler(nullptr);
        win::testing::SetPopupMenuHandler(nullptr);
        win::testing::OverrideExecutablePath(nullptr);
    }

    // Builds the main window, then the panel as the main window does.
    void Open()
    {
        panel = std::make_unique<CMenuPanelDlg>(main.get());
        ASSERT_TRUE(panel->Create(244, main.get()));
        panel->ShowWindow(SW_SHOW);
    }
    void Close()
    {
        panel->SavePhoneBook();
        panel.reset();
    }

    std::string Row(int r)
    {
        CString text;
        panel->m_rows[r - 1].GetWindowText(text);
        return text.GetString();
    }
    std::vector<std::string> Rows()
    {
        std::vector<std::string> rows;
        for (int r = 1; r <= 5; ++r)
            rows.push_back(panel->m_rows[r - 1].IsWindowVisible() ? Row(r) : "<hidden>");
        return rows;
    }
    bool Shown(CWnd &w) { return w.IsWindowVisible(); }

    void Choose(std::initializer_list<int> rows)
    {
        for (int r : rows)
            panel->ShowMenuItem(r);
    }
    // Types into the edit box opened by row r and confirms it with Enter.
    void Type(int r, const char *text)
    {
        panel->ShowMenuItem(r);
        ASSERT_TRUE(panel->m_pEdit) << "row " << r << " opens no edit box";
        auto *edit = qobject_cast<QLineEdit *>(panel->m_pEdit->GetWidget());
        ASSERT_TRUE(edit);
        edit->setText(QString::fromLatin1(text));
        QTest::keyClick(edit, Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_FALSE(panel->m_bEditing);
        EXPECT_FALSE(panel->m_pEdit);
    }
    // Opens the choice list of row r and picks the entry at index.
    std::vector<std::string> Pick(int r, int index)
    {
        panel->ShowMenuItem(r);
        auto *list = qobject_cast<QComboBox *>(panel->m_choice.GetWidget());
        EXPECT_TRUE(list && list->isVisible()) << "row " << r << " opens no choice list";
        std::vector<std::string> items;
        if (!list)
            return items;
        for (int i = 0; i < list->count(); ++i)
            items.push_back(list->itemText(i).toStdString());
        list->setCurrentIndex(index);
        emit list->activated(index);
        QCoreApplication::processEvents();
        EXPECT_FALSE(panel->m_bEditing);
        return items;
    }
    // Moves the mouse over row r and clicks it with the right button: the line popup.
    void RightClick(int r)
    {
        QWidget *w = panel->m_rows[r - 1].GetWidget();
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
        QTest::mouseClick(w, Qt::RightButton, {}, QPoint(3, 3));
        // The line menu is posted to the panel, the command chosen in it again.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    CSettings &S() { return main->settings; }

    TempDir tmp;
    std::unique_ptr<FakeMain> main;
    std::unique_ptr<CMenuPanelDlg> panel;
    std::vector<std::string> boxes;
    std::vector<std::vector<std::string>> menus;
    int answer = IDYES;
    int popupChoice = -1;
};

TEST_F(Panel, RootPageScrollsByOneLineAndBackRestoresTheLeftPage)
{
    Open();
    EXPECT_EQ(panel->m_nPageMark, 1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Recent Calls", "PhoneBook", "System Config",
                                                "User Setting", "Help"}));
    EXPECT_FALSE(Shown(panel->m_btnBack));
    EXPECT_FALSE(Shown(panel->m_btnUp));
    EXPECT_TRUE(Shown(panel->m_btnDown)) << "7 lines";
    panel->OnBack();
    EXPECT_EQ(panel->m_nPageMark, 1) << "Back on the root does nothing";

    // Clicks on the rows; an empty row does nothing.
    QTest::mouseClick(panel->m_rows[1].GetWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->m_nPageMark, 21);
    QTest::mouseClick(panel->m_rows[2].GetWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->m_nDepth, 1) << "the empty third row";
    panel->OnBack();

    QTest::mouseClick(panel->m_btnDown.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->m_nFirstLine, 1);
    EXPECT_TRUE(Shown(panel->m_btnUp));
    EXPECT_TRUE(Shown(panel->m_btnDown));
    QTest::mouseClick(panel->m_btnDown.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(Row(5), "Exit");
    EXPECT_FALSE(Shown(panel->m_btnDown));

    // Row 2 now shows "User Setting": its page marks the System Config group.
    Choose({2});
    EXPECT_EQ(Row(1), "Forward ");
    EXPECT_EQ(panel->m_nPageMark, 31);
    EXPECT_TRUE(Shown(panel->m_btnBack));
    QTest::mouseClick(panel->m_btnBack.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->m_nFirstLine, 2);
    EXPECT_EQ(Row(1), "System Config");
    EXPECT_TRUE(Shown(panel->m_btnUp));
    EXPECT_FALSE(Shown(panel->m_btnBack));

    Choose({5}); // Exit
    Choose({4}); // About
    Choose({3}); // Help
    EXPECT_EQ(main->exits, 1);
    EXPECT_EQ(main->about, 1);
}

TEST_F(Panel, FiveLinesShowNoDownAndSixShowIt)
{
    Open();
    Choose({3}); // System Config: 5 lines
    EXPECT_FALSE(Shown(panel->m_btnDown));
    panel->OnBack();
    for (int i = 0; i < 5; ++i) {
        S().m_DialedCalls.m_strNumber[i].Format("10%d", i);
        S().m_DialedCalls.m_nCount = i + 1;
    }
    Choose({1, 1}); // Quick Calls: New Entry only
    EXPECT_FALSE(Shown(panel->m_btnDown));
    panel->OnBack();
    Choose({2}); // Dialed Calls
    EXPECT_FALSE(Shown(panel->m_btnDown));
    panel->OnBack();
    S().m_DialedCalls.m_strNumber[5] = "105";
    S().m_DialedCalls.m_nCount = 6;
    Choose({2});
    EXPECT_TRUE(Shown(panel->m_btnDown));
    QTest::mouseClick(panel->m_btnDown.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"101", "102", "103", "104", "105"}));
    EXPECT_FALSE(Shown(panel->m_btnDown));
    panel->OnBack();
    S().m_DialedCalls.m_nCount = 15; // more than the list holds
    Choose({2});
    EXPECT_EQ(panel->m_nLineCount, 10);
}

TEST_F(Panel, ClickingAnotherRowStoresTheEditAndDoesNothingElse)
{
    Open();
    Choose({3, 5});         // Connections
    panel->ShowMenuItem(2); // Server Port
    ASSERT_TRUE(panel->m_pEdit);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Servers:first.example", "Server Port :19900",
                                                "<hidden>", "Local Port :1991", ""}));
    qobject_cast<QLineEdit *>(panel->m_pEdit->GetWidget())->setText("2000");
    panel->ShowMenuItem(1); // would open the server list
    EXPECT_FALSE(panel->m_bEditing);
    EXPECT_FALSE(Shown(panel->m_choice));
    EXPECT_EQ(S().m_nServerPort, 2000);
    EXPECT_EQ(Row(2), "Server Port :2000");

    // Escape closes an edit box without storing; the panel stays.
    panel->ShowMenuItem(3);
    auto *edit = qobject_cast<QLineEdit *>(panel->m_pEdit->GetWidget());
    edit->setText("3000");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(panel->m_bEditing);
    EXPECT_EQ(S().m_nLocalPort, 1991);
    EXPECT_TRUE(panel->IsWindowVisible());

    // Enter while the choice list is open closes it and changes nothing.
    panel->ShowMenuItem(1);
    auto *list = qobject_cast<QComboBox *>(panel->m_choice.GetWidget());
    ASSERT_TRUE(list->isVisible());
    list->setCurrentIndex(1);
    QTest::keyClick(list, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel->m_bEditing);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(S().m_nServerIndex, 0);
    EXPECT_EQ(Row(1), "Servers:first.example");
}

TEST_F(Panel, PhoneBookAddEditDeleteAndTheFileAtClose)
{
    Open();
    Choose({2, 1}); // PhoneBook, New Entry
    EXPECT_EQ(panel->m_nPageMark, 21);
    Type(1, "Ann Lee");
    Type(2, "5551");
    panel->OnBack();
    Choose({1});
    Type(1, "   ");
    Type(4, "999");
    panel->OnBack(); // a name of spaces only is not added
    Choose({1});
    EXPECT_EQ(Row(4), "Mobile_Tel:") << "the abandoned entry left nothing behind";
    Type(1, "Bob");
    panel->OnBack();
    Choose({1});
    Type(1, "Cy");
    panel->OnBack();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"New Entry", "AnnLee", "Bob", "Cy", ""}));

    Choose({3}); // Bob: edits take effect at once
    EXPECT_EQ(Row(1), "Name:Bob");
    Type(3, "777");
    panel->OnBack();
    Close();

    Open();
    Choose({2});
    EXPECT_EQ(panel->m_nBookCount, 3);
    EXPECT_EQ(panel->m_book[1][2], CString("777"));
    EXPECT_EQ(panel->m_book[0][1], CString("5551"));

    answer = IDNO;
    popupChoice = 1; // Delete
    RightClick(2);
    EXPECT_EQ(panel->m_nBookCount, 3) << "No keeps the record";
    answer = IDYES;
    RightClick(2);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Are you sure?");
    EXPECT_EQ(menus[0], (std::vector<std::string>{"&Call", "&Delete"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"New Entry", "Bob", "Cy", "", ""}));
    popupChoice = 0;
    RightClick(1); // no popup on New Entry
    EXPECT_EQ(menus.size(), 2u);
    Close();

    PhoneBookTable file;
    ASSERT_EQ(ReadPhoneBook(CString(tmp.file("pbook.dat").c_str()), file), 2);
    EXPECT_EQ(file[0][0], CString("Bob"));
    EXPECT_EQ(file[1][0], CString("Cy"));
    EXPECT_EQ(LookupPhoneBookName(S(), "777"), CString("Bob"));
}

TEST_F(Panel, CallingATelephoneFieldDialsItsValue)
{
    Open();
    Choose({2, 1});
    Type(1, "Dee");
    Type(3, "4242");
    popupChoice = 0; // Call
    RightClick(3);
    RightClick(1); // the name: no popup
    EXPECT_EQ(main->called, (std::vector<CString>{"4242"}));
    EXPECT_EQ(menus.size(), 1u);
    // The row under the mouse takes the hover colour, the others the normal one.
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(panel->m_rows[0].GetWidget(), &move);
    EXPECT_EQ(panel->m_nHoverRow, 1);
    EXPECT_EQ(panel->m_rows[0].m_crText, panel->m_crHover);
    EXPECT_EQ(panel->m_rows[2].m_crText, panel->m_crNormal);
    EXPECT_NE(panel->m_crHover, panel->m_crNormal);
    QMouseEvent away(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(panel->GetWidget(), &away); // over the background
    EXPECT_EQ(panel->m_rows[0].m_crText, panel->m_crNormal);
}

TEST_F(Panel, CallListsDetailCallAndDelete)
{
    auto &missed = S().m_MissedCalls;
    for (int i = 0; i < 3; ++i) {
        missed.m_strNumber[i].Format("20%d", i);
        missed.m_strText[i].Format("2026-12-0%d 10:00", i + 1);
    }
    missed.m_nCount = 3;
    S().m_QuickCalls.m_nCount = 1;
    S().m_QuickCalls.m_strNumber[0] = "3001";
    S().m_QuickCalls.m_strText[0] = "Eve";
    Open();
    Choose({1});
    EXPECT_EQ(panel->m_nPageMark, 11);
    Choose({3}); // Missed Calls
    EXPECT_EQ(Rows(), (std::vector<std::string>{"200", "201", "202", "", ""}));
    popupChoice = 1;
    RightClick(2);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"200", "202", "", "", ""}));
    EXPECT_EQ(missed.m_nCount, 2);
    Choose({2});
    EXPECT_EQ(Row(1), "Time:2026-12-03 10:00");
    Choose({1}); // an information line does nothing
    EXPECT_EQ(Row(1), "Time:2026-12-03 10:00");
    panel->OnBack();
    popupChoice = 0;
    RightClick(2);
    panel->OnBack();

    Choose({1}); // Quick Calls
    EXPECT_EQ(panel->m_nPageMark, 111);
    EXPECT_EQ(Row(2), "Eve: 3001");
    RightClick(2);
    EXPECT_EQ(main->called, (std::vector<CString>{"202", "3001"})) << "numbers, not names";

    Choose({1}); // New Entry with a number but no name
    Type(2, "3002");
    panel->OnBack();
    EXPECT_EQ(S().m_QuickCalls.m_nCount, 1);
    Choose({1});
    Type(1, "Fay");
    Type(2, "3003");
    panel->OnBack();
    EXPECT_EQ(Row(3), "Fay: 3003");
    Choose({2}); // an existing entry
    Type(2, "3009");
    panel->OnBack();
    EXPECT_EQ(Row(2), "Eve: 3009");
    EXPECT_EQ(S().m_QuickCalls.m_nCount, 2);
}

TEST_F(Panel, FullListsTakeNoNewEntry)
{
    auto &quick = S().m_QuickCalls;
    quick.m_nCount = quick.kCapacity;
    for (int i = 0; i < quick.kCapacity; ++i)
        quick.m_strText[i] = "x";
    S().m_nFilterCount = CSettings::kFilterCapacity;
    Open();
    Choose({1, 1, 1}); // Recent Calls, Quick Calls, New Entry
    EXPECT_EQ(panel->m_nPageMark, 111);
    EXPECT_EQ(Row(1), "New Entry") << "the list stays";
    panel->OnBack();
    panel->OnBack();
    Choose({4, 2, 2}); // User Setting, Filter, New Entry
    EXPECT_EQ(Row(2), "New Entry");
    EXPECT_EQ(S().m_nFilterCount, CSettings::kFilterCapacity);
}

TEST_F(Panel, SetFileAndSilenceDetection)
{
    std::ofstream(tmp.file("Set.dat")) << "09";
    Open();
    EXPECT_EQ(panel->m_nSilenceFlag, 0);
    EXPECT_EQ(panel->m_nFramesIndex, 3);
    Choose({3, 4}); // Options
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Language :English", "Silence Detection :Yes",
                                                "FramesInPacket:4", "", ""}));
    EXPECT_EQ(Pick(2, 1), (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(Row(2), "Silence Detection :No");
    std::string written;
    std::ifstream(tmp.file("Set.dat")) >> written;
    EXPECT_EQ(written, "13");
    EXPECT_EQ(main->silenceOff, 1);
    EXPECT_EQ(main->framesInPacket, 4);
    Pick(3, 6);
    std::ifstream(tmp.file("Set.dat")) >> written;
    EXPECT_EQ(written, "16");
    EXPECT_EQ(main->framesInPacket, 7);

    std::filesystem::remove(tmp.file("Set.dat"));
    Close();
    Open();
    EXPECT_EQ(panel->m_nSilenceFlag, 1) << "missing Set.dat";
    EXPECT_EQ(panel->m_nFramesIndex, 4);
}

TEST_F(Panel, LanguageIsWrittenOnlyWhenItChanges)
{
    std::ofstream(tmp.file("netphone.ini")) << "0\n";
    Open();
    Choose({3, 4});
    EXPECT_EQ(Pick(1, 0),
              (std::vector<std::string>{"English", "Simplify Chinese", "Traditional Chinese"}));
    EXPECT_EQ(tmp.read("netphone.ini"), (std::vector<unsigned char>{'0', '\n'}));
    EXPECT_TRUE(main->posted.empty());
    Pick(1, 2);
    EXPECT_EQ(tmp.read("netphone.ini"), (std::vector<unsigned char>{'2'}));
    EXPECT_EQ(main->language, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(main->posted, (std::vector<FakeMain::Posted>{{WM_LANGUAGE_CHANGED, 0, 0}}));
}

TEST_F(Panel, AccountAndConnectionsRestartTheRegistrationOnlyOnChange)
{
    S().m_strAccount = "alice";
    S().m_strPassword = "secret";
    Open();
    Choose({3, 1}); // Account
    EXPECT_EQ(Row(2), "Password:******");
    panel->ShowMenuItem(2);
    auto *password = qobject_cast<QLineEdit *>(panel->m_pEdit->GetWidget());
    EXPECT_EQ(password->text(), "secret");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    panel->ShowMenuItem(2); // closes, unchanged
    Type(1, "alice");
    Type(2, "longer-secret");
    EXPECT_EQ(S().m_strPassword, CString("longer-secret"));
    EXPECT_EQ(Row(2), "Password:*************");
    Pick(3, 0);
    EXPECT_EQ(S().m_bKeepPassword, 1);
    panel->OnBack();
    Choose({5}); // Connections
    Pick(1, 0);  // the same server again
    Type(2, "19900");
    Type(3, "1991");
    Type(3, "abc"); // unreadable: 0
    EXPECT_EQ(S().m_nLocalPort, 0);
    Pick(1, 1);
    EXPECT_EQ(S().m_nServerIndex, 1);
    EXPECT_EQ(Row(1), "Servers:second.example");
    QCoreApplication::processEvents();
    const FakeMain::Posted reg{WM_START_REGISTRATION, 0, 0};
    EXPECT_EQ(main->posted, (std::vector<FakeMain::Posted>{reg, reg, reg, reg}));
}

TEST_F(Panel, TwoServersAtOneAddressAreOneChoice)
{
    main->hosts[1] = main->hosts[0] = "127.0.0.1";
    S().m_nServerIndex = 1;
    Open();
    Choose({3, 5}); // Connections
    EXPECT_EQ(Row(1), "Servers:127.0.0.1");
    EXPECT_EQ(Pick(1, 0), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(S().m_nServerIndex, 0);
    EXPECT_EQ(Row(1), "Servers:127.0.0.1");
    QCoreApplication::processEvents();
    EXPECT_EQ(main->posted, (std::vector<FakeMain::Posted>{{WM_START_REGISTRATION, 0, 0}}))
        << "choosing the server still restarts the registration";
}

TEST_F(Panel, VideoValuesOutsideTheirRangeTakeTheFallback)
{
    Open();
    Choose({3, 3}); // Video Setting
    EXPECT_EQ(panel->m_nLineCount, 13);
    EXPECT_EQ(Row(1), "Device:Frame test N.0 - Moving line");
    // Lines 5-7 (Quality, Max bps, Fps) are reached by scrolling down.
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(panel->m_btnDown.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    ASSERT_EQ(panel->m_nFirstLine, 5);
    const struct {
        int row;
        const char *typed;
        int option, stored;
    } cases[] = {
        {1, "500", 14, 15},  {1, "100", 14, 100}, {3, "0", 12, 10},
        {2, "999", 13, 320}, {2, "x", 13, 320},   {3, "20", 12, 20},
    };
    for (const auto &c : cases) {
        Type(c.row, c.typed);
        EXPECT_EQ(S().m_nVideo[c.option], c.stored) << c.typed;
    }
    EXPECT_EQ(Row(1), "Quality:100");

    // Codec and auto send rebuild the capabilities, only while no call is up.
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(panel->m_btnDown.GetWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    QCoreApplication::processEvents();
    ASSERT_EQ(panel->m_nFirstLine, 8);
    EXPECT_EQ(Pick(5, 0), (std::vector<std::string>{"H261", "H263"}));
    EXPECT_EQ(S().m_nVideo[4], 1);
    EXPECT_EQ(S().m_nVideo[3], 0);
    Pick(1, 0); // V-Flip local
    EXPECT_EQ(S().m_nVideo[5], 1);
    EXPECT_EQ(main->capabilityUpdates, 1);
    main->idle = FALSE;
    Pick(5, 1);
    EXPECT_EQ(S().m_nVideo[3], 1);
    EXPECT_EQ(main->capabilityUpdates, 1);
}

TEST_F(Panel, AudioDevicesForwardAndFilter)
{
    Open();
    Choose({3, 2}); // Audio Setting
    std::vector<std::string> devices = Pick(1, 0);
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(S().m_strPlayDevice, CString(devices[0].c_str()));
    Choose({3});
    EXPECT_EQ(main->wizards, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(main->posted, (std::vector<FakeMain::Posted>{{WM_AUDIO_DEVICE_CHANGED, 1, 1}}));
    panel->OnBack();
    panel->OnBack();

    Choose({4, 1}); // Forward
    Type(1, "600");
    Type(4, "45");
    EXPECT_EQ(S().m_strForwardAlways, CString("600"));
    EXPECT_EQ(S().m_nNoAnswerTime, 45);
    panel->OnBack();
    Choose({2}); // Filter
    EXPECT_EQ(Row(1), "Filter :Refuse the list No.");
    Pick(1, 1);
    EXPECT_EQ(S().m_nFilterMode, 1);
    Choose({2});
    Type(1, "700");
    Type(1, "701");
    Type(1, "702");
    panel->OnBack();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Filter :Accept the list No.", "New Entry", "700",
                                                "701", "702"}));
    popupChoice = 0;
    RightClick(3); // Call does nothing on a filter number
    EXPECT_TRUE(main->called.empty());
    popupChoice = 1;
    RightClick(4);
    EXPECT_EQ(S().m_nFilterCount, 2);
    EXPECT_EQ(S().m_arrFilter[1], CString("702"));
    EXPECT_EQ(Row(4), "702");
}

// What is wrong with the rows of the page shown: each line, scrolled through, must show whole
// on its row (condensed to fit if need be), and so must each choice of its choice list; the
// controls of the panel, with each editor open, must not cover each other.
std::vector<std::string> PageFaults(CMenuPanelDlg &panel)
{
    std::vector<std::string> faults;
    auto check = [&](int row, const CString &text) {
        CLinkStatic &line = panel.m_rows[row - 1];
        CString shown;
        line.GetWindowText(shown);
        line.SetWindowText(text);
        if (win::testing::StaticTextFit(line) == win::testing::TextFit::Cut)
            faults.push_back("page " + std::to_string(panel.m_nPage) + " \"" +
                             text.ToUtf8() + "\" is cut");
        line.SetWindowText(shown);
    };
    auto controls = [&](const char *state) {
        for (const std::string &f : LayoutFaults(panel, FitRules::Skin))
            faults.push_back("page " + std::to_string(panel.m_nPage) + state + ": " + f);
    };
    controls("");
    for (int first = 0; first < panel.m_nLineCount; ++first) {
        panel.m_nFirstLine = first;
        int line = first;
        CString label = panel.m_strLabel[line], value = panel.m_strValue[line];
        check(1, label + value);
        int code = panel.m_nCode[line];
        if (code == -2) {
            panel.ShowMenuItem(1);
            controls(" with a choice list open");
            for (int i = 0; i < panel.m_choice.GetCount(); ++i) {
                CString item;
                panel.m_choice.GetLBText(i, item);
                check(1, label + item);
            }
        } else if (code == -1 || code == -3 || code == -23) {
            panel.ShowMenuItem(1);
            controls(" with an edit box open");
        }
        if (panel.m_bEditing)
            panel.ShowMenuItem(1); // closes the editor, storing what it held unchanged
    }
    panel.m_nFirstLine = 0;
    return faults;
}

TEST_F(Panel, EveryLineOfEveryPageFitsItsRowInTheThreeLanguages)
{
    // Values as long as a user's are likely to be.
    S().m_strAccount = "80012345";
    S().m_strPassword = "sixteen-letters!";
    S().m_strForwardNoAnswer = "01055512345678";
    S().m_nNoAnswerTime = 60;
    S().m_nServerPort = 19900;
    S().m_nFilterMode = 1;
    const std::vector<std::vector<int>> pages = {
        {},     {1},    {1, 1}, {1, 1, 1}, {2},    {2, 1},    {3},    {3, 1},
        {3, 2}, {3, 3}, {3, 4}, {3, 5},    {4},    {4, 1},    {4, 2}, {4, 2, 2},
    };
    for (const char *pack : {"", "China.dll", "Traditional.dll"}) {
        HINSTANCE module = GetModuleHandleA(nullptr);
        if (*pack) {
            std::filesystem::path beside =
                std::filesystem::read_symlink("/proc/self/exe").parent_path() / pack;
            std::filesystem::create_symlink(beside, tmp.file(pack));
            module = AfxLoadLibrary(pack);
            ASSERT_TRUE(module) << pack;
        }
        AfxSetResourceHandle(module);
        Open();
        for (const auto &rows : pages) {
            while (panel->m_nDepth > 0)
                panel->OnBack();
            for (int r : rows)
                panel->ShowMenuItem(r);
            EXPECT_EQ(Lines(PageFaults(*panel)), "") << "pack \"" << pack << "\"";
        }
        panel.reset();
        AfxSetResourceHandle(GetModuleHandleA(nullptr));
        if (*pack)
            AfxFreeLibrary(module);
    }
}

// Every page as a picture: the main window's panel group by group.
TEST_F(Panel, Screenshots)
{
    S().m_strAccount = "alice";
    S().m_strPassword = "secret";
    S().m_MissedCalls.m_nCount = 2;
    S().m_MissedCalls.m_strNumber[0] = "01055512345";
    S().m_MissedCalls.m_strNumber[1] = "02155567890";
    Open();
    QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
    auto shoot = [&](const char *name) {
        QWidget *w = panel->GetWidget();
        QImage shot(w->size(), QImage::Format_ARGB32);
        shot.fill(Qt::transparent);
        QPainter p(&shot);
        if (!w->mask().isEmpty())
            p.setClipRegion(w->mask());
        p.drawPixmap(0, 0, w->grab());
        p.end();
        QString file = QString(KESTRELIN_SCREENSHOT_DIR "/panel-%1.png").arg(name);
        EXPECT_TRUE(shot.save(file)) << file.toStdString();
    };
    const struct {
        const char *name;
        std::vector<int> rows;
    } pages[] = {
        {"root", {}},        {"recent-calls", {1}},       {"missed-calls", {1, 3}},
        {"phonebook", {2}},  {"phonebook-entry", {2, 1}}, {"system-config", {3}},
        {"account", {3, 1}}, {"audio", {3, 2}},           {"video", {3, 3}},
        {"options", {3, 4}}, {"connections", {3, 5}},     {"user-setting", {4}},
        {"forward", {4, 1}}, {"filter", {4, 2}},
    };
    for (const auto &page : pages) {
        while (panel->m_nDepth > 0)
            panel->OnBack();
        for (int r : page.rows)
            panel->ShowMenuItem(r);
        shoot(page.name);
    }
    panel->ShowMenuItem(1); // the choice list open on the Filter page
    shoot("filter-choice");

    // The pages come in the language of the resources in force.
    const struct {
        const char *language, *pack;
    } packs[] = {{"zh_CN", "China.dll"}, {"zh_TW", "Traditional.dll"}};
    for (const auto &l : packs) {
        panel.reset();
        // The packs lie beside the test program, not in the install directory of the test.
        std::filesystem::path beside =
            std::filesystem::read_symlink("/proc/self/exe").parent_path() / l.pack;
        std::filesystem::create_symlink(beside, tmp.file(l.pack));
        HINSTANCE pack = AfxLoadLibrary(l.pack);
        ASSERT_TRUE(pack) << l.pack;
        AfxSetResourceHandle(pack);
        Open();
        EXPECT_NE(Row(1), "Recent Calls") << l.language;
        shoot((std::string("root-") + l.language).c_str());
        Choose({3, 4});
        shoot((std::string("options-") + l.language).c_str());
        panel.reset();
        AfxSetResourceHandle(GetModuleHandleA(nullptr));
        AfxFreeLibrary(pack);
    }
}

} // namespace
