// See page_tables.h.
#include "page_tables.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>

namespace tessaly {

QTableWidget* display_table(QWidget* parent, const QStringList& columns) {
    auto* t = new QTableWidget(0, int(columns.size()), parent);
    t->setHorizontalHeaderLabels(columns);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 4);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QString utc_display(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000), Qt::UTC).toString(u"yyyy-MM-dd hh:mm:ss");
}

}  // namespace tessaly
