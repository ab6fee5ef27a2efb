#include "fleet/api/api_listen_address.h"

namespace kv6::fleet::api {

std::optional<ApiListenAddress> ApiListenAddress::parse(const QString& text, QString& error) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon > 0 ? text.left(colon) : QString();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':'))) host.clear();  // IPv6 needs its brackets
    bool ok = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    ApiListenAddress result;
    if (host.isEmpty() || !ok || port > 65535 || !result.address.setAddress(host)) {
        error = QStringLiteral("ADDRESS:PORT (127.0.0.1:8098, [::1]:8098, 0.0.0.0:8098), not '%1'").arg(text);
        return std::nullopt;
    }
    result.port = static_cast<quint16>(port);
    return result;
}

}  // namespace kv6::fleet::api
