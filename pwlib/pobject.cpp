// PObject: class information of the root class, default clone, comparison and printing.
#include <pwlib/passert.h>
#include <pwlib/pobject.h>

#include <functional>
#include <ostream>

const char *PObject::GetClass(unsigned) const
{
    return Class();
}

BOOL PObject::IsClass(const char *clsName) const
{
    return clsName != nullptr && std::strcmp(clsName, Class()) == 0;
}

BOOL PObject::IsDescendant(const char *clsName) const
{
    return clsName != nullptr && std::strcmp(clsName, Class()) == 0;
}

PObject *PObject::Clone() const
{
    PAssertAlways("Clone not available for this class");
    return nullptr;
}

PObject::Comparison PObject::Compare(const PObject &obj) const
{
    if (this == &obj)
        return EqualTo;
    return std::less<const PObject *>()(this, &obj) ? LessThan : GreaterThan;
}

void PObject::PrintOn(std::ostream &strm) const
{
    strm << GetClass();
}

std::ostream &operator<<(std::ostream &strm, const PObject &obj)
{
    obj.PrintOn(strm);
    return strm;
}
