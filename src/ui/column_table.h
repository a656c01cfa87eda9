#pragma once
// The satellite tables of the message pages: a row of narrow column lists
// whose rows follow a store's list of satellites.
#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

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

}  // namespace tessaly
