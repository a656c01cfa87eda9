// See notifier.h.
#include "notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QVariantMap>

namespace tessaly {

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent), bus_(QDBusConnection::sessionBus()) {}

void DesktopNotifier::failed(const QString& why) {
    if (failed_) return;
    failed_ = true;
    const QString line = QStringLiteral("no desktop notifications: ") + why;
    qInfo().noquote() << line;
    if (onLog) onLog(line);
}

void DesktopNotifier::notify(const alarms::Event& e) {
    if (!e.begin) return;
    if (!bus_.isConnected()) {
        failed(QStringLiteral("no D-Bus session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const bool alarm = e.severity == alarms::Severity::alarm;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(alarm ? 2 : 1)));
    call << QStringLiteral("Tessaly") << 0u << QStringLiteral("org.tessaly.Tessaly")
         << QStringLiteral("Tessaly: %1 %2").arg(QString::fromStdString(e.rule), alarm ? "alarm" : "notice")
         << QString::fromStdString(e.detail + "\n" + e.source + ", station " + std::to_string(e.station))
         << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) failed(reply.error().message());
        else ++delivered_;
        w->deleteLater();
    });
}

}  // namespace tessaly
