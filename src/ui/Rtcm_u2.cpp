#include "Rtcm_u2.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

#include <optional>
#include <span>

#include "RTCM_U5.h"
#include "error_seam.h"
#include "ntrip_client.h"
#include "ntrip_picker.h"
#include "ui_boxes.h"
#include "dialog_layout.h"
#include "settings_record.h"
#include "serial_devices.h"
#include "settings_store.h"

namespace tessaly {

namespace {

struct Choice {
    const char* text;
    int code;
};

constexpr Choice port_choices[] = {{"COM1", 1}, {"COM2", 2}, {"COM3", 3},   {"COM4", 4},
                                   {"COM5", 5}, {"COM6", 6}, {"COM7", 7},   {"COM8", 8},
                                   {"COM9", 9}, {"COM10", 10}, {"COM11", 11}, {"COM12", 12}};
constexpr Choice baud_choices[] = {{"1200 baud", 4}, {"2400 baud", 5},  {"4800 baud", 6},
                                   {"9600 baud", 7}, {"19200 baud", 9}, {"38400 baud", 10}};
constexpr Choice databits_choices[] = {{"8 Data Bits", 3}, {"7 Data Bits", 2}};
constexpr Choice parity_choices[] = {{"no parity", 0}, {"even parity", 2}, {"odd parity", 1}};
constexpr Choice stopbits_choices[] = {{"1 Stop Bit", 0}, {"1,5 Stop Bits", 1}, {"2 Stop Bits", 2}};

// The list shows the item of the code; a code outside the table leaves it
// at its first item.
void showCode(QComboBox* list, std::span<const Choice> table, int code) {
    list->setCurrentIndex(0);
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].code == code) list->setCurrentIndex(int(i));
}

// The code of the list's text, compared exactly with the items; nothing
// for a text the operator typed that matches none.
std::optional<int> codeOf(const QComboBox* list, std::span<const Choice> table) {
    for (const Choice& c : table)
        if (list->currentText() == QLatin1String(c.text)) return c.code;
    return std::nullopt;
}

// A device path: the path of a listed device, or one typed in (it starts
// with "/"); empty for the COM names and other texts.
QString devicePathOf(const QComboBox* list) {
    const QString text = list->currentText().trimmed();
    const int i = list->findText(text);
    if (i >= 0) return list->itemData(i).toString();
    return text.startsWith('/') ? text : QString();
}

void showDevice(QComboBox* list, const QString& path) {
    const int i = list->findData(path);
    if (i >= 0) list->setCurrentIndex(i);
    else list->setCurrentText(path);
}

QComboBox* makeList(QWidget* parent, std::span<const Choice> table) {
    auto* list = new QComboBox(parent);
    for (const Choice& c : table) list->addItem(c.text);
    // The operator may type; a text that matches no item changes nothing.
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    return list;
}

QString fromWire(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// The file-open dialog's filter. The pattern is "*": "*.*" would hide every
// file without a dot in its name here.
const QString raw_code_filter = QStringLiteral("RTCM raw code (*.*)");

QString platformFileDialog(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!filter.isEmpty()) {
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(filter + " (*)");
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

const char* const info_text =
    "Tessaly Version 2.1\n"
    "Monitor and decoder for RTCM SC-104 version 2 correction streams "
    "from a TCP port, a serial port or a file.";

}  // namespace

TSettings::TSettings(SettingsRecord& settings, SettingsStore& store, QWidget* parent)
    : QDialog(parent), openFileDialog(platformFileDialog), settings_(settings), store_(store) {
    setWindowTitle("Settings");
    setFixedSize(640, 470);

    auto* sourceGroup = placed<QGroupBox>(this, {8, 8, 290, 100}, "Data Source");
    SerialBtn = placed<QRadioButton>(sourceGroup, {16, 24, 260, 20}, "Serial interface (COM i)");
    InternetBtn = placed<QRadioButton>(sourceGroup, {16, 48, 120, 20}, "Internet");
    NtripBtn = placed<QRadioButton>(sourceGroup, {150, 48, 130, 20}, "NTRIP caster");
    FileBtn = placed<QRadioButton>(sourceGroup, {16, 72, 260, 20}, "File");

    FileMenuBtn = placed<QPushButton>(this, {8, 114, 90, 26}, "File Menu");
    FileNameField = placed<QLineEdit>(this, {104, 114, 194, 26});
    ReconnectBox = placed<QCheckBox>(this, {8, 114, 290, 26}, "Reconnect automatically");
    ReconnectBox->setToolTip("After a failure or 20 s without data, try again after 1, 2, 4 ... 256 s");

    auto* parityGroup = placed<QGroupBox>(this, {8, 148, 290, 52}, "RTCM Parity Check");
    ParityOnBtn = placed<QRadioButton>(parityGroup, {16, 24, 120, 20}, "enabled");
    ParityOffBtn = placed<QRadioButton>(parityGroup, {150, 24, 120, 20}, "disabled");

    auto* comPanel = placed<QGroupBox>(this, {8, 206, 290, 176}, "Comport settings for I/O");
    const std::pair<const char*, QComboBox**> rows[] = {
        {"Port", &PortList},     {"Baudrate", &BaudList}, {"Data Bits", &DataBitsList},
        {"Parity", &ParityList}, {"Stop Bits", &StopBitsList}};
    const std::span<const Choice> tables[] = {port_choices, baud_choices, databits_choices,
                                              parity_choices, stopbits_choices};
    for (int i = 0; i < 5; ++i) {
        placed<QLabel>(comPanel, {12, 24 + 30 * i, 90, 24}, rows[i].first);
        *rows[i].second = makeList(comPanel, tables[i]);
        (*rows[i].second)->setGeometry(110, 24 + 30 * i, 168, 24);
    }
    // Beside COM1..COM12 (names the stored settings rely on), the devices
    // present by their Linux names; a device path may also be typed in.
    for (const SerialDeviceEntry& e : present_serial_devices()) PortList->addItem(e.label, e.path);
    PortList->view()->setMinimumWidth(PortList->view()->sizeHintForColumn(0));

    InfoPanel = placed<QPlainTextEdit>(this, {8, 390, 290, 72}, info_text);
    InfoPanel->setReadOnly(true);

    StationGroup = placed<QGroupBox>(this, {308, 8, 324, 374}, "RTCM Internet Reference Station Selection");
    placed<QLabel>(StationGroup, {8, 22, 306, 18}, "Selected Reference Station");
    SelectedStation = placed<QLineEdit>(StationGroup, {8, 42, 308, 24});
    SelectedStation->setReadOnly(true);
    DownloadBtn = placed<QPushButton>(StationGroup, {8, 74, 308, 28},
                                      "Download up to date list of reference stations");
    StationsCaption = placed<QLabel>(StationGroup, {8, 110, 306, 18},
                                     "Stations Avail. (+ = running, - = not running)");
    StationList = placed<QComboBox>(StationGroup, {8, 130, 308, 24});
    SetServerBtn = placed<QPushButton>(StationGroup, {8, 166, 160, 28}, "Set server address");
    SetServerBtn->setToolTip("Direct input of address and port");
    AddressCaption = placed<QLabel>(StationGroup, {8, 204, 60, 24}, "Address");
    OwnAddress = placed<QLineEdit>(StationGroup, {70, 204, 150, 24});
    PortCaption = placed<QLabel>(StationGroup, {228, 204, 36, 24}, "Port");
    OwnPort = placed<QLineEdit>(StationGroup, {264, 204, 52, 24});
    StationAddress = new QLineEdit(StationGroup);
    StationPort = new QLineEdit(StationGroup);
    StationAddress->hide();
    StationPort->hide();
    DirectBtn = new QPushButton(style()->standardIcon(QStyle::SP_DriveNetIcon),
                                "Connect directly to RTCM server of Halverton", StationGroup);
    DirectBtn->setGeometry(8, 244, 308, 40);

    NtripGroup = placed<QGroupBox>(this, {308, 8, 324, 374}, "NTRIP Caster");
    const std::pair<const char*, QLineEdit**> ntripRows[] = {
        {"Host", &NtripHost}, {"Port", &NtripPort}, {"Mountpoint", &NtripMount}, {"User", &NtripUser},
        {"Password", &NtripPassword}};
    for (int i = 0; i < 5; ++i) {
        placed<QLabel>(NtripGroup, {8, 24 + 30 * i, 90, 24}, ntripRows[i].first);
        *ntripRows[i].second = placed<QLineEdit>(NtripGroup, {100, 24 + 30 * i, 216, 24});
    }
    NtripPassword->setEchoMode(QLineEdit::Password);
    placed<QLabel>(NtripGroup, {8, 174, 90, 24}, "Version");
    NtripVersion = placed<QComboBox>(NtripGroup, {100, 174, 216, 24});
    NtripVersion->addItems({"2.0, else 1.0", "1.0", "2.0"});
    NtripGga = placed<QCheckBox>(NtripGroup, {8, 204, 230, 24}, "Send position (GGA) every");
    NtripGgaInterval = placed<QLineEdit>(NtripGroup, {240, 204, 50, 24});
    placed<QLabel>(NtripGroup, {296, 204, 20, 24}, "s");
    const std::pair<const char*, QLineEdit**> ggaRows[] = {
        {"Latitude", &NtripLatitude}, {"Longitude", &NtripLongitude}, {"Height (m)", &NtripHeight}};
    for (int i = 0; i < 3; ++i) {
        placed<QLabel>(NtripGroup, {8, 234 + 30 * i, 90, 24}, ggaRows[i].first);
        *ggaRows[i].second = placed<QLineEdit>(NtripGroup, {100, 234 + 30 * i, 216, 24});
    }
    SourcetableBtn = placed<QPushButton>(NtripGroup, {8, 330, 308, 28}, "Get sourcetable");
    NtripGroup->hide();

    StoreData = new QCheckBox("store data", this);
    StoreData->hide();

    OKBtn = placed<QPushButton>(this, {308, 396, 158, 40}, "OK and exit");
    QuitBtn = placed<QPushButton>(this, {474, 396, 158, 40}, "Quit and exit");
    OKBtn->setDefault(true);

    StationsCaption->hide();
    StationList->hide();

    connect(SerialBtn, &QRadioButton::toggled, this, [this](bool on) { if (on) sourceChosen(); });
    connect(InternetBtn, &QRadioButton::toggled, this, [this](bool on) { if (on) sourceChosen(); });
    connect(FileBtn, &QRadioButton::toggled, this, [this](bool on) { if (on) sourceChosen(); });
    connect(NtripBtn, &QRadioButton::toggled, this, [this](bool on) { if (on) sourceChosen(); });
    connect(ReconnectBox, &QCheckBox::toggled, this, [this](bool on) {
        if (shownReconnect_) *shownReconnect_ = on;
    });
    connect(SourcetableBtn, &QPushButton::clicked, this, &TSettings::SourcetableClick);
    // Typing an own server makes it the choice; picking a station undoes that.
    connect(OwnAddress, &QLineEdit::textEdited, this, [this] { ownServerChosen_ = true; });
    connect(OwnPort, &QLineEdit::textEdited, this, [this] { ownServerChosen_ = true; });
    connect(FileMenuBtn, &QPushButton::clicked, this, &TSettings::FileMenuClick);
    connect(SetServerBtn, &QPushButton::clicked, this, &TSettings::SetServerClick);
    connect(DirectBtn, &QPushButton::clicked, this, &TSettings::DirectClick);
    connect(DownloadBtn, &QPushButton::clicked, this, &TSettings::DownloadClick);
    connect(StationList, &QComboBox::textActivated, this, &TSettings::TakeOverStation);
    connect(OKBtn, &QPushButton::clicked, this, &TSettings::OKBtnClick);
    connect(QuitBtn, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TSettings::~TSettings() = default;

void TSettings::showFileControls(bool on) {
    FileMenuBtn->setVisible(on);
    FileNameField->setVisible(on);
}

// The radio buttons change only what is shown; the record's source changes
// at OK.
void TSettings::sourceChosen() {
    showFileControls(FileBtn->isChecked());
    StationGroup->setVisible(InternetBtn->isChecked());
    NtripGroup->setVisible(NtripBtn->isChecked());
    shownReconnect_ = InternetBtn->isChecked() ? &reconnectInternet_
                      : SerialBtn->isChecked() ? &reconnectSerial_
                      : NtripBtn->isChecked()  ? &reconnectNtrip_
                                               : nullptr;
    ReconnectBox->setVisible(shownReconnect_ != nullptr);
    if (shownReconnect_) ReconnectBox->setChecked(*shownReconnect_);
}

void TSettings::FormCreate() {
    form4_ = new TForm4(settings_, this);
    form4_->hide();

    OwnAddress->setText("127.0.0.1");
    OwnPort->setText("2101");
    // The own server's fields, with their captions from the first run on.
    OwnAddress->show();
    OwnPort->show();
    AddressCaption->show();
    PortCaption->show();
    SetServerBtn->show();
    InternetBtn->setChecked(true);
    for (QComboBox* list : {PortList, BaudList, DataBitsList, ParityList, StopBitsList})
        list->setCurrentIndex(0);

    const SettingsStore::LoadResult loaded = store_.Load(settings_);
    if (loaded == SettingsStore::LoadResult::Stopped) return;  // the error box has been shown

    reconnectInternet_ = settings_.reconnectInternet;
    reconnectSerial_ = settings_.reconnectSerial;
    reconnectNtrip_ = settings_.reconnectNtrip;
    NtripHost->setText(settings_.ntripHost);
    NtripPort->setText(settings_.ntripPort);
    NtripMount->setText(settings_.ntripMount);
    NtripUser->setText(settings_.ntripUser);
    NtripPassword->setText(settings_.ntripPassword);
    NtripVersion->setCurrentIndex(settings_.ntripVersion >= 0 && settings_.ntripVersion <= 2 ? settings_.ntripVersion : 0);
    NtripGga->setChecked(settings_.ntripGga);
    NtripGgaInterval->setText(QString::number(settings_.ntripGgaInterval));
    NtripLatitude->setText(QString::number(settings_.ntripLatitude, 'f', 8));
    NtripLongitude->setText(QString::number(settings_.ntripLongitude, 'f', 8));
    NtripHeight->setText(QString::number(settings_.ntripHeight, 'f', 2));

    showCode(BaudList, baud_choices, settings_.baudCode);
    showCode(PortList, port_choices, settings_.comNumber);
    if (settings_.comport.startsWith('/')) showDevice(PortList, settings_.comport);
    showCode(DataBitsList, databits_choices, settings_.numbits);
    showCode(ParityList, parity_choices, settings_.parity);
    showCode(StopBitsList, stopbits_choices, settings_.stopbits);
    loadedBaudCode_ = settings_.baudCode;

    if (loaded == SettingsStore::LoadResult::Loaded) {
        StationAddress->setText(settings_.address);
        StationPort->setText(settings_.port);
        SelectedStation->setText(settings_.server);
        OwnAddress->setText(settings_.address);
        OwnPort->setText(settings_.port);
    } else {
        StationAddress->setText("127.0.0.1");
        StationPort->setText(settings_.port);
    }

    switch (settings_.source) {
    case kSourceSerial: SerialBtn->setChecked(true); break;
    case kSourceInternet: InternetBtn->setChecked(true); break;
    case kSourceFile: FileBtn->setChecked(true); break;
    case kSourceNtrip: NtripBtn->setChecked(true); break;
    default: break;
    }
    sourceChosen();

    (settings_.paritycheck ? ParityOnBtn : ParityOffBtn)->setChecked(true);

    if (settings_.fileName.isEmpty()) {
        FileNameField->clear();
        showFileControls(false);
    } else {
        FileBtn->setChecked(true);
        FileNameField->setText(settings_.fileName);
    }

    if (settings_.server.startsWith("own server")) {
        OwnAddress->setText(settings_.address);
        OwnPort->setText(settings_.port);
        OwnAddress->show();
        OwnPort->show();
        SetServerBtn->setText("set IP address/port");
        SetServerBtn->show();
        AddressCaption->show();
        PortCaption->show();
    }
}

QString TSettings::chooseFile(const QString& filter) {
    const QString chosen = openFileDialog(this, filter);
    if (!chosen.isEmpty()) lastChosenFile_ = chosen;
    return chosen;
}

void TSettings::FileMenuClick() {
    filterSet_ = true;
    const QString chosen = chooseFile(raw_code_filter);
    if (chosen.isEmpty()) return;
    // In effect at once, also when the operator then leaves with "Quit and exit".
    settings_.fileName = chosen;
    FileNameField->setText(chosen);
    settings_.source = 0;
    settings_.reopenRequested = true;
}

void TSettings::SetServerClick() {
    ownServerChosen_ = true;
    OwnAddress->show();
    OwnPort->show();
    AddressCaption->show();
    PortCaption->show();
}

void TSettings::DirectClick() {
    ownServerChosen_ = false;
    settings_.source = kSourceInternet;
    settings_.address = kDirectServerAddress;
    settings_.port = "2101";
    StationAddress->setText(settings_.address);
    StationPort->setText(settings_.port);
    settings_.server = "RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19";
    SelectedStation->setText(settings_.server);
}

void TSettings::DownloadClick() {
    if (!form4_) {
        form4_ = new TForm4(settings_, this);
        form4_->hide();
    }
    form4_->setFixedSize(630, 380);
    form4_->listChosen = false;
    form4_->startOnShow = true;
    form4_->exec();
    if (!form4_->listChosen) return;

    StationList->show();
    StationsCaption->show();
    StationList->clear();
    listStations_.clear();
    for (int i = 0; i < form4_->Stations->count(); ++i) {
        StationList->addItem(form4_->Stations->itemText(i));
        listStations_.push_back(form4_->station(form4_->itemMapAt(i + 1)));
    }
    StationList->setCurrentText(form4_->Stations->currentText());
    TakeOverStation();
}

void TSettings::TakeOverStation() {
    int found = -1;
    for (int i = 0; i < StationList->count(); ++i)
        if (StationList->itemText(i) == StationList->currentText()) found = i;
    if (found < 0 || std::size_t(found) >= listStations_.size()) return;
    const TServer& s = listStations_[std::size_t(found)];
    ownServerChosen_ = false;
    settings_.address = fromWire(s.address);
    settings_.port = fromWire(s.port);
    StationAddress->setText(settings_.address);
    StationPort->setText(settings_.port);
    settings_.server = fromWire(s.station + " " + s.country + " " + s.info1);
    SelectedStation->setText(settings_.server);
}

void TSettings::OKBtnClick() {
    settings_.reopenRequested = true;
    settings_.source = kSourceSerial;

    settings_.baudCode = std::uint8_t(loadedBaudCode_);
    if (auto c = codeOf(DataBitsList, databits_choices)) settings_.numbits = std::uint8_t(*c);
    if (auto c = codeOf(ParityList, parity_choices)) settings_.parity = std::uint8_t(*c);
    if (auto c = codeOf(StopBitsList, stopbits_choices)) settings_.stopbits = std::uint8_t(*c);
    if (auto c = codeOf(PortList, port_choices)) settings_.comNumber = *c;
    if (auto c = codeOf(BaudList, baud_choices)) settings_.baudCode = std::uint8_t(*c);
    if (const QString path = devicePathOf(PortList); !path.isEmpty()) {
        settings_.comNumber = 0;
        settings_.comport = path;
    } else if (settings_.comNumber >= 1) {
        settings_.comport = "COM" + QString::number(settings_.comNumber);
    }

    if (FileBtn->isChecked()) {
        settings_.fileName = FileNameField->text();
        settings_.source = kSourceFile;
        if (settings_.fileName.size() < 2) {
            chooseFile(filterSet_ ? raw_code_filter : QString());
            settings_.fileName = lastChosenFile_;
            FileNameField->setText(lastChosenFile_);
        }
    } else {
        settings_.fileName.clear();
    }

    settings_.paritycheck = ParityOnBtn->isChecked();

    if (InternetBtn->isChecked()) {
        settings_.source = kSourceInternet;
        settings_.address = StationAddress->text();
        settings_.port = StationPort->text();
        if (ownServerChosen_ && OwnAddress->isVisibleTo(this) && OwnAddress->text().size() > 1 &&
            !OwnPort->text().isEmpty()) {
            settings_.address = OwnAddress->text();
            settings_.port = OwnPort->text();
            settings_.server = "own server " + settings_.address + " " + settings_.port;
            SelectedStation->setText(settings_.server);
        }
    }

    if (NtripBtn->isChecked()) settings_.source = kSourceNtrip;
    settings_.ntripHost = NtripHost->text().trimmed();
    settings_.ntripPort = NtripPort->text().trimmed();
    settings_.ntripMount = NtripMount->text().trimmed();
    settings_.ntripUser = NtripUser->text();
    settings_.ntripPassword = NtripPassword->text();
    settings_.ntripVersion = NtripVersion->currentIndex();
    settings_.ntripGga = NtripGga->isChecked();
    const int interval = NtripGgaInterval->text().toInt();
    settings_.ntripGgaInterval = interval >= 1 ? interval : 10;
    settings_.ntripLatitude = NtripLatitude->text().toDouble();
    settings_.ntripLongitude = NtripLongitude->text().toDouble();
    settings_.ntripHeight = NtripHeight->text().toDouble();
    settings_.reconnectInternet = reconnectInternet_;
    settings_.reconnectSerial = reconnectSerial_;
    settings_.reconnectNtrip = reconnectNtrip_;

    settings_.baudrate = rate_for_baud_code(settings_.baudCode);
    store_.Save(settings_);
    accept();
}

void TSettings::SourcetableClick() {
    // While a download runs, the button cancels it.
    if (cancelDownload_) {
        cancelDownload_();
        return;
    }
    SettingsRecord asked = settings_;
    asked.ntripHost = NtripHost->text().trimmed();
    asked.ntripPort = NtripPort->text().trimmed();
    asked.ntripUser = NtripUser->text();
    asked.ntripPassword = NtripPassword->text();
    asked.ntripVersion = NtripVersion->currentIndex();
    const ntrip::Url url = ntrip_url(asked);
    if (url.host.empty() || url.port == 0) {
        show_error("Enter the caster's host and a port (1..65535) first.");
        return;
    }
    NtripClient client;
    client.setUrl(url);
    client.setSilenceLimit(settings_.silenceLimit);
    std::optional<ntrip::Sourcetable> table;
    QString error;
    bool done = false;
    QEventLoop loop;
    connect(&client, &NtripClient::sourcetableReceived, this, [&](const ntrip::Sourcetable& t) { table = t; });
    connect(&client, &NtripClient::failed, this, [&](NtripClient::Failure, const QString& m) { error = m; });
    connect(&client, &NtripClient::closed, this, [&] {
        done = true;
        loop.quit();
    });
    // Cancelled by the button or by leaving the dialog (Esc, Quit): nothing
    // more is said about it.
    bool cancelled = false;
    cancelDownload_ = [&] {
        cancelled = true;
        client.close();
    };
    const auto left = connect(this, &QDialog::finished, this, [this] {
        if (cancelDownload_) cancelDownload_();
    });
    SourcetableBtn->setText("Cancel download");
    client.fetchSourcetable();
    if (!done) loop.exec();
    disconnect(left);
    cancelDownload_ = nullptr;
    SourcetableBtn->setText("Get sourcetable");
    if (cancelled) return;
    if (!table) {
        show_error(error.isEmpty() ? "No sourcetable from " + client.endpoint() : error);
        return;
    }
    if (table->streams.empty()) {
        show_message("The sourcetable of " + client.endpoint() + " lists no mountpoint.");
        return;
    }
    QString mount;
    if (pickMount) {
        mount = pickMount(*table);
    } else {
        NtripPicker picker(*table, this);
        if (picker.exec() == QDialog::Accepted) mount = picker.chosenMount();
    }
    if (!mount.isEmpty()) NtripMount->setText(mount);
}

}  // namespace tessaly
