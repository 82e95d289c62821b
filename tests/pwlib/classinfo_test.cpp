// Class information: names, IsClass and IsDescendant along the real base chain, Clone.
#include <pwlib/parray.h>
#include <pwlib/pstring.h>

#include <gtest/gtest.h>

#include <memory>

namespace
{

class Animal : public PObject
{
    PCLASSINFO(Animal, PObject)
};

class Bird : public Animal
{
    PCLASSINFO(Bird, Animal)
};

class Robin : public Bird
{
    PCLASSINFO(Robin, Bird)
  public:
    PObject *Clone() const override { return new Robin(*this); }
};

TEST(ClassInfo, GetClassNamesTheClassAndEachAncestor)
{
    Robin robin;
    const PObject &asObject = robin;
    EXPECT_STREQ(asObject.GetClass(), "Robin");
    EXPECT_STREQ(asObject.GetClass(1), "Bird");
    EXPECT_STREQ(asObject.GetClass(2), "Animal");
    EXPECT_STREQ(asObject.GetClass(3), "PObject");
    EXPECT_STREQ(asObject.GetClass(9), "PObject");
    EXPECT_STREQ(Robin::Class(), "Robin");
}

TEST(ClassInfo, IsDescendantWalksTheRealBasesOnly)
{
    struct Case {
        const char *name;
        bool isClass;
        bool isDescendant;
    };
    const Case cases[] = {
        {"Robin", true, true},    {"Bird", false, true},     {"Animal", false, true},
        {"PObject", false, true}, {"PString", false, false}, {"robin", false, false},
        {"", false, false},
    };
    Robin robin;
    const PObject &obj = robin;
    for (const Case &c : cases) {
        EXPECT_EQ(bool(obj.IsClass(c.name)), c.isClass) << c.name;
        EXPECT_EQ(bool(obj.IsDescendant(c.name)), c.isDescendant) << c.name;
    }
    EXPECT_FALSE(obj.IsClass(nullptr));
    EXPECT_FALSE(obj.IsDescendant(nullptr));
}

TEST(ClassInfo, LibraryClassesCarryTheirChains)
{
    PCaselessString caseless("x");
    EXPECT_STREQ(caseless.GetClass(), "PCaselessString");
    EXPECT_TRUE(caseless.IsDescendant("PString"));
    EXPECT_TRUE(caseless.IsDescendant("PObject"));

    PBYTEArray bytes;
    EXPECT_STREQ(bytes.GetClass(), "PBYTEArray");
    EXPECT_STREQ(bytes.GetClass(1), "PBaseArray");
    EXPECT_TRUE(bytes.IsDescendant("PBaseArray"));
    EXPECT_FALSE(bytes.IsDescendant("PWORDArray"));

    PStringArray array;
    EXPECT_TRUE(array.IsDescendant("PObject"));
    EXPECT_FALSE(array.IsDescendant("PStringList"));
}

TEST(ClassInfo, CloneCopiesTheDynamicType)
{
    Robin robin;
    std::unique_ptr<PObject> copy(static_cast<const PObject &>(robin).Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetClass(), "Robin");

    PCaselessString text("Mixed");
    std::unique_ptr<PObject> textCopy(static_cast<const PObject &>(text).Clone());
    ASSERT_NE(textCopy, nullptr);
    EXPECT_TRUE(textCopy->IsClass("PCaselessString"));
    EXPECT_TRUE(static_cast<PString &>(*textCopy) == "mixed");
}

} // namespace
