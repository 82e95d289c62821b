// Text from peers: the zero bytes some implementations leave at the end of a field are not
// part of the text the call engine is given.
#include "stack_support.h"

#include <h323/asn1/gen/h245.h>
#include <h323/pdu/addresses.h>
#include <h323/q931/q931.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace std::string_literals;

// A Setup carrying one field, as it reads after a trip over the wire.
Q931 Received(const std::function<void(Q931 &)> &fill)
{
    Q931 sent;
    sent.BuildSetup(7);
    fill(sent);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(sent.Encode(bytes));
    Q931 received;
    EXPECT_TRUE(received.Decode(bytes));
    return received;
}

std::string ReadDisplay(const std::string &text)
{
    return Received([&](Q931 &q) { q.SetDisplayName(text); }).GetDisplayName();
}

std::string ReadKeypad(const std::string &text)
{
    return Received([&](Q931 &q) { q.SetKeypad(text); }).GetKeypad();
}

std::string ReadCallingNumber(const std::string &text)
{
    std::string number;
    EXPECT_TRUE(Received([&](Q931 &q) { q.SetCallingPartyNumber(text); }).GetCallingPartyNumber(number));
    return number;
}

std::string ReadH323Id(const std::string &text)
{
    return h323::AliasText(h323::MakeH323IdAlias(text));
}

std::string ReadDialedDigits(const std::string &text)
{
    H225_AliasAddress alias;
    alias.dialedDigits() = text;
    return h323::AliasText(alias);
}

std::string ReadUrl(const std::string &text)
{
    H225_AliasAddress alias;
    alias.url_ID() = text;
    return h323::AliasText(alias);
}

// What the connection reports for a user input indication: "string <text>" or "tone <c>"
// events, in order, or nothing.
std::string ReadUserInput(const std::function<void(H245_UserInputIndication &)> &fill)
{
    stacktest::TestEndPoint endpoint("bob");
    stacktest::TestConnection connection(endpoint, 1);
    H245_UserInputIndication uii;
    fill(uii);
    connection.OnUserInputIndication(uii);
    std::string all;
    for (const std::string &line : endpoint.events.All())
        all += (all.empty() ? "" : "|") + line;
    return all;
}

std::string ReadUserInputString(const std::string &text)
{
    return ReadUserInput([&](H245_UserInputIndication &uii) { uii.alphanumeric() = text; });
}

std::string ReadSignal(const std::string &text)
{
    return ReadUserInput([&](H245_UserInputIndication &uii) { uii.signal().m_signalType = text; });
}

TEST(PeerText, TrailingZeroBytesAreNotPartOfTheText)
{
    struct Case {
        const char *name;
        std::function<std::string(const std::string &)> read;
        std::string sent;
        std::string read_as;
    };
    const Case cases[] = {
        {"display", ReadDisplay, "anc\0"s, "anc"},
        {"display of several zeros", ReadDisplay, "anc\0\0\0"s, "anc"},
        {"display with a zero inside", ReadDisplay, "a\0c"s, "a\0c"s},
        {"display of zeros only", ReadDisplay, "\0\0"s, ""},
        {"plain display", ReadDisplay, "Alice", "Alice"},
        {"keypad", ReadKeypad, "4\0"s, "4"},
        {"calling party number", ReadCallingNumber, "8001\0"s, "8001"},
        {"h323-ID alias", ReadH323Id, "anc\0"s, "anc"},
        {"dialedDigits alias", ReadDialedDigits, "8002\0"s, "8002"},
        {"url alias", ReadUrl, "h323:bob\0"s, "h323:bob"},
        {"user input string", ReadUserInputString, "hello\0"s, "string hello"},
        {"user input string of zeros only", ReadUserInputString, "\0"s, ""},
        {"tone", ReadSignal, "4", "tone 4|string 4"},
        {"zero tone", ReadSignal, "\0"s, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.read(c.sent), c.read_as) << c.name;
}

} // namespace
