// PBaseArray, PBYTEArray and PWORDArray: contiguous arrays of plain values with a size.
#pragma once

#include <pwlib/passert.h>
#include <pwlib/pobject.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

/// A contiguous, growable array of trivially copyable values; new elements are zero.
template <typename T> class PBaseArray : public PObject
{
    static_assert(std::is_trivially_copyable_v<T>, "PBaseArray holds plain values only");
    PCLASSINFO(PBaseArray, PObject)
  public:
    explicit PBaseArray(PINDEX initialSize = 0) : items_(Clamp(initialSize)) {}
    PBaseArray(const T *buffer, PINDEX count)
    {
        if (buffer != nullptr && count > 0)
            items_.assign(buffer, buffer + count);
    }

    PINDEX GetSize() const { return static_cast<PINDEX>(items_.size()); }
    BOOL IsEmpty() const { return items_.empty(); }
    /// Grows (with zeros) or shrinks to size elements; always TRUE.
    BOOL SetSize(PINDEX size)
    {
        items_.resize(Clamp(size));
        return TRUE;
    }
    /// Grows to at least size elements.
    BOOL SetMinSize(PINDEX size)
    {
        if (Clamp(size) > items_.size())
            items_.resize(Clamp(size));
        return TRUE;
    }

    /// Writable storage of at least minSize elements (grows when shorter).
    T *GetPointer(PINDEX minSize = 1)
    {
        SetMinSize(minSize);
        return items_.data();
    }
    const T *GetPointer() const { return items_.data(); }
    operator const T *() const { return items_.data(); }

    /// The element at index, or 0 when out of range.
    T GetAt(PINDEX index) const
    {
        return index >= 0 && static_cast<size_t>(index) < items_.size() ? items_[index] : T();
    }
    /// Sets the element at index, growing the array when needed; FALSE for a negative index.
    BOOL SetAt(PINDEX index, T value)
    {
        if (!PAssert(index >= 0, "Index out of range"))
            return FALSE;
        SetMinSize(index + 1);
        items_[static_cast<size_t>(index)] = value;
        return TRUE;
    }
    T operator[](PINDEX index) const { return GetAt(index); }
    /// The element at index, growing the array when index is past the end.
    T &operator[](PINDEX index)
    {
        if (!PAssert(index >= 0, "Index out of range"))
            index = 0;
        SetMinSize(index + 1);
        return items_[static_cast<size_t>(index)];
    }

    /// Appends the elements of other.
    void Concatenate(const PBaseArray &other)
    {
        items_.insert(items_.end(), other.items_.begin(), other.items_.end());
    }

    Comparison Compare(const PObject &obj) const override
    {
        const PBaseArray *other = dynamic_cast<const PBaseArray *>(&obj);
        if (other == nullptr)
            return PObject::Compare(obj);
        size_t common = std::min(items_.size(), other->items_.size());
        int result =
            common == 0 ? 0 : std::memcmp(items_.data(), other->items_.data(), common * sizeof(T));
        if (result != 0)
            return result < 0 ? LessThan : GreaterThan;
        if (items_.size() == other->items_.size())
            return EqualTo;
        return items_.size() < other->items_.size() ? LessThan : GreaterThan;
    }
    bool operator==(const PBaseArray &other) const { return items_ == other.items_; }
    bool operator!=(const PBaseArray &other) const { return items_ != other.items_; }

  private:
    static size_t Clamp(PINDEX size) { return size > 0 ? static_cast<size_t>(size) : 0; }

    std::vector<T> items_;
};

/// Contiguous bytes with a size (encoded PDUs, frames).
class PBYTEArray : public PBaseArray<BYTE>
{
    using Base = PBaseArray<BYTE>;
    PCLASSINFO(PBYTEArray, Base)
  public:
    using Base::Base;
    PObject *Clone() const override { return new PBYTEArray(*this); }
};

/// Contiguous 16-bit words with a size (BMP strings, PCM samples).
class PWORDArray : public PBaseArray<WORD>
{
    using Base = PBaseArray<WORD>;
    PCLASSINFO(PWORDArray, Base)
  public:
    using Base::Base;
    PObject *Clone() const override { return new PWORDArray(*this); }
};
