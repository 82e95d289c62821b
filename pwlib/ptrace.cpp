// PTrace: level, sink and line formatting of diagnostic entries.
#include <pwlib/ptrace.h>

#include <pwlib/internal/threadname.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <sstream>

namespace
{

struct TraceState {
    std::atomic<unsigned> level;
    std::mutex mutex;
    std::ostream *stream = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    TraceState() : level(ReadLevel()) {}

    static unsigned ReadLevel()
    {
        const char *env = std::getenv("KESTRELIN_TRACE");
        if (env == nullptr || *env == '\0')
            return 0;
        long value = std::strtol(env, nullptr, 10);
        return value > 0 ? static_cast<unsigned>(value) : 0;
    }
};

TraceState &State()
{
    static TraceState state;
    return state;
}

std::ostringstream &Buffer()
{
    thread_local std::ostringstream buffer;
    return buffer;
}

const char *BaseName(const char *file)
{
    if (file == nullptr)
        return "";
    const char *slash = std::strrchr(file, '/');
    return slash != nullptr ? slash + 1 : file;
}

} // namespace

void PTrace::SetLevel(unsigned level)
{
    State().level.store(level, std::memory_order_relaxed);
}

unsigned PTrace::GetLevel()
{
    return State().level.load(std::memory_order_relaxed);
}

bool PTrace::CanTrace(unsigned level)
{
    return level <= State().level.load(std::memory_order_relaxed);
}

void PTrace::SetStream(std::ostream *strm)
{
    TraceState &state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.stream = strm;
}

std::ostream &PTrace::Begin(unsigned level, const char *file, int line)
{
    std::ostringstream &buffer = Buffer();
    buffer.str(std::string());
    buffer.clear();
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - State().start);
    buffer << std::setw(4) << elapsed.count() / 1000 << '.' << std::setw(3) << std::setfill('0')
           << elapsed.count() % 1000 << std::setfill(' ') << ' ' << pwlib::CurrentThreadName()
           << '\t' << BaseName(file) << '(' << line << ")\t" << level << '\t';
    return buffer;
}

std::ostream &PTrace::End(std::ostream &strm)
{
    std::ostringstream &buffer = Buffer();
    if (&strm != &buffer)
        return strm;
    buffer << '\n';
    TraceState &state = State();
    std::string text = buffer.str();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.stream != nullptr) {
        *state.stream << text << std::flush;
    } else {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
    return strm;
}
