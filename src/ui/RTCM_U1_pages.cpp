// The message pages of the main window: their columns, the exact text of
// every cell, the satellite rows that follow the store lists, and the
// dispatch by message type.
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "RTCM_U1_pages.h"
#include "format_fixed.h"
#include "more_types_text.h"

namespace tessaly {

namespace {

QString ff(double value, int precision, int decimals) {
    return QString::fromStdString(FormatFixed(value, precision, decimals));
}
QString num(long long v) { return QString::number(v); }

// What tells two satellites of one list apart: the number, and the system
// where the records carry one.
template <class Sat>
int satellite_key(const Sat& s) {
    if constexpr (requires { s.glonass; }) return int(s.sv) + (s.glonass ? 256 : 0);
    else return int(s.sv);
}

// Books the satellites of a list to the rows of a table: the rows of
// satellites that left are freed first, so that newcomers take them.
template <class List>
void book_rows(ColumnTable* t, const List& list) {
    t->beginRows();
    for (const auto& s : list) t->keep(satellite_key(s));
    t->releaseRows();
    for (const auto& s : list) t->rowFor(satellite_key(s));
}

// Shows the satellites of a list on a table, each on its row, and nothing
// else.
template <class List, class Write>
void show_rows(ColumnTable* t, const List& list, Write write) {
    book_rows(t, list);
    t->showRows();
    for (const auto& s : list) write(t->rowFor(satellite_key(s)), s);
}

// Widgets redo their layout on every setText, even of the same text.
void set_text(QLineEdit* e, const QString& text) {
    if (e->text() != text) e->setText(text);
}
void set_text(QPlainTextEdit* e, const QString& text) {
    if (e->toPlainText() != text) e->setPlainText(text);
}

const QString udre_text[4] = {QStringLiteral("  ... 1"), QStringLiteral("  1 - 4"),
                              QStringLiteral("  4 - 8"), QStringLiteral("  8 ...")};

QString smoothing_text(std::uint8_t code, bool padded) {
    switch (code) {
    case 0: return QStringLiteral("0 to 1 Minutes");
    case 1: return QStringLiteral("1 to 5 Minutes");
    case 2: return QStringLiteral("5 to 15 Minutes");
    case 3: return padded ? QStringLiteral("indefinite     ") : QStringLiteral("indefinite");
    default: return {};
    }
}

QFont bold_font() {
    QFont f;
    f.setBold(true);
    f.setPixelSize(13);
    return f;
}

QLineEdit* make_field(QWidget* parent, bool painted = true) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFrame(false);
    if (painted) paint_field(e);
    return e;
}

}  // namespace

QColor window_colour() { return QColor(0, 128, 255); }

void paint_field(QWidget* field) {
    QPalette pal = field->palette();
    pal.setColor(QPalette::Base, window_colour());
    pal.setColor(QPalette::Window, window_colour());
    field->setPalette(pal);
    field->setAutoFillBackground(true);
}

QString time_of_day_text(double seconds) {
    long long s = (long long)std::floor(seconds);
    s %= 86400;
    if (s < 0) s += 86400;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString clock_time_text(const ClockReading& r) {
    return time_of_day_text(r.hour * 3600.0 + r.minute * 60.0 + r.second);
}

QString clock_date_text(const ClockReading& r) { return QString::fromStdString(date_text(r)); }

// ---- ColumnTable ---------------------------------------------------------------

ColumnTable::ColumnTable(const QStringList& titles, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(12);
    for (const QString& t : titles) {
        auto* col = new QVBoxLayout;
        auto* title = new QLabel(t, this);
        title->setFont(bold_font());
        auto* list = new QListWidget(this);
        list->setFont(mono);
        list->setSelectionMode(QAbstractItemView::NoSelection);
        list->setFocusPolicy(Qt::NoFocus);
        list->setUniformItemSizes(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        const int width = std::max(title->sizeHint().width(), 50) + 8;
        title->setFixedWidth(width);
        list->setFixedWidth(width);
        col->addWidget(title);
        col->addWidget(list, 1);
        row->addLayout(col);
        titles_.push_back(title);
        columns_.push_back(list);
    }
    row->addStretch(1);
    // One scroll bar, on the last column, moves every list: a row reads
    // straight across.
    for (QListWidget* list : columns_) {
        if (list != columns_.back()) list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
            for (QListWidget* other : columns_) other->verticalScrollBar()->setValue(value);
        });
    }
}

int ColumnTable::rowCount() const { return columns_.empty() ? 0 : columns_.front()->count(); }

QString ColumnTable::title(int column) const { return titles_[std::size_t(column)]->text(); }

QString ColumnTable::cell(int column, int row) const {
    const QListWidgetItem* item = columns_[std::size_t(column)]->item(row);
    return item ? item->text() : QString();
}

void ColumnTable::setCell(int column, int row, const QString& text) {
    QListWidget* list = columns_[std::size_t(column)];
    while (list->count() <= row) list->addItem(QStringLiteral(" "));
    QListWidgetItem* item = list->item(row);
    if (item->text() == text) return;
    item->setText(text);
    const int needed = list->fontMetrics().horizontalAdvance(text) + 2 * list->frameWidth() + 12;
    if (needed > list->width()) {
        list->setFixedWidth(needed);
        titles_[std::size_t(column)]->setFixedWidth(needed);
    }
}

void ColumnTable::reset(int rows) {
    for (QListWidget* list : columns_) {
        list->clear();
        for (int r = 0; r < rows; ++r) list->addItem(QStringLiteral(" "));
    }
    rowKeys_.assign(std::size_t(rows), free_row);
}

void ColumnTable::beginRows() { kept_.assign(rowKeys_.size(), false); }

void ColumnTable::keep(int key) {
    for (std::size_t row = 0; row < rowKeys_.size(); ++row)
        if (rowKeys_[row] == key) kept_[row] = true;
}

void ColumnTable::releaseRows() {
    for (std::size_t row = 0; row < rowKeys_.size(); ++row)
        if (!kept_[row]) rowKeys_[row] = free_row;
    // Rows grown for a crowd that has gone shrink back to the blank rows.
    std::size_t keep = rowKeys_.size();
    while (keep > std::size_t(blank_rows) && rowKeys_[keep - 1] == free_row) --keep;
    rowKeys_.resize(keep);
}

void ColumnTable::showRows() {
    const int rows = int(rowKeys_.size());
    for (QListWidget* list : columns_) {
        while (list->count() > rows) delete list->takeItem(list->count() - 1);
        while (list->count() < rows) list->addItem(QStringLiteral(" "));
    }
    for (int row = 0; row < rows; ++row)
        if (rowKeys_[std::size_t(row)] == free_row) blankRow(row);
}

int ColumnTable::rowFor(int key) {
    const auto held = std::find(rowKeys_.begin(), rowKeys_.end(), key);
    if (held != rowKeys_.end()) return int(held - rowKeys_.begin());
    auto row = std::find(rowKeys_.begin(), rowKeys_.end(), free_row);
    if (row == rowKeys_.end()) row = rowKeys_.insert(rowKeys_.end(), free_row);
    *row = key;
    return int(row - rowKeys_.begin());
}

void ColumnTable::blankRow(int row) {
    for (QListWidget* list : columns_)
        if (QListWidgetItem* item = list->item(row); item && item->text() != QLatin1String(" "))
            item->setText(QStringLiteral(" "));
}

// ---- Page construction ------------------------------------------------------------

MessagePages::MessagePages(const RtcmDecoder& decoder, const RawLines& raw, StripFields strip, QWidget* parent)
    : QTabWidget(parent), decoder_(decoder), raw_(raw), strip_(strip) {
    const QStringList corr_cols{"SV", "Factor", "UDRE [m]", "PsRangeCorr [m]", "RaRaCorr [m/s]", "IOD",
                                "M-Z-Count"};
    corrections_[0] = addSatellitePage("Type 1", "Differential Corrections - Message Type 01", corr_cols);
    corrections_[1] =
        addSatellitePage("Type 2", "Delta Differential Corrections - Message Type 02", corr_cols);

    QWidget* p3 = addHeadedPage("Type 3+22", "Reference Station Parameters - Message Type 3 and Type 22 ",
                                &type3Header_);
    type3Text_ = new QPlainTextEdit(p3);
    type3Text_->setReadOnly(true);
    type3Text_->setFocusPolicy(Qt::NoFocus);
    p3->layout()->addWidget(type3Text_);

    corrections_[2] = addSatellitePage("Type 9", "Partial Differential Corrections - Message Type 9", corr_cols);

    QWidget* p16 = addHeadedPage("Type 16", "Special Text Message - Message Type 16", &type16Header_);
    {
        auto* grid = new QGridLayout;
        auto* lt = new QLabel("Time", p16);
        auto* lm = new QLabel("Message", p16);
        lt->setFont(bold_font());
        lm->setFont(bold_font());
        type16Time_ = make_field(p16, false);
        type16Message_ = make_field(p16, false);
        grid->addWidget(lt, 0, 0);
        grid->addWidget(type16Time_, 0, 1);
        grid->addWidget(lm, 1, 0);
        grid->addWidget(type16Message_, 1, 1);
        static_cast<QVBoxLayout*>(p16->layout())->addLayout(grid);
        static_cast<QVBoxLayout*>(p16->layout())->addStretch(1);
    }

    addMeasurementPage(Type18, "Type 18", "Uncorrected Carrier Phase Measurements - Message Type 18",
                       {"SV", "Phase Error [cycles]", "Loss", "Mult", "Code", "Phase [cycles]",
                        "Exp.-Meas.-Time [s]"});
    addMeasurementPage(Type19, "Type 19", "Uncorrected Pseudorange Measurements - Message Type 19",
                       {"SV", "PsRaErr", "MultipathErr", "Code", "Pseudorange [m]", "Exp.-Meas.-Time [s]"});
    addMeasurementPage(Type20, "Type 20", "RTK Carrier Phase Corrections - Message Type 20",
                       {"SV", "Phase Error [cycles]", "Loss", "Mult", "IOD", "Phase Correction",
                        "Exp.-Meas.-Time [s]"});
    addMeasurementPage(Type21, "Type 21", "RTK Pseudorange Corrections - Message Type 21",
                       {"SV", "PsRaErr [m]", "M-P-Err [m]", "Code", "IOD", "PsRange [m]", "RaRaCorr",
                        "Exp.-Meas.-Time [s]"});
    // GLONASS corrections: Type 1's columns, the IOD's place holding the
    // change flag and the time of day tag.
    glonassTabs_ = addSubTabbedPage("Type 31+34", "GLONASS Differential Corrections - Message Type 31 and Type 34");
    const QStringList glonass_cols{"SV", "Factor", "UDRE [m]", "PsRangeCorr [m]", "RaRaCorr [m/s]", "Change",
                                   "Time of Day", "M-Z-Count"};
    glonass_[Type31] = addSubPage(glonassTabs_, "Type 31 Corrections", glonass_cols);
    glonass_[Type34] = addSubPage(glonassTabs_, "Type 34 Partial Corrections", glonass_cols);

    {
        auto* page = new QWidget(this);
        auto* v = new QVBoxLayout(page);
        auto* top = new QHBoxLayout;
        auto* heading = new QLabel("Other Message Type", page);
        heading->setFont(bold_font());
        otherHeader_ = make_field(page);
        otherZcount_ = make_field(page);
        headers_.push_back(otherHeader_);
        headers_.push_back(otherZcount_);
        otherZcount_->setFixedWidth(90);
        top->addWidget(heading);
        top->addWidget(otherHeader_, 1);
        top->addWidget(otherZcount_);
        v->addLayout(top);
        otherText_ = new QPlainTextEdit(page);
        otherText_->setReadOnly(true);
        otherText_->setFocusPolicy(Qt::NoFocus);
        otherText_->setLineWrapMode(QPlainTextEdit::NoWrap);
        v->addWidget(otherText_, 1);
        addTab(page, "other Type");
    }
    {
        auto* page = new QWidget(this);
        auto* v = new QVBoxLayout(page);
        auto* heading = new QLabel("Raw Data", page);
        heading->setFont(bold_font());
        v->addWidget(heading);
        rawText_ = new QPlainTextEdit(page);
        rawText_->setReadOnly(true);
        rawText_->setFocusPolicy(Qt::NoFocus);
        QPalette pal = rawText_->palette();
        pal.setColor(QPalette::Base, QColor(0, 0, 255));
        pal.setColor(QPalette::Text, pal.color(QPalette::HighlightedText));
        rawText_->setPalette(pal);
        QFont f(QStringLiteral("monospace"));
        f.setStyleHint(QFont::TypeWriter);
        f.setBold(true);
        f.setPixelSize(12);
        rawText_->setFont(f);
        v->addWidget(rawText_, 1);
        addTab(page, "Raw Data");
    }
    QFont tabs = tabBar()->font();
    tabs.setPixelSize(11);
    tabBar()->setFont(tabs);
    setCurrentIndex(Type2);
    // A page shown is brought up to date at once (or at the end of the
    // frame in progress).
    connect(this, &QTabWidget::currentChanged, this, [this] { refresh(); });
}

QWidget* MessagePages::addHeadedPage(const QString& caption, const QString& heading, QLineEdit** header) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel(heading, page);
    label->setFont(bold_font());
    *header = make_field(page);
    (*header)->setFixedWidth(220);
    headers_.push_back(*header);
    top->addWidget(label, 1);
    top->addWidget(*header);
    v->addLayout(top);
    addTab(page, caption);
    return page;
}

SatellitePage MessagePages::addSatellitePage(const QString& caption, const QString& heading,
                                             const QStringList& columns) {
    SatellitePage sp;
    QWidget* page = addHeadedPage(caption, heading, &sp.header);
    sp.table = new ColumnTable(columns, page);
    page->layout()->addWidget(sp.table);
    tables_.push_back(sp.table);
    return sp;
}

QTabWidget* MessagePages::addSubTabbedPage(const QString& caption, const QString& heading) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(4, 4, 4, 4);
    auto* label = new QLabel(heading, page);
    label->setFont(bold_font());
    v->addWidget(label);
    auto* tabs = new QTabWidget(page);
    tabs->setTabPosition(QTabWidget::South);
    v->addWidget(tabs, 1);
    addTab(page, caption);
    return tabs;
}

SatellitePage MessagePages::addSubPage(QTabWidget* tabs, const QString& name, const QStringList& columns) {
    auto* sub = new QWidget(tabs);
    auto* sv = new QVBoxLayout(sub);
    sv->setContentsMargins(2, 2, 2, 2);
    SatellitePage sp;
    sp.header = make_field(sub);
    sp.header->setFixedWidth(420);
    headers_.push_back(sp.header);
    sv->addWidget(sp.header, 0, Qt::AlignRight);
    sp.table = new ColumnTable(columns, sub);
    sv->addWidget(sp.table, 1);
    tables_.push_back(sp.table);
    tabs->addTab(sub, name);
    return sp;
}

void MessagePages::addMeasurementPage(Page p, const QString& caption, const QString& heading,
                                      const QStringList& columns) {
    const int k = p - Type18;
    QTabWidget* tabs = addSubTabbedPage(caption, heading);
    subTabs_[std::size_t(k)] = tabs;
    const char* names[4] = {"L1 Frequency", "L2 Frequency", "Ionosph. Difference", "Special"};
    for (int s = 0; s < 4; ++s) measurements_[std::size_t(k)][std::size_t(s)] = addSubPage(tabs, names[s], columns);
}

const SatellitePage& MessagePages::page(Page p) {
    return *upToDate(p, &corrections_[p == Type1 ? 0 : p == Type2 ? 1 : 2]);
}

const SatellitePage& MessagePages::subPage(Page p, SubPage s) {
    return *upToDate(p, &measurements_[std::size_t(p - Type18)][std::size_t(s)]);
}

QTabWidget* MessagePages::subTabs(Page p) const {
    return p == Glonass ? glonassTabs_ : subTabs_[std::size_t(p - Type18)];
}

void MessagePages::showRaw() {
    set_text(rawText_, raw_.shown_text());
    rawText_->verticalScrollBar()->setValue(rawText_->verticalScrollBar()->maximum());
}

QString MessagePages::rawPageText() { return upToDate(Raw, rawText_)->toPlainText(); }

// ---- ResetPages and dispatch -----------------------------------------------------

void MessagePages::ResetPages() {
    for (ColumnTable* t : tables_) t->reset(ColumnTable::blank_rows);
    type3Text_->clear();
    type16Time_->clear();
    type16Message_->clear();
    for (QLineEdit* header : headers_) header->clear();
    otherLines_ = QStringList(15, QStringLiteral(" "));
    otherText_->setPlainText(otherLines_.join(QLatin1Char('\n')));
    // What the stores held is gone with them; the raw lines stay.
    for (int p = 0; p < page_count; ++p) dirty_[std::size_t(p)] = p == Raw && dirty_[std::size_t(p)];
    stationStripDirty_ = textStripDirty_ = owed_ = stationSeen_ = ended_ = false;
    otherHeading_ = {};
}

void MessagePages::ShowMessagePage(int msg_type) {
    ended_ = false;
    const rtcm_stores& s = decoder_.stores;
    switch (msg_type) {
    case 1: noteRows(Type1); markDirty(Type1); break;
    case 2: noteRows(Type2); markDirty(Type2); break;
    case 3:
        stationSeen_ = true;
        stationReceived_ = decoder_.clock().now_utc();
        if (!stationStripDirty_ && !textStripDirty_) emit dirtied();
        stationStripDirty_ = true;
        markDirty(Type3);
        break;
    case 9: noteRows(Type9); markDirty(Type9); break;
    case 22: markDirty(Type3); break;
    case 31: case 34: noteRows(Glonass); markDirty(Glonass); break;
    case 16:
        textReceived_ = decoder_.clock().now_utc();
        if (!stationStripDirty_ && !textStripDirty_) emit dirtied();
        textStripDirty_ = true;
        markDirty(Type16);
        break;
    case 18: case 19: case 20: case 21:
        noteRows(Page(Type18 + msg_type - 18));
        markDirty(Page(Type18 + msg_type - 18));
        break;
    default: {
        const rtcm_data_other_type& d = s.data_other;
        if (d.msg_type < 1 || d.msg_type > 63) break;
        if (otherLines_.size() > 15) otherLines_.removeFirst();
        QString line = num(d.msg_type) + ":" + QString::fromLatin1(d.raw.data(), qsizetype(d.raw.size()));
        // The decoded content, where the type has one, after the characters.
        if (decoder_.header.msg_type == d.msg_type) {
            const std::string decoded = more_type_line(decoder_);
            if (!decoded.empty()) line += "  " + QString::fromStdString(decoded);
        }
        otherLines_.append(line);
        // Noted now: the store of other types also holds the characters of
        // 22, 31 and 34, which have pages of their own.
        otherHeading_ = {"Type: " + num(d.msg_type) + "  Length: " + num(d.frame_length), ff(d.time, 7, 1)};
        markDirty(Other);
        break;
    }
    }
    if (owed_) refresh();
}

void MessagePages::noteRows(Page p) {
    const rtcm_stores& s = decoder_.stores;
    const auto corrections = [&](const rtcm_corrections_store& store) {
        if (store.time != -1) book_rows(corrections_[p == Type1 ? 0 : p == Type2 ? 1 : 2].table, store.list);
    };
    const auto measurements = [&](const auto& store) {
        for (int sub = 0; sub < 4; ++sub)
            book_rows(measurements_[std::size_t(p - Type18)][std::size_t(sub)].table,
                      store.sat_list[std::size_t(sub_page_list[std::size_t(sub)])]);
    };
    switch (p) {
    case Type1: corrections(s.data_1); break;
    case Type2: corrections(s.data_2); break;
    case Type9: corrections(s.data_9); break;
    case Type18: measurements(s.data_18); break;
    case Type19: measurements(s.data_19); break;
    case Type20: measurements(s.data_20); break;
    case Type21: measurements(s.data_21); break;
    case Glonass:
        for (int g = 0; g < 2; ++g) {
            const rtcm_corrections_store& store = g == Type31 ? s.data_31 : s.data_34;
            if (store.time != -1) book_rows(glonass_[std::size_t(g)].table, store.list);
        }
        break;
    default: break;
    }
}

void MessagePages::markDirty(Page p) {
    if (dirty_[std::size_t(p)]) return;
    dirty_[std::size_t(p)] = true;
    emit dirtied();
}

MessagePages::Page MessagePages::pageOf(std::uint32_t msg_type) {
    switch (msg_type) {
    case 1: return Type1;
    case 2: return Type2;
    case 3: case 22: return Type3;
    case 9: return Type9;
    case 16: return Type16;
    case 18: case 19: case 20: case 21: return Page(Type18 + int(msg_type) - 18);
    case 31: case 34: return Glonass;
    default: return Other;
    }
}

void MessagePages::refresh(bool ended) {
    ended_ = ended_ || ended;
    // Only the frame in progress is partial: the other pages show complete
    // frames, however long the stream stays inside that one (with decoding
    // off a frame may never end). The raw lines are whole at any time.
    const int partial = ended_ || !insideFrame() ? -1 : pageOf(decoder_.header.msg_type);
    owed_ = partial != -1;
    if (partial != Type3 && partial != Type16) showStrip();
    if (const int p = currentIndex(); p >= 0 && p < page_count && p != partial && dirty_[std::size_t(p)]) paint(p);
}

void MessagePages::showStrip() {
    const auto coord = [](std::int32_t v) { return ff(v * 0.01, 15, 2); };
    if (stationStripDirty_) {
        const rtcm_data_3_type& d = decoder_.stores.data_3;
        set_text(strip_.refX, coord(d.x));
        set_text(strip_.refY, coord(d.y));
        set_text(strip_.refZ, coord(d.z));
    }
    if (textStripDirty_) {
        const rtcm_data_16_type& d = decoder_.stores.data_16;
        set_text(strip_.special, QString::fromLatin1(d.text.data(), qsizetype(d.text.size())));
        strip_.special->setCursorPosition(0);  // from the first character, not scrolled to the end
    }
    stationStripDirty_ = textStripDirty_ = false;
}

void MessagePages::paint(int p) {
    dirty_[std::size_t(p)] = false;
    const rtcm_stores& s = decoder_.stores;
    switch (p) {
    case Type1: showCorrections(Type1, s.data_1); break;
    case Type2: showCorrections(Type2, s.data_2); break;
    case Type3: showStation(); break;
    case Type9: showCorrections(Type9, s.data_9); break;
    case Type16: showText(); break;
    case Type18: show18(); break;
    case Type19: show19(); break;
    case Type20: show20(); break;
    case Type21: show21(); break;
    case Glonass:
        showGlonass(Type31, s.data_31);
        showGlonass(Type34, s.data_34);
        break;
    case Other: showOther(); break;
    case Raw: showRaw(); break;
    default: break;
    }
}

// ---- Types 1, 2 and 9 -------------------------------------------------------------

void MessagePages::showCorrections(Page p, const rtcm_corrections_store& store) {
    if (store.time == -1) return;
    const SatellitePage& sp = corrections_[p == Type1 ? 0 : p == Type2 ? 1 : 2];
    if (!store.list.empty()) set_text(sp.header, ff(store.time, 7, 1) + " length:" + num(store.frame_length));
    const bool t9 = p == Type9;
    const QString lead = t9 ? QStringLiteral("    ") : QStringLiteral("   ");
    ColumnTable* t = sp.table;
    show_rows(t, store.list, [&](int row, const rtcm_sat_1_type& r) {
        t->setCell(0, row, (t9 ? "   " : "  ") + num(r.sv));
        t->setCell(1, row, r.scale ? " coarse" : " fine  ");
        t->setCell(2, row, udre_text[r.udre & 3]);
        t->setCell(3, row, !t9 && r.range_problem ? "   error    " : lead + ff(r.range_corr, 9, 2));
        t->setCell(4, row, !t9 && r.rate_problem ? "   error " : lead + ff(r.rate_corr, 6, 3));
        t->setCell(5, row, lead + num(r.iod));
        t->setCell(6, row, lead + ff(r.time, 7, 1));
    });
}

// GLONASS satellites are labelled R as on the pages of 18 to 21; 31 and 34
// have no problem marks.
void MessagePages::showGlonass(GlonassPage g, const rtcm_corrections_store& store) {
    if (store.time == -1) return;
    const SatellitePage& sp = glonass_[std::size_t(g)];
    if (!store.list.empty()) set_text(sp.header, ff(store.time, 7, 1) + " length:" + num(store.frame_length));
    ColumnTable* t = sp.table;
    show_rows(t, store.list, [&](int row, const rtcm_sat_1_type& r) {
        t->setCell(0, row, " R" + num(r.sv));
        t->setCell(1, row, r.scale ? " coarse" : " fine  ");
        t->setCell(2, row, udre_text[r.udre & 3]);
        t->setCell(3, row, "   " + ff(r.range_corr, 9, 2));
        t->setCell(4, row, "   " + ff(r.rate_corr, 6, 3));
        t->setCell(5, row, r.change ? "   yes" : "   no");
        t->setCell(6, row, "   " + num(r.tod));
        t->setCell(7, row, "   " + ff(r.time, 7, 1));
    });
}

// ---- Types 3 and 16 ---------------------------------------------------------------

void MessagePages::showStation() {
    const rtcm_data_3_type& d = decoder_.stores.data_3;
    const auto coord = [](std::int32_t v) { return ff(v * 0.01, 15, 2); };
    QStringList lines;
    if (stationSeen_) {
        set_text(type3Header_, ff(d.time_received, 7, 1) + " length:" + num(d.frame_length));
        const ClockReading& now = stationReceived_;
        const double changed_fraction = d.time_changed - std::floor(d.time_changed);
        lines = QStringList{
            " new Reference Station Parameters",
            " X: " + coord(d.x),
            " Y: " + coord(d.y),
            " Z: " + coord(d.z),
            " M-Z-Count: " + ff(d.time_received, 7, 1) + "   " + time_of_day_text(d.time_received),
            " Last receive: " + clock_time_text(now) + "  " + clock_date_text(now),
            // The change moment is held to the millisecond; the time of day shows
            // whole seconds.
            " Last Change : " + time_of_day_text(std::round(changed_fraction * 86400000.0) / 1000.0) + "  " +
                QString::fromStdString(d.date_changed),
            " from:",
            " X: " + coord(d.prev_x),
            " Y: " + coord(d.prev_y),
            " Z: " + coord(d.prev_z),
        };
    }
    // Message 22 refines the coordinates of 3 (or of GLONASS's 32): its
    // lines follow those of 3. A frame with a failed word changes nothing.
    const rtcm_data_22_type& e = decoder_.stores.more.data_22;
    if (e.valid) {
        const auto cm = [](const char* name, double v) { return QString::fromLatin1(name) + ff(v, 9, 3) + " cm"; };
        if (!lines.isEmpty()) lines << QString();
        lines << " Extended Reference Station Parameters (Type 22)" +
                     QString(e.has_word4 ? e.glonass ? ", GLONASS" : ", GPS" : "") + ":"
              << cm(" L1 phase centre dX: ", e.dx) << cm(" L1 phase centre dY: ", e.dy)
              << cm(" L1 phase centre dZ: ", e.dz);
        if (e.has_height) lines << cm(" Antenna height: ", e.height);
        if (e.has_l2)
            lines << cm(" L2 phase centre dX: ", e.dx2) << cm(" L2 phase centre dY: ", e.dy2)
                  << cm(" L2 phase centre dZ: ", e.dz2);
        lines << " M-Z-Count: " + ff(e.time, 7, 1) + "   " + time_of_day_text(e.time) + "  length:" +
                     num(e.frame_length);
    }
    set_text(type3Text_, lines.join(QLatin1Char('\n')));
}

void MessagePages::showText() {
    const rtcm_data_16_type& d = decoder_.stores.data_16;
    const QString text = QString::fromLatin1(d.text.data(), qsizetype(d.text.size()));
    set_text(type16Time_, clock_time_text(textReceived_));
    set_text(type16Message_, text);
    type16Message_->setCursorPosition(0);  // from the first character, not scrolled to the end
    set_text(type16Header_, ff(d.time, 7, 1) + " length:" + num(d.frame_length));
}

// ---- Types 18 to 21 ---------------------------------------------------------------

namespace {

// The satellite cell of 18 to 21: GPS numbers as ever, a GLONASS number with
// an R in the blank before it ("  14" and " R14"), so that the two systems'
// satellites of one number cannot be confused.
template <class Sat>
QString sv_label(const char* lead, const Sat& e) {
    QString text = QString::fromLatin1(lead);
    if (e.glonass) text.back() = QLatin1Char('R');
    return text + num(e.sv);
}

}  // namespace

template <class Store, class Header, class Row>
void MessagePages::showMeasurements(Page p, const Store& store, Header header, Row row) {
    for (int s = 0; s < 4; ++s) {
        const auto& list = store.sat_list[std::size_t(sub_page_list[std::size_t(s)])];
        const SatellitePage& sp = measurements_[std::size_t(p - Type18)][std::size_t(s)];
        if (!list.empty()) set_text(sp.header, header());
        ColumnTable* t = sp.table;
        show_rows(t, list, [&](int r, const auto& sat) { row(t, r, sat); });
    }
}

void MessagePages::show18() {
    const rtcm_data_18_type& d = decoder_.stores.data_18;
    showMeasurements(
        Type18, d, [&] { return ff(d.meas_time, 12, 6); },
        [](ColumnTable* t, int r, const rtcm_sat_18_type& e) {
            t->setCell(0, r, sv_label("  ", e));
            t->setCell(1, r, (e.phase_err <= 0.1248 ? "<= " : " > ") + ff(e.phase_err, 7, 5));
            t->setCell(2, r, " " + num(e.loss));
            t->setCell(3, r, e.more ? " MORE" : " LAST");
            t->setCell(4, r, e.p_code ? "  P " : " C/A");
            t->setCell(5, r, " " + ff(e.phase, 12, 2));
            t->setCell(6, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show19() {
    const rtcm_data_19_type& d = decoder_.stores.data_19;
    showMeasurements(
        Type19, d,
        [&] { return "Time:" + ff(d.meas_time, 12, 6) + "  Smoothing:" + smoothing_text(d.smooth, false); },
        [](ColumnTable* t, int r, const rtcm_sat_19_type& e) {
            t->setCell(0, r, sv_label("  ", e));
            t->setCell(1, r, (e.pr_err > 6.0 ? " > " : "<= ") + ff(e.pr_err, 5, 3));
            t->setCell(2, r,
                       e.mp_err < 19.0   ? "  <=  " + ff(e.mp_err, 6, 3)
                       : e.mp_err < 28.0 ? "   >  " + ff(e.mp_err, 6, 3)
                                         : QStringLiteral(" not determ."));
            t->setCell(3, r, e.p_code ? "  P " : " C/A");
            t->setCell(4, r, " " + ff(e.pseudorange, 11, 2));
            t->setCell(5, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show20() {
    const rtcm_data_20_type& d = decoder_.stores.data_20;
    showMeasurements(
        Type20, d, [&] { return "  " + ff(d.meas_time, 12, 6); },
        [](ColumnTable* t, int r, const rtcm_sat_20_type& e) {
            t->setCell(0, r, sv_label(" ", e));
            t->setCell(1, r, (e.phase_err < 0.2 ? " <= " : " > ") + ff(e.phase_err, 7, 5));
            t->setCell(2, r, " " + num(e.loss));
            t->setCell(3, r, e.more ? " MORE" : " LAST");
            t->setCell(4, r, " " + num(e.iod));
            t->setCell(5, r, " " + ff(e.phase_corr, 9, 2));
            t->setCell(6, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show21() {
    const rtcm_data_21_type& d = decoder_.stores.data_21;
    showMeasurements(
        Type21, d,
        [&] { return "Exp.Time: " + ff(d.meas_time, 12, 6) + "  Smoothing:" + smoothing_text(d.smooth, true); },
        [&d](ColumnTable* t, int r, const rtcm_sat_21_type& e) {
            t->setCell(0, r, sv_label(" ", e));
            t->setCell(1, r, (e.pr_err < 6.0 ? "<= " : " > ") + ff(e.pr_err, 4, 3));
            t->setCell(2, r,
                       e.mp_err < 19.0   ? "<= " + ff(e.mp_err, 6, 3)
                       : e.mp_err < 28.0 ? " > " + ff(e.mp_err, 6, 3)
                                         : QStringLiteral("not determ"));
            t->setCell(3, r, e.p_code ? "  P " : d.freq == 2 ? "  Y " : " C/A");
            t->setCell(4, r, " " + num(e.iod));
            t->setCell(5, r, ff(e.prc, 9, 2));
            t->setCell(6, r, ff(e.rrc, 6, 3));
            t->setCell(7, r, ff(e.meas_time, 12, 6));
        });
}

// ---- Other types ------------------------------------------------------------------

void MessagePages::showOther() {
    if (otherHeading_[0].isEmpty()) return;
    set_text(otherHeader_, otherHeading_[0]);
    set_text(otherZcount_, otherHeading_[1]);
    set_text(otherText_, otherLines_.join(QLatin1Char('\n')));
}

}  // namespace tessaly
