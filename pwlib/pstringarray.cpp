// PStringArray and PStringList: element access, insertion, removal and search.
#include <pwlib/pstringarray.h>

namespace pwlib
{

StringSequence::StringSequence(PINDEX count, const char *const *strarr)
{
    if (strarr == nullptr || count <= 0)
        return;
    items_.reserve(static_cast<size_t>(count));
    for (PINDEX i = 0; i < count; ++i)
        items_.emplace_back(strarr[i]);
}

void StringSequence::SetSize(PINDEX size)
{
    items_.resize(size > 0 ? static_cast<size_t>(size) : 0);
}

const PString &StringSequence::operator[](PINDEX index) const
{
    if (!PAssert(index >= 0 && static_cast<size_t>(index) < items_.size(), "Index out of range"))
        return PString::Empty();
    return items_[static_cast<size_t>(index)];
}

PString &StringSequence::operator[](PINDEX index)
{
    if (!PAssert(index >= 0 && index < P_MAX_INDEX, "Index out of range")) {
        // Nothing sensible to hand out: a scratch string nobody else reads.
        thread_local PString scratch;
        scratch.MakeEmpty();
        return scratch;
    }
    if (static_cast<size_t>(index) >= items_.size())
        items_.resize(static_cast<size_t>(index) + 1);
    return items_[static_cast<size_t>(index)];
}

PINDEX StringSequence::AppendString(const PString &str)
{
    items_.push_back(str);
    return static_cast<PINDEX>(items_.size() - 1);
}

PINDEX StringSequence::InsertAt(PINDEX index, const PString &str)
{
    if (index < 0)
        index = 0;
    if (static_cast<size_t>(index) >= items_.size())
        return AppendString(str);
    items_.insert(items_.begin() + index, str);
    return index;
}

BOOL StringSequence::RemoveAt(PINDEX index)
{
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
        return FALSE;
    items_.erase(items_.begin() + index);
    return TRUE;
}

PINDEX StringSequence::GetStringsIndex(const PString &str) const
{
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].GetText() == str.GetText())
            return static_cast<PINDEX>(i);
    }
    return P_MAX_INDEX;
}

void StringSequence::PrintOn(std::ostream &strm) const
{
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i > 0)
            strm << '\n';
        strm << items_[i];
    }
}

PObject::Comparison StringSequence::CompareItems(const StringSequence &other) const
{
    size_t common = std::min(items_.size(), other.items_.size());
    for (size_t i = 0; i < common; ++i) {
        Comparison result = items_[i].Compare(other.items_[i]);
        if (result != EqualTo)
            return result;
    }
    if (items_.size() == other.items_.size())
        return EqualTo;
    return items_.size() < other.items_.size() ? LessThan : GreaterThan;
}

} // namespace pwlib

PStringArray::PStringArray(const PStringList &list)
{
    items_.assign(list.begin(), list.end());
}

PObject::Comparison PStringArray::Compare(const PObject &obj) const
{
    const PStringArray *other = dynamic_cast<const PStringArray *>(&obj);
    return other != nullptr ? CompareItems(*other) : PObject::Compare(obj);
}

PStringList::PStringList(const PStringArray &array)
{
    items_.assign(array.begin(), array.end());
}

PObject::Comparison PStringList::Compare(const PObject &obj) const
{
    const PStringList *other = dynamic_cast<const PStringList *>(&obj);
    return other != nullptr ? CompareItems(*other) : PObject::Compare(obj);
}
