// PObject: root of the portable library's classes, with run-time class information.
#pragma once

#include <pwlib/ptypes.h>

#include <cstring>
#include <iosfwd>

/// Gives a class its name and its parent for GetClass(), IsClass() and IsDescendant().
/// Place it first in the class body; it leaves the access at public.
#define PCLASSINFO(cls, par)                                                                       \
  public:                                                                                          \
    static const char *Class()                                                                     \
    {                                                                                              \
        return #cls;                                                                               \
    }                                                                                              \
    const char *GetClass(unsigned ancestor = 0) const override                                     \
    {                                                                                              \
        return ancestor > 0 ? par::GetClass(ancestor - 1) : cls::Class();                          \
    }                                                                                              \
    BOOL IsClass(const char *clsName) const override                                               \
    {                                                                                              \
        return clsName != nullptr && std::strcmp(clsName, cls::Class()) == 0;                      \
    }                                                                                              \
    BOOL IsDescendant(const char *clsName) const override                                          \
    {                                                                                              \
        return (clsName != nullptr && std::strcmp(clsName, cls::Class()) == 0) ||                  \
               par::IsDescendant(clsName);                                                         \
    }                                                                                              \
                                                                                                   \
  public:

/// The root class: class information, cloning, comparison and printing.
class PObject
{
  public:
    enum Comparison { LessThan = -1, EqualTo = 0, GreaterThan = 1 };

    constexpr PObject() = default;
    virtual ~PObject() = default;

    /// Name of this class, or of the ancestor that many levels up (PObject at the top).
    virtual const char *GetClass(unsigned ancestor = 0) const;
    static const char *Class() { return "PObject"; }
    /// TRUE when clsName is exactly this object's class.
    virtual BOOL IsClass(const char *clsName) const;
    /// TRUE when clsName is this object's class or any of its bases up to PObject.
    virtual BOOL IsDescendant(const char *clsName) const;

    /// A new copy of this object; classes that can be copied override it.
    /// The root reports an assertion and returns nullptr.
    virtual PObject *Clone() const;

    /// Orders two objects; the root compares addresses.
    virtual Comparison Compare(const PObject &obj) const;

    /// Writes a readable form of the object; the root writes the class name.
    virtual void PrintOn(std::ostream &strm) const;

    bool operator==(const PObject &obj) const { return Compare(obj) == EqualTo; }
    bool operator!=(const PObject &obj) const { return Compare(obj) != EqualTo; }
    bool operator<(const PObject &obj) const { return Compare(obj) == LessThan; }
    bool operator>(const PObject &obj) const { return Compare(obj) == GreaterThan; }
    bool operator<=(const PObject &obj) const { return Compare(obj) != GreaterThan; }
    bool operator>=(const PObject &obj) const { return Compare(obj) != LessThan; }
};

std::ostream &operator<<(std::ostream &strm, const PObject &obj);
