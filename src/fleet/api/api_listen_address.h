#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

namespace kv6::fleet::api {

// Where the operator API listens: "ADDRESS:PORT", "[IPv6]:PORT".
struct ApiListenAddress {
    QHostAddress address;
    quint16 port = 0;

    // None with `error` saying what is wrong with the text.
    [[nodiscard]] static std::optional<ApiListenAddress> parse(const QString& text, QString& error);
    // Only this machine can reach it.
    [[nodiscard]] bool loopback() const { return address.isLoopback(); }
};

}  // namespace kv6::fleet::api
