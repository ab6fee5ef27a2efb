#include "app/serial_port_entry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace kv6::app {

namespace {

QString hex4(quint16 value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')); }

}  // namespace

QString SerialPortEntry::label() const {
    QStringList about;
    if (!description.isEmpty()) about << description;
    if (!manufacturer.isEmpty() && manufacturer != description) about << manufacturer;
    QString text = path;
    if (!about.isEmpty()) text += QStringLiteral(" — ") + about.join(QStringLiteral(", "));
    if (isUsb())
        text += QStringLiteral(" (USB %1:%2)").arg(hex4(*vendorId), productId ? hex4(*productId) : QStringLiteral("?"));
    if (!accessible) text += QCoreApplication::translate("kv6::app::TForm4", " — нет доступа");
    return text;
}

std::vector<SerialPortEntry> sortedPortEntries(std::vector<SerialPortEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        if (a.isUsb() != b.isUsb()) return a.isUsb();
        return a.path < b.path;
    });
    return entries;
}

std::vector<SerialPortEntry> systemPortEntries() {
    std::vector<SerialPortEntry> entries;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
        entry.path = info.systemLocation();
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier()) entry.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) entry.productId = info.productIdentifier();
#ifndef Q_OS_WIN
        const QFileInfo file(entry.path);
        entry.accessible = file.isReadable() && file.isWritable();
#endif
        entries.push_back(entry);
    }
    return sortedPortEntries(std::move(entries));
}

}  // namespace kv6::app
