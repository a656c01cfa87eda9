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
//
// Every page is one row of a table (RTCM_U1_pages.cpp): its tab, the message
// types it shows and how it is built, notes a frame and is painted. A new
// message type or a new page is added there; the cell texts are in
// RTCM_U1_page_cells.cpp.
#include <QStringList>
#include <QTabWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "column_table.h"
#include "page_widgets.h"
#include "raw_lines.h"
#include "rtcmdecw.h"

class QLineEdit;
class QPlainTextEdit;

namespace tessaly {

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

    // The pages in tab order.
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
    // the previous stream stays on a page. The next frame then chooses the
    // page showing (the window opens on Type 1), unless the operator has
    // chosen a page.
    void ResetPages();

    // A frame of this type completed: note what belongs to the frame and
    // mark its page dirty. A refresh owed (see refresh()) is paid here.
    // A frame without data words, whatever its type, is shown as itself on
    // the "other Type" page.
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

    // The page that shows frames of a message type.
    static Page pageOf(std::uint32_t msg_type);

    // The raw data page's text as it shows now or will show when opened.
    QString rawPageText();

    // ---- Read access for the window and its tests. A page read through
    // these is brought up to date first: it reads as it will show.
    const SatellitePage& page(Page p) { return *upToDate(p, &tables_[std::size_t(p)][0]); }  // Type1, Type2, Type9
    const SatellitePage& subPage(Page p, SubPage s) { return *upToDate(p, &tables_[std::size_t(p)][std::size_t(s)]); }
    const SatellitePage& glonassPage(GlonassPage g) { return *upToDate(Glonass, &tables_[Glonass][std::size_t(g)]); }
    // The sub-page tabs of a page (Type18 .. Type21, Glonass); none for the others.
    QTabWidget* subTabs(int p) const { return p >= 0 && p < page_count ? subTabs_[std::size_t(p)] : nullptr; }
    QPlainTextEdit* type3Text() { return upToDate(Type3, type3Text_); }
    QLineEdit* type3Header() { return upToDate(Type3, headers_[Type3]); }
    QLineEdit* type16Time() { return upToDate(Type16, type16Time_); }
    QLineEdit* type16Message() { return upToDate(Type16, type16Message_); }
    QLineEdit* type16Header() { return upToDate(Type16, headers_[Type16]); }
    QLineEdit* otherHeader() { return upToDate(Other, headers_[Other]); }
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
    // One page: its tab, heading and columns, the message types it shows,
    // and how it is built, notes a completed frame of its types and is
    // painted. The table of them is in RTCM_U1_pages.cpp, in tab order.
    struct PageKind {
        Page page = Other;
        const char* caption = "";
        const char* heading = "";
        std::vector<const char*> subPages = {};  // the names of its sub-pages; none: one table (or none)
        std::vector<const char*> columns = {};   // of its satellite tables
        std::vector<std::uint8_t> types = {};
        // The corrections store of table `i` (the pages of 1, 2, 9, 31 and 34).
        const rtcm_corrections_store* (*corrections)(const rtcm_stores&, int i) = nullptr;
        void (MessagePages::*build)(const PageKind&) = nullptr;
        void (MessagePages::*note)(const PageKind&, int msg_type) = nullptr;
        void (MessagePages::*paint)(const PageKind&) = nullptr;
    };
    static const std::array<PageKind, page_count> kinds_;

    // Builders, one per kind of page.
    void buildSatellites(const PageKind& s);
    void buildStation(const PageKind& s);
    void buildText(const PageKind& s);
    void buildOther(const PageKind& s);
    void buildRaw(const PageKind& s);
    // Frame notes, one per kind of page: the satellites' rows are booked at
    // every frame, the rest when the page is painted.
    void noteCorrections(const PageKind& s, int msg_type);
    template <auto Store>
    void noteMeasurements(const PageKind& s, int msg_type);
    void noteStation(const PageKind& s, int msg_type);
    void noteText(const PageKind& s, int msg_type);
    void noteOther(const PageKind& s, int msg_type);
    void noteNothing(const PageKind&, int) {}
    // A line of the "other Type" box and its heading.
    void noteOtherLine(int msg_type, int frame_length, double time, const QString& chars);
    // Painters (RTCM_U1_page_cells.cpp).
    void showCorrections(const PageKind& s);
    void showGlonass(const PageKind& s);
    void showStation(const PageKind& s);
    void showText(const PageKind& s);
    void show18(const PageKind& s);
    void show19(const PageKind& s);
    void show20(const PageKind& s);
    void show21(const PageKind& s);
    void showOther(const PageKind& s);
    void showRaw(const PageKind& s);

    QWidget* addHeadedPage(const PageKind& s);
    SatellitePage addSatellitePage(const PageKind& s);
    // A page of sub-pages with their tabs below, and one sub-page of it.
    QTabWidget* addSubTabbedPage(const PageKind& s);
    SatellitePage addSubPage(QTabWidget* tabs, const QString& name, const QStringList& columns);

    void markDirty(Page p);
    // Paints page p from its store (and notes, for the satellite rows).
    void paint(int p);
    template <class W>
    W* upToDate(Page p, W* widget) {
        if (dirty_[std::size_t(p)]) paint(p);
        return widget;
    }
    // Inside a frame, some store of it holds part of the frame.
    bool insideFrame() const { return decoder_.state.in_sync && decoder_.state.word_index >= 2; }

    // Visits the sub-pages of a measurement page: each shows its list's
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
    bool choosePage_ = true;           // the next frame chooses the page showing
    bool operatorChose_ = false;       // the operator chose a page
    bool choosing_ = false;            // the frame is choosing it
    std::array<QString, 2> otherHeading_;  // header and Z-count of the latest other-type line
    ClockReading textReceived_{};      // when the latest type 16 completed
    // Per page: its satellite tables (one, or one per sub-page), the tabs of
    // its sub-pages, its header field.
    std::array<std::vector<SatellitePage>, page_count> tables_;
    std::array<QTabWidget*, page_count> subTabs_{};
    std::array<QLineEdit*, page_count> headers_{};
    QPlainTextEdit* type3Text_ = nullptr;
    QLineEdit* type16Time_ = nullptr;
    QLineEdit* type16Message_ = nullptr;
    QLineEdit* otherZcount_ = nullptr;
    QPlainTextEdit* otherText_ = nullptr;
    QStringList otherLines_;
    QPlainTextEdit* rawText_ = nullptr;
};

}  // namespace tessaly
