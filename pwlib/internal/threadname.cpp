// Name of the calling thread as the trace sink shows it.
#include <pwlib/internal/threadname.h>

namespace pwlib
{
namespace
{
thread_local std::string threadName;
}

const char *CurrentThreadName()
{
    return threadName.c_str();
}

void SetCurrentThreadName(const std::string &name)
{
    threadName = name;
}

} // namespace pwlib
