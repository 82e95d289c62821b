// Every dialog template of the three language packs, built as the program builds it: no visible
// control covers another, and every text fits its control in the font it is drawn in. The
// main window and the menu panel are placed by the skin layout at run time; their own tests
// check them as placed.
#include "layout_check.h"

#include <win/application.h>
#include <win/cdialog.h>
#include <win/library.h>
#include <win/module.h>
#include <win/resources.h>

#include <QComboBox>
#include <QDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct Language {
    const char *name;
    const char *module; // null: the program's own resources
};
void PrintTo(const Language &l, std::ostream *os) { *os << l.name; }

class DialogLayout : public ::testing::TestWithParam<Language>
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }
    void SetUp() override
    {
        m_module = GetParam().module ? AfxLoadLibrary(GetParam().module) : GetModuleHandleA(nullptr);
        ASSERT_NE(m_module, nullptr);
        AfxSetResourceHandle(m_module);
    }
    void TearDown() override
    {
        AfxSetResourceHandle(GetModuleHandleA(nullptr));
        if (GetParam().module && m_module)
            AfxFreeLibrary(m_module);
    }
    HINSTANCE m_module = nullptr;
};

TEST_P(DialogLayout, NoControlCoversAnotherAndEveryTextFits)
{
    int checked = 0;
    for (UINT id = 1; id < 1000; ++id) {
        if (id == 102 || id == 244 || !FindResourceA(m_module, MAKEINTRESOURCE(id), RT_DIALOG))
            continue;
        CDialog dialog(id);
        ASSERT_TRUE(dialog.Create(id)) << id;
        EXPECT_EQ(Lines(LayoutFaults(dialog)), "") << "dialog " << id;
        QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
        dialog.GetWidget()->grab().save(QString(KESTRELIN_SCREENSHOT_DIR "/dialog-%1-%2.png")
                                            .arg(GetParam().name)
                                            .arg(id));
        dialog.DestroyWindow();
        ++checked;
    }
    EXPECT_EQ(checked, 7) << "about, login, chat and the four wizard pages";
}

TEST_P(DialogLayout, ADropDownListTakesItsClosedHeightAndDropsItsListBelow)
{
    CDialog login(221);
    ASSERT_TRUE(login.Create(221));
    auto *language = qobject_cast<QComboBox *>(login.GetDlgItem(1044)->GetWidget());
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->height(), language->sizeHint().height());
    EXPECT_LT(language->height(), CDialog::DluToPixelsY(60)) << "not the template's height";
    CRect box;
    login.GetDlgItem(1044)->GetWindowRect(&box);
    EXPECT_EQ(box.Height(), language->height());

    // Moved by the program, the height given is again the one with the list dropped down.
    login.GetDlgItem(1044)->MoveWindow(10, 20, 120, 200);
    EXPECT_EQ(language->geometry(), QRect(10, 20, 120, language->sizeHint().height()));
    login.GetDlgItem(1044)->SetWindowPos(nullptr, 0, 0, 90, 300, SWP_NOMOVE);
    EXPECT_EQ(language->geometry(), QRect(10, 20, 90, language->sizeHint().height()));
    login.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Packs, DialogLayout,
                         ::testing::Values(Language{"English", nullptr},
                                           Language{"SimplifiedChinese", "China.dll"},
                                           Language{"TraditionalChinese", "Traditional.dll"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
