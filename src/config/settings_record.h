#pragma once
// All configuration of the program, one record for the whole process.
//
// Every window reads the fields it needs when it needs them; nothing is
// notified of a change. Twelve of the fields live on between runs in the
// per-user SettingsStore.
//
// leapSeconds: the decoder keeps its own copy (RtcmDecoder::leapSeconds),
// which its latency reads, because the decoder library carries no Qt and
// reads no settings. Whoever changes leapSeconds here (the leap-second
// dialog, the start of the main window) must copy it into the decoder too.

#include <QString>

#include <cstdint>

namespace tessaly {

// Data sources, the values of SettingsRecord::source.
enum : std::uint8_t { kSourceFile = 0, kSourceSerial = 1, kSourceInternet = 2, kSourceNtrip = 3 };

// Baud-rate table of the serial channel (its rate codes) and back. A rate
// outside the six gives 0, a code outside them gives 0.
std::uint8_t baud_code_for_rate(std::int32_t rate);
std::int32_t rate_for_baud_code(std::uint8_t code);

// GPS time minus UTC since 1 January 2017, until the operator sets another.
inline constexpr std::int32_t kDefaultLeapSeconds = 18;

struct SettingsRecord {
    std::uint8_t source = kSourceSerial;
    QString comport = QStringLiteral("COM1");  // COM1..COM12 or a device path
    std::int32_t comNumber = 1;  // 1..12, the number in comport; 0 for a device path
    std::int32_t baudrate = 4800;
    std::uint8_t baudCode = 6;   // serial channel's rate code
    std::uint8_t numbits = 3;    // 2 = seven, 3 = eight data bits
    std::uint8_t stopbits = 0;   // 0 = one, 1 = one and a half, 2 = two
    std::uint8_t parity = 0;     // 0 = none, 1 = odd, 2 = even
    bool transmit = false;       // forward the raw stream to the COM port
    bool decoding = true;
    bool paritycheck = true;     // the operator's choice, shown by the settings dialog only
    QString address = QStringLiteral("127.0.0.1");
    QString port = QStringLiteral("2101");
    QString server = QStringLiteral("unknown");
    QString fileName;
    std::int32_t leapSeconds = kDefaultLeapSeconds;  // GPS time minus UTC, s
    bool leapSecondsStored = false;  // the operator's value from the per-user store
    QString mainServerHost;
    QString mainServerPort;
    QString userName;
    QString password;
    bool reopenRequested = true;  // the source manager must (re)open the source
    // Supervision of live sources: reconnect by itself after a failure or a
    // silence (per source kind), and the silence limit in seconds.
    bool reconnectInternet = false;
    bool reconnectSerial = false;
    bool reconnectNtrip = true;
    std::int32_t silenceLimit = 20;
    // The NTRIP caster source. The password is kept in the per-user
    // settings file, which is written readable by its owner only.
    QString ntripHost;
    QString ntripPort = QStringLiteral("2101");
    QString ntripMount;
    QString ntripUser;
    QString ntripPassword;
    std::int32_t ntripVersion = 0;  // 0: 2.0, falling back to 1.0; 1 or 2: that version
    bool ntripGga = false;          // send the position below as GGA
    double ntripLatitude = 0;       // degrees, north positive
    double ntripLongitude = 0;      // degrees, east positive
    double ntripHeight = 0;         // metres
    std::int32_t ntripGgaInterval = 10;  // s
    // Alarms: the rules file (empty: the default rules) and the command run
    // for every alarm event (empty: none).
    QString alarmRules;
    QString alarmCommand;

    SettingsRecord() { set_common_defaults(); }

    // The values every run starts from; Load sets them again first.
    void set_common_defaults();
};

// The station-list server and account used until the operator picks another.
inline const QString kDefaultMainServerHost = QStringLiteral("127.0.0.1");
inline const QString kDefaultMainServerPort = QStringLiteral("21");
inline const QString kDefaultUserName = QStringLiteral("tessaly");
inline const QString kDefaultPassword = QStringLiteral("tessaly21");

// The address behind the settings dialog's "Connect directly to RTCM server
// of Halverton". This product has no such server: the button leads to the
// local relay.
inline const QString kDirectServerAddress = QStringLiteral("127.0.0.1");

// The process-wide record.
SettingsRecord& settings_record();

}  // namespace tessaly
