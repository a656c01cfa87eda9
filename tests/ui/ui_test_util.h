#pragma once
// A main window of its own for each test: a fresh decoder on a fixed clock,
// a fresh settings record, and every modal box recorded instead of shown.
// The Qt classes the window and dialog tests drive, in one place.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "RTCM_U1.h"
#include "error_log.h"
#include "event_loop.h"
#include "rtcmdecw.h"
#include "ui_boxes.h"

namespace tessaly::testing {

inline const QString kMessage = kMessageCaption;
inline const QString kError = kErrorCaption;
inline const QString kFailure = kFailureCaption;

inline QString write_file(const QTemporaryDir& dir, const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

inline QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

// The cells of row `r` of a page's table.
inline QStringList page_row(const SatellitePage& p, int r) {
    QStringList out;
    for (int c = 0; c < p.table->columnCount(); ++c) out << p.table->cell(c, r);
    return out;
}

// A storing step that fails once, at the tenth byte, as a failing write of
// the storing file would.
struct FailAtTenthByte : StoringHook {
    int bytes = 0;
    void reset_stream_state() override {}
    void after_byte(RtcmDecoder&) override {
        if (++bytes == 10) throw std::runtime_error("disk full");
    }
};

// Runs the window's file replay from a tick until it rests: at the end,
// halted, or after a failure (which the next tick resumes from); the
// boxes it posted on the way are shown.
inline bool replay(TForm1& w) {
    w.Timer1Timer();
    const bool rested = spin_until([&] { return !w.replaying(); });
    QCoreApplication::sendPostedEvents();
    return rested;
}

// A window on a fresh decoder and settings record.
struct WindowRig {
    // The settings choose no source (the default COM1 is a real device here)
    // until a test picks one.
    explicit WindowRig(ClockReading now = {2026, 12, 6, 10, 12, 0, 250}) : clock(now), decoder(clock) {
        settings.source = 255;
    }
    // Creates the window (which opens the configured source at once).
    TForm1& open(TForm1::Hooks hooks = {}) {
        form = std::make_unique<TForm1>(decoder, settings, std::move(hooks));
        return *form;
    }
    TForm1& openFile(const QString& path, TForm1::Hooks hooks = {}) {
        settings.source = 0;
        settings.fileName = path;
        return open(std::move(hooks));
    }
    // The boxes shown so far: the window posts them to the event loop,
    // which shows them once the handler that asked for them has returned.
    const std::vector<Box>& shown() {
        QCoreApplication::sendPostedEvents();
        return boxes.boxes;
    }
    QStringList shownTexts() {
        shown();
        return boxes.texts();
    }
    FixedClock clock;
    RtcmDecoder decoder;
    SettingsRecord settings;
    BoxRecorder boxes;
    std::unique_ptr<TForm1> form;
};

}  // namespace tessaly::testing
