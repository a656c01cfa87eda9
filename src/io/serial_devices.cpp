#include "serial_devices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace tessaly {

QList<SerialDeviceEntry> serial_device_entries(const QList<PresentPort>& ports, const QString& by_id_dir) {
    QList<SerialDeviceEntry> out;
    for (const PresentPort& p : ports)
        out.append({p.path, p.description.isEmpty() ? p.path : p.path + " (" + p.description + ")"});
    const QFileInfoList links = QDir(by_id_dir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink()) continue;
        const QString target = QDir::cleanPath(link.symLinkTarget());
        for (const PresentPort& p : ports)
            if (QDir::cleanPath(p.path) == target)
                out.append({link.absoluteFilePath(), link.absoluteFilePath() + " (" + QFileInfo(target).fileName() + ")"});
    }
    return out;
}

QList<SerialDeviceEntry> present_serial_devices() {
    QList<PresentPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.systemLocation(), info.description()});
    return serial_device_entries(ports);
}

}  // namespace tessaly
