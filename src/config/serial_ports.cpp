#include "serial_ports.h"

#include <QSettings>

#include <algorithm>

#include "settings_store.h"

namespace tessaly {

QString serial_device(const QString& comport) {
    const auto s = open_user_settings();
    s->beginGroup(kPortsGroup);
    const QString mapped = s->value(comport).toString();
    if (!mapped.isEmpty()) return mapped;

    const QString digits = comport.mid(3);
    const bool com_n = comport.startsWith(QLatin1String("COM")) && !digits.isEmpty() &&
                       std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
    const int n = com_n ? digits.toInt() : 0;
    if (n >= 1) return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    return comport;
}

}  // namespace tessaly
