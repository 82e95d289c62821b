// PIPSocket::Address parsing and printing, host look-ups and the interface list.
#include <pwlib/passert.h>
#include <pwlib/pipsocket.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace
{

using Address = PIPSocket::Address;

TEST(IpAddress, ParsesDottedQuadsAndRejectsTheRest)
{
    struct Case {
        const char *text;
        const char *printed;
        bool valid;
        bool any;
        bool loopback;
    };
    const Case cases[] = {
        {"192.0.2.10", "192.0.2.10", true, false, false},
        {"127.0.0.1", "127.0.0.1", true, false, true},
        {" 10.1.2.3 ", "10.1.2.3", true, false, false},
        {"0.0.0.0", "0.0.0.0", false, true, false},
        {"255.255.255.255", "255.255.255.255", false, false, false},
        {"1.2.3", "0.0.0.0", false, true, false},
        {"256.1.1.1", "0.0.0.0", false, true, false},
        {"1.2.3.4.5", "0.0.0.0", false, true, false},
        {"", "0.0.0.0", false, true, false},
        {"localhost", "127.0.0.1", true, false, true},
    };
    for (const Case &c : cases) {
        Address addr{PString(c.text)};
        EXPECT_EQ(addr.AsString(), c.printed) << c.text;
        EXPECT_EQ(bool(addr.IsValid()), c.valid) << c.text;
        EXPECT_EQ(bool(addr.IsAny()), c.any) << c.text;
        EXPECT_EQ(bool(addr.IsLoopback()), c.loopback) << c.text;
    }
}

TEST(IpAddress, OctetsComeFirstOctetFirst)
{
    Address addr(10, 20, 30, 40);
    EXPECT_EQ(addr[0], 10);
    EXPECT_EQ(addr[3], 40);
    EXPECT_EQ(addr.Byte2(), 20);
    EXPECT_EQ(addr.AsString(), "10.20.30.40");
    EXPECT_EQ(psprintf("%d.%d.%d.%d", addr[0], addr[1], addr[2], addr[3]), addr.AsString());
    const BYTE wire[4] = {10, 20, 30, 40};
    DWORD networkOrder;
    std::memcpy(&networkOrder, wire, 4);
    EXPECT_EQ(addr.GetNetworkOrder(), networkOrder);
    EXPECT_TRUE(Address(networkOrder) == addr);

    int reports = 0;
    auto previous = pwlib::SetAssertHandler([&](const char *, int, const char *) { ++reports; });
    EXPECT_EQ(addr[4], 0);
    pwlib::SetAssertHandler(previous);
    EXPECT_EQ(reports, 1);

    std::ostringstream out;
    out << addr;
    EXPECT_EQ(out.str(), "10.20.30.40");
    EXPECT_TRUE(Address().IsAny());
    EXPECT_FALSE(Address().IsValid());
}

TEST(IpAddress, OrdersByOctets)
{
    std::map<Address, int> byAddress;
    byAddress[Address(10, 0, 0, 2)] = 2;
    byAddress[Address(9, 255, 0, 1)] = 1;
    byAddress[Address(10, 0, 1, 0)] = 3;
    int expected = 1;
    for (const auto &entry : byAddress)
        EXPECT_EQ(entry.second, expected++);
    EXPECT_TRUE(Address(1, 2, 3, 4) != Address(1, 2, 3, 5));
}

TEST(IpHost, InterfacesIncludeLoopbackAndTheHostHasAnAddress)
{
    PIPSocket::InterfaceTable table;
    ASSERT_TRUE(PIPSocket::GetInterfaceTable(table));
    bool loopback = false;
    for (const auto &entry : table) {
        EXPECT_FALSE(entry.GetName().IsEmpty());
        loopback = loopback || entry.GetAddress() == Address(127, 0, 0, 1);
    }
    EXPECT_TRUE(loopback);

    Address host;
    EXPECT_TRUE(PIPSocket::GetHostAddress(host));
    EXPECT_TRUE(host.IsValid());
    EXPECT_FALSE(PIPSocket::GetHostName().IsEmpty());

    Address found;
    EXPECT_TRUE(PIPSocket::GetHostAddress("127.0.0.1", found));
    EXPECT_TRUE(found.IsLoopback());
    EXPECT_FALSE(PIPSocket::GetHostAddress("", found));
}

} // namespace
