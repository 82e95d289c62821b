// The skin as real shaped windows on an X server (run under Xvfb): the main window with the
// panel beside it, in the three languages, with a screenshot of the screen for each.
#include "skin_harness.h"

#include <win/application.h>
#include <win/library.h>
#include <win/module.h>
#include <win/resources.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

void Wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class SkinOnX11 : public ::testing::TestWithParam<const char *>
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }
    void TearDown() override { AfxSetResourceHandle(GetModuleHandleA(nullptr)); }
};

TEST_P(SkinOnX11, ShapedWindowsShowTheSkinAndTakeClicks)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    std::string lang = GetParam();
    HINSTANCE pack = lang == "en"      ? GetModuleHandleA(nullptr)
                     : lang == "zh_CN" ? AfxLoadLibrary("China.dll")
                                       : AfxLoadLibrary("Traditional.dll");
    ASSERT_NE(pack, nullptr);
    AfxSetResourceHandle(pack);
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    main.MoveWindow(40, 40, 345, 292);
    PanelSkin panel(&main);
    ASSERT_TRUE(panel.Create(244));
    main.m_number.SetWindowText("01055512345");
    main.ShowWindow(SW_SHOW);
    panel.ShowWindow(SW_SHOW);
    Wait(400);

    QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
    QString file = QString(KESTRELIN_SCREENSHOT_DIR "/skin-x11-%1.png").arg(lang.c_str());
    EXPECT_TRUE(screen.copy(0, 0, 600, 400).save(file));

    // Through the cut-away corners the root window shows; inside, the skin.
    QPoint origin = main.GetWidget()->geometry().topLeft();
    QRgb root = screen.pixel(900, 700);
    EXPECT_EQ(screen.pixel(origin + QPoint(1, 1)), root) << "the main window is not shaped";
    EXPECT_NE(screen.pixel(origin + QPoint(172, 150)), root);
    QPoint panelOrigin = panel.GetWidget()->geometry().topLeft();
    EXPECT_EQ(panelOrigin, origin + QPoint(337, 43));
    EXPECT_EQ(screen.pixel(panelOrigin + QPoint(178, 194)), root) << "the panel is not shaped";
    EXPECT_NE(screen.pixel(panelOrigin + QPoint(90, 100)), root);

    for (auto &b : main.m_buttons)
        QTest::mouseClick(b.GetWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    Wait(50);
    EXPECT_EQ(main.m_commands.size(), size_t(kMainButtonCount));
    panel.DestroyWindow();
    main.DestroyWindow();
    if (pack != GetModuleHandleA(nullptr))
        AfxFreeLibrary(pack);
}

INSTANTIATE_TEST_SUITE_P(Languages, SkinOnX11, ::testing::Values("en", "zh_CN", "zh_TW"));

} // namespace
