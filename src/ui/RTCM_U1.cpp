// The main window: construction and dress, the start-up sequence, the status
// strip with ShowHeader and the clock, menus, keys and shutdown.
#include "RTCM_U1.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "elided_text.h"
#include "format_fixed.h"
#include "settings_store.h"
#include "stats_page.h"

namespace tessaly {

namespace {

QFont strip_font() {
    QFont f;
    f.setBold(true);
    f.setPixelSize(13);
    return f;
}

// Displays only: read-only and never focused, so that the plain letter keys
// of the menus always reach the menus.
QLineEdit* strip_field(QWidget* parent, const QString& text, QLineEdit* e = nullptr) {
    if (!e) e = new QLineEdit(parent);
    e->setText(text);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFrame(false);
    paint_field(e);
    return e;
}

// The menu bar's keys: Alt alone moves into it (then the arrow keys, Enter
// and Esc), whatever the style says, and the entry the keyboard is on is
// shown, which the style does only while a submenu is open.
class MenuKeysStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget && widget->hasFocus()) {
            QStyleOptionMenuItem on(*item);
            on.state |= State_Sunken;
            QProxyStyle::drawControl(element, &on, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// The last 12 characters of a history field, the marker and the newest entry.
QString history(const QString& old, const QString& marker, unsigned value) {
    return old.right(12) + marker + QString::number(value);
}

}  // namespace

TForm1::TForm1(RtcmDecoder& decoder, SettingsRecord& settings, Hooks hooks, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      decoder_(decoder),
      settings_(settings),
      hooks_(std::move(hooks)) {
    buildWindow();
    ComPort1 = new TComPort(this);
    ComPort1->OnRxChar = [this](TComPort&, int count) { ComPort1RxChar(count); };
    ComPort1->OnLost = [this](TComPort&, const QString& why) { ComPort1Lost(why); };
    setUpSupervisor();
    timer1_ = new QTimer(this);
    timer1_->setInterval(100);
    timer2_ = new QTimer(this);
    timer2_->setInterval(1000);
    timer3_ = new QTimer(this);
    timer3_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(timer2_, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(timer3_, &QTimer::timeout, this, &TForm1::Timer3Timer);
    // Ten repaints a second at most, however fast the frames come.
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(100);
    connect(refreshTimer_, &QTimer::timeout, this, &TForm1::refreshDisplay);
    connect(pages_, &MessagePages::dirtied, this, &TForm1::scheduleRefresh);
    timer2_->start();
    qApp->installEventFilter(this);
    guarded([&] { FormCreate(); });
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
    src_.halted = true;
}

// ---- Start-up ---------------------------------------------------------------------

void TForm1::FormCreate() {
    rawLines_.clear();
    sendRing_.reset();
    ComPort1->setPort(QStringLiteral("COM1"));
    ComPort1->setBaudRate(6);  // 4800 bit/s
    ComPort1->setParity(0);
    ComPort1->setStopBits(TComPort::kStopOne);
    ComPort1->setDataBits(3);  // eight
    QLocale::setDefault(QLocale::c());  // "." as the decimal separator
    heartbeat_ = QStringLiteral("-");
    pages_->ResetPages();
    decoder_.leapSeconds = settings_.leapSeconds;
    move(0, 0);
    resize(800, 580);
    setWindowTitle(QString::fromLatin1(caption));
    rawLines_.mark_shown();
    pages_->rawLinesChanged();
    decoder_.rtcm_decoder_reset();
    if (hooks_.settingsDialog) {
        if (hooks_.settingsDialog()) src_.openStoreAtStart = true;
    }
    decoder_.leapSeconds = settings_.leapSeconds;
    OpenSource();
}

void TForm1::forgetPreviousStream() {
    decoder_.stores = rtcm_stores{};
    decoder_.rtcm_decoder_reset();
    pages_->ResetPages();
    clearStrip();
    pipeline_.restart();
}

void TForm1::clearStrip() {
    noted_ = HeaderNoted{};
    heartbeat_ = QStringLiteral("-");
    for (QLineEdit* e : {strip_.station, strip_.health, strip_.latency}) e->setText(QStringLiteral("---"));
    strip_.refX->setText(QStringLiteral("X"));
    strip_.refY->setText(QStringLiteral("Y"));
    strip_.refZ->setText(QStringLiteral("Z"));
    for (QLineEdit* e : {strip_.sequence, strip_.mzCount, strip_.frames, strip_.special}) e->clear();
    // The decoder counts on for the statistics; the strip counts this source's.
    unusedBase_ = decoder_.unused_chars;
    shownUnused_ = UINT32_MAX;
    strip_.charsUnused->clear();
}

void TForm1::buildWindow() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, window_colour());
    setPalette(pal);
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(4, 4, 4, 0);
    v->setSpacing(4);
    auto* strip = new QWidget(central);
    buildStrip(strip);
    v->addWidget(strip);
    pages_ = new MessagePages(decoder_, rawLines_, {strip_.refX, strip_.refY, strip_.refZ, strip_.special}, central);
    statsPage_ = new StatsPage(decoder_, pages_);
    pages_->addTab(statsPage_, QStringLiteral("Statistics"));
    setUpAlarms();
    v->addWidget(pages_, 1);
    setCentralWidget(central);

    // The panels keep their widths and share what a wider window adds, the
    // state and source texts (file names, rates) most; a text that still
    // does not fit loses its middle and shows whole in the panel's tooltip.
    const int widths[4] = {250, 150, 150, 250};
    const int stretch[4] = {3, 2, 1, 0};
    for (int i = 0; i < 4; ++i) {
        panels_[std::size_t(i)] = new ElidedLabel(this);
        panels_[std::size_t(i)]->setMinimumWidth(widths[i]);
        panels_[std::size_t(i)]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(panels_[std::size_t(i)], stretch[i]);
    }
    statusBar()->setSizeGripEnabled(false);
    QFont small = statusBar()->font();
    small.setPixelSize(10);  // "source: internet - 10000 bps" fits its 150 pixels
    statusBar()->setFont(small);
    statusBar()->setToolTip(QStringLiteral("special info"));
    buildMenus();
}

void TForm1::buildStrip(QWidget* strip) {
    const QFont font = strip_font();
    auto* h = new QHBoxLayout(strip);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);

    strip_.labelTime = new QLabel(QStringLiteral("Date + Time"), strip);
    strip_.labelTime->setFont(font);
    strip_.labelTime->setFixedWidth(95);
    strip_.labelTime->setWordWrap(true);  // the date above the time
    strip_.labelTime->setMinimumHeight(40);
    strip_.labelTime->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    h->addWidget(strip_.labelTime);

    auto labelled = [&](QGridLayout* g, int row, const QString& caption, QLineEdit* field) {
        auto* l = new QLabel(caption, strip);
        l->setFont(font);
        g->addWidget(l, row, 0);
        g->addWidget(field, row, 1);
    };
    auto grid = [](QWidget* owner) {
        auto* g = new QGridLayout(owner);
        g->setContentsMargins(4, 4, 4, 4);
        g->setVerticalSpacing(2);
        return g;
    };

    auto* station = new QWidget(strip);
    paint_field(station);
    station->setFixedWidth(140);
    auto* sg = grid(station);
    strip_.station = strip_field(station, QStringLiteral("---"));
    strip_.health = strip_field(station, QStringLiteral("---"));
    strip_.latency = strip_field(station, QStringLiteral("---"));
    labelled(sg, 0, QStringLiteral("Station: "), strip_.station);
    labelled(sg, 1, QStringLiteral("Health:"), strip_.health);
    labelled(sg, 2, QStringLiteral("Latency:"), strip_.latency);
    h->addWidget(station);

    auto* ref = new QGroupBox(QStringLiteral("Reference Station"), strip);
    ref->setFont(font);
    paint_field(ref);
    ref->setFixedWidth(135);
    auto* rv = new QVBoxLayout(ref);
    rv->setContentsMargins(4, 4, 4, 4);
    rv->setSpacing(2);
    strip_.refX = strip_field(ref, QStringLiteral("X"));
    strip_.refY = strip_field(ref, QStringLiteral("Y"));
    strip_.refZ = strip_field(ref, QStringLiteral("Z"));
    for (QLineEdit* e : {strip_.refX, strip_.refY, strip_.refZ}) rv->addWidget(e);
    h->addWidget(ref);

    auto* status = new QGroupBox(QStringLiteral("Status"), strip);
    status->setFont(font);
    status->setFixedWidth(250);
    auto* stg = grid(status);
    strip_.sequence = strip_field(status, QString());
    strip_.mzCount = strip_field(status, QString());
    strip_.frames = strip_field(status, QString());
    labelled(stg, 0, QStringLiteral("Sequence:"), strip_.sequence);
    labelled(stg, 1, QStringLiteral("M-Z-Count:"), strip_.mzCount);
    labelled(stg, 2, QStringLiteral("Frames:"), strip_.frames);
    h->addWidget(status);

    auto* special = new QGroupBox(QStringLiteral("Special Message"), strip);
    special->setFont(font);
    special->setMinimumWidth(60);
    auto* spg = grid(special);
    // The special message is elided in the middle, whole in its tooltip.
    strip_.special = strip_field(special, QString(), new ElidedField(special));
    strip_.charsUnused = strip_field(special, QString());
    auto* unused = new QLabel(QStringLiteral("Chars Unused"), special);
    unused->setFont(font);
    spg->addWidget(strip_.special, 0, 0);
    spg->addWidget(unused, 1, 0);
    spg->addWidget(strip_.charsUnused, 2, 0);
    h->addWidget(special, 1);

    // The fields give way to the window's width; their texts scroll.
    for (QLineEdit* e : strip->findChildren<QLineEdit*>()) {
        e->setMinimumWidth(20);
    }
}

void TForm1::buildMenus() {
    QMenuBar* bar = menuBar();
    auto* keys = new MenuKeysStyle;
    keys->setParent(bar);
    bar->setStyle(keys);
    // The entry the keyboard is on must show against the window's blue,
    // which the style's own highlight nearly matches.
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Highlight, QColor(0, 0, 128));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    bar->setPalette(pal);
    // Every entry has a plain letter key: the fields are displays, so the
    // letters always reach the menus.
    const auto key = [](QAction* a, Qt::Key k) {
        a->setShortcut(QKeySequence(k));
        a->setShortcutContext(Qt::WindowShortcut);
    };
    // A submenu opens below its entry, while the entry is enabled.
    const auto popupKey = [this, bar, key](QMenu* menu, Qt::Key k) {
        auto* a = new QAction(this);
        key(a, k);
        addAction(a);
        connect(a, &QAction::triggered, this, [bar, menu] {
            if (!menu->menuAction()->isEnabled()) return;
            menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
        });
    };
    menu_.datasource = bar->addAction(QStringLiteral("&Data Source"));
    key(menu_.datasource, Qt::Key_D);
    connect(menu_.datasource, &QAction::triggered, this, &TForm1::DatasourceClick);

    menu_.save = bar->addAction(QStringLiteral("&Save Menu"));
    key(menu_.save, Qt::Key_S);
    connect(menu_.save, &QAction::triggered, this, &TForm1::SaveClick);

    menu_.transmit = bar->addMenu(QStringLiteral("&Transmit"));
    menu_.transmit->menuAction()->setEnabled(false);
    menu_.start = menu_.transmit->addAction(QStringLiteral("Start transmit through COM port"));
    connect(menu_.start, &QAction::triggered, this, &TForm1::StartClick);
    popupKey(menu_.transmit, Qt::Key_T);

    menu_.decoding = bar->addMenu(QStringLiteral("De&coding"));
    menu_.on = menu_.decoding->addAction(QStringLiteral("Display decoded RTCM messages"));
    menu_.off = menu_.decoding->addAction(QStringLiteral("Don't display decoded RTCM messages"));
    connect(menu_.decoding, &QMenu::aboutToShow, this, &TForm1::decoding1Click);
    connect(menu_.on, &QAction::triggered, this, &TForm1::On1Click);
    connect(menu_.off, &QAction::triggered, this, &TForm1::Off1Click);
    popupKey(menu_.decoding, Qt::Key_C);

    menu_.halt = bar->addAction(QStringLiteral("&Halt"));
    key(menu_.halt, Qt::Key_H);
    menu_.halt->setVisible(false);
    menu_.halt->setEnabled(false);
    connect(menu_.halt, &QAction::triggered, this, &TForm1::Halt1Click);

    menu_.leapSecond = bar->addAction(QStringLiteral("&Leap Second"));
    key(menu_.leapSecond, Qt::Key_L);
    connect(menu_.leapSecond, &QAction::triggered, this, &TForm1::setLeapsecondClick);
    menu_.info = bar->addAction(QStringLiteral("&Info"));
    key(menu_.info, Qt::Key_I);
    connect(menu_.info, &QAction::triggered, this, &TForm1::Info1Click);

    // F10 moves into the menu bar as Alt does: the menu bar takes the
    // keyboard on a lone Alt press and release.
    auto* f10 = new QAction(this);
    key(f10, Qt::Key_F10);
    addAction(f10);
    connect(f10, &QAction::triggered, this, [this] {
        QKeyEvent over(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
        QCoreApplication::sendEvent(this, &over);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
        QCoreApplication::sendEvent(this, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
        QCoreApplication::sendEvent(this, &release);
    });
}

// ---- Status bar ---------------------------------------------------------------------

void TForm1::setPanel(int panel, const QString& text) { panels_[std::size_t(panel)]->setText(text); }
QString TForm1::panelText(int panel) const { return panels_[std::size_t(panel)]->text(); }
QString TForm1::statusHint() const { return statusBar()->toolTip(); }

// ---- Status strip -------------------------------------------------------------------

void TForm1::ShowHeader() {
    const header_info_type& h = decoder_.header_info;
    heartbeat_ = heartbeat_ == QLatin1String("-") ? QStringLiteral("+") : QStringLiteral("-");
    noted_.sequence = history(noted_.sequence, heartbeat_, h.sequence);
    noted_.frames = history(noted_.frames, heartbeat_, h.msg_type);
    noted_.station = h.station_id;
    noted_.health = h.health;
    noted_.frameTime = h.frame_time;
    noted_.latency = decoder_.latency;
    noted_.dirty = true;
    scheduleRefresh();
}

void TForm1::scheduleRefresh() {
    if (!refreshTimer_->isActive()) refreshTimer_->start();
}

void TForm1::refreshDisplay() {
    showStatus();
    pages_->refresh();
}

void TForm1::showStatus() {
    if (noted_.dirty) {
        noted_.dirty = false;
        strip_.station->setText(QString::number(noted_.station));
        strip_.health->setText(QString::number(noted_.health));
        strip_.sequence->setText(noted_.sequence);
        strip_.frames->setText(noted_.frames);
        strip_.mzCount->setText(QString::fromStdString(FormatFixed(noted_.frameTime, 10, 1)) + " = " +
                                time_of_day_text(noted_.frameTime));
        strip_.latency->setText(QString::fromStdString(FormatFixed(noted_.latency, 10, 3)));
    }
    if (const std::uint32_t unused = decoder_.unused_chars - unusedBase_; unused != shownUnused_) {
        shownUnused_ = unused;
        strip_.charsUnused->setText(QString::number(shownUnused_));
    }
}

void TForm1::Timer2Timer() {
    guarded([&] {
        const ClockReading now = decoder_.clock().now_utc();
        strip_.labelTime->setText(clock_date_text(now) + "   " + clock_time_text(now));
        // A live stream that stops shows 0, not its last rate.
        const bool ntrip = settings_.source == kSourceNtrip;
        if ((settings_.source == kSourceInternet || ntrip) && (src_.byteCount > 0 || src_.lastRate != 0)) {
            src_.lastRate = src_.byteCount * 10;
            statusBar()->setToolTip("last ip-client data rate: " + QString::number(src_.lastRate) + " bps");
            setPanel(1, (ntrip ? "source: ntrip - " : "source: internet - ") + QString::number(src_.lastRate) + " bps");
            src_.byteCount = 0;
        }
        showStoring();
        // A device that hung up without Qt reporting it (a pseudo-terminal
        // whose other end closed) is noticed here, once a second.
        if (settings_.source == kSourceSerial && ComPort1->hungUp()) ComPort1Lost(QStringLiteral("the device was closed by its other end"));
    });
}

void TForm1::showStoring() {
    if (!recording_ || !storingFile_ || !recording_->storing_active || !storingFile_->is_open()) {
        setPanel(3, QString());
        return;
    }
    const QString format = recording_->raw_mode                        ? QStringLiteral("raw data")
                           : recording_->format == StoreFormat::text ? QStringLiteral("decoded text")
                                                                     : QStringLiteral("RTCM code");
    // The file's size: all that was made durable, what came before this
    // storing run included.
    const QString name = QString::fromStdString(storingFile_->name());
    setPanel(3, "storing " + format + " into " + name + ": " + QString::number(QFileInfo(name).size()) + " bytes");
}

// ---- Menus ---------------------------------------------------------------------------

void TForm1::DatasourceClick() {
    guarded([&] {
        if (hooks_.settingsDialog) hooks_.settingsDialog();
        OpenSource();
    });
}

void TForm1::SaveClick() {
    guarded([&] {
        if (hooks_.storingDialog) hooks_.storingDialog(false);
    });
}

void TForm1::StartClick() {
    guarded([&] {
        // While forwarding the item offers to stop it.
        if (settings_.transmit) {
            StopTransmit();
        } else {
            StartTransmit();
        }
    });
}

void TForm1::decoding1Click() {
    menu_.on->setText(settings_.decoding ? "display decoded RTCM messages *" : "display decoded RTCM messages");
    menu_.off->setText(settings_.decoding ? "don't display decoded RTCM messages"
                                          : "don't display decoded RTCM messages *");
}

void TForm1::On1Click() {
    guarded([&] {
        settings_.decoding = true;
        if (hooks_.saveDecoding) hooks_.saveDecoding(true);
    });
}

void TForm1::Off1Click() {
    guarded([&] {
        settings_.decoding = false;
        if (hooks_.saveDecoding) hooks_.saveDecoding(false);
    });
}

void TForm1::Halt1Click() {
    src_.halted = !src_.halted;
    menu_.halt->setText(src_.halted ? QStringLiteral("Start") : QStringLiteral("Halt"));
}

void TForm1::setLeapsecondClick() {
    guarded([&] {
        if (hooks_.leapSecondDialog) hooks_.leapSecondDialog();
    });
}

QString TForm1::infoText() {
    // The README of an installed program lies beside its bin/; a program
    // run from elsewhere names where the install puts it.
    QString readme = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/tessaly/README.md");
    readme = QFileInfo::exists(readme) ? QFileInfo(readme).canonicalFilePath() : QStringLiteral(TESSALY_README);
    return QString::fromLatin1(caption) +
           QStringLiteral("\nMonitor for RTCM SC-104 version 2 differential-GNSS streams.\n\n"
                          "Keys: D Data Source, S Save Menu, T Transmit, C Decoding, H Halt (file source), "
                          "L Leap Second, I Info; Alt or F10, then the arrow keys and Enter, walk the menus; "
                          "Up and Down switch the sub-pages of types 18 to 21 and 31+34.\n\n"
                          "Sources (Data Source): a TCP address and port (default 127.0.0.1:2101), an NTRIP "
                          "caster's mountpoint, a serial port, or a recorded file.\n\n"
                          "Settings: %1\n"
                          "Connection log: standard error, one line per event (UTC).\n"
                          "Documentation: %2 and the man pages tessaly(1), tessaly-decode(1), tessaly-serve(1).")
               .arg(SettingsStore::file_path(), readme);
}

void TForm1::Info1Click() { post_message(this, infoText()); }

// ---- Keys ------------------------------------------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // The window sees key presses before its controls: once per press, at
    // the widget that has the focus (or the window itself).
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        if (w->window() == this && (w == focus || (!focus && w == this))) {
            FormKeyDown(static_cast<QKeyEvent*>(event)->key());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormKeyDown(int key) {
    if (key == Qt::Key_Up) subPageStep(+1);
    if (key == Qt::Key_Down) subPageStep(-1);
}

void TForm1::subPageStep(int step) {
    if (QTabWidget* tabs = pages_->subTabs(pages_->currentIndex()))
        tabs->setCurrentIndex((tabs->currentIndex() + step + tabs->count()) % tabs->count());
}

// ---- Shutdown ----------------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* event) {
    guarded([&] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TForm1::FormClose() {
    src_.halted = true;
    StopTransmit();
    if (ComPort1->Connected()) {
        ComPort1->WaitForAsync(&writeRecord_);
        ComPort1->Close();
    }
}

}  // namespace tessaly
