// PStringArray and PStringList: ordered, indexable sequences of PString.
#pragma once

#include <pwlib/passert.h>
#include <pwlib/pstring.h>

#include <initializer_list>
#include <ostream>
#include <vector>

namespace pwlib
{

/// The sequence both string containers share; callers use PStringArray or PStringList.
class StringSequence : public PObject
{
  public:
    StringSequence() = default;
    StringSequence(PINDEX count, const char *const *strarr);
    StringSequence(std::initializer_list<PString> strings) : items_(strings) {}

    PINDEX GetSize() const { return static_cast<PINDEX>(items_.size()); }
    BOOL IsEmpty() const { return items_.empty(); }
    /// Grows with empty strings or drops strings from the end.
    void SetSize(PINDEX size);
    void RemoveAll() { items_.clear(); }

    /// The string at index; out of range reports an assertion and gives the empty string.
    const PString &operator[](PINDEX index) const;
    /// The string at index, growing the sequence when index is past the end.
    PString &operator[](PINDEX index);

    /// Adds str at the end; returns its index.
    PINDEX AppendString(const PString &str);
    /// Inserts str before index (at the end when index is past it); returns its index.
    PINDEX InsertAt(PINDEX index, const PString &str);
    /// Removes the string at index; FALSE when out of range.
    BOOL RemoveAt(PINDEX index);
    /// Index of the first string equal byte for byte to str, or P_MAX_INDEX.
    PINDEX GetStringsIndex(const PString &str) const;

    std::vector<PString>::const_iterator begin() const { return items_.begin(); }
    std::vector<PString>::const_iterator end() const { return items_.end(); }
    std::vector<PString>::iterator begin() { return items_.begin(); }
    std::vector<PString>::iterator end() { return items_.end(); }

    void PrintOn(std::ostream &strm) const override;

  protected:
    Comparison CompareItems(const StringSequence &other) const;

    std::vector<PString> items_;
};

} // namespace pwlib

class PStringList;

/// An indexable array of strings.
class PStringArray : public pwlib::StringSequence
{
    PCLASSINFO(PStringArray, pwlib::StringSequence)
  public:
    PStringArray() = default;
    PStringArray(PINDEX count, const char *const *strarr) : StringSequence(count, strarr) {}
    PStringArray(std::initializer_list<PString> strings) : StringSequence(strings) {}
    PStringArray(const PStringList &list);

    PStringArray &operator+=(const PString &str)
    {
        AppendString(str);
        return *this;
    }

    PObject *Clone() const override { return new PStringArray(*this); }
    Comparison Compare(const PObject &obj) const override;
};

/// An ordered list of strings, also indexable.
class PStringList : public pwlib::StringSequence
{
    PCLASSINFO(PStringList, pwlib::StringSequence)
  public:
    PStringList() = default;
    PStringList(PINDEX count, const char *const *strarr) : StringSequence(count, strarr) {}
    PStringList(std::initializer_list<PString> strings) : StringSequence(strings) {}
    PStringList(const PStringArray &array);

    PStringList &operator+=(const PString &str)
    {
        AppendString(str);
        return *this;
    }

    PObject *Clone() const override { return new PStringList(*this); }
    Comparison Compare(const PObject &obj) const override;
};
