// The skinned windows: shape, layout of every button from the table, clicks as commands, the
// link static and the custom controls, and screenshots of the skin in the three languages.
#include "skin_harness.h"

#include <win/application.h>
#include <win/library.h>
#include <win/module.h>
#include <win/resources.h>
#include <win/respack.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

class Skin : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }
    void TearDown() override { AfxSetResourceHandle(GetModuleHandleA(nullptr)); }
};

QPixmap Resource(UINT id)
{
    CBitmap b;
    b.LoadBitmap(id);
    const QPixmap *p = win::gdi::PixmapOf(b);
    return p ? *p : QPixmap();
}

TEST_F(Skin, TheMainWindowTakesTheShapeOfItsRegion)
{
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    QWidget *w = main.GetWidget();
    EXPECT_EQ(w->size(), QSize(345, 292));
    QRegion mask = w->mask();
    ASSERT_FALSE(mask.isEmpty());
    EXPECT_FALSE(mask.contains(QPoint(0, 0))) << "the rounded corner is cut away";
    EXPECT_FALSE(mask.contains(QPoint(344, 291)));
    EXPECT_TRUE(mask.contains(QPoint(172, 146)));
    EXPECT_TRUE(mask.contains(QPoint(172, 1)));
    main.DestroyWindow();
}

TEST_F(Skin, AMissingRegionKeepsTheWindowRectangular)
{
    CSkinDialog dialog(102, nullptr, "NO_SUCH_REGION");
    ASSERT_TRUE(dialog.Create(102));
    EXPECT_TRUE(dialog.GetWidget()->mask().isEmpty());
    dialog.DestroyWindow();
}

TEST_F(Skin, EveryButtonWithAnEntryIsPlacedShownAndSendsItsCommand)
{
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    main.ShowWindow(SW_SHOW);
    std::vector<int> expected, hidden;
    for (int i = 0; i < kMainButtonCount; ++i) {
        const SkinButtonSpec &b = kMainButtons[size_t(i)];
        QWidget *w = main.m_buttons[i].GetWidget();
        ASSERT_NE(w, nullptr) << b.id;
        if (!w->isVisible()) {
            hidden.push_back(b.id);
            continue;
        }
        EXPECT_EQ(w->pos(), QPoint(main.m_face[b.entry].a, main.m_face[b.entry].b)) << b.id;
        EXPECT_EQ(w->size(), Resource(b.normal).size()) << b.id;
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(3, 3));
        expected.push_back(b.id);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(hidden, std::vector<int>{1016}) << "only the Log button has no entry";
    EXPECT_EQ(main.m_commands, expected);
    EXPECT_EQ(main.m_buttons[20].GetWidget()->toolTip(), "Call");
    main.DestroyWindow();
}

TEST_F(Skin, LinkStaticCursorAndLineMenu)
{
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    PanelSkin panel(&main);
    ASSERT_TRUE(panel.Create(244));
    panel.ShowWindow(SW_SHOW);
    EXPECT_TRUE(panel.m_rows[0].GetStyle() & SS_NOTIFY);
    QWidget *withText = panel.m_rows[0].GetWidget();
    panel.m_rows[4].SetWindowText("");
    QWidget *empty = panel.m_rows[4].GetWidget();
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(withText, &enter);
    QApplication::sendEvent(empty, &enter);
    EXPECT_EQ(withText->cursor().shape(), Qt::BitmapCursor) << "the hand";
    EXPECT_EQ(empty->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(withText, Qt::RightButton);
    QTest::mouseClick(empty, Qt::RightButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.m_lineMenus, 2);
    panel.DestroyWindow();
    main.DestroyWindow();
}

TEST_F(Skin, NumberHistoryKeepsDigitsAndTenNumbers)
{
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    CNumberComboBox &n = main.m_number;
    const struct {
        const char *typed, *returned;
        int count;
    } cases[] = {
        {"(010) 555-12 34", "010555 1234", 1},
        {"123", "123", 1},
        {"1234567890123456789012345", "1234567890123456789012345", 1},
        {"12.34", "12.34", 2},
    };
    for (const auto &c : cases) {
        n.SetWindowText(c.typed);
        CString got = n.AddToHistory();
        CString want(c.returned);
        want.Remove(' ');
        EXPECT_EQ(got, want) << c.typed;
        EXPECT_EQ(n.GetCount(), c.count) << c.typed;
        CString field;
        n.GetWindowText(field);
        EXPECT_TRUE(field.IsEmpty());
    }
    for (int i = 0; i < 12; ++i) {
        CString s;
        s.Format("5550%03d", i);
        n.SetWindowText(s);
        n.AddToHistory();
    }
    EXPECT_EQ(n.GetCount(), 10);
    CString top, last;
    n.GetLBText(0, top);
    n.GetLBText(9, last);
    EXPECT_EQ(top, "5550011");
    EXPECT_EQ(last, "5550002");
    n.SetWindowText("5550005");
    n.AddToHistory();
    n.GetLBText(0, top);
    EXPECT_EQ(top, "5550005");
    EXPECT_EQ(n.GetCount(), 10);
    main.DestroyWindow();
}

class ProbeButton : public CHoverButton
{
  public:
    void SetHover(UINT id) { m_nHoverBitmap = id; }
    void SetShift() { m_bShiftOnPress = 1; }
    bool Hovering() const { return m_bHovering; }
    bool Pressed() const { return m_bPressed; }
};

class ProbeDialog : public CDialog
{
  public:
    ProbeDialog() : CDialog(102) {}
    void DoDataExchange(CDataExchange *pDX) override { DDX_Control(pDX, 1015, button); }
    ProbeButton button;
};

TEST_F(Skin, HoverLookOnlyWithAHoverBitmap)
{
    ProbeDialog d;
    ASSERT_TRUE(d.Create(102));
    d.ShowWindow(SW_SHOW);
    d.button.SetBitmaps(230, 231);
    d.button.SizeToContent();
    d.button.MoveTo(10, 10);
    auto *w = d.button.GetWidget();
    QImage before = w->grab().toImage();
    QTest::mouseMove(w, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    EXPECT_FALSE(d.button.Hovering());
    EXPECT_EQ(w->grab().toImage(), before) << "hover bitmap 0 keeps the look";

    d.button.SetHover(241);
    QApplication::sendEvent(w, &move);
    EXPECT_TRUE(d.button.Hovering());
    EXPECT_NE(w->grab().toImage(), before);
    // The cursor is elsewhere: the next tick of timer 1 restores the normal look.
    QCursor::setPos(QPoint(-1000, -1000));
    d.button.SendMessage(WM_TIMER, 1, 0);
    EXPECT_FALSE(d.button.Hovering());
    EXPECT_EQ(w->grab().toImage(), before);
    d.DestroyWindow();
}

TEST_F(Skin, ADoubleClickPressesTheButtonAgain)
{
    ProbeDialog d;
    ASSERT_TRUE(d.Create(102));
    d.ShowWindow(SW_SHOW);
    d.button.SetBitmaps(230, 231);
    d.button.SizeToContent();
    d.button.MoveTo(10, 10);
    d.button.SetShift();
    auto *w = static_cast<QAbstractButton *>(d.button.GetWidget());
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(w->pos(), QPoint(11, 11));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(w->pos(), QPoint(10, 10));
    QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(4, 4));
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.button.Pressed()) << "the posted button-down pressed it again";
    EXPECT_EQ(w->pos(), QPoint(11, 11));
    EXPECT_TRUE(w->isDown());
    d.DestroyWindow();
}

TEST_F(Skin, TooltipsFollowTheirText)
{
    ProbeDialog d;
    ASSERT_TRUE(d.Create(102));
    QWidget *w = d.button.GetWidget();
    d.button.SetTooltip("", TRUE);
    EXPECT_TRUE(w->toolTip().isEmpty());
    d.button.SetTooltip("Call", TRUE);
    EXPECT_EQ(w->toolTip(), "Call");
    d.button.SetTooltip("Hangup", TRUE);
    EXPECT_EQ(w->toolTip(), "Hangup");
    d.button.SetTooltip("Hangup", FALSE);
    EXPECT_TRUE(w->toolTip().isEmpty());
    d.DestroyWindow();
}

// Writes the main window with the panel beside it, as one picture per language.
void Screenshot(const char *language, HINSTANCE pack)
{
    AfxSetResourceHandle(pack);
    MainSkin main;
    ASSERT_TRUE(main.Create(102));
    main.MoveWindow(0, 0, 345, 292);
    PanelSkin panel(&main);
    ASSERT_TRUE(panel.Create(244));
    main.m_number.SetWindowText("01055512345");
    QImage shot(345 + 190, 292, QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    QPainter p(&shot);
    p.setClipRegion(main.GetWidget()->mask());
    p.drawPixmap(0, 0, main.GetWidget()->grab());
    QRegion panelMask = panel.GetWidget()->mask().translated(345, 43);
    p.setClipRegion(panelMask);
    p.drawPixmap(345, 43, panel.GetWidget()->grab());
    p.end();
    QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
    QString file = QString(KESTRELIN_SCREENSHOT_DIR "/skin-offscreen-%1.png").arg(language);
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
    // The skin shows: the body colour at the window's middle, the cut-away corner empty.
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(shot.pixel(172, 150)), 255);
    panel.DestroyWindow();
    main.DestroyWindow();
}

TEST_F(Skin, ScreenshotsInTheThreeLanguages)
{
    Screenshot("en", GetModuleHandleA(nullptr));
    HINSTANCE china = AfxLoadLibrary("China.dll");
    HINSTANCE traditional = AfxLoadLibrary("Traditional.dll");
    ASSERT_TRUE(china && traditional);
    Screenshot("zh_CN", china);
    Screenshot("zh_TW", traditional);
    AfxFreeLibrary(china);
    AfxFreeLibrary(traditional);
}

} // namespace
