#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

namespace kv6::fleet {

// The SQL store's log category and its conversions between the core's texts
// and Qt SQL's values, shared by the files of SqlFleetStore.
Q_DECLARE_LOGGING_CATEGORY(lcStore)

inline QString qText(const std::string& text) { return QString::fromStdString(text); }
inline QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string stdText(const QVariant& value) { return value.toString().toStdString(); }

}  // namespace kv6::fleet
