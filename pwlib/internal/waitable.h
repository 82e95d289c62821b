// The lock and condition every blocking object of the library waits on.
#pragma once

#include <condition_variable>
#include <mutex>

namespace pwlib
{

/// A mutex with its condition. Waits on it go through WaitScope so that a thread with a
/// wait pump keeps serving it (see pwlib/waitpump.h).
struct Waitable {
    std::mutex mutex;
    std::condition_variable cond;
};

} // namespace pwlib
