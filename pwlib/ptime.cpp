// PTime: reading the clock, arithmetic and the printed form.
#include <pwlib/ptime.h>

#include <chrono>
#include <cstdio>
#include <ostream>

PTime::PTime()
    : us_(std::chrono::duration_cast<std::chrono::microseconds>(
              std::chrono::system_clock::now().time_since_epoch())
              .count())
{
}

PTime::PTime(time_t seconds, long microseconds)
    : us_(static_cast<PInt64>(seconds) * 1000000 + microseconds)
{
}

PObject::Comparison PTime::Compare(const PObject &obj) const
{
    const PTime *other = dynamic_cast<const PTime *>(&obj);
    if (other == nullptr)
        return PObject::Compare(obj);
    return us_ < other->us_ ? LessThan : (us_ > other->us_ ? GreaterThan : EqualTo);
}

void PTime::PrintOn(std::ostream &strm) const
{
    strm << AsString();
}

time_t PTime::GetTimeInSeconds() const
{
    PInt64 seconds = us_ / 1000000;
    if (us_ < 0 && us_ % 1000000 != 0)
        --seconds;
    return static_cast<time_t>(seconds);
}

long PTime::GetMicrosecond() const
{
    PInt64 rest = us_ % 1000000;
    return static_cast<long>(rest < 0 ? rest + 1000000 : rest);
}

PString PTime::AsString() const
{
    time_t seconds = GetTimeInSeconds();
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr)
        return PString();
    return psprintf("%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                    GetMicrosecond() / 1000);
}

PTimeInterval operator-(const PTime &a, const PTime &b)
{
    return PTimeInterval((a.us_ - b.us_) / 1000);
}

PTime PTime::operator+(const PTimeInterval &interval) const
{
    PTime result(*this);
    result += interval;
    return result;
}

PTime PTime::operator-(const PTimeInterval &interval) const
{
    PTime result(*this);
    result -= interval;
    return result;
}

PTime &PTime::operator+=(const PTimeInterval &interval)
{
    us_ += interval.GetMilliSeconds() * 1000;
    return *this;
}

PTime &PTime::operator-=(const PTimeInterval &interval)
{
    us_ -= interval.GetMilliSeconds() * 1000;
    return *this;
}
