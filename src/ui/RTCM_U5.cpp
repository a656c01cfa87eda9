#include "RTCM_U5.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTime>

#include "dialog_layout.h"
#include "error_seam.h"
#include "settings_record.h"
#include "tcp_client.h"
#include "ui_boxes.h"

namespace tessaly {

namespace {

const char* const info_text =
    "\n"
    "      General Information\n"
    "\n"
    "Downloading a list of reference stations \n"
    "is only necessary \n"
    "\n"
    " -  in case of first use of this program\n"
    " -  when changing a reference station\n"
    "    selection\n"
    " -  in order to receive an up to date list\n"
    "    of running stations";

QString fromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// The log shows line ends as line breaks, without an empty line after them.
QString asLogText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text;
}

}  // namespace

TForm4::TForm4(SettingsRecord& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setWindowTitle("Download Up To Date List of Reference Stations");
    setFixedSize(630, 380);

    Info = placed<QPlainTextEdit>(this, {8, 8, 290, 190});
    Info->setReadOnly(true);
    Info->setPlainText(info_text);

    Log = placed<QPlainTextEdit>(this, {306, 8, 316, 190});
    Log->setReadOnly(true);
    Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    Log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Whatever a server sends, the log keeps its last lines only.
    Log->setMaximumBlockCount(500);

    placed<QLabel>(this, {8, 208, 140, 20}, "Country Selection");
    Countries = placed<QComboBox>(this, {8, 230, 140, 24});
    Countries->addItem("ALL");
    RunningOnly = placed<QCheckBox>(this, {160, 232, 200, 20}, "running stations only");
    RunningOnly->setChecked(true);

    StationsCaption = placed<QLabel>(this, {8, 264, 614, 20},
                                     "Reference Stations Available (+ = running, - = not running)");
    Stations = placed<QComboBox>(this, {8, 286, 614, 24});
    SelectBtn = placed<QPushButton>(this, {8, 330, 196, 36}, "Select Server List and Exit");
    IgnoreBtn = placed<QPushButton>(this, {216, 330, 196, 36}, "Ignore Server list and Exit");
    CancelBtn = placed<QPushButton>(this, {426, 330, 196, 36}, "Cancel Login and Exit");
    for (QWidget* w : {static_cast<QWidget*>(StationsCaption), static_cast<QWidget*>(Stations),
                       static_cast<QWidget*>(SelectBtn), static_cast<QWidget*>(IgnoreBtn)})
        w->hide();

    HostField = new QLineEdit(this);
    PortField = new QLineEdit(this);
    UserField = new QLineEdit(this);
    PasswordField = new QLineEdit(this);
    PasswordField->setEchoMode(QLineEdit::Password);
    for (QLineEdit* f : {HostField, PortField, UserField, PasswordField}) f->hide();

    connect(SelectBtn, &QPushButton::clicked, this, [this] {
        listChosen = true;
        close();
    });
    connect(IgnoreBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(CancelBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(RunningOnly, &QCheckBox::toggled, this, &TForm4::refilter);
    connect(Countries, &QComboBox::currentTextChanged, this, &TForm4::refilter);
    startOnShow = false;
    listTimer_.setSingleShot(true);
    connect(&listTimer_, &QTimer::timeout, this, &TForm4::ListTimeout);
}

TForm4::~TForm4() = default;

QString TForm4::timeStamp() { return QTime::currentTime().toString("hh:mm:ss"); }

void TForm4::logLine(const QString& text) { Log->appendPlainText(asLogText(text)); }

void TForm4::logLimited(const QString& text) {
    if (Log->document()->blockCount() > 15) {
        QTextCursor first(Log->document());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
    logLine(text);
}

void TForm4::showEvent(QShowEvent* e) {
    HostField->setText(settings_.mainServerHost);
    PortField->setText(settings_.mainServerPort);
    UserField->setText(settings_.userName);
    PasswordField->setText(settings_.password);
    QDialog::showEvent(e);
    // A port text that is no number ends the start with the error report.
    if (startOnShow) run_guarded([this] { StartDownload(); });
}

void TForm4::hideEvent(QHideEvent* e) {
    if (!e->spontaneous()) closeChannel();
    QDialog::hideEvent(e);
}

void TForm4::StartDownload() {
    raw_.count = 0;
    stationCount_ = 0;
    received_.clear();
    StationsCaption->hide();
    Stations->hide();
    Stations->clear();
    if (!channelCreated_) {
        client_ = std::make_unique<TTCPClient>();
        client_->OnConnect = [this](TTCPClient&, int) { ClientConnect(); };
        client_->OnData = [this](TTCPClient&, int) { ClientData(); };
        client_->OnClose = [this](TTCPClient&, int) { ClientClose(); };
        client_->OnError = [this](TTCPClient&, int code, const QString& msg) { ClientError(code, msg); };
        channelCreated_ = true;
        logLimited("WinSocket Version: " + client_->version());
        logLimited("Description: " + client_->description());
        logLimited("SystemStatus: " + client_->systemStatus());
        logLimited("");
        logLimited("Local Host Name: " + client_->LocalHostName());
        logLimited("Local Host Address: " + client_->LocalHostAddress());
        logLimited("");
    }
    client_->Host = settings_.mainServerHost;
    client_->Port = settings_.mainServerPort;
    logLine(timeStamp() + ": Trying to connect to server!");
    if (connected_) sendCommand("quit");
    else client_->Open();
    if (client_->state() == TTCPClient::State::Connecting) {
        logLine(timeStamp() + ": IP port successfully opened!");
        loginState_ = 1;
    }
    if (client_->state() != TTCPClient::State::Closed) listTimer_.start(listTimeoutMs);
}

void TForm4::ClientConnect() {
    logLine(timeStamp() + ": connection to main server completed!");
    connected_ = true;
}

void TForm4::ClientClose() {
    client_->Close();
    logLine(timeStamp() + ": connection closed by server!");
    connected_ = false;
    listTimer_.stop();
}

void TForm4::ListTimeout() {
    if (!channelCreated_) return;
    const QString text = QString("No station list from the main server within %1 s.").arg(listTimeoutMs / 1000.0);
    logLine(timeStamp() + ": " + text + " Download ended!");
    client_->Close();
    connected_ = false;
    post_error(this, text);
}

void TForm4::ClientError(int, const QString& text) { post_error(this, text); }

void TForm4::sendCommand(const std::string& command) {
    command_ = command;
    const std::string line = command_ + "\r\n";
    if (line.find("pass") != std::string::npos) logLine("sending:pass *******************");
    else logLine("sending:" + fromBytes(line));
    client_->Write(QByteArray::fromStdString(line));
}

void TForm4::ClientData() {
    const std::string piece = client_->Read().toStdString();
    // The login looks at what waits and what came; both are bounded.
    if (auto command = login_step(loginState_, received_.pending() + piece,
                                  UserField->text().toLatin1().toStdString(),
                                  PasswordField->text().toLatin1().toStdString()))
        sendCommand(*command);
    // Each piece is logged once, except inside a line that is dropped.
    if (!received_.skipping() || piece.find('\r') != std::string::npos) logLine(fromBytes(piece));
    const std::size_t dropped = received_.dropped();
    std::vector<std::string> lines = received_.take(piece);
    for (std::size_t i = dropped; i < received_.dropped(); ++i)
        logLine(timeStamp() + QString(": a line longer than %1 bytes dropped!").arg(max_station_line));
    for (std::string& line : lines) {
        if (raw_.count >= max_stations) continue;  // consumed and dropped
        raw_.lines[std::size_t(raw_.count)] = std::move(line);
        ++raw_.count;
        parseLine(raw_.count);
    }
}

void TForm4::parseLine(int k) {
    if (stationCount_ >= max_stations) return;
    const auto s = parse_station_line(raw_.lines[std::size_t(k - 1)]);
    if (!s) return;
    // Stations are kept without gaps, so that re-filtering over 1..count
    // finds every one even after a malformed line.
    stations_[std::size_t(stationCount_)] = *s;
    ++stationCount_;
    listTimer_.stop();
    const QString country = fromBytes(s->country);
    if (Countries->findText(country, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        Countries->addItem(country);
    addIfPasses(stationCount_);
    if (Stations->isHidden() && Stations->count() == 1) showStationList();
}

void TForm4::addIfPasses(int index) {
    const TServer& s = station(index);
    if (!station_passes(s, Countries->currentText().toLatin1().toStdString(), RunningOnly->isChecked()))
        return;
    Stations->addItem(fromBytes(station_item_text(s)));
    itemMap_[std::size_t(Stations->count())] = index;
}

void TForm4::showStationList() {
    Stations->show();
    Stations->setCurrentIndex(0);
    StationsCaption->show();
    SelectBtn->show();
    IgnoreBtn->show();
}

void TForm4::refilter() {
    Stations->clear();
    bool shown = false;
    for (int i = 1; i <= stationCount_; ++i) {
        addIfPasses(i);
        if (!shown && Stations->count() == 1) {
            showStationList();
            shown = true;
        }
    }
}

void TForm4::closeChannel() {
    if (!channelCreated_) return;
    channelCreated_ = false;
    connected_ = false;
    listTimer_.stop();
    client_->Close();
    client_.reset();
    received_.clear();
}

}  // namespace tessaly
