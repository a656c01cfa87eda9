// The settings store against real files in a temporary settings home.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <string_view>
#include <vector>

#include "error_log.h"
#include "golden.h"
#include "serial_ports.h"
#include "settings_record.h"
#include "settings_store.h"

// QSettings writes a file whole, into a temporary file that it renames over
// the settings file (or, when there is none, links into place): the mode
// that file has then is the mode the settings file first shows to others.
// Recorded here, on the way to the C library.
std::vector<mode_t> modes_put_into_place;

namespace {
template <class Fn>
Fn* real(const char* name) {
    return reinterpret_cast<Fn*>(::dlsym(RTLD_NEXT, name));
}
bool is_settings_file(const char* path) { return std::string_view(path).ends_with("/tessaly.ini"); }
}  // namespace

extern "C" int rename(const char* from, const char* to) {
    struct stat st {};
    const bool watched = is_settings_file(to) && ::stat(from, &st) == 0;
    const int result = real<int(const char*, const char*)>("rename")(from, to);
    if (watched && result == 0) modes_put_into_place.push_back(st.st_mode & 07777);
    return result;
}

extern "C" int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
    struct stat st {};
    const bool watched = is_settings_file(to) && ::fstatat(from_dir, from, &st, flags & AT_EMPTY_PATH) == 0;
    const int result = real<int(int, const char*, int, const char*, int)>("linkat")(from_dir, from, to_dir, to, flags);
    if (watched && result == 0) modes_put_into_place.push_back(st.st_mode & 07777);
    return result;
}

namespace tessaly::test {
namespace {

using Result = SettingsStore::LoadResult;

// The loaded fields in one line, so that a case states them all at once.
QString summary(const SettingsRecord& r) {
    return QStringLiteral("src=%1 %2#%3 baud=%4#%5 bits=%6/%7/%8 tx=%9 dec=%10 pc=%11 %12:%13 [%14]")
        .arg(r.source).arg(r.comport).arg(r.comNumber).arg(r.baudrate).arg(r.baudCode)
        .arg(r.numbits).arg(r.stopbits).arg(r.parity).arg(r.transmit).arg(r.decoding)
        .arg(r.paritycheck).arg(r.address, r.port, r.server);
}

// What a record holds when Load stops at the first value.
const QString kStepOne = "src=2 COM1#1 baud=4800#6 bits=3/0/0 tx=0 dec=1 pc=1 127.0.0.1:2101 [unknown]";

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static QString path() { return SettingsStore::file_path(); }
    static QString folder() { return QFileInfo(path()).absolutePath(); }
    static void write_file(const QByteArray& content) {
        ASSERT_TRUE(QDir().mkpath(folder()));
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(content), content.size());
    }
    static QByteArray file_content() {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void reset() {
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(folder()).removeRecursively();
        QFile::remove(folder());
    }
};

// What the first run writes, as the file shows it: numbers, not words.
const QByteArray kFirstRunFile =
    "[Meridox]\naddress=127.0.0.1\nbaudrate=4800\ncomport=COM1\ndecoding=1\nnumbits=3\nparity=0\n"
    "paritycheck=1\nport=2101\nserver=unknown\nsource=1\nstopbits=0\ntransmit=0\n";

TEST_F(StoreTest, FirstRunWritesSerialButRunsOnTheInternetSource) {
    testing::BoxRecorder errors;
    SettingsRecord r;
    r.fileName = "kept.raw";
    r.leapSeconds = 17;
    EXPECT_EQ(SettingsStore().Load(r), Result::FirstRun);
    EXPECT_EQ(file_content(), kFirstRunFile);
    EXPECT_EQ(summary(r), kStepOne);
    EXPECT_EQ(r.fileName + QString::number(r.leapSeconds), "kept.raw17");  // Load leaves these alone
    // The next run finds the store and starts with the serial source.
    SettingsRecord next;
    EXPECT_EQ(SettingsStore().Load(next), Result::Loaded);
    EXPECT_EQ(summary(next),
              "src=1 COM1#1 baud=4800#6 bits=3/0/0 tx=0 dec=1 pc=1 127.0.0.1:2101 [own server 127.0.0.1 2101]");
    EXPECT_TRUE(errors.texts().isEmpty()) << errors.texts().join('|').toStdString();
    // COM names map to devices; a [Ports] entry names another one.
    open_user_settings()->setValue(kPortsGroup + "/COM3", "/dev/ttyUSB0");
    const std::pair<const char*, const char*> ports[] = {
        {"COM1", "/dev/ttyS0"}, {"COM12", "/dev/ttyS11"}, {"COM3", "/dev/ttyUSB0"},
        {"com4", "com4"},       {"COM0", "COM0"},         {"/dev/pts/4", "/dev/pts/4"},
    };
    for (const auto& [name, device] : ports) EXPECT_EQ(serial_device(name), device) << name;
}

const QByteArray kFull =
    "[Meridox]\nsource=0\nbaudrate=38400\nnumbits=2\nstopbits=2\nparity=1\ntransmit=7\ndecoding=0\n"
    "paritycheck=0\naddress=10.1.2.3\nport=ftp\nserver=stored text is not read back\ncomport=";

// Codes keep their low byte, booleans are anything but 0, an unknown rate
// opens the port at 4800, names outside COM1..COM12 become COM1, absent
// texts are empty; a failure keeps what was read before it. What Load made
// of each file (its errors and the fields) is in golden/store_loads.txt;
// TESSALY_UPDATE_GOLDEN=1 rewrites it (check the difference by hand).
TEST_F(StoreTest, LoadsOrStopsAtTheFailingValue) {
    const std::pair<const char*, QByteArray> cases[] = {
        {"Com12", kFull + "COM12\n"},
        {"UnknownRate", kFull + "COM2\nbaudrate=14400\n"},
        {"NameBeyondTwelve", kFull + "COM13\nsource=258\n"},
        {"NameInLowerCase", kFull + "com3\n"},
        {"AbsentTexts", "[Meridox]\nsource=1\nbaudrate=1200\nnumbits=3\nstopbits=0\nparity=2\ntransmit=0\n"
                        "decoding=1\nparitycheck=1\n"},
        {"MissingNumbits", "[Meridox]\nsource=0\ncomport=com7\nbaudrate=2400\naddress=h\n"},
        {"SourceAsText", "[Meridox]\nsource=serial\ncomport=COM2\n"},
        {"DecodingAsWord", kFull + "COM2\ndecoding=true\n"},
        {"RateBeyond32Bits", "[Meridox]\nsource=1\nbaudrate=4294967296\n"},
        {"AddressAsList", kFull + "COM2\naddress=a,b\n"}};
    QString text;
    for (const auto& [name, file] : cases) {
        write_file(file);
        testing::BoxRecorder errors;
        SettingsRecord r;
        const Result result = SettingsStore().Load(r);
        EXPECT_EQ(result, errors.texts().isEmpty() ? Result::Loaded : Result::Stopped) << name;
        text += QString(name) + ": " + errors.texts().join('|') + " -> " + summary(r) + "\n";
        EXPECT_EQ(file_content(), file) << name;  // Load of an existing store writes nothing
    }
    EXPECT_EQ(text.toStdString(), testing::golden_check(text.toStdString(), TESSALY_GOLDEN_DIR "/store_loads.txt"));
}

TEST_F(StoreTest, SaveWritesElevenValuesAndTheDecodingChoiceAtOnce) {
    write_file("[Meridox]\nparitycheck=0\n");
    testing::BoxRecorder errors;
    SettingsRecord r;
    r.transmit = true;  // the serial source cannot also take the forwarded stream
    r.comport = "COM4";
    r.baudrate = 14400;
    r.baudCode = 9;  // the stored rate follows the code
    r.paritycheck = true;
    r.server = "RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19";
    EXPECT_TRUE(SettingsStore().Save(r));
    EXPECT_FALSE(r.transmit);
    // The live-source values have a group of their own (beside this one).
    EXPECT_EQ(file_content().mid(file_content().indexOf("[Meridox]")),
              "[Meridox]\naddress=127.0.0.1\nbaudrate=19200\ncomport=COM4\ndecoding=1\nnumbits=3\nparity=0\n"
              "paritycheck=0\nport=2101\nserver=\"RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19\"\n"
              "source=1\nstopbits=0\ntransmit=0\n");
    r.source = kSourceInternet;  // forwarding stays on for the other sources
    r.transmit = true;
    EXPECT_TRUE(SettingsStore().Save(r) && SettingsStore().SaveDecoding(r, false));
    EXPECT_FALSE(r.decoding);
    SettingsRecord next;
    EXPECT_EQ(SettingsStore().Load(next), Result::Loaded);
    EXPECT_EQ(summary(next),
              "src=2 COM4#4 baud=19200#9 bits=3/0/0 tx=1 dec=0 pc=0 127.0.0.1:2101 [own server 127.0.0.1 2101]");
    EXPECT_TRUE(errors.texts().isEmpty());
}

// The settings file may hold a caster's password: no one else may read it,
// not even for the moment between its creation and the first write.
TEST_F(StoreTest, FileIsPrivateFromItsCreation) {
    const mode_t umask_before = ::umask(022);
    modes_put_into_place.clear();
    SettingsRecord r;
    EXPECT_EQ(SettingsStore().Load(r), Result::FirstRun);
    r.ntripPassword = "s3cret";
    EXPECT_TRUE(SettingsStore().Save(r));
    ::umask(umask_before);
    EXPECT_EQ(modes_put_into_place, std::vector<mode_t>({0600, 0600}));
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path()).constData(), &st) == 0 ? st.st_mode & 07777 : 0, 0600u);
}

// The alarm settings are edited in the file, in a group of their own: they
// load, outlive a Save of the dialog's values, and are empty where absent.
TEST_F(StoreTest, AlarmSettingsLoadAndOutliveASave) {
    const auto loaded = [] {
        SettingsRecord r;
        EXPECT_EQ(SettingsStore().Load(r), Result::Loaded);
        return r.alarmRules + "|" + r.alarmCommand;
    };
    write_file(kFirstRunFile + "[Alarms]\nrules=/etc/tessaly/rules.ini\nonevent=\"logger -t tessaly, alarm\"\n");
    EXPECT_EQ(loaded(), "/etc/tessaly/rules.ini|logger -t tessaly, alarm");
    SettingsRecord r;
    SettingsStore().Load(r);
    EXPECT_TRUE(SettingsStore().Save(r));
    EXPECT_EQ(loaded(), "/etc/tessaly/rules.ini|logger -t tessaly, alarm");
    write_file(kFirstRunFile);
    EXPECT_EQ(loaded(), "|");
}

// A store that cannot be used is reported, the run goes on with the
// defaults, and a file that could not be parsed is never written over.
TEST_F(StoreTest, UnusableStoreIsReportedAndLeftAlone) {
    const QByteArray junk("\x00\x01\xff[Meri\ndox\n===\n[[", 19);
    // QSettings finds nothing wrong with this one until it reads a value.
    const QByteArray binary("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10);
    const QString unparsable = "The settings file " + path() +
                               " is not a settings file this program can read. It is left as it is, "
                               "and no settings are stored until it is repaired or removed.";
    const struct {
        const char* name;
        std::function<void()> make;
        QStringList errors;  // of Load, Save and SaveDecoding
        QByteArray kept;     // the file's content afterwards, if it is one
    } cases[] = {
        {"unparsable file", [&] { write_file(junk); }, {unparsable, unparsable, unparsable}, junk},
        {"binary file", [&] { write_file(binary); }, {unparsable, unparsable, unparsable}, binary},
        {"folder in place of the file", [] { ASSERT_TRUE(QDir().mkpath(path())); },
         {"Konnte Daten für 'source' nicht holen", "Konnte Daten für 'source' nicht setzen",
          "Konnte Daten für 'decoding' nicht setzen"}, {}},
        {"file in place of the folder", [] { ASSERT_TRUE(QFile(folder()).open(QIODevice::WriteOnly)); },
         {"Konnte Daten für 'source' nicht setzen",  // the first run cannot write
          "Konnte Daten für 'source' nicht setzen", "Konnte Daten für 'decoding' nicht setzen"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        testing::BoxRecorder errors;
        SettingsRecord r;
        EXPECT_EQ(SettingsStore().Load(r), Result::Stopped);
        EXPECT_EQ(summary(r), kStepOne);
        EXPECT_FALSE(SettingsStore().Save(r) || SettingsStore().SaveDecoding(r, false));
        EXPECT_EQ(errors.texts(), c.errors);
        EXPECT_EQ(errors.boxes.at(0).caption, kFailureCaption);
        EXPECT_TRUE(c.kept.isEmpty() || file_content() == c.kept);
        reset();
    }
}

}  // namespace
}  // namespace tessaly::test
