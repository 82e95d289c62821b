// The layer without its widget part: no toolkit widgets in the process, message boxes on
// standard error, answered as dismissed boxes are.
#include <win/msgbox.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(Headless, NoWidgetLibraryIsLoaded)
{
    std::ifstream maps("/proc/self/maps");
    std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    ASSERT_NE(text.find("libQt6Core"), std::string::npos);
    EXPECT_EQ(text.find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(text.find("libQt6Gui"), std::string::npos);
}

TEST(Headless, MessageBoxesGoToStandardErrorWithTheDismissedAnswer)
{
    struct Case {
        UINT type;
        int answer;
    } cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONEXCLAMATION, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_YESNO, IDNO},
        {MB_YESNOCANCEL | MB_ICONQUESTION, IDCANCEL},
    };
    for (const Case &c : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA(nullptr, "Text \xB2\xE2", "Caption", c.type), c.answer) << c.type;
        // The ANSI text is written as UTF-8.
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Caption: Text \xE6\xB5\x8B\n");
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: \n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("Already exists"), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Kestrelin: Already exists\n");
}

} // namespace
