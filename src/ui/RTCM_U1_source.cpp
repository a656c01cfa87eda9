// The source manager: opening the configured source and the receive paths
// that hand every byte to the decoder, then run the display steps.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTimer>
#include <stdexcept>

#include "RTCM_U1.h"

namespace tessaly {

void TForm1::OpenSource() {
    if (!settings_.reopenRequested) return;
    switch (settings_.source) {
    case 0: openFileSource(); break;
    default: break;
    }
    settings_.reopenRequested = false;
    if (settings_.transmit) StartTransmit();
}

void TForm1::openFileSource() {
    const QString name = QString::fromStdString(settings_.fileName);
    if (QFileInfo::exists(name)) {
        auto file = std::make_shared<QFile>(name);
        if (file->open(QIODevice::ReadOnly)) {
            // A file loop still running on the previous file sees the
            // replacement and stops before its next byte.
            inputFile_ = std::move(file);
            setPanel(0, "file " + name + " is open");
            timer1_->start();
            // Pausing and resuming a replay.
            menu_.halt->setVisible(true);
            menu_.halt->setEnabled(true);
        } else {
            setPanel(0, "Error while opening file " + name);
        }
    } else {
        setPanel(0, "file " + name + " not found");
        show_box(BoxKind::Message, " Error while openning file: " + name);
    }
    setPanel(1, QStringLiteral("Source: File"));
    menu_.transmit->menuAction()->setEnabled(true);
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
            if (hooks_.storingDialog) hooks_.storingDialog(settings_.source == 0);
            src_.openStoreAtStart = false;
        }
        if (settings_.reopenRequested) {
            restart = false;
            return;
        }
        if (settings_.source == 0 && !src_.fileBusy && !src_.halted) ReadFileBytes();
    });
}

void TForm1::ReadFileBytes() {
    const std::shared_ptr<QFile> file = inputFile_;
    if (!file) return;
    src_.fileBusy = true;
    auto idle = qScopeGuard([&] { src_.fileBusy = false; });
    // The loop yields to the event loop after every byte, so the source may
    // change under it: it reads only while its file is still the source.
    const auto current = [&] { return inputFile_ == file && settings_.source == 0; };
    while (current() && !src_.halted && !file->atEnd()) {
        char c = 0;
        if (!file->getChar(&c)) {
            throw std::runtime_error("Read error in file " + file->fileName().toStdString() + ": " +
                                     file->errorString().toStdString());
        }
        // Every byte counts, 26 (the old text-file end mark) included.
        const auto b = std::uint8_t(c);
        if (rawLines_.append(b)) {
            rawLines_.TrimRawLines();
            rawLines_.new_line();
            showRawLines();
        }
        decoder_.rtcm_decode_byte(b);
        AfterByte();
        showUnusedChars();
        if (settings_.transmit) forwardByte(b);
        QCoreApplication::processEvents();
        if (current() && file->atEnd()) show_box(BoxKind::Message, QStringLiteral(" End of data"));
    }
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

void TForm1::showUnusedChars() {
    if (decoder_.unused_chars == shownUnused_) return;
    shownUnused_ = decoder_.unused_chars;
    strip_.charsUnused->setText(QString::number(shownUnused_));
}

void TForm1::showRawLines() { pages_->showRawText(rawLines_.text()); }

}  // namespace tessaly
