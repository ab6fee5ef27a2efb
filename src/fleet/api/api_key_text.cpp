#include "fleet/api/api_key_text.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace kv6::fleet::api {

std::string newApiKey() {
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return "kv6_" + bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).toStdString();
}

std::string apiKeySha256(std::string_view key) {
    return QCryptographicHash::hash(QByteArrayView(key.data(), static_cast<qsizetype>(key.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

}  // namespace kv6::fleet::api
