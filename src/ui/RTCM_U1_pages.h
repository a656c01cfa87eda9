#pragma once
// The lower half of the main window: one page per decoded message type, the
// "other Type" page and the raw data page. After every completed frame the
// page of its type is rewritten from that type's store.
#include <QStringList>
#include <QTabWidget>
#include <array>
#include <vector>

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
// blanks and frees the rows of the others; then rowFor(key) gives each its
// row. A satellite keeps its row while it stays in the list; a newcomer
// takes the first free row, and the table grows past its blank rows when it
// needs more.
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

    MessagePages(const RtcmDecoder& decoder, StripFields strip, QWidget* parent = nullptr);

    // Empties every list and text box but the raw data page, then gives every
    // column list and the "other Type" box 15 rows of one blank; frees every
    // satellite row. Also run when the source changes, so that nothing of
    // the previous stream stays on a page.
    void ResetPages();

    // Rewrites the page of a message type from its store.
    void ShowMessagePage(int msg_type);

    // The raw data page shows these lines (at once while it is showing,
    // otherwise when it is next shown).
    void showRawText(const QString& text);
    // The raw data page's text as it shows now or will show when opened.
    QString rawPageText();

    // ---- Read access for the window and its tests.
    const SatellitePage& page(Page p) const;               // Type1, Type2, Type9
    const SatellitePage& subPage(Page p, SubPage s) const;  // Type18 .. Type21
    const SatellitePage& glonassPage(GlonassPage g) const { return glonass_[std::size_t(g)]; }
    QTabWidget* subTabs(Page p) const;                      // Type18 .. Type21, Glonass
    QPlainTextEdit* type3Text() const { return type3Text_; }
    QLineEdit* type3Header() const { return type3Header_; }
    QLineEdit* type16Time() const { return type16Time_; }
    QLineEdit* type16Message() const { return type16Message_; }
    QLineEdit* type16Header() const { return type16Header_; }
    QLineEdit* otherHeader() const { return otherHeader_; }
    QLineEdit* otherZcount() const { return otherZcount_; }
    QPlainTextEdit* otherText() const { return otherText_; }
    // The "other Type" box's lines.
    const QStringList& otherLines() const { return otherLines_; }

private:
    QWidget* addHeadedPage(const QString& caption, const QString& heading, QLineEdit** header);
    SatellitePage addSatellitePage(const QString& caption, const QString& heading,
                                   const QStringList& columns);
    // A page of sub-pages with their tabs below, and one sub-page of it.
    QTabWidget* addSubTabbedPage(const QString& caption, const QString& heading);
    SatellitePage addSubPage(QTabWidget* tabs, const QString& name, const QStringList& columns);
    void addMeasurementPage(Page p, const QString& caption, const QString& heading,
                            const QStringList& columns);

    void showCorrections(Page p, const rtcm_corrections_store& store);
    void showGlonass(GlonassPage g, const rtcm_corrections_store& store);
    void showStation();
    void show22();
    void showStationText();
    void showText();
    void show18();
    void show19();
    void show20();
    void show21();
    void showOther();

    // Visits the four sub-pages of a measurement page: each shows its list's
    // satellites through `row`; a list that holds records also sets the
    // sub-page's header.
    template <class Store, class Header, class Row>
    void showMeasurements(Page p, const Store& store, Header header, Row row);

    const RtcmDecoder& decoder_;
    StripFields strip_;
    std::array<SatellitePage, 3> corrections_{};               // 1, 2, 9
    std::array<std::array<SatellitePage, 4>, 4> measurements_{};  // 18 .. 21
    std::array<QTabWidget*, 4> subTabs_{};
    std::array<SatellitePage, 2> glonass_{};  // 31, 34
    QTabWidget* glonassTabs_ = nullptr;
    std::vector<ColumnTable*> tables_;
    std::vector<QLineEdit*> headers_;
    QPlainTextEdit* type3Text_ = nullptr;
    QLineEdit* type3Header_ = nullptr;
    QStringList type3Lines_, type22Lines_;  // the two parts of the "Type 3+22" box
    QLineEdit* type16Time_ = nullptr;
    QLineEdit* type16Message_ = nullptr;
    QLineEdit* type16Header_ = nullptr;
    QLineEdit* otherHeader_ = nullptr;
    QLineEdit* otherZcount_ = nullptr;
    QPlainTextEdit* otherText_ = nullptr;
    QStringList otherLines_;
    QPlainTextEdit* rawText_ = nullptr;
    QString rawPending_;
    bool rawDirty_ = false;
    void applyRawText();
};

// Texts shared by the window and its pages.
QString time_of_day_text(double seconds);  // "hh:mm:ss", the day wrapped
QString clock_time_text(const ClockReading& r);
QString clock_date_text(const ClockReading& r);
// Background of the window and its fields (blue 255, green 128, red 0).
QColor window_colour();
void paint_field(QWidget* field);

}  // namespace tessaly
