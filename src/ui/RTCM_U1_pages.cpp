// The message pages of the main window: the table of pages, their
// construction, what a completed frame notes, and when a page is painted.
#include "RTCM_U1_pages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "more_types_text.h"

namespace tessaly {

namespace {

const std::vector<const char*> correction_columns{"SV",  "Factor", "UDRE [m]", "PsRangeCorr [m]", "RaRaCorr [m/s]",
                                                  "IOD", "M-Z-Count"};
const std::vector<const char*> measurement_sub_pages{"L1 Frequency", "L2 Frequency", "Ionosph. Difference", "Special"};

}  // namespace

template <auto Store>
void MessagePages::noteMeasurements(const PageKind& kind, int) {
    const auto& store = decoder_.stores.*Store;
    for (std::size_t sub = 0; sub < 4; ++sub)
        book_rows(tables_[kind.page][sub].table, store.sat_list[std::size_t(sub_page_list[sub])]);
}

const std::array<MessagePages::PageKind, MessagePages::page_count> MessagePages::kinds_{{
    {.page = Type1,
     .caption = "Type 1",
     .heading = "Differential Corrections - Message Type 01",
     .columns = correction_columns,
     .types = {1},
     .corrections = [](const rtcm_stores& s, int) { return &s.data_1; },
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteCorrections,
     .paint = &MessagePages::showCorrections},
    {.page = Type2,
     .caption = "Type 2",
     .heading = "Delta Differential Corrections - Message Type 02",
     .columns = correction_columns,
     .types = {2},
     .corrections = [](const rtcm_stores& s, int) { return &s.data_2; },
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteCorrections,
     .paint = &MessagePages::showCorrections},
    {.page = Type3,
     .caption = "Type 3+22",
     .heading = "Reference Station Parameters - Message Type 3 and Type 22 ",
     .types = {3, 22},
     .build = &MessagePages::buildStation,
     .note = &MessagePages::noteStation,
     .paint = &MessagePages::showStation},
    {.page = Type9,
     .caption = "Type 9",
     .heading = "Partial Differential Corrections - Message Type 9",
     .columns = correction_columns,
     .types = {9},
     .corrections = [](const rtcm_stores& s, int) { return &s.data_9; },
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteCorrections,
     .paint = &MessagePages::showCorrections},
    {.page = Type16,
     .caption = "Type 16",
     .heading = "Special Text Message - Message Type 16",
     .types = {16},
     .build = &MessagePages::buildText,
     .note = &MessagePages::noteText,
     .paint = &MessagePages::showText},
    {.page = Type18,
     .caption = "Type 18",
     .heading = "Uncorrected Carrier Phase Measurements - Message Type 18",
     .subPages = measurement_sub_pages,
     .columns = {"SV", "Phase Error [cycles]", "Loss", "Mult", "Code", "Phase [cycles]", "Exp.-Meas.-Time [s]"},
     .types = {18},
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteMeasurements<&rtcm_stores::data_18>,
     .paint = &MessagePages::show18},
    {.page = Type19,
     .caption = "Type 19",
     .heading = "Uncorrected Pseudorange Measurements - Message Type 19",
     .subPages = measurement_sub_pages,
     .columns = {"SV", "PsRaErr", "MultipathErr", "Code", "Pseudorange [m]", "Exp.-Meas.-Time [s]"},
     .types = {19},
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteMeasurements<&rtcm_stores::data_19>,
     .paint = &MessagePages::show19},
    {.page = Type20,
     .caption = "Type 20",
     .heading = "RTK Carrier Phase Corrections - Message Type 20",
     .subPages = measurement_sub_pages,
     .columns = {"SV", "Phase Error [cycles]", "Loss", "Mult", "IOD", "Phase Correction", "Exp.-Meas.-Time [s]"},
     .types = {20},
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteMeasurements<&rtcm_stores::data_20>,
     .paint = &MessagePages::show20},
    {.page = Type21,
     .caption = "Type 21",
     .heading = "RTK Pseudorange Corrections - Message Type 21",
     .subPages = measurement_sub_pages,
     .columns = {"SV", "PsRaErr [m]", "M-P-Err [m]", "Code", "IOD", "PsRange [m]", "RaRaCorr", "Exp.-Meas.-Time [s]"},
     .types = {21},
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteMeasurements<&rtcm_stores::data_21>,
     .paint = &MessagePages::show21},
    // GLONASS corrections: Type 1's columns, the IOD's place holding the
    // change flag and the time of day tag.
    {.page = Glonass,
     .caption = "Type 31+34",
     .heading = "GLONASS Differential Corrections - Message Type 31 and Type 34",
     .subPages = {"Type 31 Corrections", "Type 34 Partial Corrections"},
     .columns = {"SV", "Factor", "UDRE [m]", "PsRangeCorr [m]", "RaRaCorr [m/s]", "Change", "Time of Day", "M-Z-Count"},
     .types = {31, 34},
     .corrections = [](const rtcm_stores& s, int i) { return i == Type31 ? &s.data_31 : &s.data_34; },
     .build = &MessagePages::buildSatellites,
     .note = &MessagePages::noteCorrections,
     .paint = &MessagePages::showGlonass},
    // Every type without a page of its own.
    {.page = Other,
     .caption = "other Type",
     .heading = "Other Message Type",
     .build = &MessagePages::buildOther,
     .note = &MessagePages::noteOther,
     .paint = &MessagePages::showOther},
    {.page = Raw,
     .caption = "Raw Data",
     .heading = "Raw Data",
     .build = &MessagePages::buildRaw,
     .note = &MessagePages::noteNothing,
     .paint = &MessagePages::showRaw},
}};

MessagePages::Page MessagePages::pageOf(std::uint32_t msg_type) {
    static const std::array<Page, 64> by_type = [] {
        std::array<Page, 64> pages;
        pages.fill(Other);
        for (const PageKind& s : kinds_)
            for (std::uint8_t t : s.types) pages[t & 63u] = s.page;
        return pages;
    }();
    return msg_type < by_type.size() ? by_type[msg_type] : Other;
}

// ---- Construction -------------------------------------------------------------------

MessagePages::MessagePages(const RtcmDecoder& decoder, const RawLines& raw, StripFields strip, QWidget* parent)
    : QTabWidget(parent), decoder_(decoder), raw_(raw), strip_(strip) {
    for (const PageKind& s : kinds_) (this->*s.build)(s);
    QFont tabs = tabBar()->font();
    tabs.setPixelSize(11);
    tabBar()->setFont(tabs);
    setCurrentIndex(Type1);
    // A page shown is brought up to date at once (or at the end of the
    // frame in progress).
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!choosing_) operatorChose_ = true;
        refresh();
    });
}

QWidget* MessagePages::addHeadedPage(const PageKind& s) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel(s.heading, page);
    label->setFont(bold_font());
    QLineEdit* header = headers_[s.page] = make_field(page);
    header->setFixedWidth(220);
    top->addWidget(label, 1);
    top->addWidget(header);
    v->addLayout(top);
    addTab(page, s.caption);
    return page;
}

QTabWidget* MessagePages::addSubTabbedPage(const PageKind& s) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(4, 4, 4, 4);
    auto* label = new QLabel(s.heading, page);
    label->setFont(bold_font());
    v->addWidget(label);
    auto* tabs = new QTabWidget(page);
    tabs->setTabPosition(QTabWidget::South);
    v->addWidget(tabs, 1);
    addTab(page, s.caption);
    return tabs;
}

SatellitePage MessagePages::addSubPage(QTabWidget* tabs, const QString& name, const QStringList& columns) {
    auto* sub = new QWidget(tabs);
    auto* sv = new QVBoxLayout(sub);
    sv->setContentsMargins(2, 2, 2, 2);
    SatellitePage sp;
    sp.header = make_field(sub);
    sp.header->setFixedWidth(420);
    sv->addWidget(sp.header, 0, Qt::AlignRight);
    sp.table = new ColumnTable(columns, sub);
    sv->addWidget(sp.table, 1);
    tabs->addTab(sub, name);
    return sp;
}

void MessagePages::buildSatellites(const PageKind& s) {
    QStringList columns;
    for (const char* c : s.columns) columns << QString::fromLatin1(c);
    auto& tables = tables_[s.page];
    if (s.subPages.empty()) {
        QWidget* page = addHeadedPage(s);
        auto* table = new ColumnTable(columns, page);
        page->layout()->addWidget(table);
        tables.push_back({headers_[s.page], table});
        headers_[s.page] = nullptr;  // the table's header
        return;
    }
    subTabs_[s.page] = addSubTabbedPage(s);
    for (const char* name : s.subPages) tables.push_back(addSubPage(subTabs_[s.page], name, columns));
}

void MessagePages::buildStation(const PageKind& s) {
    QWidget* page = addHeadedPage(s);
    type3Text_ = new QPlainTextEdit(page);
    type3Text_->setReadOnly(true);
    type3Text_->setFocusPolicy(Qt::NoFocus);
    page->layout()->addWidget(type3Text_);
}

void MessagePages::buildText(const PageKind& s) {
    QWidget* page = addHeadedPage(s);
    auto* grid = new QGridLayout;
    auto* lt = new QLabel("Time", page);
    auto* lm = new QLabel("Message", page);
    lt->setFont(bold_font());
    lm->setFont(bold_font());
    type16Time_ = make_field(page, false);
    type16Message_ = make_field(page, false);
    grid->addWidget(lt, 0, 0);
    grid->addWidget(type16Time_, 0, 1);
    grid->addWidget(lm, 1, 0);
    grid->addWidget(type16Message_, 1, 1);
    static_cast<QVBoxLayout*>(page->layout())->addLayout(grid);
    static_cast<QVBoxLayout*>(page->layout())->addStretch(1);
}

void MessagePages::buildOther(const PageKind& s) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    auto* heading = new QLabel(s.heading, page);
    heading->setFont(bold_font());
    headers_[s.page] = make_field(page);
    otherZcount_ = make_field(page);
    otherZcount_->setFixedWidth(90);
    top->addWidget(heading);
    top->addWidget(headers_[s.page], 1);
    top->addWidget(otherZcount_);
    v->addLayout(top);
    otherText_ = new QPlainTextEdit(page);
    otherText_->setReadOnly(true);
    otherText_->setFocusPolicy(Qt::NoFocus);
    otherText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    v->addWidget(otherText_, 1);
    addTab(page, s.caption);
}

void MessagePages::buildRaw(const PageKind& s) {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* heading = new QLabel(s.heading, page);
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
    addTab(page, s.caption);
}

QString MessagePages::rawPageText() { return upToDate(Raw, rawText_)->toPlainText(); }

// ---- ResetPages and the frame notes ----------------------------------------------------

void MessagePages::ResetPages() {
    for (auto& tables : tables_)
        for (SatellitePage& sp : tables) {
            sp.table->reset(ColumnTable::blank_rows);
            sp.header->clear();
        }
    type3Text_->clear();
    type16Time_->clear();
    type16Message_->clear();
    for (QLineEdit* header : headers_)
        if (header) header->clear();
    otherZcount_->clear();
    otherLines_ = QStringList(15, QStringLiteral(" "));
    otherText_->setPlainText(otherLines_.join(QLatin1Char('\n')));
    // What the stores held is gone with them; the raw lines stay.
    for (int p = 0; p < page_count; ++p) dirty_[std::size_t(p)] = p == Raw && dirty_[std::size_t(p)];
    stationStripDirty_ = textStripDirty_ = owed_ = stationSeen_ = ended_ = false;
    otherHeading_ = {};
    choosePage_ = !operatorChose_;
}

void MessagePages::ShowMessagePage(int msg_type) {
    ended_ = false;
    // A frame without data words changed no store: the page of its type
    // would show the frame before it. It is shown as itself instead.
    const rtcm_header_type& h = decoder_.header;
    const bool empty = decoder_.frame_completed && h.frame_length == 2 && h.msg_type == msg_type;
    const PageKind& kind = kinds_[empty ? Other : pageOf(std::uint32_t(msg_type))];
    if (empty) noteOtherLine(h.msg_type, h.frame_length, h.frame_time, {});
    else (this->*kind.note)(kind, msg_type);
    markDirty(kind.page);
    // The first frame of a source shows its page.
    if (choosePage_ && !operatorChose_) {
        choosing_ = true;
        setCurrentIndex(kind.page);
        choosing_ = false;
    }
    choosePage_ = false;
    if (owed_) refresh();
}

void MessagePages::noteCorrections(const PageKind& kind, int) {
    auto& tables = tables_[kind.page];
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const rtcm_corrections_store& store = *kind.corrections(decoder_.stores, int(i));
        if (store.time != -1) book_rows(tables[i].table, store.list);
    }
}

void MessagePages::noteStation(const PageKind&, int msg_type) {
    if (msg_type != 3) return;  // 22 only repaints the page
    stationSeen_ = true;
    stationReceived_ = decoder_.clock().now_utc();
    if (!stationStripDirty_ && !textStripDirty_) emit dirtied();
    stationStripDirty_ = true;
}

void MessagePages::noteText(const PageKind&, int) {
    textReceived_ = decoder_.clock().now_utc();
    if (!stationStripDirty_ && !textStripDirty_) emit dirtied();
    textStripDirty_ = true;
}

void MessagePages::noteOther(const PageKind&, int) {
    const rtcm_data_other_type& d = decoder_.stores.data_other;
    if (d.msg_type < 1 || d.msg_type > 63) return;
    noteOtherLine(d.msg_type, d.frame_length, d.time, display_chars(d.raw));
}

void MessagePages::noteOtherLine(int msg_type, int frame_length, double time, const QString& chars) {
    if (otherLines_.size() > 15) otherLines_.removeFirst();
    QString line = num(msg_type) + ":" + chars;
    // The decoded content, where the type has one, after the characters;
    // the texts stations send in it (36's message, 23's descriptor) are
    // bytes, shown as 16's text is.
    if (decoder_.header.msg_type == msg_type) {
        const std::string decoded = more_type_line(decoder_);
        if (!decoded.empty()) line += "  " + display_text(decoded);
    }
    otherLines_.append(line);
    // Noted now: the store of other types also holds the characters of
    // 22, 31 and 34, which have pages of their own.
    otherHeading_ = {"Type: " + num(msg_type) + "  Length: " + num(frame_length), ff(time, 7, 1)};
}

void MessagePages::markDirty(Page p) {
    if (dirty_[std::size_t(p)]) return;
    dirty_[std::size_t(p)] = true;
    emit dirtied();
}

// ---- Refresh ---------------------------------------------------------------------------

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
        set_text(strip_.special, display_text(d.text));
        strip_.special->setCursorPosition(0);  // from the first character, not scrolled to the end
    }
    stationStripDirty_ = textStripDirty_ = false;
}

void MessagePages::paint(int p) {
    dirty_[std::size_t(p)] = false;
    const PageKind& kind = kinds_[std::size_t(p)];
    (this->*kind.paint)(kind);
}

}  // namespace tessaly
