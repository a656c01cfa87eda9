// The settings store against real files in a temporary settings home.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <unistd.h>

#include "error_log.h"
#include "settings_record.h"
#include "settings_store.h"

namespace tessaly::test {
namespace {

using Result = SettingsStore::LoadResult;


class StoreTest : public testing::Test {
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

private:
    // QSettings keeps what it could not write in a per-process cache and
    // writes it at the next chance; flush that before removing the folder,
    // so that no test sees another's values.
    static void reset() {
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        QDir(folder()).removeRecursively();
        QFile::remove(folder());
        open_user_settings()->sync();
        QDir(folder()).removeRecursively();
    }
};


// What the first run writes, as the file shows it: numbers, not words.
const QByteArray kFirstRunFile =
    "[Meridox]\n"
    "address=127.0.0.1\n"
    "baudrate=4800\n"
    "comport=COM1\n"
    "decoding=1\n"
    "numbits=3\n"
    "parity=0\n"
    "paritycheck=1\n"
    "port=2101\n"
    "server=unknown\n"
    "source=1\n"
    "stopbits=0\n"
    "transmit=0\n";

TEST_F(StoreTest, FirstRunWritesSerialButRunsOnTheInternetSource) {
    ErrorLog errors;
    SettingsRecord r;
    r.fileName = "kept.raw";
    r.leapSeconds = 17;
    EXPECT_EQ(SettingsStore().Load(r), Result::FirstRun);
    EXPECT_TRUE(errors.texts.isEmpty()) << errors.texts.join('|').toStdString();
    EXPECT_EQ(file_content(), kFirstRunFile);
    EXPECT_EQ(r.source, kSourceInternet);
    EXPECT_EQ(r.address, "127.0.0.1");
    EXPECT_EQ(r.port, "2101");
    EXPECT_EQ(r.server, "unknown");
    EXPECT_EQ(r.comport, "COM1");
    EXPECT_EQ(r.baudCode, 6);
    EXPECT_EQ(r.fileName, "kept.raw");  // Load leaves these alone
    EXPECT_EQ(r.leapSeconds, 17);

    // The next run finds the store and starts with the serial source.
    SettingsRecord next;
    EXPECT_EQ(SettingsStore().Load(next), Result::Loaded);
    EXPECT_EQ(next.source, kSourceSerial);
    EXPECT_EQ(next.server, "own server 127.0.0.1 2101");
    EXPECT_TRUE(next.paritycheck);
    EXPECT_TRUE(errors.texts.isEmpty());
}

struct LaterRun {
    const char* name;
    QByteArray values;  // lines of the [Meridox] group
    std::uint8_t source;
    const char* comport;
    int comNumber;
    int baudrate;
    int baudCode;
    const char* server;
    bool transmit;
    bool decoding;
    friend void PrintTo(const LaterRun& c, std::ostream* os) { *os << c.name; }
};

class LaterRunTest : public StoreTest, public testing::WithParamInterface<LaterRun> {};

const QByteArray kBase =
    "source=2\nbaudrate=4800\nnumbits=3\nstopbits=0\nparity=0\ntransmit=0\ndecoding=1\n"
    "paritycheck=1\naddress=10.1.2.3\nport=2102\nserver=stored text is not read back\n";

TEST_P(LaterRunTest, LoadsTheStoredValues) {
    const LaterRun& c = GetParam();
    write_file("[Meridox]\n" + kBase + c.values);
    ErrorLog errors;
    SettingsRecord r;
    EXPECT_EQ(SettingsStore().Load(r), Result::Loaded);
    EXPECT_TRUE(errors.texts.isEmpty()) << errors.texts.join('|').toStdString();
    EXPECT_EQ(r.source, c.source);
    EXPECT_EQ(r.comport, c.comport);
    EXPECT_EQ(r.comNumber, c.comNumber);
    EXPECT_EQ(r.baudrate, c.baudrate);
    EXPECT_EQ(r.baudCode, c.baudCode);
    EXPECT_EQ(r.server, c.server);
    EXPECT_EQ(r.transmit, c.transmit);
    EXPECT_EQ(r.decoding, c.decoding);
}

// Later lines of a group win over the base lines above.
INSTANTIATE_TEST_SUITE_P(
    Store, LaterRunTest,
    testing::Values(
        LaterRun{"Com12At38400", "comport=COM12\nbaudrate=38400\n", 2, "COM12", 12, 38400, 10,
                 "own server 10.1.2.3 2102", false, true},
        LaterRun{"UnknownRateOpensAt4800", "comport=COM2\nbaudrate=14400\n", 2, "COM2", 2, 14400, 6,
                 "own server 10.1.2.3 2102", false, true},
        LaterRun{"NameBeyondTwelve", "comport=COM13\n", 2, "COM1", 1, 4800, 6,
                 "own server 10.1.2.3 2102", false, true},
        LaterRun{"NameInLowerCase", "comport=com3\nbaudrate=1200\n", 2, "COM1", 1, 1200, 4,
                 "own server 10.1.2.3 2102", false, true},
        LaterRun{"NameWithLeadingZero", "comport=COM03\n", 2, "COM1", 1, 4800, 6,
                 "own server 10.1.2.3 2102", false, true},
        LaterRun{"NonZeroIsTrue", "comport=COM4\ntransmit=7\ndecoding=0\nsource=0\n", 0, "COM4", 4,
                 4800, 6, "own server 10.1.2.3 2102", true, false},
        LaterRun{"Com5AtDefaults", "comport=COM5\n", 2, "COM5", 5, 4800, 6,
                 "own server 10.1.2.3 2102", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreTest, AbsentTextsReadAsEmptyText) {
    write_file("[Meridox]\nsource=1\nbaudrate=9600\nnumbits=2\nstopbits=2\nparity=1\ntransmit=0\n"
               "decoding=1\nparitycheck=0\n");
    ErrorLog errors;
    SettingsRecord r;
    EXPECT_EQ(SettingsStore().Load(r), Result::Loaded);
    EXPECT_TRUE(errors.texts.isEmpty());
    EXPECT_EQ(r.comport, "COM1");
    EXPECT_EQ(r.address, "");
    EXPECT_EQ(r.server, "own server  ");
    EXPECT_EQ(r.numbits, 2);
    EXPECT_EQ(r.stopbits, 2);
    EXPECT_EQ(r.parity, 1);
    EXPECT_FALSE(r.paritycheck);
}

struct BadValue {
    const char* name;
    QByteArray file;
    const char* error;
    std::uint8_t source;    // 2 while "source" itself was not read
    const char* comport;    // as read, not yet made "COM<n>"
    std::uint8_t numbits;   // 3 unless read
    const char* address;    // step-one default unless read
    friend void PrintTo(const BadValue& c, std::ostream* os) { *os << c.name; }
};

class BadValueTest : public StoreTest, public testing::WithParamInterface<BadValue> {};

TEST_P(BadValueTest, StopsLoadWhereTheValueFails) {
    const BadValue& c = GetParam();
    write_file(c.file);
    ErrorLog errors;
    SettingsRecord r;
    EXPECT_EQ(SettingsStore().Load(r), Result::Stopped);
    EXPECT_EQ(errors.texts, QStringList{QString::fromUtf8(c.error)});
    EXPECT_EQ(errors.captions, QStringList{kFailureCaption});
    EXPECT_EQ(r.source, c.source);
    EXPECT_EQ(r.comport, c.comport);
    EXPECT_EQ(r.numbits, c.numbits);
    EXPECT_EQ(r.address, c.address);
    EXPECT_EQ(file_content(), c.file);  // a failed Load writes nothing
}

INSTANTIATE_TEST_SUITE_P(
    Store, BadValueTest,
    testing::Values(
        BadValue{"MissingNumbits", "[Meridox]\nsource=0\ncomport=com7\nbaudrate=1200\naddress=h\n",
                 "Konnte Daten für 'numbits' nicht holen", 0, "com7", 3, "127.0.0.1"},
        BadValue{"SourceAsText", "[Meridox]\nsource=serial\ncomport=COM2\n",
                 "Ungültiger Datentyp für 'source'", 2, "COM1", 3, "127.0.0.1"},
        BadValue{"DecodingAsWord",
                 "[Meridox]\nsource=1\ncomport=COM2\nbaudrate=2400\nnumbits=2\nstopbits=0\n"
                 "parity=0\ntransmit=0\naddress=a.example\nport=99\ndecoding=true\n",
                 "Ungültiger Datentyp für 'decoding'", 1, "COM2", 2, "a.example"},
        BadValue{"RateBeyond32Bits", "[Meridox]\nsource=1\nbaudrate=4294967296\n",
                 "Ungültiger Datentyp für 'baudrate'", 1, "", 3, "127.0.0.1"},
        BadValue{"AddressAsList",
                 "[Meridox]\nsource=1\ncomport=COM2\nbaudrate=2400\nnumbits=2\nstopbits=0\n"
                 "parity=0\ntransmit=0\nport=99\naddress=a,b\n",
                 "Ungültiger Datentyp für 'address'", 1, "COM2", 2, "127.0.0.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreTest, SaveWritesElevenValuesAndKeepsTheStoredParityCheck) {
    write_file("[Meridox]\nparitycheck=0\n");
    ErrorLog errors;
    SettingsRecord r;
    r.source = kSourceSerial;
    r.transmit = true;  // cannot forward to the port that is the source
    r.comport = "COM4";
    r.baudrate = 14400;
    r.baudCode = 9;
    r.numbits = 2;
    r.stopbits = 2;
    r.parity = 2;
    r.decoding = false;
    r.paritycheck = true;
    r.address = "rtcm.example";
    r.port = "2102";
    r.server = "RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19";
    EXPECT_TRUE(SettingsStore().Save(r));
    EXPECT_TRUE(errors.texts.isEmpty());
    EXPECT_FALSE(r.transmit);
    EXPECT_EQ(file_content(),
              "[Meridox]\n"
              "address=rtcm.example\n"
              "baudrate=19200\n"
              "comport=COM4\n"
              "decoding=0\n"
              "numbits=2\n"
              "parity=2\n"
              "paritycheck=0\n"
              "port=2102\n"
              "server=\"RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19\"\n"
              "source=1\n"
              "stopbits=2\n"
              "transmit=0\n");

    // Forwarding stays on for the other sources, and the next run reads
    // what was saved.
    r.source = kSourceInternet;
    r.transmit = true;
    EXPECT_TRUE(SettingsStore().Save(r));
    SettingsRecord next;
    EXPECT_EQ(SettingsStore().Load(next), Result::Loaded);
    EXPECT_TRUE(next.transmit);
    EXPECT_FALSE(next.paritycheck);
    EXPECT_EQ(next.baudrate, 19200);
    EXPECT_EQ(next.server, "own server rtcm.example 2102");
}

TEST_F(StoreTest, SaveDecodingWritesThatValueAtOnce) {
    ErrorLog errors;
    SettingsRecord r;
    ASSERT_EQ(SettingsStore().Load(r), Result::FirstRun);
    EXPECT_TRUE(SettingsStore().SaveDecoding(r, false));
    EXPECT_FALSE(r.decoding);
    QByteArray expected = kFirstRunFile;
    expected.replace("decoding=1", "decoding=0");
    EXPECT_EQ(file_content(), expected);
    EXPECT_TRUE(errors.texts.isEmpty());
}

// A store that cannot be read is reported and the run goes on with the
// defaults; it is never written over.
TEST_F(StoreTest, UnusableStoreIsReportedAndNeverWrittenOver) {
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const QByteArray junk("\x00\x01\xff[Meri\ndox\n===\n[[", 19);
    const Case cases[] = {
        {"file that is no settings file", [&] { write_file(junk); }},
        {"folder in place of the file", [] { ASSERT_TRUE(QDir().mkpath(path())); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        const QByteArray before = QFileInfo(path()).isFile() ? file_content() : QByteArray();
        ErrorLog errors;
        SettingsRecord r;
        EXPECT_EQ(SettingsStore().Load(r), Result::Stopped);
        EXPECT_EQ(r.source, kSourceInternet);
        EXPECT_EQ(r.address, "127.0.0.1");
        r.decoding = false;
        EXPECT_FALSE(SettingsStore().Save(r));
        EXPECT_FALSE(SettingsStore().SaveDecoding(r, false));
        EXPECT_EQ(errors.texts, (QStringList{"Konnte Daten für 'source' nicht holen",
                                             "Konnte Daten für 'source' nicht setzen",
                                             "Konnte Daten für 'decoding' nicht setzen"}));
        if (QFileInfo(path()).isFile()) {
            EXPECT_EQ(file_content(), before);
        }
        TearDown();
    }
}

TEST_F(StoreTest, FirstRunThatCannotWriteIsReported) {
    // A file where the settings folder should be.
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ErrorLog errors;
    SettingsRecord r;
    EXPECT_EQ(SettingsStore().Load(r), Result::Stopped);
    EXPECT_EQ(errors.texts, QStringList{"Konnte Daten für 'source' nicht setzen"});
    EXPECT_EQ(r.source, kSourceInternet);
}

// Runs as an ordinary user, also when the tests run as root.
class AsNobody {
public:
    AsNobody() : switched_(geteuid() == 0 && seteuid(65534) == 0) {}
    ~AsNobody() {
        if (switched_ && seteuid(0) != 0) std::abort();
    }

private:
    bool switched_;
};

constexpr QFile::Permissions kReadAll = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions kEnterAll = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

TEST_F(StoreTest, ReadOnlyStoreLoadsButCannotSave) {
    write_file("[Meridox]\n" + kBase + "comport=COM2\n");
    const QByteArray before = file_content();
    // Readable for everyone on the way, writable for nobody.
    for (QString dir = folder(); dir != "/"; dir = QFileInfo(dir).absolutePath())
        if (dir.startsWith(QDir::tempPath() + "/"))
            QFile::setPermissions(dir, QFile::permissions(dir) | kReadAll | kEnterAll);
    ASSERT_TRUE(QFile::setPermissions(path(), kReadAll));
    ASSERT_TRUE(QFile::setPermissions(folder(), kReadAll | kEnterAll));
    ErrorLog errors;
    SettingsRecord r;
    {
        AsNobody nobody;
        EXPECT_EQ(SettingsStore().Load(r), Result::Loaded);
        EXPECT_EQ(r.comNumber, 2);
        r.comport = "COM3";
        EXPECT_FALSE(SettingsStore().Save(r));
        EXPECT_FALSE(SettingsStore().SaveDecoding(r, false));
    }
    EXPECT_EQ(errors.texts, (QStringList{"Konnte Daten für 'source' nicht setzen",
                                         "Konnte Daten für 'decoding' nicht setzen"}));
    EXPECT_EQ(r.comport, "COM3");  // the record keeps the new values
    EXPECT_FALSE(r.decoding);
    EXPECT_EQ(file_content(), before);
}

}  // namespace
}  // namespace tessaly::test
