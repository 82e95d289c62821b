// PAssert: the assertion handler and its default report.
#include <pwlib/passert.h>
#include <pwlib/ptrace.h>

#include <mutex>

namespace pwlib
{
namespace
{

std::mutex &HandlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

AssertHandler &Handler()
{
    static AssertHandler handler;
    return handler;
}

} // namespace

AssertHandler SetAssertHandler(AssertHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerMutex());
    AssertHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

} // namespace pwlib

BOOL PAssertFunc(const char *file, int line, const char *className, const char *msg)
{
    pwlib::AssertHandler handler;
    {
        std::lock_guard<std::mutex> lock(pwlib::HandlerMutex());
        handler = pwlib::Handler();
    }
    const char *text = msg != nullptr ? msg : "";
    if (handler) {
        handler(file, line, text);
    } else {
        std::ostream &strm = PTrace::Begin(0, file, line);
        strm << "Assertion failed: " << text;
        if (className != nullptr)
            strm << " in " << className;
        PTrace::End(strm);
    }
    return FALSE;
}
