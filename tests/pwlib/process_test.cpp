// PProcess: the one process object, its class chain, names and version.
#include <pwlib/passert.h>
#include <pwlib/pprocess.h>

#include <gtest/gtest.h>

#include <thread>

namespace
{

class PWLibProcess : public PProcess
{
    PCLASSINFO(PWLibProcess, PProcess)
  public:
    PWLibProcess() : PProcess("Kestrel Works", "SoftPhone", 1, 0, ReleaseCode, 1) {}
    void Main() override {}
};

// As the program does: a global object, built before main() runs.
PWLibProcess theProcess;

TEST(Process, IsTheOneCurrentProcessAndStandsForItsThread)
{
    EXPECT_EQ(&PProcess::Current(), &theProcess);
    PThread *seenElsewhere = nullptr;
    std::thread([&] { seenElsewhere = PThread::Current(); }).join();
    EXPECT_NE(seenElsewhere, &theProcess);
}

TEST(Process, ClassChainHoldsTheRealBases)
{
    const PObject &obj = theProcess;
    EXPECT_STREQ(obj.GetClass(), "PWLibProcess");
    for (const char *name : {"PWLibProcess", "PProcess", "PThread", "PObject"})
        EXPECT_TRUE(obj.IsDescendant(name)) << name;
    EXPECT_TRUE(obj.IsClass("PWLibProcess"));
    EXPECT_FALSE(obj.IsClass("PProcess"));
    EXPECT_FALSE(obj.IsDescendant("PSync"));
    EXPECT_STREQ(obj.GetClass(1), "PProcess");
    EXPECT_STREQ(obj.GetClass(2), "PThread");
}

TEST(Process, NamesAndVersion)
{
    EXPECT_EQ(theProcess.GetManufacturer(), "Kestrel Works");
    EXPECT_EQ(theProcess.GetName(), "SoftPhone");
    EXPECT_EQ(theProcess.GetVersion(TRUE), "1.0.1");
    EXPECT_EQ(theProcess.GetVersion(FALSE), "1.0");
    EXPECT_FALSE(theProcess.GetUserName().IsEmpty());

    struct Case {
        PProcess::CodeStatus status;
        const char *full;
    };
    const Case cases[] = {{PProcess::AlphaCode, "2.3alpha7"},
                          {PProcess::BetaCode, "2.3beta7"},
                          {PProcess::ReleaseCode, "2.3.7"}};
    auto previous = pwlib::SetAssertHandler([](const char *, int, const char *) {});
    for (const Case &c : cases) {
        class Versioned : public PProcess
        {
          public:
            explicit Versioned(CodeStatus s) : PProcess("m", "p", 2, 3, s, 7) {}
            void Main() override {}
        } process(c.status);
        EXPECT_EQ(process.GetVersion(), c.full);
    }
    pwlib::SetAssertHandler(previous);
}

TEST(Process, ASecondProcessIsReportedAndNotCurrent)
{
    int reports = 0;
    auto previous = pwlib::SetAssertHandler([&](const char *, int, const char *) { ++reports; });
    {
        class Second : public PProcess
        {
          public:
            void Main() override {}
        } second;
        EXPECT_EQ(&PProcess::Current(), &theProcess);
    }
    pwlib::SetAssertHandler(previous);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(&PProcess::Current(), &theProcess);
}

TEST(Process, ProcessObjectIsNeverRunAndNeverWaitedFor)
{
    EXPECT_FALSE(theProcess.IsTerminated());
    EXPECT_TRUE(theProcess.WaitForTermination(0));
    theProcess.Resume(); // nothing starts
    EXPECT_FALSE(theProcess.IsTerminated());
}

} // namespace
