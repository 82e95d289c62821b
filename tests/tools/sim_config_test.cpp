// Service simulator set-up: the accounts file and the command line.
#include <tools/service-sim/accounts.h>
#include <tools/service-sim/sim_options.h>

#include <gtest/gtest.h>

#include <vector>

namespace servicesim
{
namespace
{

TEST(ParseAccounts, ReadsPairsAndSkipsCommentsAndBlankLines)
{
    Accounts accounts;
    std::string error;
    ASSERT_TRUE(
        ParseAccounts("# demo\n8001 demo\r\n\n  8002\tsecret  \n", "a.txt", &accounts, &error))
        << error;
    EXPECT_EQ(accounts, (Accounts{{"8001", "demo"}, {"8002", "secret"}}));
}

TEST(ParseAccounts, RefusesBadFilesNamingTheLine)
{
    struct Case {
        const char *text, *error;
    };
    const Case cases[] = {
        {"8001 demo\n8002\n", "a.txt:2: expected \"account password\""},
        {"8001 demo extra\n", "a.txt:1: more than two words"},
        {"8001 a\n8001 b\n", "a.txt:2: account 8001 listed twice"},
        {"# nothing\n", "a.txt: no accounts"},
    };
    for (const Case &c : cases) {
        Accounts accounts{{"keep", "me"}};
        std::string error;
        EXPECT_FALSE(ParseAccounts(c.text, "a.txt", &accounts, &error)) << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(accounts, (Accounts{{"keep", "me"}})) << "changed on failure";
    }
}

TEST(LoadAccounts, MissingFileIsAnError)
{
    Accounts accounts;
    std::string error;
    EXPECT_FALSE(LoadAccounts("/nonexistent/accounts.txt", &accounts, &error));
    EXPECT_NE(error.find("/nonexistent/accounts.txt"), std::string::npos);
}

ParseResult Parse(std::vector<std::string> args, SimOptions *options, std::string *error)
{
    args.insert(args.begin(), "service-sim");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ParseOptions, DefaultsAndValues)
{
    SimOptions options;
    std::string error;
    ASSERT_EQ(Parse({}, &options, &error), ParseResult::Run);
    EXPECT_EQ(options.address, "127.0.0.1");
    EXPECT_EQ(options.servicePort, 19900);
    EXPECT_EQ(options.aliasDomain, "service.localhost");
    EXPECT_TRUE(options.accountsFile.empty());

    ASSERT_EQ(Parse({"--service-port", "0", "--accounts=x.txt", "--alias-domain", "a.test",
                     "--address", "127.45.6.7"},
                    &options, &error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(options.address, "127.45.6.7");
    EXPECT_EQ(options.servicePort, 0);
    EXPECT_EQ(options.accountsFile, "x.txt");
    EXPECT_EQ(options.aliasDomain, "a.test");
    EXPECT_EQ(Parse({"--help"}, &options, &error), ParseResult::Help);
}

TEST(ParseOptions, RasSharesTheServicePortWhenAskedOrGivenTheSamePort)
{
    struct Case {
        std::vector<std::string> args;
        bool shared;
    };
    const Case cases[] = {
        {{}, false},
        {{"--ras-port", "19900"}, true},
        {{"--ras-port", "0", "--service-port", "0"}, false}, // two free ports
        {{"--ras-port", "0", "--service-port", "0", "--ras-on-service-port"}, true},
        {{"--ras-port", "5000", "--service-port", "5001"}, false},
    };
    for (const Case &c : cases) {
        SimOptions options;
        std::string error;
        ASSERT_EQ(Parse(c.args, &options, &error), ParseResult::Run) << error;
        EXPECT_EQ(options.SharedPort(), c.shared) << testing::PrintToString(c.args);
    }
}

TEST(ParseOptions, ErrorsSayWhatIsWrong)
{
    struct Case {
        std::vector<std::string> args;
        const char *error;
    };
    const Case cases[] = {
        {{"--service-port", "65536"}, "--service-port: not a port number (0 to 65535): 65536"},
        {{"--service-port", "12x"}, "--service-port: not a port number (0 to 65535): 12x"},
        {{"--service-port"}, "--service-port needs PORT"},
        {{"--alias-domain="}, "--alias-domain: not a domain name: \"\""},
        {{"--address", "10.0.0.1"}, "--address: not a loopback address (127.0.0.0/8): 10.0.0.1"},
        {{"--address", "127.1"}, "--address: not a loopback address (127.0.0.0/8): 127.1"},
        {{"--colour", "blue"}, "unknown option --colour (see --help)"},
    };
    for (const Case &c : cases) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.args, &options, &error), ParseResult::Error);
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
} // namespace servicesim
