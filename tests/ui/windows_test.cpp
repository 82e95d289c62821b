// The phone's windows among themselves: the audio wizard takes all input of the phone wherever
// it is opened from, received chat text leaves the keyboard where it is, a click on the skin
// gives the main window the keyboard, and Min hides the window only when the tray can bring it
// back. Input goes through the toolkit's window system side, as the mouse and keyboard give it.
#include "phone_harness.h"

#include <ui/chat_dlg.h>
#include <ui/menu_panel_dlg.h>
#include <ui/soft_phone_dlg.h>
#include <ui/voice_sheet.h>

#include <core/window_messages.h>

#include <win/shell.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using namespace phonetest;

class WindowsTest : public ::testing::Test
{
  protected:
    WindowsTest() : phone("8001", nullptr)
    {
        dlg().ShowWindow(SW_SHOW);
        main = dlg().GetWidget()->windowHandle();
    }
    CSoftPhoneDlg &dlg() { return *phone.dlg; }

    InstallDir dir;
    Phone phone;
    QWindow *main = nullptr;
};

// A click at the point of the control (its centre when none is given), through the window
// system, as the mouse gives it.
void ClickOnScreen(CWnd &control, std::optional<QPoint> at = std::nullopt)
{
    QWidget *w = control.GetWidget();
    QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      w->mapTo(w->window(), at.value_or(w->rect().center())));
}

bool Active(CWnd &window)
{
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == window.GetWidget(); },
                           5000);
}

TEST_F(WindowsTest, TheAudioWizardTakesAllInputOfThePhoneWhereverItIsOpenedFrom)
{
    ASSERT_NE(main, nullptr);
    dlg().m_number.SetWindowText("");
    ClickOnScreen(dlg().m_btnConfig);
    ASSERT_EQ(dlg().MenuPanelPageMark(), 31) << "a click reaches System Config";
    ClickOnScreen(dlg().m_btnConfig);
    ASSERT_EQ(dlg().m_pMenuPanel, nullptr);

    const struct {
        const char *opener;
        std::function<void()> open;
    } openers[] = {
        {"the menu panel's Audio Wizard",
         [&] {
             dlg().SendMessage(WM_COMMAND, 1014, 0); // System Config
             dlg().m_pMenuPanel->ShowMenuItem(2);    // Audio Setting
             dlg().m_pMenuPanel->ShowMenuItem(3);    // Audio Wizard
         }},
        {"a call without its devices",
         [&] {
             dlg().m_settings.m_strPlayDevice = "no such device";
             phone.Dial("8002");
         }},
        {"a new handset",
         [&] {
             dlg().SendMessage(WM_TIMER, 30, 0);
             dlg().SendMessage(WM_USBPHONE_DEVICE, 0, 0);
         }},
    };
    for (const auto &o : openers) {
        CMenuPanelDlg *panel = nullptr;
        int page = -1;
        WizardDriver wizard({[&](CVoiceSheet &sheet) {
            panel = dlg().m_pMenuPanel;
            page = dlg().MenuPanelPageMark();
            // System Config and Quick Calls would close the panel; the keys would dial.
            ClickOnScreen(dlg().m_btnConfig);
            ClickOnScreen(dlg().m_btnQuickCalls);
            QTest::keyClick(main, '5');
            if (panel)
                ClickOnScreen(panel->m_btnBack);
            // The main window activated (as a click on it may do) leaves the wizard the keys.
            QSignalSpy focusChanges(qApp, &QGuiApplication::focusWindowChanged);
            main->requestActivate();
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return !focusChanges.isEmpty() &&
                           QGuiApplication::focusWindow() == sheet.GetWidget()->windowHandle();
                },
                5000))
                << o.opener;
            WizardDriver::Press(sheet, IDCANCEL);
        }});
        o.open();
        ASSERT_TRUE(wizard.WaitClosed(1)) << o.opener;
        EXPECT_EQ(dlg().m_pMenuPanel, panel) << o.opener;
        EXPECT_EQ(dlg().MenuPanelPageMark(), page) << o.opener;
        CString number;
        dlg().m_number.GetWindowText(number);
        EXPECT_EQ(number.Find('5'), -1) << o.opener << ": \"" << number.GetString() << '"';
        EXPECT_TRUE(Active(panel ? static_cast<CWnd &>(*panel) : dlg()))
            << o.opener << ": the keyboard goes back to the window it was opened over";
        dlg().CloseMenuPanel();
    }
}

TEST_F(WindowsTest, ReceivedChatTextLeavesTheKeyboardWithTheWindowBeingTypedIn)
{
    // The chat window is open (Send Message gives it the keyboard) while the user types a
    // number into the menu panel's Local Port editor.
    dlg().ShowChatText(CString());
    CChatDlg &chat = *dlg().m_pChatDlg;
    ASSERT_TRUE(Active(chat));
    dlg().SendMessage(WM_COMMAND, 1014, 0);
    dlg().m_pMenuPanel->ShowMenuItem(5);
    dlg().m_pMenuPanel->ShowMenuItem(3);
    CEdit *editor = dlg().m_pMenuPanel->m_pEdit.get();
    ASSERT_NE(editor, nullptr);
    editor->SetFocus();
    ASSERT_TRUE(Active(*dlg().m_pMenuPanel));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == editor->GetWidget(); },
                                5000));

    dlg().m_strRemoteName = "8002";
    dlg().SendMessage(WM_CHAT_TEXT, reinterpret_cast<WPARAM>("Hello from 8002"), 0);
    EXPECT_TRUE(chat.IsWindowVisible());
    EXPECT_GE(chat.m_strHistory.Find("Hello from 8002"), 0);
    QTest::keyClick(QGuiApplication::focusWindow(), '7');
    EXPECT_EQ(QApplication::focusWidget(), editor->GetWidget()) << "the editor keeps the keyboard";
    CString typed;
    editor->GetWindowText(typed);
    EXPECT_EQ(typed.Right(1), "7");
}

TEST_F(WindowsTest, AClickOnTheSkinGivesTheMainWindowTheKeyboard)
{
    dlg().SendMessage(WM_COMMAND, 1013, 0); // Menu: the panel opens with the keyboard
    ASSERT_TRUE(Active(*dlg().m_pMenuPanel));
    dlg().m_number.SetWindowText("");
    ClickOnScreen(dlg(), QPoint(150, 130)); // the status area
    ASSERT_TRUE(Active(dlg()));
    QTest::keyClick(QGuiApplication::focusWindow(), '4');
    CString number;
    dlg().m_number.GetWindowText(number);
    EXPECT_EQ(number, "4");
}

TEST_F(WindowsTest, MinHidesTheWindowAndThePanelOnlyWhenTheTrayIconCanBringThemBack)
{
    for (bool tray : {true, false}) {
        win::testing::SetTrayArea(tray ? win::testing::TrayArea::Present
                                       : win::testing::TrayArea::Absent);
        Phone other("8002", nullptr);
        CSoftPhoneDlg &d = *other.dlg;
        d.ShowWindow(SW_SHOW);
        d.SendMessage(WM_COMMAND, 1013, 0); // Menu: the panel beside the window
        ASSERT_TRUE(d.m_pMenuPanel && d.m_pMenuPanel->IsWindowVisible());
        EXPECT_EQ(win::testing::TrayIconTip(d.GetSafeHwnd(), 143).empty(), !tray);
        d.SendMessage(WM_COMMAND, 1012, 0); // Min
        EXPECT_TRUE(d.IsIconic()) << "tray " << tray;
        EXPECT_EQ(d.IsWindowVisible(), !tray) << "tray " << tray;
        EXPECT_EQ(d.m_pMenuPanel->IsWindowVisible(), !tray) << "the panel goes with it";
        if (tray) {
            win::testing::ClickTrayIcon(d.GetSafeHwnd(), 143, WM_LBUTTONDBLCLK);
            EXPECT_TRUE(QTest::qWaitFor([&] { return d.IsWindowVisible() && !d.IsIconic(); },
                                        5000));
            EXPECT_TRUE(d.m_pMenuPanel->IsWindowVisible()) << "and comes back with it";
        }
    }
    win::testing::SetTrayArea(win::testing::TrayArea::Present);
}

} // namespace
