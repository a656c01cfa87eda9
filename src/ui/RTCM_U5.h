#pragma once
// The station-list dialog: logs in at the main server, receives the "$DGPS"
// station lines, lists the stations by country and running state, and hands
// the chosen list back to the settings dialog. It owns its TCP channel for
// the length of one showing.

#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "RTCM_U5_stations.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessaly {

struct SettingsRecord;
class TTCPClient;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(SettingsRecord& settings, QWidget* parent = nullptr);
    ~TForm4() override;

    // ---- Controls
    QPlainTextEdit* Info = nullptr;
    QPlainTextEdit* Log = nullptr;
    QComboBox* Countries = nullptr;
    QCheckBox* RunningOnly = nullptr;
    QLabel* StationsCaption = nullptr;
    QComboBox* Stations = nullptr;
    QPushButton* SelectBtn = nullptr;  // "Select Server List and Exit"
    QPushButton* IgnoreBtn = nullptr;  // "Ignore Server list and Exit"
    QPushButton* CancelBtn = nullptr;  // "Cancel Login and Exit"
    // Copies of the main-server settings, refilled at every showing.
    QLineEdit* HostField = nullptr;
    QLineEdit* PortField = nullptr;
    QLineEdit* UserField = nullptr;
    QLineEdit* PasswordField = nullptr;

    // ---- What the settings dialog sets and reads.
    bool startOnShow = false;
    bool listChosen = false;
    int stationCount() const { return stationCount_; }
    // Station 1..stationCount().
    const TServer& station(int index) const { return stations_[std::size_t(index - 1)]; }
    // The station index of list position 1..Stations->count().
    int itemMapAt(int position) const { return itemMap_[std::size_t(position)]; }
    const TServerdata& rawLines() const { return raw_; }
    int loginState() const { return loginState_; }
    const StationLines& received() const { return received_; }
    // A download that delivers no station line within this time ends.
    int listTimeoutMs = 60000;
    bool connected() const { return connected_; }

    void StartDownload();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void ClientConnect();
    void ClientData();
    void ClientClose();
    void ClientError(int code, const QString& text);

    void sendCommand(const std::string& command);
    void parseLine(int k);
    void addIfPasses(int index);
    void refilter();
    void showStationList();
    void closeChannel();
    void ListTimeout();

    void logLine(const QString& text);
    void logLimited(const QString& text);
    static QString timeStamp();

    SettingsRecord& settings_;
    std::unique_ptr<TTCPClient> client_;
    bool channelCreated_ = false;
    bool connected_ = false;
    int loginState_ = 0;
    StationLines received_;
    QTimer listTimer_;
    std::string command_;

    TServerdata raw_;
    std::array<TServer, max_stations> stations_{};
    int stationCount_ = 0;
    std::array<int, max_stations + 1> itemMap_{};  // by list position, from 1
};

}  // namespace tessaly
