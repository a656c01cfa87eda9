#pragma once
// The lower half of the main window: one page per decoded message type, the
// "other Type" page and the raw data page.
//
// Repainting every cell after every frame costs far more than decoding, so
// the work is split: a completed frame only notes what belongs to that frame
// (the satellites' rows, a line of the "other Type" box, a receive time) and
// marks its page dirty; refresh(), run a few times a second by the window,
// repaints the page that is showing if it is dirty. A hidden page is
// repainted when it is shown. Cells whose text did not change are left alone.
#include <QStringList>
#include <QTabWidget>
#include <array>
#include <vector>

#include "raw_lines.h"
#include "rtcmdecw.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace tessaly {

// A row of narrow column lists, each with its title; rows are addressed by
// number. The lists scroll together, and a column widens when a text would
// not fit.
//
// Satellite rows: a page shows exactly the satellites of its store's list.
// beginRows(), keep(key) for every satellite of the list, releaseRows()
// frees the rows of the others; then rowFor(key) gives each its row. A
// satellite keeps its row while it stays in the list; a newcomer takes the
// first free row, and the table grows past its blank rows when it needs
// more. These steps only keep the books (they run for every frame);
// showRows() then gives the lists the rows kept and blanks the free ones.
class ColumnTable : public QWidget {
    Q_OBJECT
public:
    ColumnTable(const QStringList& titles, QWidget* parent = nullptr);

    static constexpr int blank_rows = 15;

    int columnCount() const { return int(columns_.size()); }
    int rowCount() const;
    QString title(int column) const;
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);
    // Every column emptied, then given `rows` rows of one blank; no
    // satellite holds a row.
    void reset(int rows);

    void beginRows();
    void keep(int key);
    void releaseRows();
    int rowFor(int key);
    void showRows();

    QListWidget* column(int c) const { return columns_[std::size_t(c)]; }

private:
    void blankRow(int row);

    std::vector<QLabel*> titles_;
    std::vector<QListWidget*> columns_;
    static constexpr int free_row = -1;
    std::vector<int> rowKeys_;  // per row: the satellite's key or free_row
    std::vector<bool> kept_;
};

// One satellite page: heading, header field and column table. Types 18 to 21
// have four of these as sub-pages.
struct SatellitePage {
    QLineEdit* header = nullptr;
    ColumnTable* table = nullptr;
};

class MessagePages : public QTabWidget {
    Q_OBJECT
public:
    // Fields of the window's upper strip that the type 3 and 16 steps write.
    struct StripFields {
        QLineEdit* refX = nullptr;
        QLineEdit* refY = nullptr;
        QLineEdit* refZ = nullptr;
        QLineEdit* special = nullptr;
    };

    enum Page { Type1, Type2, Type3, Type9, Type16, Type18, Type19, Type20, Type21, Glonass, Other, Raw };
    // Sub-pages of types 18 to 21, in tab order, and the list each shows.
    enum SubPage { L1, L2, Iono, Special };
    // Sub-pages of the GLONASS corrections page, in tab order.
    enum GlonassPage { Type31, Type34 };
    static constexpr std::array<int, 4> sub_page_list{0, 2, 1, 3};

    static constexpr int page_count = Raw + 1;

    MessagePages(const RtcmDecoder& decoder, const RawLines& raw, StripFields strip, QWidget* parent = nullptr);

    // Empties every list and text box but the raw data page, then gives every
    // column list and the "other Type" box 15 rows of one blank; frees every
    // satellite row. Also run when the source changes, so that nothing of
    // the previous stream stays on a page.
    void ResetPages();

    // A frame of this type completed: note what belongs to the frame and
    // mark its page dirty. A refresh owed (see refresh()) is paid here.
    void ShowMessagePage(int msg_type);
    // The raw data page's lines changed.
    void rawLinesChanged() { markDirty(Raw); }

    // Repaints the page showing (and the strip fields) if dirty. Inside a
    // frame the stores of its type hold part of it: its page (or strip
    // field) is then owed and painted when that frame completes, so that a
    // page never shows half a frame. After the source's last byte
    // (`ended`, until the next frame) that frame will never complete, and
    // every page is painted.
    void refresh(bool ended = false);
    bool dirty(Page p) const { return dirty_[std::size_t(p)]; }

    // The raw data page's text as it shows now or will show when opened.
    QString rawPageText();

    // ---- Read access for the window and its tests. A page read through
    // these is brought up to date first: it reads as it will show.
    const SatellitePage& page(Page p);               // Type1, Type2, Type9
    const SatellitePage& subPage(Page p, SubPage s);  // Type18 .. Type21
    const SatellitePage& glonassPage(GlonassPage g) { return *upToDate(Glonass, &glonass_[std::size_t(g)]); }
    QTabWidget* subTabs(Page p) const;                // Type18 .. Type21, Glonass
    QPlainTextEdit* type3Text() { return upToDate(Type3, type3Text_); }
    QLineEdit* type3Header() { return upToDate(Type3, type3Header_); }
    QLineEdit* type16Time() { return upToDate(Type16, type16Time_); }
    QLineEdit* type16Message() { return upToDate(Type16, type16Message_); }
    QLineEdit* type16Header() { return upToDate(Type16, type16Header_); }
    QLineEdit* otherHeader() { return upToDate(Other, otherHeader_); }
    QLineEdit* otherZcount() { return upToDate(Other, otherZcount_); }
    QPlainTextEdit* otherText() { return upToDate(Other, otherText_); }
    // The "other Type" box's lines.
    const QStringList& otherLines() const { return otherLines_; }
    // Brings the strip fields that the pages write up to date.
    void showStrip();

signals:
    // A page or strip field went from clean to dirty: a refresh is due.
    void dirtied();

private:
    QWidget* addHeadedPage(const QString& caption, const QString& heading, QLineEdit** header);
    SatellitePage addSatellitePage(const QString& caption, const QString& heading,
                                   const QStringList& columns);
    // A page of sub-pages with their tabs below, and one sub-page of it.
    QTabWidget* addSubTabbedPage(const QString& caption, const QString& heading);
    SatellitePage addSubPage(QTabWidget* tabs, const QString& name, const QStringList& columns);
    void addMeasurementPage(Page p, const QString& caption, const QString& heading,
                            const QStringList& columns);

    void markDirty(Page p);
    // Paints page p from its store (and notes, for the satellite rows).
    void paint(int p);
    template <class W>
    W* upToDate(Page p, W* widget) {
        if (dirty_[std::size_t(p)]) paint(p);
        return widget;
    }
    // Books the satellites of a page's lists to their rows.
    void noteRows(Page p);
    // Inside a frame, some store of it holds part of the frame.
    bool insideFrame() const { return decoder_.state.in_sync && decoder_.state.word_index >= 2; }
    // The page that shows frames of a message type.
    static Page pageOf(std::uint32_t msg_type);

    void showCorrections(Page p, const rtcm_corrections_store& store);
    void showGlonass(GlonassPage g, const rtcm_corrections_store& store);
    void showStation();
    void showText();
    void show18();
    void show19();
    void show20();
    void show21();
    void showOther();
    void showRaw();

    // Visits the four sub-pages of a measurement page: each shows its list's
    // satellites through `row`; a list that holds records also sets the
    // sub-page's header.
    template <class Store, class Header, class Row>
    void showMeasurements(Page p, const Store& store, Header header, Row row);

    const RtcmDecoder& decoder_;
    const RawLines& raw_;
    StripFields strip_;
    std::array<bool, page_count> dirty_{};
    bool stationStripDirty_ = false;
    bool textStripDirty_ = false;
    bool owed_ = false;                // a refresh waits for the frame to end
    ClockReading stationReceived_{};   // when the latest type 3 completed
    bool stationSeen_ = false;         // a type 3 came (the page also shows 22)
    bool ended_ = false;               // the source ended inside a frame
    std::array<QString, 2> otherHeading_;  // header and Z-count of the latest other-type line
    ClockReading textReceived_{};      // when the latest type 16 completed
    std::array<SatellitePage, 3> corrections_{};               // 1, 2, 9
    std::array<std::array<SatellitePage, 4>, 4> measurements_{};  // 18 .. 21
    std::array<QTabWidget*, 4> subTabs_{};
    std::array<SatellitePage, 2> glonass_{};  // 31, 34
    QTabWidget* glonassTabs_ = nullptr;
    std::vector<ColumnTable*> tables_;
    std::vector<QLineEdit*> headers_;
    QPlainTextEdit* type3Text_ = nullptr;
    QLineEdit* type3Header_ = nullptr;
    QLineEdit* type16Time_ = nullptr;
    QLineEdit* type16Message_ = nullptr;
    QLineEdit* type16Header_ = nullptr;
    QLineEdit* otherHeader_ = nullptr;
    QLineEdit* otherZcount_ = nullptr;
    QPlainTextEdit* otherText_ = nullptr;
    QStringList otherLines_;
    QPlainTextEdit* rawText_ = nullptr;
};

// Texts shared by the window and its pages.
QString time_of_day_text(double seconds);  // "hh:mm:ss", the day wrapped
QString clock_time_text(const ClockReading& r);
QString clock_date_text(const ClockReading& r);
// Background of the window and its fields (blue 255, green 128, red 0).
QColor window_colour();
void paint_field(QWidget* field);

}  // namespace tessaly
