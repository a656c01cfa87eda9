#pragma once
// The per-user store of twelve settings, kept between runs.
//
// Backing: an INI file through QSettings at the per-user location,
// $XDG_CONFIG_HOME/Tessaly/tessaly.ini (normally ~/.config/...), group
// "Meridox". Integers and the 0/1 booleans are written as numbers, texts as
// texts. Each operation opens the store, reads or writes, and closes it.
//
// Failures are shown through the error seam (error_seam.h) with the value's
// name and stop the operation; the program goes on with what it has.

#include <QString>

#include <memory>

class QSettings;

namespace tessaly {

struct SettingsRecord;

// The group of the twelve values, and the group of serial device names.
inline const QString kStoreGroup = QStringLiteral("Meridox");
inline const QString kPortsGroup = QStringLiteral("Ports");
// The group of the live-source values (supervision and the NTRIP caster);
// a file without it loads with their defaults.
inline const QString kLiveGroup = QStringLiteral("Live");
// The group of the alarm settings (rules file, event command), edited in the
// file; a file without it loads with the default rules and no command.
inline const QString kAlarmsGroup = QStringLiteral("Alarms");

// The per-user settings file, opened for one operation. Only the user's own
// file is consulted: no system-wide fallbacks.
std::unique_ptr<QSettings> open_user_settings();

class SettingsStore {
public:
    enum class LoadResult {
        Loaded,    // the stored values were read
        FirstRun,  // nothing was stored; the first-run values were written
        Stopped,   // a value could not be read or written; already reported
    };

    // Fills `record` from the store; run once per run. On the first run the
    // store is created saying "serial" while this run itself uses the
    // Internet source.
    LoadResult Load(SettingsRecord& record);

    // Writes eleven values after the settings dialog's OK ("paritycheck"
    // stays as the first run or an external edit left it). Turns transmit
    // off first when the source is serial: the port that delivers the
    // stream cannot also take the forwarded one. False when stopped.
    bool Save(SettingsRecord& record);

    // Sets decoding and writes that one value at once. False when stopped.
    bool SaveDecoding(SettingsRecord& record, bool decoding);

    // Sets leapSeconds and keeps it for the next runs (key "leapSeconds",
    // which Load reads when present). False when it could not be written.
    bool SaveLeapSeconds(SettingsRecord& record, std::int32_t leapSeconds);

    // Where the store lives.
    static QString file_path();
};

}  // namespace tessaly
