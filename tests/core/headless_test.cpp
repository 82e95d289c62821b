// The core without a user interface: no toolkit widgets in the process, and the meter's
// message boxes on standard error.
#include <core/wave_in_meter.h>

#include <win/mmsystem_testing.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(CoreHeadless, NoWidgetLibraryIsLoaded)
{
    std::ifstream maps("/proc/self/maps");
    std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    ASSERT_NE(text.find("libQt6Core"), std::string::npos);
    EXPECT_EQ(text.find("libQt6Widgets"), std::string::npos);
}

TEST(CoreHeadless, TheMeterReportsAMissingDeviceOnStandardError)
{
    std::vector<std::string> none;
    win::testing::SetWaveInDevices(&none);
    CWaveInMeter meter;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(meter.Start(0), 0u);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Kestrelin: No Sound Device\n");
    meter.Stop();
    win::testing::SetWaveInDevices(nullptr);
}

} // namespace
