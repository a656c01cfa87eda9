// The serial channel on socat pseudo-terminal pairs (reading and writing
// whole streams is in the window's COM source and forwarding tests).

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <cerrno>
#include <functional>

#include "com_port.h"
#include "serial_devices.h"
#include "event_loop.h"
#include "pty_pair.h"
#include "settings_store.h"

namespace tessaly::test {
namespace {

void map_port(const QString& com, const QString& device) {
    const auto s = open_user_settings();
    s->setValue(kPortsGroup + "/" + com, device);
    s->sync();
    ASSERT_EQ(s->status(), QSettings::NoError);
}

// The text of the ComPortError that `operation` throws.
QString failure_of(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const ComPortError& e) {
        return e.text();
    }
    return {};
}

// Two connected pseudo-terminals: one end by its device path, as typed in
// the settings dialog, the other as COM4.
TEST(ComPort, ClearBufferDiscardsWaitingInputAndOneAndAHalfStopBitsAreRefused) {
    tessaly::testing::PtyPair pty;
    if (!pty.available()) GTEST_SKIP() << "socat is not installed";
    ASSERT_TRUE(pty.start(false));
    map_port("COM4", pty.farPath);
    TComPort near, far;
    near.setPort(pty.near);
    far.setPort("COM4");
    near.Open();
    far.Open();
    far.WriteStr("stale");
    ASSERT_TRUE(spin_until([&] { return near.InputCount() == 5; }));
    near.ClearBuffer(true, false);
    EXPECT_EQ(near.InputCount(), 0);
    far.WriteStr("fresh");
    ASSERT_TRUE(spin_until([&] { return near.InputCount() == 5; }));
    EXPECT_EQ(near.ReadStr(100), "fresh");

    near.Close();
    near.setStopBits(TComPort::kStopOneAndHalf);
    EXPECT_EQ(failure_of([&] { near.Open(); }), "SetCommState function failed (win error code: 22)");
    EXPECT_FALSE(near.Connected());
}

TEST(ComPort, FailuresCarryTheOperationAndTheErrorNumber) {
    const QString absent = QDir::temp().filePath("no-such-dir/no-such-tty");
    map_port("COM5", absent);
    TComPort port;
    ComAsync async;
    const QString open_failed = "Unable to open com port COM5 = " + absent + " (win error code: 2)";
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { port.setPort("COM5"); port.Open(); }, open_failed},
        {[&] { port.ReadStr(10); }, "ReadFile function failed (win error code: 9)"},
        {[&] { port.InputCount(); }, "ClearCommError function failed (win error code: 9)"},
        {[&] { port.ClearBuffer(true, false); }, "PurgeComm function failed (win error code: 9)"},
        {[&] { port.WriteStrAsync("x", &async); }, "WriteFile function failed (win error code: 9)"},
        {[&] { port.WriteStrAsync("x", nullptr); }, "Invalid Async parameter (win error code: 22)"},
        {[&] { port.WaitForAsync(nullptr); }, "Invalid Async parameter (win error code: 22)"},
        // Root opens any device, so the refusal itself cannot be staged here.
        {[&] { throw ComPortError(kComOpenFailed, EACCES, "/dev/ttyUSB0"); },
         "Unable to open com port (win error code: 13)\nNo permission to open /dev/ttyUSB0: the user must be in "
         "the group 'dialout' (sudo adduser $USER dialout, then log in again)."},
    };
    for (const auto& [operation, text] : cases) {
        EXPECT_EQ(failure_of(operation), text);
        EXPECT_FALSE(port.Connected());
    }
}

TEST(SerialDevices, PresentPortsWithDescriptionsThenTheirStableNames) {
    QTemporaryDir by_id;
    ASSERT_TRUE(QFile::link("/dev/ttyUSB0", by_id.filePath("usb-FTDI_FT232R_A1-if00-port0")));
    ASSERT_TRUE(QFile::link("/dev/ttyACM7", by_id.filePath("usb-gone-if00")));  // not present
    const auto entries = serial_device_entries({{"/dev/ttyS0", ""}, {"/dev/ttyUSB0", "FT232R USB UART"}}, by_id.path());
    QStringList got;
    for (const auto& e : entries) got << e.path + " | " + e.label;
    const QString link = by_id.filePath("usb-FTDI_FT232R_A1-if00-port0");
    EXPECT_EQ(got, (QStringList{"/dev/ttyS0 | /dev/ttyS0", "/dev/ttyUSB0 | /dev/ttyUSB0 (FT232R USB UART)",
                                link + " | " + link + " (ttyUSB0)"}));
}

}  // namespace
}  // namespace tessaly::test
