// CTime, CMutex and the module file name.
#include <win/cmutex.h>
#include <win/ctime.h>
#include <win/module.h>
#include <win/module_testing.h>

#include <atomic>
#include <climits>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace
{

TEST(CTimeTest, BrokenDownLocalTimeAndDifferences)
{
    CTime t(2024, 2, 29, 23, 59, 58);
    EXPECT_EQ(t.GetYear(), 2024);
    EXPECT_EQ(t.GetMonth(), 2);
    EXPECT_EQ(t.GetDay(), 29);
    EXPECT_EQ(t.GetHour(), 23);
    EXPECT_EQ(t.GetMinute(), 59);
    EXPECT_EQ(t.GetSecond(), 58);
    EXPECT_EQ(t.Format("%H:%M:%S %Y/%m/%d"), "23:59:58 2024/02/29");

    CTime later = t + CTimeSpan(0, 1, 0, 3);
    EXPECT_EQ(later.GetMonth(), 3);
    EXPECT_EQ(later.GetHour(), 1);
    CTimeSpan span = later - t;
    EXPECT_EQ(span.GetTotalSeconds(), 3603);
    EXPECT_EQ(span.GetHours(), 1);
    EXPECT_EQ(span.GetMinutes(), 0);
    EXPECT_EQ(span.GetSeconds(), 3);
    EXPECT_LT(t, later);

    CTime now = CTime::GetCurrentTime();
    EXPECT_LE(std::abs(static_cast<long>(now.GetTime() - time(nullptr))), 1);
}

TEST(CMutexTest, RecursiveForItsOwnerAndTimedForOthers)
{
    CMutex mutex;
    ASSERT_TRUE(mutex.Lock());
    ASSERT_TRUE(mutex.Lock(0));
    std::atomic<int> other{-1};
    std::thread([&] {
        other = mutex.Lock(20);
        EXPECT_FALSE(mutex.Unlock()) << "a thread that does not own it cannot release it";
    }).join();
    EXPECT_EQ(other, FALSE);

    EXPECT_TRUE(mutex.Unlock());
    std::thread([&] { other = mutex.Lock(20); }).join();
    EXPECT_EQ(other, FALSE) << "still held once";

    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());
    std::thread([&] {
        CSingleLock lock(&mutex, TRUE);
        other = lock.IsLocked();
    }).join();
    EXPECT_EQ(other, TRUE);
    EXPECT_TRUE(mutex.Lock(0)) << "released by the scoped lock";
    mutex.Unlock();
}

TEST(CMutexTest, WaiterGetsItWhenReleased)
{
    CMutex mutex;
    mutex.Lock();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        got = mutex.Lock(10000);
        mutex.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(got);
    mutex.Unlock();
    waiter.join();
    EXPECT_TRUE(got);
}

TEST(ModuleTest, ExecutablePathAndInstallDirectory)
{
    char real[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", real, sizeof real - 1), 0);
    char buf[PATH_MAX] = {};
    DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), buf, sizeof buf);
    EXPECT_EQ(CString(buf), real);
    EXPECT_EQ(n, strlen(real));

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small), std::string(real, 4));

    CString base = CString(real).Mid(CString(real).ReverseFind('/') + 1);
    EXPECT_NE(GetModuleHandleA(base), nullptr);
    EXPECT_NE(GetModuleHandleA(CString(base).MakeUpper() + ".EXE"), nullptr);
    EXPECT_EQ(GetModuleHandleA("Other.exe"), nullptr);

    win::testing::OverrideExecutablePath("/tmp/some dir/kestrelin");
    EXPECT_EQ(win::ExecutableDirectory(), "/tmp/some dir/");
    EXPECT_NE(GetModuleHandleA("Kestrelin.exe"), nullptr);
    win::testing::OverrideExecutablePath(nullptr);
    EXPECT_EQ(win::ExecutablePath(), real);
}

} // namespace
