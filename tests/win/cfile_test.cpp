// CFile: opening, reading and writing, and the safe replacement of created files.
#include <win/cfile.h>

#include <tests/support/temp_dir.h>

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace
{

using kestrelin::testing::TempDir;
using Bytes = std::vector<unsigned char>;

TEST(CFileTest, OpenFailuresAreReported)
{
    TempDir tmp;
    CFile f;
    EXPECT_FALSE(f.Open(tmp.file("missing.dat").c_str(), CFile::modeRead));
    EXPECT_EQ(f.GetError(), ENOENT);
    EXPECT_FALSE(f.Open(tmp.dir().c_str(), CFile::modeRead));
    EXPECT_EQ(f.GetError(), EISDIR);
    EXPECT_FALSE(f.Open(tmp.file("no/dir/x.dat").c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_FALSE(f.IsOpen());
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0u);
    EXPECT_FALSE(f.Write("x", 1));
}

TEST(CFileTest, ReadsSeeksAndMeasures)
{
    TempDir tmp;
    tmp.write("data.bin", {1, 2, 3, 4, 5});
    CFile f;
    ASSERT_TRUE(f.Open((tmp.dir() + "DATA.BIN").c_str(), CFile::modeRead));
    EXPECT_EQ(f.GetLength(), 5u);
    unsigned char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 2), 2u);
    EXPECT_EQ(buf[1], 2);
    EXPECT_EQ(f.Seek(-1, CFile::end), 4);
    EXPECT_EQ(f.Read(buf, 8), 1u);
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(f.Read(buf, 8), 0u);
    EXPECT_EQ(f.GetError(), 0);
    EXPECT_EQ(f.Seek(-10, CFile::begin), -1);
    EXPECT_NE(f.GetError(), 0);
}

TEST(CFileTest, CreatedFileReplacesTheOldOneOnClose)
{
    TempDir tmp;
    tmp.write("ui.dat", {9, 9});
    CFile f;
    ASSERT_TRUE(f.Open((tmp.dir() + "UI.DAT").c_str(), CFile::modeCreate | CFile::modeWrite));
    ASSERT_TRUE(f.Write("\x01\x02\x03", 3));
    EXPECT_EQ(tmp.read("ui.dat"), (Bytes{9, 9})) << "old contents stay until Close";
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(tmp.read("ui.dat"), (Bytes{1, 2, 3}));
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"ui.dat"});
}

TEST(CFileTest, AbortKeepsTheOldFile)
{
    TempDir tmp;
    tmp.write("calls.dat", {7});
    {
        CFile f;
        ASSERT_TRUE(f.Open(tmp.file("calls.dat").c_str(), CFile::modeCreate | CFile::modeWrite));
        f.Write("new", 3);
        f.Abort();
    }
    EXPECT_EQ(tmp.read("calls.dat"), (Bytes{7}));
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"calls.dat"});
}

// A write that fails part-way (here: the file size limit, as a full disk would) leaves the old
// file whole and no temporary file behind.
TEST(CFileTest, FailedWriteKeepsTheOldFile)
{
    TempDir tmp;
    tmp.write("client.dat", {1, 2, 3, 4});
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    CFile f;
    bool opened = f.Open(tmp.file("client.dat").c_str(), CFile::modeCreate | CFile::modeWrite);
    std::string big(64, 'x');
    bool wrote = opened && f.Write(big.data(), static_cast<UINT>(big.size()));
    bool closed = opened && f.Close();
    setrlimit(RLIMIT_FSIZE, &old);

    ASSERT_TRUE(opened);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(f.GetError(), EFBIG);
    EXPECT_FALSE(closed);
    EXPECT_EQ(tmp.read("client.dat"), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"client.dat"});
}

TEST(CFileTest, NoTruncateWritesInPlace)
{
    TempDir tmp;
    tmp.write("x.dat", {1, 2, 3});
    CFile f;
    ASSERT_TRUE(f.Open(tmp.file("x.dat").c_str(),
                       CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    f.Seek(1, CFile::begin);
    f.Write("\x09", 1);
    f.Close();
    EXPECT_EQ(tmp.read("x.dat"), (Bytes{1, 9, 3}));
}

} // namespace
