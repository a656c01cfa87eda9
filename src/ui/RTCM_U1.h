#pragma once
// The main window: the live status strip, the message pages, the menus, and
// the source manager that feeds the decoder from a file, a COM port or a TCP
// connection and forwards the raw stream to a COM port.
//
// The window works on the decoder and the settings record it is given (the
// process-wide ones in the program, fresh ones in tests). The dialogs it
// opens are reached through the hooks, so that they can be plugged in and
// tests can answer them.
#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "stream_pipeline.h"
#include "RTCM_U1_pages.h"
#include "raw_lines.h"
#include "rtcmdecw.h"
#include "send_ring.h"
#include "com_port.h"
#include "recorder.h"
#include "settings_record.h"
#include "source_state.h"
#include "source_supervisor.h"
#include "tcp_client.h"

class QAction;
class QFile;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;

namespace tessaly {

class AlarmsPage;
class ElidedLabel;
class NtripClient;
class StatsPage;
class WindowAlarms;

// What a path names when it is not a regular file ("a named pipe", "a
// device", ...); empty for a regular file or a path that does not exist.
QString not_a_regular_file(const QString& path);

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    struct Hooks {
        // Shows the settings dialog modally; true when its "store data" box
        // was ticked. Without it, the start-up runs the settings Load.
        std::function<bool()> settingsDialog;
        // Shows the storing dialog, modally or not.
        std::function<void(bool modal)> storingDialog;
        // Shows the leap-second dialog without blocking.
        std::function<void()> leapSecondDialog;
        // Writes the decoding switch to the settings store at once.
        std::function<void(bool)> saveDecoding;
        // The storing file failed: stop storing and tell the operator once.
        std::function<void(const QString&)> storingFailed;
    };

    // The upper strip's fields.
    struct Strip {
        QLabel* labelTime = nullptr;
        QLineEdit* station = nullptr;
        QLineEdit* health = nullptr;
        QLineEdit* latency = nullptr;
        QLineEdit* refX = nullptr;
        QLineEdit* refY = nullptr;
        QLineEdit* refZ = nullptr;
        QLineEdit* sequence = nullptr;
        QLineEdit* mzCount = nullptr;
        QLineEdit* frames = nullptr;
        QLineEdit* special = nullptr;
        QLineEdit* charsUnused = nullptr;
    };

    struct Menu {
        QAction* datasource = nullptr;
        QAction* save = nullptr;
        QMenu* transmit = nullptr;
        QAction* start = nullptr;
        QMenu* decoding = nullptr;
        QAction* on = nullptr;
        QAction* off = nullptr;
        QAction* halt = nullptr;
        QAction* leapSecond = nullptr;
        QAction* info = nullptr;
    };

    static constexpr const char* caption = "Tessaly Version 2.1";

    // Creating the window runs FormCreate: the start-up sequence, which ends
    // by opening the configured source.
    TForm1(RtcmDecoder& decoder, SettingsRecord& settings, Hooks hooks = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Raw storing: the recording control the storing dialog owns and the
    // storing file; without them nothing is stored raw.
    void setStoring(RecordingControl* control, StoringFile* file);

    // ---- Source manager
    void OpenSource();
    void ClientDataArrived();
    void ClientConnected();
    void ClientClosed();
    void ClientError(int error, const QString& msg);
    void ComPort1RxChar(int count);
    // The open COM device went away.
    void ComPort1Lost(const QString& why);
    void Timer1Timer();
    void Timer2Timer();
    // After a byte that completed a header or a frame: notes it for the
    // display (the strip and the pages show it at the next refresh).
    void AfterByte();

    // ---- Status panel
    // Notes a new header: the heartbeat and the strip's histories move on.
    void ShowHeader();
    // The display refresh, a few times a second while data come in: the
    // strip and the page showing, where they changed.
    void refreshDisplay();
    // A file replay reads and decodes at most this many bytes (or for at
    // most slice_ms) before the window handles its events again.
    static constexpr int slice_ms = 10;
    void setReplaySlice(int bytes) { sliceBytes_ = bytes; }

    // ---- Forwarding
    void StartTransmit();
    void StopTransmit();
    void QueueForTransmit(const QByteArray& chunk);
    void Timer3Timer();

    // ---- Menus and keys
    void DatasourceClick();
    void SaveClick();
    void StartClick();
    void decoding1Click();
    void On1Click();
    void Off1Click();
    void Halt1Click();
    void setLeapsecondClick();
    void Info1Click();
    // What Info shows: the version and a short help (keys, sources, where
    // the settings, the connection log and the README are).
    static QString infoText();
    void FormKeyDown(int key);

    // ---- Read access (the window's own state and widgets)
    // The strip as it shows after a refresh.
    const Strip& strip() {
        showStatus();
        pages_->showStrip();
        return strip_;
    }
    const Menu& menu() const { return menu_; }
    MessagePages& pages() { return *pages_; }
    StatsPage& statsPage() { return *statsPage_; }
    AlarmsPage& alarmsPage() { return *alarmsPage_; }
    WindowAlarms& alarms() { return *alarms_; }
    QString panelText(int panel) const;
    QString statusHint() const;
    SourceState& sourceState() { return src_; }
    const RawLines& rawLines() const { return rawLines_; }
    Tsend_buffer& sendRing() { return sendRing_; }
    QTimer* timer1() const { return timer1_; }
    QTimer* timer2() const { return timer2_; }
    QTimer* timer3() const { return timer3_; }
    QTimer* refreshTimer() const { return refreshTimer_; }
    QString heartbeat() const { return heartbeat_; }
    TTCPClient* client() const { return client_; }
    NtripClient* ntripClient() const { return ntrip_; }
    TComPort& comPort() { return *ComPort1; }
    SourceSupervisor& supervisor() { return *supervisor_; }
    // Connection events of live sources (failures, reconnects, outages),
    // newest last; also written to standard error.
    const QStringList& connectionLog() const { return connectionLog_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void buildWindow();
    void buildStrip(QWidget* strip);
    void buildMenus();
    void setPanel(int panel, const QString& text);

    // A new source starts from empty stores and pages: satellites and
    // stations of the previous stream are not shown as current.
    void forgetPreviousStream();
    // The strip as it opens: nothing of the previous source's station,
    // coordinates, message or latency is shown as current.
    void clearStrip();
    void openFileSource();
    void openComSource();
    void openInternetSource();
    void openNtripSource();
    // One chunk of a TCP or NTRIP stream: forwarding, raw storing, the raw
    // lines and the decoder.
    void takeStreamChunk(const QByteArray& chunk);
    void CreateInternetClient();
    // A live source's new connection (or reopened device) starts the word
    // sync afresh: its words do not continue a frame the old one cut. The
    // stores and the counters stay.
    void newConnection();
    void setUpSupervisor();
    // Starts the supervisor on a live source with its reconnect setting.
    void superviseSource(const QString& endpoint, bool reconnect);
    // One more attempt on the current live source (the supervisor's retry).
    void reopenLiveSource();
    void closeLiveSource();
    void ReadComChunk();
    void ReadFileBytes();
    // Decodes bytes in order (the display steps noted per header and frame)
    // while `go` holds; returns how many were taken. A step that throws
    // leaves `taken` counting the byte it threw in.
    template <class Go>
    void decodeBytes(std::span<const std::uint8_t> bytes, std::size_t& taken, Go go);
    // Adds bytes to the raw lines, a new line begun at 80 characters: the
    // file path trims before it begins the line, the TCP path after.
    void appendRawLines(std::span<const std::uint8_t> bytes, bool trimFirst);
    void scheduleRefresh();
    void showStatus();
    // The storing state in the status bar's last panel, once a second
    // while storing runs: format, file and its size.
    void showStoring();
    bool rawStoring() const { return recording_ && storingFile_ && recording_->raw_mode; }
    void storeRaw(const QByteArray& chunk);
    void makeRawDurable();
    void storingFailed(const QString& text);
    // Opens the COM port for forwarding with the configured settings.
    void openForwardingPort();
    // Names a stream of another protocol (RTCM 3, NMEA, a web page) once.
    void sniff(const QByteArray& chunk);
    void showRawLines();
    void forwardBytes(std::span<const std::uint8_t> bytes);
    void subPageStep(int step);
    // Alarms (RTCM_U1_alarms.cpp): the page and its tab, a new source, the
    // status bar's count, the strip of a source that went quiet.
    void setUpAlarms();
    void alarmsForNewSource();
    void showAlarmCount(int standing, int unacknowledged);
    void showStaleness();

    // The general error report: runs a handler and shows what it throws.
    template <class F>
    void guarded(F&& body);

    RtcmDecoder& decoder_;
    SettingsRecord& settings_;
    Hooks hooks_;

    SourceState src_;
    RawLines rawLines_;
    Tsend_buffer sendRing_;
    QString heartbeat_ = QStringLiteral("-");
    std::uint32_t shownUnused_ = UINT32_MAX;
    std::uint32_t unusedBase_ = 0;  // the decoder's count when the source was opened
    int sliceBytes_ = 64 * 1024;
    // The strip's header fields as noted per header, shown at the refresh.
    struct HeaderNoted {
        QString sequence, frames;
        std::uint32_t station = 0, health = 0;
        double frameTime = 0, latency = 0;
        bool dirty = false;
    } noted_;

    // The input file; the file loop holds its own reference and stops when
    // this one is replaced.
    std::shared_ptr<QFile> inputFile_;

    SourceSupervisor* supervisor_ = nullptr;
    QStringList connectionLog_;
    bool quietFailure_ = false;  // a failure without a box (a close by the server)
    bool showSilence_ = false;   // the status shows the silence of a kept connection
    TTCPClient* client_ = nullptr;  // created at the first Internet source
    NtripClient* ntrip_ = nullptr;  // created at the first NTRIP source
    TComPort* ComPort1 = nullptr;   // source or forwarding output
    ComAsync writeRecord_;          // of the forwarding writes
    RecordingControl* recording_ = nullptr;
    StoringFile* storingFile_ = nullptr;

    Strip strip_;
    Menu menu_;
    MessagePages* pages_ = nullptr;
    StatsPage* statsPage_ = nullptr;  // the tab after the raw data
    AlarmsPage* alarmsPage_ = nullptr;  // the last tab of pages_
    WindowAlarms* alarms_ = nullptr;
    bool stripStale_ = false;  // the strip shows the figures of a source gone quiet
    int sourceRun_ = 0;        // counts the sources opened, for late answers
    stream::StreamPipeline pipeline_{decoder_};
    std::array<ElidedLabel*, 4> panels_{};
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QTimer* timer3_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
};

}  // namespace tessaly

#include <exception>

#include "ui_boxes.h"

namespace tessaly {

// The report is shown from the event loop: the handler may be a socket's or
// a timer's (see post_box).
template <class F>
void TForm1::guarded(F&& body) {
    try {
        body();
    } catch (const Failure& f) {
        post_failure(this, f.text());
    } catch (const std::exception& e) {
        post_failure(this, QString::fromUtf8(e.what()));
    } catch (...) {
        post_failure(this, QStringLiteral("Unknown failure"));
    }
}

}  // namespace tessaly
