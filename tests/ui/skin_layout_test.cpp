// The skin layout table read from "FACE" resources of the program's pack and of test packs.
#include <ui/skin_layout.h>

#include <win/library.h>
#include <win/module.h>
#include <win/resources.h>
#include <win/respack.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::string Words(std::initializer_list<int32_t> words)
{
    std::string out;
    for (int32_t w : words)
        out.append(reinterpret_cast<const char *>(&w), 4);
    return out;
}

// Loads a pack holding the given FACE data (none: no FACE at all) as the resource module.
class FacePack
{
  public:
    explicit FacePack(const std::string *face)
    {
        win::res::Pack pack;
        pack.Add("RGN", "BACKGROUND", "x");
        if (face)
            pack.Add("FACE", "IDR_FACE", *face);
        char pattern[] = "/tmp/kestrelin-face-XXXXXX";
        dir_ = mkdtemp(pattern);
        std::string path = dir_ + "/Test.dll";
        std::ofstream(path, std::ios::binary) << pack.Serialize();
        module_ = LoadLibraryA(path.c_str());
        AfxSetResourceHandle(module_);
    }
    ~FacePack()
    {
        AfxSetResourceHandle(GetModuleHandleA(nullptr));
        FreeLibrary(module_);
        std::filesystem::remove_all(dir_);
    }
    HMODULE module_;

  private:
    std::string dir_;
};

TEST(SkinLayoutTable, TheProgramsTableHoldsEveryShownButtonEntry)
{
    SkinLayoutEntry t[kSkinLayoutEntries];
    LoadFaceTable(t);
    EXPECT_EQ((std::vector<int>{t[24].a, t[24].b, t[24].c, t[24].d, t[24].e}),
              (std::vector<int>{79, 57, 190, 17, 1}));
    EXPECT_EQ((std::vector<int>{t[20].a, t[20].b, t[20].c, t[20].d, t[20].e}),
              (std::vector<int>{39, 116, 180, 14, 6}));
    EXPECT_EQ(t[60].a, -337);
    EXPECT_EQ(t[34].a | t[34].b | t[34].e, 0) << "the Log button has no entry";
    EXPECT_EQ(t[30].e, 0);
    EXPECT_EQ(t[51].e, 0);
    for (int entry : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 22,
                      23, 31, 32, 33, 36, 37, 81})
        EXPECT_EQ(t[entry].e, 1) << "entry " << entry;
}

TEST(SkinLayoutTable, AnIndexOutOfRangeConsumesOnlyItself)
{
    // Index 150, then five words that are read as further records: 5 with the next five.
    std::string face = Words({3, 1, 2, 3, 4, 1, 150, 5, 10, 20, 30, 40, 50, 7, 7, 7, 7, 7, 7, -1});
    FacePack pack(&face);
    SkinLayoutEntry t[kSkinLayoutEntries];
    t[99].spare = 1234;
    LoadFaceTable(t);
    EXPECT_EQ((std::vector<int>{t[3].a, t[3].b, t[3].c, t[3].d, t[3].e}),
              (std::vector<int>{1, 2, 3, 4, 1}));
    EXPECT_EQ((std::vector<int>{t[5].a, t[5].b, t[5].c, t[5].d, t[5].e}),
              (std::vector<int>{10, 20, 30, 40, 50}));
    EXPECT_EQ(t[7].e, 7);
    EXPECT_EQ(t[99].spare, 1234) << "the sixth word is not touched";
}

TEST(SkinLayoutTable, ReadsAtMostEightyRecordsAndStopsAtTheEnd)
{
    std::string face;
    for (int i = 0; i < 90; ++i)
        face += Words({i, i, 0, 0, 0, 1});
    FacePack pack(&face);
    SkinLayoutEntry t[kSkinLayoutEntries];
    LoadFaceTable(t);
    EXPECT_EQ(t[79].a, 79);
    EXPECT_EQ(t[80].e, 0);

    // A table cut inside a record keeps what was read, and reads nothing past the data.
    std::string cut = Words({2, 5, 6});
    FacePack short_(&cut);
    LoadFaceTable(t);
    EXPECT_EQ(t[2].a, 5);
    EXPECT_EQ(t[2].b, 6);
    EXPECT_EQ(t[2].c, 0);
}

TEST(SkinLayoutTable, AMissingResourceLeavesEveryEntryZero)
{
    FacePack pack(nullptr);
    SkinLayoutEntry t[kSkinLayoutEntries];
    t[24].e = 1;
    t[1].a = 9;
    LoadFaceTable(t);
    for (const auto &e : t)
        EXPECT_EQ(e.a | e.b | e.c | e.d | e.e, 0);
}

} // namespace
