// CTime over time_t and the C library's local time.
#include <win/ctime.h>

#include <atomic>

CTimeSpan::CTimeSpan(LONG days, int hours, int minutes, int seconds)
    : m_seconds(((static_cast<LONGLONG>(days) * 24 + hours) * 60 + minutes) * 60 + seconds)
{
}

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
{
    struct tm t = {};
    t.tm_year = nYear - 1900;
    t.tm_mon = nMonth - 1;
    t.tm_mday = nDay;
    t.tm_hour = nHour;
    t.tm_min = nMin;
    t.tm_sec = nSec;
    t.tm_isdst = -1;
    m_time = mktime(&t);
}

namespace {
std::atomic<time_t (*)()> g_clock{nullptr};
} // namespace

void win::testing::SetClock(time_t (*clock)()) { g_clock = clock; }

CTime CTime::GetCurrentTime()
{
    time_t (*clock)() = g_clock;
    return CTime(clock ? clock() : time(nullptr));
}

struct tm CTime::Local() const
{
    struct tm t = {};
    localtime_r(&m_time, &t);
    return t;
}

CString CTime::Format(LPCTSTR pszFormat) const
{
    struct tm t = Local();
    char buf[256];
    size_t n = strftime(buf, sizeof buf, pszFormat ? pszFormat : "", &t);
    return CString(buf, static_cast<int>(n));
}
