// Assertions report their text and let the call fail; the trace sink writes enabled levels.
#include <pwlib/passert.h>
#include <pwlib/pstring.h>
#include <pwlib/ptrace.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace
{

class CapturedAsserts
{
  public:
    CapturedAsserts()
    {
        previous_ = pwlib::SetAssertHandler(
            [this](const char *, int, const char *msg) { messages.emplace_back(msg); });
    }
    ~CapturedAsserts() { pwlib::SetAssertHandler(std::move(previous_)); }
    std::vector<std::string> messages;

  private:
    pwlib::AssertHandler previous_;
};

BOOL ConvertPartialFrame(bool partial)
{
    if (!PAssert(!partial, "Converted output of partial RGB frame not supported"))
        return FALSE;
    return TRUE;
}

TEST(Assertion, ReportsTheTextAndTheCallFails)
{
    CapturedAsserts captured;
    EXPECT_TRUE(ConvertPartialFrame(false));
    EXPECT_TRUE(captured.messages.empty());
    EXPECT_FALSE(ConvertPartialFrame(true));
    ASSERT_EQ(captured.messages.size(), 1u);
    EXPECT_EQ(captured.messages[0], "Converted output of partial RGB frame not supported");
    EXPECT_FALSE(PAssertAlways("always"));
    EXPECT_EQ(captured.messages.back(), "always");
}

TEST(Assertion, RootCloneReportsAndGivesNull)
{
    CapturedAsserts captured;
    PObject object;
    EXPECT_EQ(object.Clone(), nullptr);
    EXPECT_EQ(captured.messages.size(), 1u);
}

TEST(Assertion, DefaultHandlerWritesToTheTraceSink)
{
    std::ostringstream sink;
    PTrace::SetStream(&sink);
    PAssertAlways("visible without tracing");
    PTrace::SetStream(nullptr);
    EXPECT_NE(sink.str().find("Assertion failed: visible without tracing"), std::string::npos);
}

TEST(Trace, WritesOnlyEnabledLevelsAndSkipsDisabledArguments)
{
    std::ostringstream sink;
    PTrace::SetStream(&sink);
    unsigned oldLevel = PTrace::GetLevel();
    PTrace::SetLevel(3);
    int evaluated = 0;
    PTRACE(3, "shown " << PString("text") << ' ' << ++evaluated);
    PTRACE(4, "hidden " << ++evaluated);
    PTrace::SetLevel(oldLevel);
    PTrace::SetStream(nullptr);
    EXPECT_EQ(evaluated, 1);
    std::string out = sink.str();
    EXPECT_NE(out.find("shown text 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("assert_trace_test.cpp("), std::string::npos) << out;
    EXPECT_EQ(out.find("hidden"), std::string::npos) << out;
}

} // namespace
