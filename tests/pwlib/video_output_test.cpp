// PVideoOutputDeviceRGB: the frame store and its updates.
#include <pwlib/passert.h>
#include <pwlib/video/pvideooutputdevice.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace
{

/// A display that keeps what it was given.
class StoreDevice : public PVideoOutputDeviceRGB
{
  public:
    BOOL Open(const PString &, BOOL) override { return TRUE; }
    BOOL IsOpen() override { return TRUE; }
    PStringList GetDeviceNames() const override { return PStringList{"store"}; }
    BOOL EndFrame() override
    {
        ++endFrames;
        return TRUE;
    }
    const BYTE *Store() const { return frameStore_.GetPointer(); }
    PINDEX StoreSize() const { return frameStore_.GetSize(); }

    int endFrames = 0;
};

/// Collects the texts of failed assertions while it lives.
class AssertionLog
{
  public:
    AssertionLog()
    {
        previous_ = pwlib::SetAssertHandler(
            [this](const char *, int, const char *msg) { texts.push_back(msg); });
    }
    ~AssertionLog() { pwlib::SetAssertHandler(previous_); }
    std::vector<std::string> texts;

  private:
    pwlib::AssertHandler previous_;
};

std::vector<BYTE> Yuv420Frame(unsigned w, unsigned h, BYTE y, BYTE u, BYTE v)
{
    std::vector<BYTE> frame(w * h, y);
    frame.resize(w * h + (w / 2) * (h / 2), u);
    frame.resize(w * h + 2 * (w / 2) * (h / 2), v);
    return frame;
}

TEST(VideoOutputRGB, SetFrameSizeAllocatesAStoreOfThreeBytesAPixel)
{
    StoreDevice dev;
    ASSERT_TRUE(dev.SetFrameSize(32, 16));
    EXPECT_EQ(dev.StoreSize(), 32 * 16 * 3);
    EXPECT_EQ(dev.GetMaxFrameBytes(), 32 * 16 * 3);
    EXPECT_EQ(dev.GetColourFormat(), "BGR24");
    ASSERT_TRUE(dev.SetColourFormatConverter("YUV420P"));
    EXPECT_EQ(dev.GetMaxFrameBytes(), 32 * 16 * 3 / 2);
    EXPECT_FALSE(dev.SetColourFormatConverter("MJPEG"));
    EXPECT_FALSE(dev.SetFrameSize(0, 16));
    EXPECT_EQ(dev.StoreSize(), 32 * 16 * 3);
}

TEST(VideoOutputRGB, RejectsRectanglesThatLeaveTheFrame)
{
    struct Case {
        unsigned x, y, w, h;
    } cases[] = {
        {170, 0, 10, 10},      // past the right edge
        {0, 140, 1, 5},        // past the bottom
        {0, 0, 177, 144},      // one column too wide
        {UINT_MAX, 0, 2, 2},   // x + w overflows
        {0, UINT_MAX, 2, 2},   // y + h overflows
        {0, 0, 0, 10},         // empty
    };
    StoreDevice dev;
    ASSERT_TRUE(dev.SetFrameSize(176, 144));
    std::vector<BYTE> data(177 * 144 * 3);
    for (const Case &c : cases)
        EXPECT_FALSE(dev.SetFrameData(c.x, c.y, c.w, c.h, data.data(), TRUE))
            << c.x << "," << c.y << " " << c.w << "x" << c.h;
    EXPECT_EQ(dev.endFrames, 0);
}

TEST(VideoOutputRGB, PartialFrameWithAConverterFailsWithTheAssertion)
{
    StoreDevice dev;
    ASSERT_TRUE(dev.SetFrameSize(176, 144));
    ASSERT_TRUE(dev.SetColourFormatConverter("YUV420P"));
    std::vector<BYTE> data = Yuv420Frame(176, 144, 16, 128, 128);
    AssertionLog log;
    EXPECT_FALSE(dev.SetFrameData(0, 0, 88, 72, data.data(), TRUE));
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Converted output of partial RGB frame not supported");
    EXPECT_EQ(dev.endFrames, 0);
}

TEST(VideoOutputRGB, WholeFrameIsConvertedToBlueGreenRed)
{
    struct Case {
        const char *name;
        BYTE y, u, v;
        BYTE b, g, r;
    } cases[] = {
        {"red", 81, 90, 240, 0, 0, 255},
        {"white", 235, 128, 128, 255, 255, 255},
        {"black", 16, 128, 128, 0, 0, 0},
        {"blue", 41, 240, 110, 255, 0, 0},
    };
    for (const Case &c : cases) {
        StoreDevice dev;
        ASSERT_TRUE(dev.SetFrameSize(16, 8));
        ASSERT_TRUE(dev.SetColourFormatConverter("YUV420P"));
        std::vector<BYTE> data = Yuv420Frame(16, 8, c.y, c.u, c.v);
        ASSERT_TRUE(dev.SetFrameData(0, 0, 16, 8, data.data(), TRUE)) << c.name;
        EXPECT_EQ(dev.endFrames, 1) << c.name;
        for (PINDEX i = 0; i < dev.StoreSize(); i += 3) {
            ASSERT_EQ(dev.Store()[i], c.b) << c.name << " pixel " << i / 3;
            ASSERT_EQ(dev.Store()[i + 1], c.g) << c.name << " pixel " << i / 3;
            ASSERT_EQ(dev.Store()[i + 2], c.r) << c.name << " pixel " << i / 3;
        }
    }
}

TEST(VideoOutputRGB, PartialFrameIsCopiedRowByRow)
{
    StoreDevice dev;
    ASSERT_TRUE(dev.SetFrameSize(8, 6));
    std::vector<BYTE> rect(3 * 2 * 3);
    for (size_t i = 0; i < rect.size(); ++i)
        rect[i] = BYTE(i + 1);
    ASSERT_TRUE(dev.SetFrameData(2, 3, 3, 2, rect.data(), FALSE));
    EXPECT_EQ(dev.endFrames, 0);
    for (unsigned row = 0; row < 6; ++row)
        for (unsigned col = 0; col < 8; ++col)
            for (unsigned k = 0; k < 3; ++k) {
                BYTE got = dev.Store()[(row * 8 + col) * 3 + k];
                bool inside = row >= 3 && row < 5 && col >= 2 && col < 5;
                BYTE want = inside ? rect[((row - 3) * 3 + (col - 2)) * 3 + k] : 0;
                ASSERT_EQ(got, want) << "row " << row << " col " << col;
            }

    // A whole frame without a converter is copied as it is.
    std::vector<BYTE> whole(8 * 6 * 3, 0x5A);
    ASSERT_TRUE(dev.SetFrameData(0, 0, 8, 6, whole.data(), TRUE));
    EXPECT_EQ(std::vector<BYTE>(dev.Store(), dev.Store() + dev.StoreSize()), whole);
    EXPECT_EQ(dev.endFrames, 1);
}

} // namespace
