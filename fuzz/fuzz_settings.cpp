// Arbitrary bytes as the settings file: loading must not crash, a file that
// QSettings cannot parse must be reported as such, and it must come out of a
// Save and a SaveDecoding byte for byte as it went in.
#include <fcntl.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "error_seam.h"
#include "settings_record.h"
#include "settings_store.h"

using namespace tessaly;

namespace {

QStringList reported;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where there is /dev/shm: QSettings syncs every file it writes.
    static QTemporaryDir home(QDir("/dev/shm").exists() ? "/dev/shm/tessaly-fuzz-XXXXXX" : QString());
    if (!home.isValid()) std::abort();
    // Before anything touches QSettings: it fixes the location at first use.
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    set_error_reporter([](const QString&, const QString& text) { reported << text; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path = SettingsStore::file_path();
    static long long runs = 0;
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) std::abort();
    }
    // A new modification time for every run: QSettings keeps a parsed file
    // in memory while its size and time stay the same.
    const timespec times[2] = {{1'000'000'000 + ++runs, 0}, {1'000'000'000 + runs, 0}};
    if (utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0) != 0) std::abort();

    // QSettings' own verdict, from a copy under a name it has not seen.
    const QString probe = path + ".probe" + QString::number(runs);
    QFile::copy(path, probe);
    bool unparsable = false;
    {
        QSettings s(probe, QSettings::IniFormat);
        (void)s.childGroups();
        unparsable = s.status() == QSettings::FormatError;
    }
    QFile::remove(probe);

    reported.clear();
    SettingsRecord record;
    const auto result = SettingsStore().Load(record);
    const bool unreadable = !reported.isEmpty() && reported.front().startsWith("The settings file");
    if (unreadable != unparsable || (unreadable && result != SettingsStore::LoadResult::Stopped)) {
        std::fprintf(stderr, "an unparsable settings file was not reported as such\n");
        std::abort();
    }
    // Saving a readable file is QSettings' work (and slow: it syncs to disk).
    if (unreadable) {
        SettingsStore().Save(record);
        SettingsStore().SaveDecoding(record, !record.decoding);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != content) {
            std::fprintf(stderr, "a settings file the loader could not read was written over\n");
            std::abort();
        }
    }
    return 0;
}
