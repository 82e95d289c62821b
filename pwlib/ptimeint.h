// PTimeInterval: a signed span of time in milliseconds.
#pragma once

#include <pwlib/pobject.h>

/// A span of time with millisecond resolution; converts implicitly from a count of
/// milliseconds, so a time-out can be written as 5000.
class PTimeInterval : public PObject
{
    PCLASSINFO(PTimeInterval, PObject)
  public:
    constexpr PTimeInterval(PInt64 millisecs = 0, long seconds = 0, long minutes = 0,
                            long hours = 0, int days = 0)
        : ms_(Total(millisecs, seconds, minutes, hours, days))
    {
    }

    PObject *Clone() const override { return new PTimeInterval(*this); }
    Comparison Compare(const PObject &obj) const override;
    /// Writes seconds with three decimals, for example "1.500".
    void PrintOn(std::ostream &strm) const override;

    PInt64 GetMilliSeconds() const { return ms_; }
    long GetSeconds() const { return static_cast<long>(ms_ / 1000); }
    long GetMinutes() const { return static_cast<long>(ms_ / 60000); }
    /// The interval in milliseconds clamped to 0 .. 0xffffffff.
    DWORD GetInterval() const;
    void SetInterval(PInt64 millisecs = 0, long seconds = 0, long minutes = 0, long hours = 0,
                     int days = 0)
    {
        ms_ = Total(millisecs, seconds, minutes, hours, days);
    }

    PTimeInterval operator-() const { return PTimeInterval(-ms_); }
    friend PTimeInterval operator+(const PTimeInterval &a, const PTimeInterval &b)
    {
        return PTimeInterval(a.ms_ + b.ms_);
    }
    friend PTimeInterval operator-(const PTimeInterval &a, const PTimeInterval &b)
    {
        return PTimeInterval(a.ms_ - b.ms_);
    }
    PTimeInterval operator*(int factor) const { return PTimeInterval(ms_ * factor); }
    /// Division by zero reports an assertion and leaves the interval unchanged.
    PTimeInterval operator/(int divisor) const;
    PTimeInterval &operator+=(const PTimeInterval &other)
    {
        ms_ += other.ms_;
        return *this;
    }
    PTimeInterval &operator-=(const PTimeInterval &other)
    {
        ms_ -= other.ms_;
        return *this;
    }
    PTimeInterval &operator*=(int factor)
    {
        ms_ *= factor;
        return *this;
    }
    PTimeInterval &operator/=(int divisor)
    {
        *this = *this / divisor;
        return *this;
    }

    friend bool operator==(const PTimeInterval &a, const PTimeInterval &b)
    {
        return a.ms_ == b.ms_;
    }
    friend bool operator!=(const PTimeInterval &a, const PTimeInterval &b)
    {
        return a.ms_ != b.ms_;
    }
    friend bool operator<(const PTimeInterval &a, const PTimeInterval &b) { return a.ms_ < b.ms_; }
    friend bool operator>(const PTimeInterval &a, const PTimeInterval &b) { return a.ms_ > b.ms_; }
    friend bool operator<=(const PTimeInterval &a, const PTimeInterval &b)
    {
        return a.ms_ <= b.ms_;
    }
    friend bool operator>=(const PTimeInterval &a, const PTimeInterval &b)
    {
        return a.ms_ >= b.ms_;
    }

  private:
    static constexpr PInt64 Total(PInt64 ms, long s, long m, long h, int d)
    {
        return ms + 1000 * (s + 60 * (m + 60 * (h + 24 * static_cast<PInt64>(d))));
    }

    PInt64 ms_;
};

/// The longest wait: waiting this long (or longer) means waiting without a time-out.
inline const PTimeInterval PMaxTimeInterval(0x7fffffff);
