#include "ntrip_picker.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessaly {
namespace {

QString text_of(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

NtripPicker::NtripPicker(const ntrip::Sourcetable& table, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sourcetable"));
    resize(640, 360);
    auto* v = new QVBoxLayout(this);
    Table = new QTableWidget(this);
    Table->setColumnCount(6);
    Table->setHorizontalHeaderLabels(
        {QStringLiteral("Mountpoint"), QStringLiteral("Format"), QStringLiteral("Format details"),
         QStringLiteral("Country"), QStringLiteral("Position"), QStringLiteral("NMEA")});
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    const auto streams = ntrip::rtcm2_first(table.streams);
    Table->setRowCount(int(streams.size()));
    for (int row = 0; row < int(streams.size()); ++row) {
        const ntrip::StreamRecord& s = streams[std::size_t(row)];
        const bool ours = s.is_rtcm2();
        const QString cells[] = {
            text_of(s.mountpoint),
            ours ? text_of(s.format) : text_of(s.format) + QStringLiteral(" (not decoded here)"),
            text_of(s.format_details),
            text_of(s.country),
            QStringLiteral("%1, %2").arg(s.latitude, 0, 'f', 2).arg(s.longitude, 0, 'f', 2),
            s.nmea ? QStringLiteral("GGA needed") : QStringLiteral("no"),
        };
        for (int col = 0; col < 6; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (!ours) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            Table->setItem(row, col, item);
        }
    }
    Table->resizeColumnsToContents();
    v->addWidget(Table);
    UseBtn = new QPushButton(QStringLiteral("Use mountpoint"), this);
    UseBtn->setDefault(true);
    v->addWidget(UseBtn);
    connect(UseBtn, &QPushButton::clicked, this, [this] {
        if (!chosenMount().isEmpty()) accept();
    });
    connect(Table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        Table->selectRow(row);
        accept();
    });
    // The first row (an RTCM 2 one where there is one) is chosen and the
    // list has the keys: Enter takes it, the arrow keys choose another.
    if (Table->rowCount() > 0) Table->setCurrentCell(0, 0);
    Table->setFocus();
}

QString NtripPicker::chosenMount() const {
    const auto rows = Table->selectionModel()->selectedRows();
    if (rows.isEmpty()) return {};
    return Table->item(rows.first().row(), 0)->text();
}

}  // namespace tessaly
