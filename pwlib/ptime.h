// PTime: a point in wall-clock time with microsecond resolution.
#pragma once

#include <pwlib/pstring.h>
#include <pwlib/ptimeint.h>

#include <ctime>

/// A wall-clock time (UTC inside, local time when printed).
class PTime : public PObject
{
    PCLASSINFO(PTime, PObject)
  public:
    /// The current time.
    PTime();
    explicit PTime(time_t seconds, long microseconds = 0);

    PObject *Clone() const override { return new PTime(*this); }
    Comparison Compare(const PObject &obj) const override;
    void PrintOn(std::ostream &strm) const override;

    time_t GetTimeInSeconds() const;
    long GetMicrosecond() const;
    /// Local time as "YYYY-MM-DD hh:mm:ss.mmm".
    PString AsString() const;

    friend PTimeInterval operator-(const PTime &a, const PTime &b);
    PTime operator+(const PTimeInterval &interval) const;
    PTime operator-(const PTimeInterval &interval) const;
    PTime &operator+=(const PTimeInterval &interval);
    PTime &operator-=(const PTimeInterval &interval);

    friend bool operator==(const PTime &a, const PTime &b) { return a.us_ == b.us_; }
    friend bool operator!=(const PTime &a, const PTime &b) { return a.us_ != b.us_; }
    friend bool operator<(const PTime &a, const PTime &b) { return a.us_ < b.us_; }
    friend bool operator>(const PTime &a, const PTime &b) { return a.us_ > b.us_; }
    friend bool operator<=(const PTime &a, const PTime &b) { return a.us_ <= b.us_; }
    friend bool operator>=(const PTime &a, const PTime &b) { return a.us_ >= b.us_; }

  private:
    PInt64 us_; // microseconds since 1970-01-01 UTC
};
