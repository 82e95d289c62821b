// The chat window: text out over a real call and in through the pending line, keys, the
// video part, frames drawn into the video areas, STOP and the close box.
#include <ui/chat_dlg.h>

#include <core/settings.h>
#include <core/video_channel.h>

#include <h323/codecs/codec.h>
#include <pwlib/video/pvideochannel.h>
#include <win/application.h>
#include <win/module_testing.h>
#include <win/msgbox.h>

#include <tests/h323/stack/stack_support.h>
#include <tests/support/temp_dir.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{

using stacktest::TestEndPoint;

class Chat : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { win::EnsureApplication(); }
    void SetUp() override
    {
        win::testing::SetMessageBoxHandler([this](const win::testing::MessageBoxCall &c) {
            boxes.push_back(c.text);
            return IDOK;
        });
        ASSERT_TRUE(chat.Create(259, &owner));
    }
    void TearDown() override
    {
        chat.DestroyWindow();
        win::testing::SetMessageBoxHandler(nullptr);
    }
    QPlainTextEdit *Input() { return qobject_cast<QPlainTextEdit *>(chat.m_input.GetWidget()); }
    CString History()
    {
        CString s;
        chat.m_history.GetWindowText(s);
        return s;
    }

    CDialog owner; // stands for the main window
    CChatDlg chat{&owner};
    std::vector<std::string> boxes;
};

TEST_F(Chat, StartsHiddenAtTheHiddenWidthWithShowOnTheVideoButton)
{
    EXPECT_FALSE(chat.IsWindowVisible());
    CRect r;
    chat.GetWindowRect(&r);
    EXPECT_EQ(r.Width(), CChatDlg::kHiddenWidth);
    CString caption;
    chat.m_btnVideo.GetWindowText(caption);
    EXPECT_EQ(caption, "Show");
    EXPECT_EQ(chat.m_bVideoInCall, 0);
}

TEST_F(Chat, TogglingTwiceRestoresWidthAndCaption)
{
    CRect before;
    chat.GetWindowRect(&before);
    QTest::mouseClick(chat.m_btnVideo.GetWidget(), Qt::LeftButton);
    CRect r;
    chat.GetWindowRect(&r);
    CString caption;
    chat.m_btnVideo.GetWindowText(caption);
    EXPECT_EQ(r.Width(), CChatDlg::kShownWidth);
    EXPECT_EQ(r.Height(), before.Height());
    EXPECT_EQ(r.left, before.left);
    EXPECT_EQ(caption, "Hide");
    EXPECT_EQ(chat.m_nVideoShown, 1);
    QTest::mouseClick(chat.m_btnVideo.GetWidget(), Qt::LeftButton);
    chat.GetWindowRect(&r);
    chat.m_btnVideo.GetWindowText(caption);
    EXPECT_EQ(r.Width(), before.Width());
    EXPECT_EQ(caption, "Show");
    EXPECT_EQ(chat.m_nVideoShown, 0);
}

TEST_F(Chat, ReceivedLinesAreAppendedAndAnEmptyPendingLineAddsNothing)
{
    chat.m_strUserName = "8001";
    chat.m_strPendingLine = "8001 Say:\r\nhello";
    chat.AppendChatText();
    EXPECT_EQ(chat.m_strHistory, "8001 Say:\r\nhello\r\n");
    EXPECT_EQ(History(), chat.m_strHistory);
    EXPECT_TRUE(chat.m_strPendingLine.IsEmpty());
    CString name;
    chat.GetDlgItem(1088)->GetWindowText(name);
    EXPECT_EQ(name, "8001");

    chat.AppendChatText();
    EXPECT_EQ(chat.m_strHistory, "8001 Say:\r\nhello\r\n");

    // Text being typed survives a received line.
    Input()->setPlainText("half a sen");
    chat.m_strPendingLine = "8001 Say:\r\nagain";
    chat.AppendChatText();
    EXPECT_EQ(Input()->toPlainText(), "half a sen");

    // Many lines: the newest one is in view.
    for (int i = 0; i < 30; ++i) {
        chat.m_strPendingLine.Format("line %d", i);
        chat.AppendChatText();
    }
    EXPECT_GT(chat.m_history.GetFirstVisibleLine(), 0);
}

TEST_F(Chat, EmptyInputOrNoCallSendsNothing)
{
    chat.SendChatMessage();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(chat.m_strHistory.IsEmpty());

    Input()->setPlainText("anyone there?");
    QTest::mouseClick(chat.m_btnSend.GetWidget(), Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Can not send the message,\nby without talking;");
    EXPECT_TRUE(chat.m_strHistory.IsEmpty());
    EXPECT_EQ(Input()->toPlainText(), "anyone there?") << "the typed text stays";
}

TEST_F(Chat, TextGoesToThePeerAsUserInputAndIntoTheHistory)
{
    TestEndPoint caller("caller"), callee("callee");
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(token.IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    chat.m_pEndPoint = &caller;
    chat.m_currentCallToken = [&] { return token; };

    Input()->setPlainText("hello there");
    QTest::mouseClick(chat.m_btnSend.GetWidget(), Qt::LeftButton);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(callee.events.WaitFor("string hello there"), "string hello there");
    EXPECT_EQ(chat.m_strHistory, "You Say:\r\nhello there\r\n");
    EXPECT_EQ(History(), chat.m_strHistory);
    EXPECT_TRUE(Input()->toPlainText().isEmpty());

    // Return alone breaks the line; Ctrl+Return sends.
    chat.ShowWindow(SW_SHOW);
    Input()->setFocus();
    QTest::keyClicks(Input(), "two");
    QTest::keyClick(Input(), Qt::Key_Return);
    QTest::keyClicks(Input(), "lines");
    EXPECT_EQ(Input()->toPlainText(), "two\nlines");
    EXPECT_FALSE(callee.events.Has("string two"));
    QTest::keyClick(Input(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(callee.events.WaitFor("string two"), "string two\r\nlines");
    EXPECT_EQ(chat.m_strHistory, "You Say:\r\nhello there\r\nYou Say:\r\ntwo\r\nlines\r\n");
    EXPECT_TRUE(Input()->toPlainText().isEmpty());

    caller.ClearAllCalls();
}

/// A codec that only keeps the channel attached to it.
class KeepingCodec : public H323VideoCodec
{
  public:
    explicit KeepingCodec(Direction d) : H323VideoCodec("H.263", d) {}
    BOOL Read(BYTE *, unsigned &, RTP_DataFrame &) override { return FALSE; }
    BOOL Write(const BYTE *, unsigned, const RTP_DataFrame &, unsigned &) override { return FALSE; }
    PVideoChannel *Channel() const { return dynamic_cast<PVideoChannel *>(rawDataChannel); }
};

QImage Grab(CWnd &w)
{
    return w.GetWidget()->grab().toImage();
}

/// Waits (at most 3 s) until the widget shows a pixel that passes test at its centre.
template <class Test> bool WaitForCentre(CWnd &w, Test test)
{
    for (int i = 0; i < 300; ++i) {
        QCoreApplication::processEvents();
        QImage img = Grab(w);
        if (test(img.pixelColor(img.width() / 2, img.height() / 2)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class ChatVideo : public Chat
{
  protected:
    ChatVideo() { win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str()); }
    ~ChatVideo() override { win::testing::OverrideExecutablePath(nullptr); }
    kestrelin::testing::TempDir tmp;
};

TEST_F(ChatVideo, FramesAreDrawnIntoTheAreasAndStopClosesTheTransmitChannel)
{
    CSettings settings;
    settings.m_nVideo[2] = 1; // local preview
    settings.m_nVideo[7] = 1; // upright received picture
    chat.ShowWindow(SW_SHOW);
    chat.ShowVideoArea();
    CString caption;
    chat.m_btnVideo.GetWindowText(caption);
    EXPECT_EQ(caption, "Hide");

    KeepingCodec receiver(H323Codec::Decoder), sender(H323Codec::Encoder);
    ASSERT_TRUE(OpenCallVideoChannel(&chat, settings, TRUE, {"", "peer", "me"}, FALSE, receiver));
    ASSERT_TRUE(OpenCallVideoChannel(&chat, settings, TRUE, {"", "peer", "me"}, TRUE, sender));
    PVideoChannel *rx = receiver.Channel(), *tx = sender.Channel();
    EXPECT_EQ(chat.GetReceiveVideoChannel(), rx);
    EXPECT_EQ(chat.GetTransmitVideoChannel(), tx);

    // The received picture: a white frame from the remote's thread.
    std::vector<BYTE> white(176 * 144 * 3 / 2, 128);
    std::fill_n(white.begin(), 176 * 144, BYTE(235));
    std::thread remote([&] { EXPECT_TRUE(rx->Write(white.data(), PINDEX(white.size()))); });
    remote.join();
    EXPECT_TRUE(WaitForCentre(chat.m_remoteArea, [](QColor c) { return c.lightness() > 220; }));

    // The preview: moving-line frames grabbed on the transmit thread.
    std::atomic<bool> grabbing{true};
    std::thread grabber([&] {
        std::vector<BYTE> buf(size_t(tx->GetMaxFrameBytes()));
        while (grabbing && tx->Read(buf.data(), PINDEX(buf.size())))
            ;
    });
    // The moving white line shows up in the local area.
    auto hasBrightRow = [&] {
        QImage img = Grab(chat.m_localArea);
        for (int y = 0; y < img.height(); ++y)
            if (img.pixelColor(img.width() / 2, y).lightness() > 220)
                return true;
        return false;
    };
    bool shown = false;
    for (int i = 0; i < 300 && !shown; ++i) {
        QCoreApplication::processEvents();
        shown = hasBrightRow();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(shown) << "the local area shows the moving line";

    QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
    chat.m_strPendingLine = "peer Say:\r\nwith video";
    chat.AppendChatText();
    QCoreApplication::processEvents();
    EXPECT_TRUE(chat.GetWidget()->grab().save(KESTRELIN_SCREENSHOT_DIR "/chat-video.png"));

    // STOP ends the transmission: the grabber's Read fails and the channel is forgotten.
    QTest::mouseClick(chat.m_btnStop.GetWidget(), Qt::LeftButton);
    grabbing = false;
    grabber.join();
    EXPECT_FALSE(tx->IsOpen());
    EXPECT_EQ(chat.GetTransmitVideoChannel(), nullptr);
    EXPECT_TRUE(rx->IsOpen());

    // The close box closes the receive channel too and hides the window.
    chat.SendMessage(WM_CLOSE);
    EXPECT_FALSE(rx->IsOpen());
    EXPECT_EQ(chat.GetReceiveVideoChannel(), nullptr);
    EXPECT_FALSE(chat.IsWindowVisible());
}

} // namespace
