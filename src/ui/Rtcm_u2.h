#pragma once
// The settings dialog: the data source and its parameters (serial port,
// input file, TCP address and port typed in or taken from a downloaded
// station list) and the parity-check choice. Created once by the main
// window; its creation loads the settings store. OK writes the record, asks
// for the source to be reopened and saves; "Quit and exit" and Esc leave
// without saving.

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "RTCM_U5_stations.h"
#include "ntrip_sourcetable.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tessaly {

struct SettingsRecord;
class SettingsStore;
class TForm4;

class TSettings : public QDialog {
    Q_OBJECT
public:
    // Shows the file-open dialog with the given filter (empty: none) and
    // answers the chosen path, empty when the operator cancelled.
    using FileDialog = std::function<QString(QWidget* parent, const QString& filter)>;

    TSettings(SettingsRecord& settings, SettingsStore& store, QWidget* parent = nullptr);
    ~TSettings() override;

    // ---- Controls
    QRadioButton* SerialBtn = nullptr;    // "Serial interface (COM i)"
    QRadioButton* InternetBtn = nullptr;  // "Internet"
    QRadioButton* FileBtn = nullptr;      // "File"
    QRadioButton* NtripBtn = nullptr;     // "NTRIP caster"
    // The chosen live source's own setting; hidden for a file.
    QCheckBox* ReconnectBox = nullptr;    // "Reconnect automatically"
    QGroupBox* NtripGroup = nullptr;      // "NTRIP Caster", shown for that source
    QLineEdit* NtripHost = nullptr;
    QLineEdit* NtripPort = nullptr;
    QLineEdit* NtripMount = nullptr;
    QLineEdit* NtripUser = nullptr;
    QLineEdit* NtripPassword = nullptr;
    QComboBox* NtripVersion = nullptr;    // automatic, 1.0, 2.0
    QCheckBox* NtripGga = nullptr;
    QLineEdit* NtripGgaInterval = nullptr;
    QLineEdit* NtripLatitude = nullptr;
    QLineEdit* NtripLongitude = nullptr;
    QLineEdit* NtripHeight = nullptr;
    QPushButton* SourcetableBtn = nullptr;  // "Get sourcetable"
    QPushButton* FileMenuBtn = nullptr;   // "File Menu"
    QLineEdit* FileNameField = nullptr;
    QRadioButton* ParityOnBtn = nullptr;   // "enabled"
    QRadioButton* ParityOffBtn = nullptr;  // "disabled"
    QComboBox* PortList = nullptr;
    QComboBox* BaudList = nullptr;
    QComboBox* DataBitsList = nullptr;
    QComboBox* ParityList = nullptr;
    QComboBox* StopBitsList = nullptr;
    QGroupBox* StationGroup = nullptr;     // "RTCM Internet Reference Station Selection"
    QLineEdit* SelectedStation = nullptr;  // read-only, shows `server`
    QPushButton* DownloadBtn = nullptr;
    QLabel* StationsCaption = nullptr;
    QComboBox* StationList = nullptr;
    QPushButton* SetServerBtn = nullptr;   // "Set server address" / "set IP address/port"
    QLabel* AddressCaption = nullptr;
    QLineEdit* OwnAddress = nullptr;
    QLabel* PortCaption = nullptr;
    QLineEdit* OwnPort = nullptr;
    QLineEdit* StationAddress = nullptr;   // hidden
    QLineEdit* StationPort = nullptr;      // hidden
    QPushButton* DirectBtn = nullptr;      // "Connect directly to RTCM server of Halverton"
    QPlainTextEdit* InfoPanel = nullptr;
    QCheckBox* StoreData = nullptr;        // "store data", never shown
    QPushButton* OKBtn = nullptr;          // "OK and exit"
    QPushButton* QuitBtn = nullptr;        // "Quit and exit"

    TForm4* stationDialog() const { return form4_; }
    FileDialog openFileDialog;
    // Shows the caster's mountpoints and answers the one picked (empty:
    // none). Without it, the sourcetable picker runs modally.
    std::function<QString(const ntrip::Sourcetable&)> pickMount;

    void OKBtnClick();
    void FileMenuClick();
    void SetServerClick();
    void DirectClick();
    void DownloadClick();
    // Takes over the station whose item is the station list's text.
    void TakeOverStation();
    // Fetches the caster's sourcetable and lets the operator pick a
    // mountpoint; clicked again while it runs ("Cancel download"), or when
    // the dialog is left, ends the download without a word.
    void SourcetableClick();

private:
    void FormCreate();
    void showFileControls(bool on);
    void sourceChosen();
    QString chooseFile(const QString& filter);

    SettingsRecord& settings_;
    SettingsStore& store_;
    TForm4* form4_ = nullptr;
    int loadedBaudCode_ = 6;
    bool filterSet_ = false;  // "File Menu" was used in this run
    QString lastChosenFile_;  // the file last chosen in the file-open dialog
    // The stations of the taken-over list, by list position: the list stays
    // valid whatever a later download does to the station dialog's table.
    std::vector<TServer> listStations_;
    // OK opens what the operator chose last: a station from the list (or
    // the direct button) or the own server fields.
    bool ownServerChosen_ = true;
    // Reconnect settings while the dialog is open, by source.
    bool reconnectInternet_ = false;
    bool reconnectSerial_ = false;
    bool reconnectNtrip_ = true;
    bool* shownReconnect_ = nullptr;
    // Set while a sourcetable download runs: ends it.
    std::function<void()> cancelDownload_;
};

}  // namespace tessaly
