#include <QSettings>

#include <gtest/gtest.h>

#include "serial_ports.h"
#include "settings_store.h"

namespace tessaly::test {
namespace {

TEST(SerialPorts, ComNamesMapToDevices) {
    {
        const auto s = open_user_settings();
        s->setValue("Ports/COM3", "/dev/ttyUSB0");
        s->sync();
        ASSERT_EQ(s->status(), QSettings::NoError);
    }
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"},     {"COM12", "/dev/ttyS11"},   {"COM3", "/dev/ttyUSB0"},
        {"COM4", "/dev/ttyS3"},     {"com4", "com4"},           {"COM0", "COM0"},
        {"COM-1", "COM-1"},         {"/dev/pts/4", "/dev/pts/4"},
    };
    for (const auto& [name, device] : cases) EXPECT_EQ(serial_device(name), device) << name;
}

}  // namespace
}  // namespace tessaly::test
