#include "ctl_time_zone.h"

#include <QCoreApplication>
#include <QDateTime>

#include "image/time_zone.h"
#include "pages/configuration.h"

namespace kv6::ctl {

namespace {
const QString kOption = QStringLiteral("--time-zone");
}

TimeZoneOption takeTimeZoneOption(const QStringList& args) {
    TimeZoneOption result;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        QString value;
        if (arg == kOption) {
            if (i + 1 >= args.size()) {
                result.error = QStringLiteral("--time-zone needs a value");
                return result;
            }
            value = args[++i];
        } else if (arg.startsWith(kOption + QLatin1Char('='))) {
            value = arg.mid(kOption.size() + 1);
        } else {
            result.rest << arg;
            continue;
        }
        bool ok = false;
        const int hours = value.toInt(&ok, 10);
        if (!ok || hours < 0 || hours > image::kTimeZoneItems) {
            result.error = QStringLiteral("bad value '%1' for --time-zone (1..13, or 0 for none)").arg(value);
            return result;
        }
        result.item = hours - 1;
    }
    return result;
}

int runTimeZoneItem() {
    const TimeZoneOption option = takeTimeZoneOption(QCoreApplication::arguments().mid(1));
    if (option.item) return *option.item;
    return image::timeZoneItemFromUtcOffset(QDateTime::currentDateTime().offsetFromUtc() / 60);
}

void applyRunTimeZone(pages::Configuration& configuration) {
    configuration.settings.values().timeZoneItem = runTimeZoneItem();
}

}  // namespace kv6::ctl
