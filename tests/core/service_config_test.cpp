// Service configuration: defaults, the file in the install directory, environment overrides.
#include <core/service_config.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace
{

class ServiceConfigTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (const char *name : {"KESTRELIN_PRIMARY_HOST", "KESTRELIN_SECONDARY_HOST",
                                 "KESTRELIN_ALIAS_DOMAIN", "KESTRELIN_WEB_HOST"})
            unsetenv(name);
        dir_ = std::filesystem::temp_directory_path() /
               ("kestrelin-config-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void WriteConfig(const std::string &text)
    {
        std::ofstream(dir_ / CServiceConfig::kFileName) << text;
    }

    std::filesystem::path dir_;
    std::vector<std::string> warnings_;
};

TEST_F(ServiceConfigTest, WithoutFileOrEnvironmentPointsAtTheLocalSimulator)
{
    CServiceConfig config = CServiceConfig::Load(dir_.string(), &warnings_);
    EXPECT_EQ(config.m_strPrimaryHost, "127.0.0.1");
    EXPECT_EQ(config.m_strSecondaryHost, "127.0.0.1");
    EXPECT_EQ(config.m_strAliasDomain, "service.localhost");
    EXPECT_EQ(config.m_strWebHost, "127.0.0.1");
    EXPECT_TRUE(warnings_.empty());
}

TEST_F(ServiceConfigTest, FileSetsValuesAndEnvironmentWins)
{
    WriteConfig("# service of the test\n"
                "primary_host = gk1.example.test\r\n"
                "  secondary_host=gk2.example.test  \n"
                "\n"
                "alias_domain = calls.example.test\n"
                "web_host = www.example.test");
    setenv("KESTRELIN_PRIMARY_HOST", "10.0.0.7", 1);

    CServiceConfig config = CServiceConfig::Load(dir_.string() + "/", &warnings_);
    EXPECT_EQ(config.m_strPrimaryHost, "10.0.0.7");
    EXPECT_EQ(config.m_strSecondaryHost, "gk2.example.test");
    EXPECT_EQ(config.m_strAliasDomain, "calls.example.test");
    EXPECT_EQ(config.m_strWebHost, "www.example.test");
    EXPECT_TRUE(warnings_.empty());
}

TEST_F(ServiceConfigTest, BadLinesAreReportedWithTheirLineAndChangeNothing)
{
    WriteConfig("primary_host\n"
                "colour = blue\n"
                "secondary_host =\n"
                "alias_domain = two words\n"
                "web_host = ok.example.test\n");
    setenv("KESTRELIN_ALIAS_DOMAIN", "", 1);

    CServiceConfig config = CServiceConfig::Load(dir_.string(), &warnings_);
    EXPECT_EQ(config.m_strPrimaryHost, "127.0.0.1");
    EXPECT_EQ(config.m_strSecondaryHost, "127.0.0.1");
    EXPECT_EQ(config.m_strAliasDomain, "service.localhost");
    EXPECT_EQ(config.m_strWebHost, "ok.example.test");

    std::string file = (dir_ / CServiceConfig::kFileName).string();
    EXPECT_EQ(warnings_, (std::vector<std::string>{
                             file + ":1: expected key = value",
                             file + ":2: unknown key 'colour'",
                             file + ":3: secondary_host: empty value",
                             file + ":4: alias_domain: value holds a space or control character",
                             "KESTRELIN_ALIAS_DOMAIN: empty value",
                         }));
}

TEST_F(ServiceConfigTest, UnreadableFileIsAWarningNotAFailure)
{
    std::filesystem::create_directory(dir_ / CServiceConfig::kFileName);
    CServiceConfig config = CServiceConfig::Load(dir_.string(), &warnings_);
    EXPECT_EQ(config.m_strPrimaryHost, "127.0.0.1");
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("service.conf"), std::string::npos);
}

} // namespace
