#include "settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "error_seam.h"
#include "settings_record.h"

namespace tessaly {
namespace {

// What the operator is shown when a value cannot be read or written.
void cannot_get(const char* name) {
    report_failure(QStringLiteral("Konnte Daten für '%1' nicht holen").arg(QLatin1String(name)));
}
void wrong_type(const char* name) {
    report_failure(QStringLiteral("Ungültiger Datentyp für '%1'").arg(QLatin1String(name)));
}
void cannot_set(const char* name) {
    report_failure(QStringLiteral("Konnte Daten für '%1' nicht setzen").arg(QLatin1String(name)));
}
void cannot_parse(const QString& path) {
    report_failure(QStringLiteral("The settings file %1 is not a settings file this program can read. "
                                  "It is left as it is, and no settings are stored until it is "
                                  "repaired or removed.").arg(path));
}

// Reads the values of one group. A value that cannot be read is reported and
// false returned; Load stops there and keeps what it has read.
class ValueReader {
public:
    explicit ValueReader(QSettings& s) : s_(s) {}

    // An integer, or a 0/1 boolean. An INI file keeps no types: a number
    // arrives as text (or, written earlier in this process, as a number).
    bool integer(const char* name, std::int32_t& out) {
        const QVariant v = s_.value(QLatin1String(name));
        if (!v.isValid()) {
            cannot_get(name);
            return false;
        }
        bool ok = false;
        qlonglong n = 0;
        switch (v.typeId()) {
        case QMetaType::QString: n = v.toString().toLongLong(&ok, 10); break;
        case QMetaType::Int:
        case QMetaType::LongLong: n = v.toLongLong(&ok); break;
        default: break;
        }
        if (!ok || n < std::numeric_limits<std::int32_t>::min() ||
            n > std::numeric_limits<std::int32_t>::max()) {
            wrong_type(name);
            return false;
        }
        out = std::int32_t(n);
        return true;
    }

    bool boolean(const char* name, bool& out) {
        std::int32_t n = 0;
        if (!integer(name, n)) return false;
        out = n != 0;
        return true;
    }

    // Codes are one byte wide; an external edit beyond that keeps the low byte.
    bool code(const char* name, std::uint8_t& out) {
        std::int32_t n = 0;
        if (!integer(name, n)) return false;
        out = std::uint8_t(n & 0xFF);
        return true;
    }

    // An absent text reads as empty text. A list (an unquoted comma in the
    // file) or any other non-text value is of the wrong type.
    bool text(const char* name, QString& out) {
        const QVariant v = s_.value(QLatin1String(name));
        if (!v.isValid()) {
            out.clear();
            return true;
        }
        if (v.typeId() != QMetaType::QString) {
            wrong_type(name);
            return false;
        }
        out = v.toString();
        return true;
    }

private:
    QSettings& s_;
};

// A settings file as QSettings last saw it: it parses a file once per process
// and afterwards takes an unchanged file (same size and time) from memory.
struct FileStamp {
    QString path;
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stamp_of(const QString& path) {
    const QFileInfo info(path);
    return {path, info.lastModified(), info.exists() ? info.size() : -1};
}

// The file QSettings could not read or parse, while it stays unchanged, and
// why. Its later readers get no error from QSettings and see an empty store.
struct UnusableFile {
    FileStamp stamp;
    QSettings::Status status = QSettings::NoError;
};
std::optional<UnusableFile>& unusable_file() {
    static std::optional<UnusableFile> file;
    return file;
}

// NoError when the store can be read, else why not.
QSettings::Status usability(const QSettings& s) {
    if (s.status() != QSettings::NoError) return s.status();
    const auto& unusable = unusable_file();
    if (unusable && unusable->stamp == stamp_of(s.fileName())) return unusable->status;
    return QSettings::NoError;
}

// Reports a store that cannot be read; `fallback` shows an unreadable one.
bool usable(const QSettings& s, void (*fallback)(const char*), const char* name) {
    const QSettings::Status status = usability(s);
    if (status == QSettings::FormatError) cannot_parse(s.fileName());
    else if (status != QSettings::NoError) fallback(name);
    return status == QSettings::NoError;
}

using NamedValue = std::pair<const char*, QVariant>;

// Writes the values in their order and closes the store. QSettings writes the
// file whole when it syncs, so a failure takes every value of the call with
// it: it is reported under the first name.
bool write_values(QSettings& s, const std::vector<NamedValue>& values, const std::vector<NamedValue>& live = {}) {
    const char* first = values.front().first;
    // A file that could not be read or parsed is never written over: its
    // content would be lost. Writability is asked first because QSettings
    // keeps values it failed to write and writes them at its next chance;
    // a refused write must not come back later.
    if (!usable(s, cannot_set, first)) return false;
    if (!s.isWritable()) {
        cannot_set(first);
        return false;
    }
    s.beginGroup(kStoreGroup);
    for (const auto& [name, value] : values) s.setValue(QLatin1String(name), value);
    s.endGroup();
    if (!live.empty()) {
        s.beginGroup(kLiveGroup);
        for (const auto& [name, value] : live) s.setValue(QLatin1String(name), value);
        s.endGroup();
    }
    // The file may hold a caster's password: readable by its owner only,
    // from its creation on. QSettings writes a new file with the umask's
    // mode (0644) and an existing one with that file's mode, so a new file
    // is made empty and private first.
    const QByteArray path = QFile::encodeName(s.fileName());
    if (QDir().mkpath(QFileInfo(s.fileName()).absolutePath()))
        if (const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); fd >= 0) ::close(fd);
    s.sync();
    if (s.status() != QSettings::NoError) {
        cannot_set(first);
        return false;
    }
    QFile::setPermissions(s.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

int as_int(bool b) { return b ? 1 : 0; }

// The live-source values in their group, in their order.
std::vector<NamedValue> live_values(const SettingsRecord& r) {
    return {
        {"reconnectinternet", as_int(r.reconnectInternet)},
        {"reconnectserial", as_int(r.reconnectSerial)},
        {"reconnectntrip", as_int(r.reconnectNtrip)},
        {"silencelimit", r.silenceLimit},
        {"ntriphost", r.ntripHost},
        {"ntripport", r.ntripPort},
        {"ntripmount", r.ntripMount},
        {"ntripuser", r.ntripUser},
        {"ntrippassword", r.ntripPassword},
        {"ntripversion", r.ntripVersion},
        {"ntripgga", as_int(r.ntripGga)},
        {"ntriplatitude", QString::number(r.ntripLatitude, 'f', 9)},
        {"ntriplongitude", QString::number(r.ntripLongitude, 'f', 9)},
        {"ntripheight", QString::number(r.ntripHeight, 'f', 3)},
        {"ntripggainterval", r.ntripGgaInterval},
        {"filename", r.fileName},
    };
}

// Reads the live-source group; an absent or unreadable value keeps the
// record's default (these values are newer than most settings files).
void read_live_values(QSettings& s, SettingsRecord& r) {
    s.beginGroup(kLiveGroup);
    const auto number = [&](const char* name, auto& out) {
        bool ok = false;
        const double v = s.value(QLatin1String(name)).toString().toDouble(&ok);
        if (ok) out = decltype(+out)(v);
    };
    const auto flag = [&](const char* name, bool& out) {
        bool ok = false;
        const int v = s.value(QLatin1String(name)).toString().toInt(&ok);
        if (ok) out = v != 0;
    };
    const auto text = [&](const char* name, QString& out) {
        const QVariant v = s.value(QLatin1String(name));
        if (v.typeId() == QMetaType::QString) out = v.toString();
    };
    flag("reconnectinternet", r.reconnectInternet);
    flag("reconnectserial", r.reconnectSerial);
    flag("reconnectntrip", r.reconnectNtrip);
    number("silencelimit", r.silenceLimit);
    if (r.silenceLimit < 1) r.silenceLimit = 20;
    text("ntriphost", r.ntripHost);
    text("ntripport", r.ntripPort);
    text("ntripmount", r.ntripMount);
    text("ntripuser", r.ntripUser);
    text("ntrippassword", r.ntripPassword);
    number("ntripversion", r.ntripVersion);
    flag("ntripgga", r.ntripGga);
    number("ntriplatitude", r.ntripLatitude);
    number("ntriplongitude", r.ntripLongitude);
    number("ntripheight", r.ntripHeight);
    number("ntripggainterval", r.ntripGgaInterval);
    // The file source's file, so that the next start opens it again.
    text("filename", r.fileName);
    s.endGroup();
}

// The alarm settings; absent ones keep the record's (none).
void read_alarm_values(QSettings& s, SettingsRecord& r) {
    s.beginGroup(kAlarmsGroup);
    for (const auto& [name, out] : {std::pair{"rules", &r.alarmRules}, std::pair{"onevent", &r.alarmCommand}}) {
        const QVariant v = s.value(QLatin1String(name));
        if (v.typeId() == QMetaType::QString) *out = v.toString();
    }
    s.endGroup();
}

// The values of the record that Save writes, in their order.
std::vector<NamedValue> saved_values(const SettingsRecord& r, int source, std::int32_t baudrate) {
    return {
        {"source", source},
        {"comport", r.comport},
        {"baudrate", baudrate},
        {"numbits", int(r.numbits)},
        {"stopbits", int(r.stopbits)},
        {"parity", int(r.parity)},
        {"transmit", as_int(r.transmit)},
        {"decoding", as_int(r.decoding)},
        {"address", r.address},
        {"port", r.port},
        {"server", r.server},
    };
}

}  // namespace

std::unique_ptr<QSettings> open_user_settings() {
    auto s = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                         QStringLiteral("Tessaly"), QStringLiteral("tessaly"));
    s->setFallbacksEnabled(false);
    // QSettings parses at the first read, not when opened: read once, so
    // that its status speaks of this file.
    (void)s->childGroups();
    // Only the first reader of a changed file learns that it cannot be used.
    if (s->status() != QSettings::NoError) unusable_file() = UnusableFile{stamp_of(s->fileName()), s->status()};
    return s;
}

QString SettingsStore::file_path() { return open_user_settings()->fileName(); }

SettingsStore::LoadResult SettingsStore::Load(SettingsRecord& r) {
    r.set_common_defaults();
    r.source = kSourceInternet;
    r.address = QStringLiteral("127.0.0.1");
    r.port = QStringLiteral("2101");
    r.baudCode = 6;
    r.baudrate = 4800;
    r.comport = QStringLiteral("COM1");
    r.comNumber = 1;
    r.numbits = 3;
    r.stopbits = 0;
    r.parity = 0;

    const auto s = open_user_settings();
    if (!usable(*s, cannot_get, "source")) return LoadResult::Stopped;

    if (!s->childGroups().contains(kStoreGroup)) {
        // The store says "serial" for the next run; this run keeps the
        // Internet source set above.
        auto values = saved_values(r, kSourceSerial, r.baudrate);
        values.emplace_back("paritycheck", as_int(r.paritycheck));
        return write_values(*s, values) ? LoadResult::FirstRun : LoadResult::Stopped;
    }

    s->beginGroup(kStoreGroup);
    ValueReader in(*s);
    if (!in.code("source", r.source)) return LoadResult::Stopped;
    if (!in.text("comport", r.comport)) return LoadResult::Stopped;
    if (!in.integer("baudrate", r.baudrate)) return LoadResult::Stopped;
    // An unknown rate stays in baudrate, but the port opens at 4800.
    const std::uint8_t code = baud_code_for_rate(r.baudrate);
    r.baudCode = code != 0 ? code : 6;
    for (int n = 1; n <= 12; ++n)
        if (r.comport == QStringLiteral("COM%1").arg(n)) r.comNumber = n;
    if (!in.code("numbits", r.numbits)) return LoadResult::Stopped;
    if (!in.code("stopbits", r.stopbits)) return LoadResult::Stopped;
    if (!in.code("parity", r.parity)) return LoadResult::Stopped;
    if (!in.boolean("transmit", r.transmit)) return LoadResult::Stopped;
    if (!in.text("port", r.port)) return LoadResult::Stopped;
    if (!in.text("address", r.address)) return LoadResult::Stopped;
    // The stored description is not read back: every run starts with this one.
    r.server = QStringLiteral("own server ") + r.address + QLatin1Char(' ') + r.port;
    if (!in.boolean("decoding", r.decoding)) return LoadResult::Stopped;
    if (!in.boolean("paritycheck", r.paritycheck)) return LoadResult::Stopped;
    // Kept only once the operator set it: until then the default follows
    // the program.
    if (s->contains(QStringLiteral("leapSeconds"))) {
        if (!in.integer("leapSeconds", r.leapSeconds)) return LoadResult::Stopped;
        r.leapSecondsStored = true;
    }
    s->endGroup();
    read_live_values(*s, r);
    read_alarm_values(*s, r);

    // A device path stays; any other name outside the twelve becomes "COM1".
    if (r.comport.startsWith(QLatin1Char('/'))) r.comNumber = 0;
    else r.comport = QStringLiteral("COM%1").arg(r.comNumber);
    return LoadResult::Loaded;
}

bool SettingsStore::Save(SettingsRecord& r) {
    if (r.source == kSourceSerial) r.transmit = false;
    // The stored rate always follows the code the port is opened with.
    const std::int32_t rate = rate_for_baud_code(r.baudCode);
    const auto s = open_user_settings();
    return write_values(*s, saved_values(r, r.source, rate != 0 ? rate : r.baudrate), live_values(r));
}

bool SettingsStore::SaveLeapSeconds(SettingsRecord& r, std::int32_t leapSeconds) {
    r.leapSeconds = leapSeconds;
    const auto s = open_user_settings();
    r.leapSecondsStored = write_values(*s, {{"leapSeconds", leapSeconds}});
    return r.leapSecondsStored;
}

bool SettingsStore::SaveDecoding(SettingsRecord& r, bool decoding) {
    r.decoding = decoding;
    const auto s = open_user_settings();
    return write_values(*s, {{"decoding", as_int(decoding)}});
}

}  // namespace tessaly
