// PTimeInterval: comparison, printing and the checked operations.
#include <pwlib/passert.h>
#include <pwlib/ptimeint.h>

#include <cstdint>
#include <iomanip>
#include <ostream>

PObject::Comparison PTimeInterval::Compare(const PObject &obj) const
{
    const PTimeInterval *other = dynamic_cast<const PTimeInterval *>(&obj);
    if (other == nullptr)
        return PObject::Compare(obj);
    return ms_ < other->ms_ ? LessThan : (ms_ > other->ms_ ? GreaterThan : EqualTo);
}

void PTimeInterval::PrintOn(std::ostream &strm) const
{
    PInt64 ms = ms_;
    if (ms < 0) {
        strm << '-';
        ms = -ms;
    }
    char fill = strm.fill('0');
    strm << ms / 1000 << '.' << std::setw(3) << ms % 1000;
    strm.fill(fill);
}

DWORD PTimeInterval::GetInterval() const
{
    if (ms_ <= 0)
        return 0;
    return ms_ >= static_cast<PInt64>(UINT32_MAX) ? UINT32_MAX : static_cast<DWORD>(ms_);
}

PTimeInterval PTimeInterval::operator/(int divisor) const
{
    if (!PAssert(divisor != 0, "Time interval divided by zero"))
        return *this;
    return PTimeInterval(ms_ / divisor);
}
