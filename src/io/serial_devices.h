#pragma once
// The serial devices present, as the settings dialog offers them beside
// COM1..COM12: each device by its path with the description the system
// gives (USB adapters name their chip or product), and the stable names
// under /dev/serial/by-id, which survive re-plugging into another socket.

#include <QList>
#include <QString>

namespace tessaly {

struct SerialDeviceEntry {
    QString path;   // what is stored and opened
    QString label;  // what the list shows
};

struct PresentPort {
    QString path;         // /dev/ttyUSB0
    QString description;  // may be empty
};

// Entries for `ports`, in their order, then one per link in `by_id_dir`
// that points at one of them.
QList<SerialDeviceEntry> serial_device_entries(const QList<PresentPort>& ports,
                                               const QString& by_id_dir = QStringLiteral("/dev/serial/by-id"));

// The same for the ports QSerialPortInfo finds on this machine.
QList<SerialDeviceEntry> present_serial_devices();

}  // namespace tessaly
