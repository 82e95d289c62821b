// Resource scripts, resource packs and the three packs the build makes.
#include <win/rcscript.h>
#include <win/respack.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

using win::rc::ParseScript;
using win::rc::Script;

TEST(ResourceScript, ReadsDialogsMenusStringsAndFiles)
{
    const char *text = R"(// comment
STRINGTABLE
101 "&About..."
211 "Can not send,\nby without talking;"
212 " Say:\r\n"
END
DIALOG 221 0 0 200 118 "Login" POPUP CAPTION
FONT 8 "MS Sans Serif"
EDIT 1017 "" 58 28 90 12 AUTOHSCROLL PASSWORD
COMBOBOX 1044 "" 58 60 90 60 DROPDOWNLIST DATA "English" "Chn \"S\""
BUTTON 1066 "Register" 140 94 50 14 HIDDEN DISABLED
END
MENU 246
POPUP "Line"
ITEM 32781 "&Call"
SEPARATOR
ITEM 0x8010 "&Delete"
END
END
BITMAP 137 "bg.bmp"
RESOURCE rgn Background "bg.rgn"
)";
    Script s;
    std::string error;
    ASSERT_TRUE(ParseScript(text, s, error)) << error;
    EXPECT_EQ(s.strings.at(101), "&About...");
    EXPECT_EQ(s.strings.at(211), "Can not send,\nby without talking;");
    EXPECT_EQ(s.strings.at(212), " Say:\r\n");
    ASSERT_EQ(s.dialogs.size(), 1u);
    const auto &d = s.dialogs[0];
    EXPECT_EQ(d.id, 221);
    EXPECT_EQ(d.cx, 200);
    EXPECT_TRUE(d.Has("CAPTION"));
    ASSERT_NE(d.Find(1017), nullptr);
    EXPECT_TRUE(d.Find(1017)->Has("PASSWORD"));
    EXPECT_EQ(d.Find(1044)->data, (std::vector<std::string>{"English", "Chn \"S\""}));
    EXPECT_TRUE(d.Find(1066)->Has("HIDDEN"));
    ASSERT_EQ(s.menus.size(), 1u);
    ASSERT_EQ(s.menus[0].items.size(), 1u);
    const auto &popup = s.menus[0].items[0];
    ASSERT_EQ(popup.children.size(), 3u);
    EXPECT_TRUE(popup.children[1].separator);
    EXPECT_EQ(popup.children[2].id, 0x8010);
    ASSERT_EQ(s.files.size(), 2u);
    EXPECT_EQ(s.files[0].name, "#137");
    EXPECT_EQ(s.files[1].type, "RGN");
    EXPECT_EQ(s.files[1].name, "BACKGROUND");

    // The canonical text of a dialog or menu reads back to the same template.
    win::rc::DialogTemplate again;
    ASSERT_TRUE(win::rc::ParseDialog(win::rc::FormatDialog(d), again, error)) << error;
    EXPECT_EQ(win::rc::FormatDialog(again), win::rc::FormatDialog(d));
    win::rc::MenuTemplate menu;
    ASSERT_TRUE(win::rc::ParseMenu(win::rc::FormatMenu(s.menus[0]), menu, error)) << error;
    EXPECT_EQ(win::rc::FormatMenu(menu), win::rc::FormatMenu(s.menus[0]));
}

TEST(ResourceScript, ReportsTheLineOfAnError)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"STRINGTABLE\n101 \"a\"\n", "line 2: STRINGTABLE without END"},
        {"STRINGTABLE\n101 \"a\"\n101 \"b\"\nEND\n", "line 3: duplicate string id 101"},
        {"STRINGTABLE\n101 \"unterminated\nEND\n", "line 2: unterminated string"},
        {"\n\nDIALOG 1 0 0 10 10\nEND\n", "line 3: expected: DIALOG id x y cx cy \"caption\" styles..."},
        {"DIALOG 1 0 0 10 10 \"x\"\nWIDGET 5 \"\" 0 0 1 1\nEND\n",
         "line 2: unknown control kind WIDGET"},
        {"DIALOG 1 0 0 10 10 \"x\"\nEDIT 5 \"\" 0 0 1\nEND\n",
         "line 2: expected: KIND id \"text\" x y cx cy flags..."},
        {"MENU 1\nITEM x \"a\"\nEND\n", "line 2: expected: ITEM id \"text\""},
        {"BITMAP 1 \"a\"\nBITMAP 1 \"b\"\n", "line 2: duplicate resource BITMAP #1"},
        {"STRINGTABLE\n99999999999 \"a\"\nEND\n", "line 2: expected: id \"text\""},
        {"STRINGTABLE\n1 \"bad \\q\"\nEND\n", "line 2: unknown escape \\q"},
    };
    for (const auto &c : cases) {
        Script s;
        std::string error;
        EXPECT_FALSE(ParseScript(c.text, s, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(ResourcePack, RoundTripsAndFindsNamesInAnyCase)
{
    win::res::Pack pack;
    pack.Add("RGN", "Background", std::string("\x01\x00\x02", 3));
    pack.Add("bitmap", "#137", "BM...");
    std::string error;
    auto back = win::res::Pack::Parse(pack.Serialize(), error);
    ASSERT_TRUE(back) << error;
    ASSERT_NE(back->Find("rgn", "BACKGROUND"), nullptr);
    EXPECT_EQ(*back->Find("rgn", "BACKGROUND"), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(*back->Find("BITMAP", "#137"), "BM...");
    EXPECT_EQ(back->Find("BITMAP", "#138"), nullptr);
}

TEST(ResourcePack, RefusesMalformedImages)
{
    win::res::Pack pack;
    pack.Add("FACE", "IDR_FACE", std::string(40, 'x'));
    const std::string good = pack.Serialize();
    std::string bad_magic = good;
    bad_magic[0] = 'X';
    std::string bad_version = good;
    bad_version[4] = 2;
    std::string huge_count = good;
    huge_count[11] = 0x7f;
    std::string bad_offset = good;
    // The entry's offset follows "FACE" and "IDR_FACE" with their lengths.
    bad_offset[12 + 2 + 4 + 2 + 8 + 3] = 0x70;
    const struct {
        std::string bytes;
        const char *error;
    } cases[] = {
        {"", "not a resource pack"},
        {bad_magic, "not a resource pack"},
        {bad_version, "unsupported pack version"},
        {huge_count, "entry count exceeds the file"},
        {good.substr(0, 26), "truncated directory"},
        {bad_offset, "resource data outside the file"},
        {good.substr(0, good.size() - 1), "resource data outside the file"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_EQ(win::res::Pack::Parse(c.bytes, error), nullptr) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(ResourcePack, StringTableKeepsControlCharacters)
{
    std::map<int, std::string> strings = {{211, "a,\nb;"}, {212, " Say:\r\n"}, {7, "tab\there \\"}};
    std::map<int, std::string> back;
    ASSERT_TRUE(win::res::DecodeStringTable(win::res::EncodeStringTable(strings), back));
    EXPECT_EQ(back, strings);
    EXPECT_FALSE(win::res::DecodeStringTable("12\tno end", back));
    EXPECT_FALSE(win::res::DecodeStringTable("x1\ta\n", back));
    EXPECT_FALSE(win::res::DecodeStringTable("1\tbad\\q\n", back));
}

std::unique_ptr<win::res::Pack> LoadBuiltPack(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string error;
    auto pack = win::res::Pack::Parse(s.str(), error);
    EXPECT_TRUE(pack) << path << ": " << error;
    return pack;
}

// Each language pack must hold everything the English one does, so that choosing a
// language never makes a string, dialog, menu, bitmap or the skin data disappear.
TEST(BuiltPacks, EveryLanguageHoldsTheWholeSet)
{
    auto own = LoadBuiltPack(KESTRELIN_OWN_PACK_FILE);
    ASSERT_TRUE(own);
    std::map<int, std::string> english;
    ASSERT_TRUE(win::res::DecodeStringTable(
        *own->Find(win::res::kStringTableType, win::res::kStringTableName), english));
    EXPECT_EQ(english.at(124), "Kestrelin 5.2");
    EXPECT_EQ(english.size(), 106u);
    for (const char *file : {KESTRELIN_CHINA_PACK_FILE, KESTRELIN_TRADITIONAL_PACK_FILE}) {
        auto pack = LoadBuiltPack(file);
        ASSERT_TRUE(pack);
        std::map<int, std::string> strings;
        ASSERT_TRUE(win::res::DecodeStringTable(
            *pack->Find(win::res::kStringTableType, win::res::kStringTableName), strings));
        for (const auto &[id, text] : english) {
            ASSERT_TRUE(strings.count(id)) << file << " lacks string " << id;
            if (id != 124) {
                EXPECT_NE(strings[id], text) << file << " leaves string " << id << " English";
            }
        }
        for (const auto &[key, data] : own->entries())
            EXPECT_NE(pack->Find(key.first, key.second), nullptr)
                << file << " lacks " << key.first << " " << key.second;
    }
}

TEST(BuiltPacks, SkinDataHasTheDocumentedShape)
{
    auto own = LoadBuiltPack(KESTRELIN_OWN_PACK_FILE);
    ASSERT_TRUE(own);
    const std::string *face = own->Find("FACE", "IDR_FACE");
    ASSERT_NE(face, nullptr);
    // 52 records of six words and the end word.
    EXPECT_EQ(face->size(), 52u * 24 + 4);
    for (const char *name : {"BACKGROUND", "PHONEBOOK"}) {
        const std::string *rgn = own->Find("RGN", name);
        ASSERT_NE(rgn, nullptr) << name;
        ASSERT_GE(rgn->size(), 32u);
        uint32_t n = uint8_t((*rgn)[8]) | uint8_t((*rgn)[9]) << 8;
        EXPECT_GT(n, 10u) << name;
        EXPECT_EQ(rgn->size(), (n + 2) * 16) << name;
    }
    std::string error;
    win::rc::DialogTemplate login;
    ASSERT_TRUE(win::rc::ParseDialog(*own->Find("DIALOG", "#221"), login, error)) << error;
    EXPECT_TRUE(login.Find(1066)->Has("HIDDEN"));
    auto china = LoadBuiltPack(KESTRELIN_CHINA_PACK_FILE);
    ASSERT_TRUE(win::rc::ParseDialog(*china->Find("DIALOG", "#221"), login, error)) << error;
    EXPECT_FALSE(login.Find(1066)->Has("HIDDEN"));
}

} // namespace
