// CTime and CTimeSpan: calendar time in seconds, broken down in local time.
#pragma once

#include <win/cstring.h>
#include <win/windef.h>

#include <ctime>

class CTimeSpan
{
  public:
    CTimeSpan() = default;
    explicit CTimeSpan(LONGLONG seconds) : m_seconds(seconds) {}
    CTimeSpan(LONG days, int hours, int minutes, int seconds);

    LONGLONG GetTotalSeconds() const { return m_seconds; }
    LONGLONG GetTotalMinutes() const { return m_seconds / 60; }
    LONGLONG GetTotalHours() const { return m_seconds / 3600; }
    LONGLONG GetDays() const { return m_seconds / 86400; }
    /// The parts of the span below a day, an hour, a minute.
    LONG GetHours() const { return static_cast<LONG>(m_seconds / 3600 % 24); }
    LONG GetMinutes() const { return static_cast<LONG>(m_seconds / 60 % 60); }
    LONG GetSeconds() const { return static_cast<LONG>(m_seconds % 60); }

    auto operator<=>(const CTimeSpan &) const = default;

  private:
    LONGLONG m_seconds = 0;
};

class CTime
{
  public:
    CTime() = default;
    explicit CTime(time_t t) : m_time(t) {}
    /// Local time; month 1 to 12.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);

    static CTime GetCurrentTime();

    time_t GetTime() const { return m_time; }
    int GetYear() const { return Local().tm_year + 1900; }
    int GetMonth() const { return Local().tm_mon + 1; }
    int GetDay() const { return Local().tm_mday; }
    int GetHour() const { return Local().tm_hour; }
    int GetMinute() const { return Local().tm_min; }
    int GetSecond() const { return Local().tm_sec; }
    /// 1 (Sunday) to 7.
    int GetDayOfWeek() const { return Local().tm_wday + 1; }

    /// strftime-style text of the local time.
    CString Format(LPCTSTR pszFormat) const;

    CTimeSpan operator-(const CTime &other) const { return CTimeSpan(m_time - other.m_time); }
    CTime operator+(const CTimeSpan &span) const { return CTime(m_time + span.GetTotalSeconds()); }
    CTime operator-(const CTimeSpan &span) const { return CTime(m_time - span.GetTotalSeconds()); }
    auto operator<=>(const CTime &) const = default;

  private:
    struct tm Local() const;

    time_t m_time = 0;
};

namespace win::testing
{

/// Replaces the clock of CTime::GetCurrentTime (null: the system's clock again).
void SetClock(time_t (*clock)());

} // namespace win::testing
