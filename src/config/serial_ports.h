#pragma once
// Linux device names for the serial ports "COM1" .. "COM12".
//
// COMn is /dev/ttyS{n-1} unless the user's settings file maps it elsewhere
// in its group "Ports", for example
//     [Ports]
//     COM3=/dev/ttyUSB0
// so that USB adapters and pseudo-terminals can stand in for a COM port.
// Any other name (a device path, say) is used as it is.

#include <QString>

namespace tessaly {

QString serial_device(const QString& comport);

}  // namespace tessaly
