// The source manager: opening the configured source and the receive paths
// that hand every byte to the decoder, then note the display steps. Every
// byte still reaches forwarding, storing and the decoder; the display shows
// the result at its next refresh.
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTimer>
#include <stdexcept>

#include <sys/stat.h>

#include "RTCM_U1.h"
#include "error_seam.h"
#include "ntrip_client.h"
#include "stats_page.h"
#include "window_alarms.h"
#include "storing_file.h"
#include "winsock_errors.h"

namespace tessaly {

QString not_a_regular_file(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};  // absent: reported as such
    if (S_ISREG(st.st_mode)) return {};
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("a named pipe");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return QStringLiteral("a device");
    if (S_ISSOCK(st.st_mode)) return QStringLiteral("a socket");
    if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder");
    return QStringLiteral("not a regular file");
}

void TForm1::setStoring(RecordingControl* control, StoringFile* file) {
    recording_ = control;
    storingFile_ = file;
}

void TForm1::OpenSource() {
    if (!settings_.reopenRequested) return;
    // Whatever ran before is no longer watched: its retries end here.
    supervisor_->stop();
    if (ntrip_) ntrip_->close();
    forgetPreviousStream();
    alarmsForNewSource();
    // Halt pauses a file replay; other sources have nothing to pause.
    menu_.halt->setVisible(false);
    menu_.halt->setEnabled(false);
    switch (settings_.source) {
    case kSourceFile: openFileSource(); break;
    case kSourceSerial: openComSource(); break;
    case kSourceInternet: openInternetSource(); break;
    case kSourceNtrip: openNtripSource(); break;
    default: break;
    }
    settings_.reopenRequested = false;
    if (settings_.transmit) StartTransmit();
}

void TForm1::openFileSource() {
    if (ComPort1->Connected()) ComPort1->Close();
    const QString name = settings_.fileName;
    if (const QString kind = not_a_regular_file(name); !kind.isEmpty()) {
        // Opening a named pipe waits for a writer and a device may never
        // end: the window would freeze inside open() or read().
        setPanel(0, "file " + name + " is " + kind);
        post_message(this, " Cannot read " + name + ": it is " + kind +
                     ", not a file. A file source reads regular files only.");
    } else if (QFileInfo::exists(name)) {
        auto file = std::make_shared<QFile>(name);
        if (file->open(QIODevice::ReadOnly)) {
            // A file loop still running on the previous file sees the
            // replacement and stops before its next byte.
            inputFile_ = std::move(file);
            setPanel(0, "file " + name + " is open");
            timer1_->start();
            menu_.halt->setVisible(true);
            menu_.halt->setEnabled(true);
        } else {
            setPanel(0, "Error while opening file " + name);
        }
    } else {
        setPanel(0, "file " + name + " not found");
        post_message(this, " Error while openning file: " + name);
    }
    setPanel(1, QStringLiteral("Source: File"));
    menu_.transmit->menuAction()->setEnabled(true);
}

void TForm1::openComSource() {
    if (ComPort1->Connected()) ComPort1->Close();
    ComPort1->setPort(settings_.comport);
    ComPort1->setBaudRate(settings_.baudCode);
    ComPort1->setParity(settings_.parity);
    ComPort1->setStopBits(settings_.stopbits);
    ComPort1->setDataBits(settings_.numbits);
    menu_.transmit->menuAction()->setEnabled(false);
    // COMn as always; a device by its path.
    const QString n = QString::number(settings_.comNumber);
    const bool com_n = settings_.comNumber >= 1;
    superviseSource(ComPort1->where(), settings_.reconnectSerial);
    try {
        ComPort1->Open();
    } catch (const Failure& f) {
        // Without reconnecting, a failure ends the opening here.
        if (!supervisor_->reconnect()) {
            supervisor_->stop();
            throw;
        }
        setPanel(1, "Source: " + (com_n ? "COM" + n : settings_.comport));
        supervisor_->failed(f.text());
        return;
    }
    supervisor_->connected();
    setPanel(1, "Source: " + (com_n ? "COM" + n : settings_.comport));
    if (ComPort1->Connected()) {
        setPanel(0, (com_n ? "com" + n : settings_.comport) + " is open");
        timer1_->start();
    } else {
        setPanel(0, " Error while opening " + (com_n ? "com" + n : settings_.comport));
    }
}

void TForm1::openInternetSource() {
    if (ComPort1->Connected()) ComPort1->Close();
    // One client for the whole run: an attempt that never got under way
    // does not leave a second one behind.
    if (!client_) CreateInternetClient();
    if (client_->state() != TTCPClient::State::Closed &&
        (client_->Host != settings_.address || client_->Port != settings_.port)) {
        client_->Close();
    }
    client_->Host = settings_.address;
    client_->Port = settings_.port;
    setPanel(0, "Trying to connect to " + client_->Host + " at port " + client_->Port);
    superviseSource(settings_.address + ':' + settings_.port, settings_.reconnectInternet);
    try {
        client_->Open();
    } catch (const Failure&) {
        // A port that is no number ends the opening here: no retry makes it one.
        supervisor_->stop();
        throw;
    }
    if (client_->state() == TTCPClient::State::Connecting) {
        src_.clientStarted = true;
        setPanel(0, "IP: " + settings_.address + " Port: " + settings_.port);
    }
    setPanel(1, QStringLiteral("Source: Internet"));
    menu_.transmit->menuAction()->setEnabled(true);
}

void TForm1::CreateInternetClient() {
    client_ = new TTCPClient(this);
    client_->OnError = [this](TTCPClient&, int error, const QString& msg) { ClientError(error, msg); };
    client_->OnConnect = [this](TTCPClient&, int) { ClientConnected(); };
    client_->OnData = [this](TTCPClient&, int) { ClientDataArrived(); };
    client_->OnClose = [this](TTCPClient&, int) { ClientClosed(); };
    for (const QString& line :
         {"WinSocket Version: " + client_->version(), "Description: " + client_->description(),
          "SystemStatus: " + client_->systemStatus(), QString(), "Local Host Name: " + client_->LocalHostName(),
          "Local Host Address: " + client_->LocalHostAddress(), QString()}) {
        rawLines_.AddRawLine(line.toLatin1().toStdString());
    }
    showRawLines();
}

// ---- Supervision ----------------------------------------------------------------------

void TForm1::setUpSupervisor() {
    supervisor_ = new SourceSupervisor(this);
    supervisor_->setSilenceLimit(settings_.silenceLimit);
    supervisor_->open = [this] { reopenLiveSource(); };
    supervisor_->close = [this] { closeLiveSource(); };
    supervisor_->onStatus = [this](SourceSupervisor::State s, const QString& text) {
        // Without reconnecting, the opening and connection texts stay as
        // they always were; a silence, and the data after it, are shown.
        if (supervisor_->reconnect() || settings_.source == kSourceNtrip || s == SourceSupervisor::State::Silent ||
            showSilence_)
            setPanel(0, text);
        showSilence_ = s == SourceSupervisor::State::Silent && !supervisor_->reconnect();
    };
    supervisor_->onFailure = [this](const QString& text, bool first) {
        // One box per run while reconnecting: later failures go to the
        // status and the log. Without reconnecting every failure is shown
        // (a close by the server only in the status, as before).
        if (supervisor_->reconnect() ? first : !quietFailure_) post_error(this, text);
    };
    supervisor_->onLog = [this](const QString& line) {
        connectionLog_.append(line);
        if (connectionLog_.size() > 500) connectionLog_.removeFirst();
        qInfo().noquote() << line;
    };
    // An AIS message 17 that cannot be decoded is named in the same log.
    pipeline_.ais().on_problem = [this](const std::string& text) {
        supervisor_->onLog(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + ' ' +
                           QString::fromStdString(text));
    };
    supervisor_->onOutage = [this](const SourceSupervisor::Outage& o) {
        statsPage_->recordOutage(o);
    };
    supervisor_->onEvent = [this](const SourceEvent& e) { alarms_->sourceEvent(e); };
}

void TForm1::superviseSource(const QString& endpoint, bool reconnect) {
    showSilence_ = false;
    supervisor_->setEndpoint(endpoint);
    supervisor_->setReconnect(reconnect);
    supervisor_->setSilenceLimit(settings_.silenceLimit);
    supervisor_->start();
}

void TForm1::closeLiveSource() {
    if (settings_.source == kSourceInternet && client_) client_->Close();
    if (settings_.source == kSourceSerial && ComPort1->Connected()) ComPort1->Close();
    if (settings_.source == kSourceNtrip && ntrip_) ntrip_->close();
}

void TForm1::reopenLiveSource() {
    if (settings_.source == kSourceInternet && client_) {
        client_->Close();
        client_->Open();
    } else if (settings_.source == kSourceNtrip && ntrip_) {
        ntrip_->close();
        ntrip_->open();
    } else if (settings_.source == kSourceSerial) {
        if (ComPort1->Connected()) ComPort1->Close();
        ComPort1->Open();  // a failure goes back to the supervisor
        newConnection();
        supervisor_->connected();
    }
}

// ---- TCP path -------------------------------------------------------------------------

void TForm1::ClientDataArrived() {
    if (src_.clientBusy) return;
    src_.clientBusy = true;
    // The next data event is served even when this one failed.
    auto idle = qScopeGuard([&] { src_.clientBusy = false; });
    guarded([&] {
        const QByteArray chunk = client_->Read();
        if (settings_.source != kSourceInternet) return;
        src_.byteCount += std::int32_t(chunk.size());
        if (chunk.isEmpty()) return;
        supervisor_->received();
        takeStreamChunk(chunk);
    });
}

void TForm1::takeStreamChunk(const QByteArray& chunk) {
    sniff(chunk);
    if (settings_.transmit && ComPort1->Connected()) QueueForTransmit(chunk);
    const bool raw = rawStoring();
    if (raw) storeRaw(chunk);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(chunk.constData()), std::size_t(chunk.size()));
    appendRawLines(bytes, false);
    if (settings_.decoding) {
        std::size_t taken = 0;
        decodeBytes(bytes, taken, [] { return true; });
    }
    scheduleRefresh();
    if (raw) makeRawDurable();
}

void TForm1::ClientConnected() {
    setPanel(0, settings_.address + ",port " + settings_.port + " connected " + client_->LocalPort());
    newConnection();
    supervisor_->connected();
}

void TForm1::newConnection() { decoder_.rtcm_decoder_reset(); }

void TForm1::ClientClosed() {
    guarded([&] {
        // An end by an error (a reset, keepalive probes unanswered on a cut
        // link) is named as such, not as the server's close.
        const int code = client_->closeCode();
        client_->Close();
        const QString why = code == 0 ? QStringLiteral("connection closed by the server") : winsock_text(code);
        setPanel(0, code == 0 ? QStringLiteral("Connection closed by server!") : supervisor_->endpoint() + ": " + why);
        quietFailure_ = true;
        auto loud = qScopeGuard([&] { quietFailure_ = false; });
        supervisor_->failed(why);
    });
}

void TForm1::ClientError(int, const QString& msg) {
    using State = SourceSupervisor::State;
    const State s = supervisor_->state();
    if (settings_.source != kSourceInternet || s == State::Closed || s == State::Waiting) {
        // Nothing the supervisor watches (a late error of a dropped attempt).
        if (!supervisor_->reconnect()) post_error(this, supervisor_->endpoint() + ": " + msg);
        return;
    }
    supervisor_->failed(msg);
}

// ---- COM path --------------------------------------------------------------------------

void TForm1::ComPort1RxChar(int) {
    guarded([&] {
        if (settings_.source != kSourceSerial) {
            // The port serves forwarding: what a receiver sends back is dropped.
            ComPort1->ClearBuffer(true, false);
            return;
        }
        if (ComPort1->InputCount() > 0) ReadComChunk();
    });
}

void TForm1::ComPort1Lost(const QString& why) {
    guarded([&] {
        if (settings_.source != kSourceSerial) return;
        // What arrived before the loss is still decoded.
        try {
            if (ComPort1->InputCount() > 0) ReadComChunk();
        } catch (const ComPortError&) {
        }
        ComPort1->Close();
        const QString n = QString::number(settings_.comNumber);
        setPanel(0, (settings_.comNumber >= 1 ? "com" + n : settings_.comport) + " closed: " + why);
        supervisor_->failed(why);
    });
}

void TForm1::ReadComChunk() {
    const QByteArray chunk = ComPort1->ReadStr(ComPort1->InputCount());
    if (chunk.isEmpty()) return;
    supervisor_->received();
    sniff(chunk);
    if (rawLines_.append(std::string_view(chunk.constData(), std::size_t(chunk.size())))) {
        rawLines_.TrimRawLines();
        rawLines_.new_line();
        showRawLines();
    }
    const bool raw = rawStoring();
    if (raw) storeRaw(chunk);
    std::size_t taken = 0;
    decodeBytes(std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()), std::size_t(chunk.size())), taken,
                [] { return true; });
    scheduleRefresh();
    if (raw) makeRawDurable();
}

// A failing storing file stops storing (through the hook) but not the
// stream: the chunk is still shown and decoded.
void TForm1::storeRaw(const QByteArray& chunk) {
    try {
        storingFile_->write(std::string_view(chunk.constData(), std::size_t(chunk.size())));
    } catch (const StoringError& e) {
        storingFailed(QString::fromLocal8Bit(e.what()));
    }
}

void TForm1::makeRawDurable() {
    try {
        storingFile_->make_durable();
    } catch (const StoringError& e) {
        storingFailed(QString::fromLocal8Bit(e.what()));
    }
}

void TForm1::storingFailed(const QString& text) {
    if (hooks_.storingFailed) hooks_.storingFailed(text);
    else post_failure(this, text);
}

// ---- File path ------------------------------------------------------------------------

void TForm1::Timer1Timer() {
    timer1_->stop();
    bool restart = true;
    // Ticks go on after a failure too.
    auto again = qScopeGuard([&] {
        if (restart) timer1_->start();
    });
    guarded([&] {
        if (src_.openStoreAtStart) {
            // Shown from the event loop, not inside this tick; for a file
            // modally, and the file is read once it is closed.
            src_.openStoreAtStart = false;
            restart = false;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    guarded([&] {
                        if (hooks_.storingDialog) hooks_.storingDialog(settings_.source == kSourceFile);
                    });
                    if (!settings_.reopenRequested) timer1_->start();
                },
                Qt::QueuedConnection);
            return;
        }
        if (settings_.reopenRequested) {
            restart = false;
            return;
        }
        if (settings_.source == kSourceFile && !src_.fileBusy && !src_.halted) ReadFileBytes();
    });
}

void TForm1::ReadFileBytes() {
    const std::shared_ptr<QFile> file = inputFile_;
    if (!file) return;
    src_.fileBusy = true;
    auto idle = qScopeGuard([&] { src_.fileBusy = false; });
    // The loop lets the event loop run between slices, so the source may
    // change or halt under it: it reads only while its file is the source.
    const auto current = [&] { return inputFile_ == file && settings_.source == kSourceFile && !src_.halted; };
    std::array<std::uint8_t, 4096> block{};
    QElapsedTimer slice;
    slice.start();
    qint64 sliceBytes = 0;
    while (current() && !file->atEnd()) {
        const qint64 want = std::min<qint64>(qint64(block.size()), std::max(1, sliceBytes_) - sliceBytes);
        const qint64 n = file->read(reinterpret_cast<char*>(block.data()), want);
        if (n <= 0) {
            throw std::runtime_error("Read error in file " + file->fileName().toStdString() + ": " +
                                     file->errorString().toStdString());
        }
        const std::span bytes(block.data(), std::size_t(n));
        std::size_t taken = 0;
        // Bytes the decoder took are shown and forwarded even when a step
        // failed; the rest is read again at the next tick. Every byte counts,
        // 26 (the old text-file end mark) included.
        const auto finish = [&] {
            const auto done = bytes.first(taken);
            if (qint64(taken) < n) file->seek(file->pos() - (n - qint64(taken)));
            appendRawLines(done, true);
            scheduleRefresh();
            if (settings_.transmit && !done.empty()) forwardBytes(done);
        };
        try {
            decodeBytes(bytes, taken, current);
        } catch (...) {
            finish();
            throw;
        }
        finish();
        sliceBytes += qint64(taken);
        if (sliceBytes >= sliceBytes_ || slice.elapsed() >= slice_ms) {
            QCoreApplication::processEvents();
            slice.restart();
            sliceBytes = 0;
        }
        if (inputFile_ == file && settings_.source == kSourceFile && file->atEnd()) {
            // The end shows at once, not at the next refresh, and a frame the
            // file cuts short does not hold back the pages.
            refreshDisplay();
            pages_->refresh(true);
            post_message(this, QStringLiteral(" End of data"));
        }
    }
}

template <class Go>
void TForm1::decodeBytes(std::span<const std::uint8_t> bytes, std::size_t& taken, Go go) {
    const header_info_type& h = decoder_.header_info;
    const std::size_t first = taken;
    auto counted = qScopeGuard([&] { statsPage_->countBytes(taken - first); });
    // One byte at a time, so that a step that throws leaves the count exact
    // and the next slice goes on with the byte after it.
    while (taken < bytes.size() && go()) {
        pipeline_.feed_byte(bytes[taken++], [this](const stream::CompletedFrame& f) {
            statsPage_->frameCompleted(f);
            alarms_->frame(f);
        });
        if (h.new_header || decoder_.frame_done) AfterByte();
    }
}

void TForm1::appendRawLines(std::span<const std::uint8_t> bytes, bool trimFirst) {
    bool completed = false;
    while (!bytes.empty()) {
        const std::size_t filled = rawLines_.lines().back().size();
        const std::size_t n = std::min(bytes.size(), RawLines::line_limit > filled ? RawLines::line_limit - filled : 1);
        if (rawLines_.append(std::string_view(reinterpret_cast<const char*>(bytes.data()), n))) {
            if (trimFirst) rawLines_.TrimRawLines();
            rawLines_.new_line();
            if (!trimFirst) rawLines_.TrimRawLines();
            rawLines_.mark_shown();
            completed = true;
        }
        bytes = bytes.subspan(n);
    }
    if (completed) pages_->rawLinesChanged();
}

// ---- Display steps ------------------------------------------------------------------

void TForm1::AfterByte() {
    header_info_type& h = decoder_.header_info;
    if (h.new_header) {
        ShowHeader();
        h.new_header = false;
    }
    if (decoder_.frame_done) {
        pages_->ShowMessagePage(int(h.msg_type));
        decoder_.frame_done = false;
    }
}

void TForm1::sniff(const QByteArray& chunk) {
    pipeline_.sniff(std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()), std::size_t(chunk.size())));
    if (pipeline_.take_sniffer_news())
        setPanel(0, QString::fromLatin1(StreamSniffer::message(pipeline_.sniffer().kind())));
}

void TForm1::showRawLines() {
    rawLines_.mark_shown();
    pages_->rawLinesChanged();
}

}  // namespace tessaly
