// The vic VideoFrame and Transmitter.
#include "pwlib/vic/transmitter.h"
#include "pwlib/vic/video_frame.h"

#include <gtest/gtest.h>

namespace {

TEST(VideoFrame, ResizesOnlyWhenTheSizeChanges)
{
    VideoFrame f(352, 288);
    EXPECT_EQ(f.ts, 0u);
    EXPECT_EQ(f.crvec, nullptr);
    f.frameptr[0] = 7;
    uint8_t *before = f.frameptr;
    f.SetSize(352, 288);
    EXPECT_EQ(f.frameptr, before);
    EXPECT_EQ(f.frameptr[0], 7);
    f.SetSize(176, 144);
    EXPECT_EQ(f.width, 176);
    EXPECT_EQ(f.height, 144);
    f.frameptr[176 * 144 * 3 / 2 - 1] = 1;
}

TEST(Transmitter, QueuesInOrderAndRecyclesBuffers)
{
    Transmitter t;
    EXPECT_EQ(t.MaxPacketSize(), 1024);
    EXPECT_FALSE(t.PacketsOutstanding());
    Transmitter::Packet *a = t.GetPacket(), *b = t.GetPacket();
    a->lenBuf = 1;
    b->lenBuf = 2;
    t.StorePacket(a);
    t.StorePacket(b);
    EXPECT_TRUE(t.PacketsOutstanding());
    EXPECT_EQ(t.TakePacket(), a);
    t.ReleasePacket(a);
    EXPECT_EQ(t.TakePacket(), b);
    EXPECT_EQ(t.TakePacket(), nullptr);
    t.ReleasePacket(b);
    EXPECT_EQ(t.GetPacket(), b);
    Transmitter::Packet *c = t.GetPacket();
    EXPECT_EQ(c, a);
    EXPECT_EQ(c->lenBuf, 0);
    t.ReleasePacket(b);
    t.ReleasePacket(c);
}

} // namespace
