// PStringArray, PStringList and the plain-value arrays.
#include <pwlib/parray.h>
#include <pwlib/pstring.h>

#include <gtest/gtest.h>

#include <cstring>

namespace
{

TEST(StringContainers, KeepOrderAndFindByExactBytes)
{
    PStringArray devices;
    EXPECT_EQ(devices.AppendString("default"), 0);
    EXPECT_EQ(devices.AppendString("USB Audio"), 1);
    devices += "usb audio";
    ASSERT_EQ(devices.GetSize(), 3);
    EXPECT_EQ(devices[1], "USB Audio");
    EXPECT_EQ(devices.GetStringsIndex("usb audio"), 2);
    EXPECT_EQ(devices.GetStringsIndex(PCaselessString("USB AUDIO")), P_MAX_INDEX);
    EXPECT_EQ(devices.GetStringsIndex("USB"), P_MAX_INDEX);

    PStringList list(devices);
    EXPECT_EQ(list.InsertAt(0, "first"), 0);
    EXPECT_EQ(list.InsertAt(99, "last"), 4);
    EXPECT_TRUE(list.RemoveAt(1));
    EXPECT_FALSE(list.RemoveAt(10));
    ASSERT_EQ(list.GetSize(), 4);
    EXPECT_EQ(list[0], "first");
    EXPECT_EQ(list[1], "USB Audio");
    EXPECT_EQ(list[3], "last");
}

TEST(StringContainers, IndexingPastTheEndGrowsOnlyWhenWritable)
{
    PStringArray array;
    array[2] = "c";
    ASSERT_EQ(array.GetSize(), 3);
    EXPECT_TRUE(array[0].IsEmpty());

    const PStringArray &constArray = array;
    EXPECT_TRUE(constArray[7].IsEmpty());
    EXPECT_EQ(array.GetSize(), 3);

    array.SetSize(1);
    EXPECT_EQ(array.GetSize(), 1);
    array.RemoveAll();
    EXPECT_TRUE(array.IsEmpty());
}

TEST(StringContainers, BuildFromCArraysAndCompare)
{
    const char *names[] = {"a", "b"};
    PStringArray fromC(2, names);
    PStringArray listed{"a", "b"};
    EXPECT_EQ(fromC.Compare(listed), PObject::EqualTo);
    listed[1] = "c";
    EXPECT_EQ(fromC.Compare(listed), PObject::LessThan);
    EXPECT_TRUE(PStringArray(0, nullptr).IsEmpty());
}

TEST(ByteArrays, GetPointerGrowsAndKeepsContents)
{
    PBYTEArray bytes;
    EXPECT_EQ(bytes.GetSize(), 0);
    BYTE *p = bytes.GetPointer(4);
    std::memcpy(p, "\x03\x00\x00\x18", 4);
    EXPECT_EQ(bytes.GetSize(), 4);
    bytes.SetSize(6);
    EXPECT_EQ(bytes[3], 0x18);
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(bytes.GetAt(100), 0) << "reading past the end gives 0";
    EXPECT_EQ(bytes.GetSize(), 6);
    bytes[7] = 0xff;
    EXPECT_EQ(bytes.GetSize(), 8);
    bytes.SetSize(2);
    EXPECT_EQ(bytes.GetSize(), 2);
    EXPECT_EQ(bytes[0], 0x03);
}

TEST(ByteArrays, CompareConcatenateAndWords)
{
    const BYTE abc[] = {1, 2, 3};
    PBYTEArray a(abc, 3), b(abc, 2);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(b.Compare(a), PObject::LessThan);
    b.Concatenate(PBYTEArray(abc + 2, 1));
    EXPECT_TRUE(a == b);

    PWORDArray words(2);
    words[0] = 0x4e2d;
    words.SetAt(3, 0x6587);
    EXPECT_EQ(words.GetSize(), 4);
    EXPECT_EQ(words[0], 0x4e2d);
    EXPECT_EQ(words[3], 0x6587);
    EXPECT_EQ(words[1], 0);
}

} // namespace
