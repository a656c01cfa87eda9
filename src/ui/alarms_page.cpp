// See alarms_page.h.
#include "alarms_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "alarm_text.h"
#include "page_tables.h"
#include "settings_record.h"
#include "window_alarms.h"

namespace tessaly {

namespace {

void set_row(QTableWidget* t, int row, const QStringList& cells, bool grey) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = t->item(row, c);
        if (!item) t->setItem(row, c, item = new QTableWidgetItem);
        item->setText(cells[c]);
        item->setForeground(grey ? QBrush(Qt::gray) : QBrush());
    }
}

QString key_of(const std::string& rule, double since) { return QString::fromStdString(rule) + '@' + QString::number(since, 'f', 3); }

}  // namespace

AlarmsPage::AlarmsPage(WindowAlarms& alarms, const SettingsRecord& settings, QWidget* parent)
    : QWidget(parent), alarms_(alarms), settings_(settings) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    acknowledge_ = new QPushButton(QStringLiteral("Acknowledge"), this);
    acknowledge_->setFocusPolicy(Qt::NoFocus);
    connect(acknowledge_, &QPushButton::clicked, this, &AlarmsPage::acknowledge);
    top->addWidget(acknowledge_);
    top->addStretch(1);
    v->addLayout(top);

    auto* split = new QSplitter(Qt::Vertical, this);
    active_ = display_table(split, {"Since (UTC)", "Rule", "Kind", "Station", "Figure"});
    history_ = display_table(split, {"Time (UTC)", "State", "Rule", "Kind", "Station", "Detail"});
    active_->verticalHeader()->hide();
    history_->verticalHeader()->hide();
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    v->addWidget(split, 1);

    settings_label_ = new QLabel(this);
    settings_label_->setWordWrap(true);
    v->addWidget(settings_label_);

    connect(&alarms_, &WindowAlarms::alarmEvent, this, [this] { refresh(); });
    connect(&alarms_, &WindowAlarms::ticked, this, [this] {
        if (isVisible()) refreshActive();
    });
}

void AlarmsPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
}

void AlarmsPage::refresh() {
    refreshActive();
    settings_label_->setText(
        QStringLiteral("Rules: %1. On event: %2. (Settings file, group [Alarms]: rules=FILE, onevent=COMMAND.)")
            .arg(settings_.alarmRules.isEmpty() ? QStringLiteral("the default rules") : settings_.alarmRules,
                 settings_.alarmCommand.isEmpty() ? QStringLiteral("no command") : settings_.alarmCommand));
    const auto& events = alarms_.history();
    history_->setRowCount(int(events.size()));
    for (int r = 0; r < int(events.size()); ++r) {
        const alarms::Event& e = events[events.size() - 1 - std::size_t(r)];
        set_row(history_, r,
                {utc_display(e.time), e.begin ? "begin" : "end", QString::fromStdString(e.rule),
                 alarms::severity_name(e.severity), QString::number(e.station), QString::fromStdString(e.detail)},
                !e.begin);
    }
}

void AlarmsPage::refreshActive() {
    const auto standing = alarms_.active();
    QSet<QString> still;
    int fresh = 0;
    active_->setRowCount(int(standing.size()));
    for (int r = 0; r < int(standing.size()); ++r) {
        const alarms::Active& a = standing[std::size_t(r)];
        const QString key = key_of(a.rule, a.since);
        const bool acked = acknowledged_.contains(key);
        if (acked) still.insert(key);
        else ++fresh;
        set_row(active_, r,
                {utc_display(a.since), QString::fromStdString(a.rule), alarms::severity_name(a.severity),
                 QString::number(a.station), QString::fromStdString(a.detail)},
                acked);
    }
    acknowledged_ = still;  // those that ended are forgotten
    if (standing_ != int(standing.size()) || unacknowledged_ != fresh) {
        standing_ = int(standing.size());
        unacknowledged_ = fresh;
        emit countChanged(standing_, unacknowledged_);
    }
}

void AlarmsPage::acknowledge() {
    for (const alarms::Active& a : alarms_.active()) acknowledged_.insert(key_of(a.rule, a.since));
    refresh();
}

}  // namespace tessaly
