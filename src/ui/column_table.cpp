#include "column_table.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "page_widgets.h"

namespace tessaly {

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

}  // namespace tessaly
