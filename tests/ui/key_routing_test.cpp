// Which control receives the keys typed while a window of the phone has the keyboard: each window
// keeps its keys, and the main dialog's keypad and call keys act only on its own. The keys go
// through the toolkit to its focus window, as a user's do, while a call is offered (Enter would
// answer it in the main dialog, Escape refuse it).
#include "phone_harness.h"

#include <ui/chat_dlg.h>
#include <ui/login_dlg.h>
#include <ui/menu_panel_dlg.h>
#include <ui/soft_phone_dlg.h>
#include <ui/voice_sheet.h>

#include <core/window_messages.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace {

using namespace phonetest;

class KeyRoutingTest;

/// One row of the table: the window given the keyboard, the keys typed there, and where they
/// must arrive.
struct Route {
    const char *name;
    /// Opens the window as a user would and returns the control that gets the keyboard; for a
    /// modal window it calls type with that control while the window runs.
    std::function<void(KeyRoutingTest &, const std::function<void(CWnd *)> &type)> open;
    /// Keys: characters, with \x1b for Escape, \r for Enter and \b for Backspace; typed into
    /// the control's dropped-down list when it is a "+" list box.
    const char *keys;
    /// The control's text after the keys, when it is still there.
    std::optional<const char *> control;
    /// The main dialog's number field afterwards.
    const char *number;
    /// Whether the offered call is still offered.
    bool offered;
    /// Whether the window that had the keyboard is still shown.
    bool windowStays;
    /// More to check afterwards.
    std::function<void(KeyRoutingTest &)> after;
};

void PrintTo(const Route &route, std::ostream *out) { *out << route.name; }

class KeyRoutingTest : public ::testing::TestWithParam<Route>
{
  protected:
    KeyRoutingTest() : phone("8001", nullptr) {}

  public:
    CSoftPhoneDlg &dlg() { return *phone.dlg; }
    CMenuPanelDlg &panel() { return *dlg().m_pMenuPanel; }

    /// The panel opened by the main dialog's shortcut button, then the rows chosen.
    CWnd *PanelEditor(int button, std::initializer_list<int> rows)
    {
        dlg().SendMessage(WM_COMMAND, WPARAM(button), 0);
        for (int row : rows)
            panel().ShowMenuItem(row);
        return panel().m_pEdit.get();
    }

    InstallDir dir;
    Phone phone;
};

// The keyboard goes to control; true once the toolkit has it there.
bool GiveKeyboard(CWnd *control)
{
    control->SetFocus();
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == control->GetWidget(); },
                           5000);
}

// Types the keys into the toolkit's focus window, or into the list dropped down, as the
// keyboard does.
void TypeKeys(const char *keys)
{
    auto click = [](auto *to, char k) {
        switch (k) {
        case '\x1b': QTest::keyClick(to, Qt::Key_Escape); break;
        case '\r': QTest::keyClick(to, Qt::Key_Return); break;
        case '\b': QTest::keyClick(to, Qt::Key_Backspace); break;
        default: QTest::keyClick(to, k); break;
        }
    };
    for (const char *k = keys; *k; ++k) {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            click(popup, *k);
            continue;
        }
        QWindow *window = QGuiApplication::focusWindow();
        ASSERT_NE(window, nullptr);
        click(window, *k);
    }
}

// Runs act once the modal window that find gives is up, then ends it when act left it open.
void WhileModal(const std::function<CWnd *()> &find, const std::function<void(CWnd *)> &act,
                const std::function<void()> &end)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [=] {
        CWnd *control = find();
        if (!control || !control->IsWindowVisible())
            return;
        poll->stop();
        act(control);
        end();
        poll->deleteLater();
    });
    poll->start();
}

CString TextOf(CWnd *w)
{
    CString s;
    w->GetWindowText(s);
    return s;
}

TEST_P(KeyRoutingTest, KeysReachTheControlThatHasTheKeyboard)
{
    const Route &route = GetParam();
    dlg().m_number.SetWindowText("");
    dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
    ASSERT_EQ(dlg().m_bRinging, 1);
    bool typed = false, windowShown = false;
    std::optional<CString> control;
    route.open(*this, [&](CWnd *focus) {
        ASSERT_NE(focus, nullptr);
        ASSERT_TRUE(GiveKeyboard(focus));
        QPointer<QWidget> widget = focus->GetWidget(), window = widget->window();
        const char *keys = route.keys;
        if (*keys == '+') {
            auto *box = qobject_cast<QComboBox *>(widget);
            ASSERT_NE(box, nullptr);
            box->showPopup();
            ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, 5000));
            ++keys;
        }
        TypeKeys(keys);
        typed = true;
        if (widget && CWnd::FromWidget(widget) == focus)
            control = TextOf(focus);
        windowShown = window && window->isVisible();
    });
    ASSERT_TRUE(typed);
    EXPECT_EQ(windowShown, route.windowStays) << "the window that had the keyboard";
    if (route.control) {
        ASSERT_TRUE(control) << "the control is gone";
        EXPECT_EQ(*control, *route.control);
    }
    EXPECT_EQ(TextOf(&dlg().m_number), route.number) << "the main dialog's number field";
    EXPECT_EQ(dlg().m_bRinging, route.offered ? 1 : 0) << "the offered call";
    if (route.after)
        route.after(*this);
}

void InMain(KeyRoutingTest &t, const std::function<void(CWnd *)> &type) { type(&t.dlg()); }

void InNumberField(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(&t.dlg().m_number);
}

// Menu panel editors, opened from System Config (1014), PhoneBook (1041) or the Menu button
// (1013) through the rows a user clicks.
void InLocalPort(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(t.PanelEditor(1014, {5, 3}));
}
void InPassword(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(t.PanelEditor(1014, {1, 2}));
}
void InPhoneBookNumber(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(t.PanelEditor(1041, {1, 2}));
}
void InForwardNumber(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(t.PanelEditor(1013, {4, 1, 1}));
}
void InFilterNumber(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    type(t.PanelEditor(1013, {4, 2, 2, 1}));
}

// The chat window as the Send Message button opens it during a call.
void InChat(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    t.dlg().ShowChatText(CString());
    ASSERT_NE(t.dlg().m_pChatDlg, nullptr);
    type(&t.dlg().m_pChatDlg->m_input);
}

void InLogin(int field, KeyRoutingTest &, const std::function<void(CWnd *)> &type)
{
    CLoginDlg login(nullptr);
    WhileModal([&] { return login.GetDlgItem(field); }, type,
               [&] { login.EndDialog(IDCANCEL); });
    login.DoModal();
}

// The audio wizard from the menu panel's Audio Wizard line (Audio Setting, row 3); its first
// page's playback list has the keyboard.
void InWizard(KeyRoutingTest &t, const std::function<void(CWnd *)> &type)
{
    t.dlg().SendMessage(WM_COMMAND, 1014, 0);
    t.panel().ShowMenuItem(2);
    CVoiceSheet *sheet = nullptr;
    WhileModal(
        [&]() -> CWnd * {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *s = dynamic_cast<CVoiceSheet *>(CWnd::FromWidget(w)))
                    sheet = s;
            return sheet ? &sheet->m_page1.m_comboPlayback : nullptr;
        },
        type,
        [&] {
            if (sheet && sheet->GetWidget() && sheet->GetWidget()->isVisible())
                WizardDriver::Press(*sheet, IDCANCEL);
        });
    t.panel().ShowMenuItem(3);
}

const Route kRoutes[] = {
    {"MainWindowDigitsDial", InMain, "42\b7", std::nullopt, "47", true, true, {}},
    {"MainWindowEscapeRefusesTheCall", InMain, "\x1b", std::nullopt, "", false, true, {}},
    {"MainWindowEnterAnswers", InMain, "\r", std::nullopt, "", false, true,
     [](KeyRoutingTest &t) { EXPECT_EQ(t.dlg().m_nCallState, 2); }},
    {"NumberFieldTakesItsDigitsOnce", InNumberField, "8002", "8002", "8002", true, true, {}},
    {"LocalPortTakesDigits", InLocalPort, "1992", "1992", "", true, true, {}},
    {"LocalPortEnterStoresIt", InLocalPort, "1992\r", std::nullopt, "", true, true,
     [](KeyRoutingTest &t) {
         EXPECT_EQ(t.dlg().m_settings.m_nLocalPort, 1992);
         EXPECT_EQ(t.panel().m_pEdit, nullptr) << "the editor closed";
     }},
    {"LocalPortEscapeClosesTheEditor", InLocalPort, "1992\x1b", std::nullopt, "", true, true,
     [](KeyRoutingTest &t) {
         EXPECT_EQ(t.panel().m_pEdit, nullptr);
         EXPECT_NE(t.dlg().m_settings.m_nLocalPort, 1992);
     }},
    {"LocalPortBackspaceEditsIt", InLocalPort, "1992\b3", "1993", "", true, true, {}},
    {"PasswordTakesDigits", InPassword, "pw1234", "pw1234", "", true, true, {}},
    {"PhoneBookNumberTakesDigits", InPhoneBookNumber, "5550123", "5550123", "", true, true, {}},
    {"ForwardNumberTakesDigits", InForwardNumber, "8003", "8003", "", true, true, {}},
    {"FilterNumberTakesDigits", InFilterNumber, "8004", "8004", "", true, true, {}},
    {"ChatInputTakesTextWithDigits", InChat, "Hello from 8001", "Hello from 8001", "", true,
     true, {}},
    {"ChatInputBackspaceEditsIt", InChat, "8001\b", "800", "", true, true, {}},
    {"ChatInputEscapeLeavesTheCall", InChat, "\x1b", std::nullopt, "", true, false, {}},
    {"LoginAccountTakesDigits",
     [](KeyRoutingTest &t, const auto &type) { InLogin(1016, t, type); }, "8001", "8001", "",
     true, true, {}},
    {"LoginLanguageListTakesEnter",
     [](KeyRoutingTest &t, const auto &type) { InLogin(1044, t, type); }, "+\r", "English",
     "", true, true, {}},
    {"LoginPasswordTakesDigits",
     [](KeyRoutingTest &t, const auto &type) { InLogin(1017, t, type); }, "pw12", "pw12", "",
     true, true, {}},
    {"WizardTakesDigits", InWizard, "12", std::nullopt, "", true, true, {}},
    {"WizardEscapeCancelsIt", InWizard, "\x1b", std::nullopt, "", true, false, {}},
    {"WizardDeviceListTakesEscape", InWizard, "+\x1b", std::nullopt, "", true, true,
     [](KeyRoutingTest &) { EXPECT_EQ(QApplication::activePopupWidget(), nullptr); }},
};

INSTANTIATE_TEST_SUITE_P(Windows, KeyRoutingTest, ::testing::ValuesIn(kRoutes),
                         [](const ::testing::TestParamInfo<Route> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
