// Where kv6d's module port listens, as --listen takes it.
#include <gtest/gtest.h>

#include "fleet/listen_address.h"

namespace kv6::fleet::test {

TEST(ListenAddressTest, TakesAnIpAddressOrEveryAddressWithAPort) {
    struct Case {
        const char* text;
        QHostAddress address;
        quint16 port;
        const char* shown;
    };
    const Case cases[] = {
        {"127.0.0.1:8099", QHostAddress(QStringLiteral("127.0.0.1")), 8099, "127.0.0.1"},
        {"10.0.0.11:0", QHostAddress(QStringLiteral("10.0.0.11")), 0, "10.0.0.11"},
        {"[::1]:8098", QHostAddress(QStringLiteral("::1")), 8098, "[::1]"},
        {"[2001:db8::11]:65535", QHostAddress(QStringLiteral("2001:db8::11")), 65535, "[2001:db8::11]"},
        {"*:8099", QHostAddress(QHostAddress::Any), 8099, "*"},
        // IPv4 only: a port on every IPv4 address and none of IPv6.
        {"0.0.0.0:8099", QHostAddress(QHostAddress::AnyIPv4), 8099, "0.0.0.0"},
    };
    for (const Case& c : cases) {
        QString error;
        const auto where = ListenAddress::parse(QString::fromLatin1(c.text), error);
        ASSERT_TRUE(where) << c.text << ": " << error.toStdString();
        EXPECT_EQ(where->address(), c.address) << c.text;
        EXPECT_EQ(where->port(), c.port) << c.text;
        EXPECT_EQ(where->addressText().toStdString(), c.shown) << c.text;
        EXPECT_EQ(where->everyAddress(), std::string(c.shown) == "*") << c.text;
    }
}

TEST(ListenAddressTest, RefusesWhatIsNotAnAddressAndAPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"8099", "'8099' has no port: give ADDRESS:PORT"},
        {"[::1]", "'[::1]' has no port: give ADDRESS:PORT"},
        {"127.0.0.1:", "'' is not a port 0..65535"},
        {"127.0.0.1:65536", "'65536' is not a port 0..65535"},
        {"127.0.0.1:+80", "'+80' is not a port 0..65535"},
        {"127.0.0.1: 80", "' 80' is not a port 0..65535"},
        {"127.0.0.1:-1", "'-1' is not a port 0..65535"},
        {"127.0.0.1:http", "'http' is not a port 0..65535"},
        {"localhost:8099", "'localhost' is not an IP address (127.0.0.1, [::1], or * for every address)"},
        {":8099", "'' is not an IP address (127.0.0.1, [::1], or * for every address)"},
        {"300.0.0.1:8099", "'300.0.0.1' is not an IP address (127.0.0.1, [::1], or * for every address)"},
        // Unbracketed, an IPv6 address's last group would pass for the port.
        {"::1:8099", "'::1' is not an IP address (127.0.0.1, [::1], or * for every address)"},
        {"[127.0.0.1]:8099", "'[127.0.0.1]' is not an IP address (127.0.0.1, [::1], or * for every address)"},
        {"[]:8099", "'[]' is not an IP address (127.0.0.1, [::1], or * for every address)"},
    };
    for (const auto& [text, message] : cases) {
        QString error;
        EXPECT_FALSE(ListenAddress::parse(QString::fromLatin1(text), error)) << text;
        EXPECT_EQ(error.toStdString(), message) << text;
    }
}

}  // namespace kv6::fleet::test
