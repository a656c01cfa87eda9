// The statistics page: figures, per-type table, outages, plots and exports.
#include "stats_page.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QDateTimeAxis>
#include <QFile>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "rtcmdecw.h"
#include "page_tables.h"
#include "save_dialog.h"
#include "stats_report.h"
#include "ui_boxes.h"

namespace tessaly {

namespace {

QString fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

void set_cell(QTableWidget* t, int row, int column, const QString& text) {
    QTableWidgetItem* item = t->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

// Mean and worst latency over every type of a span.
std::pair<double, double> latency_over_types(const stats::Snapshot& s) {
    double sum = 0, worst = 0;
    std::uint64_t n = 0;
    for (const stats::TypeCounts& t : s.types) {
        if (!t.latency.count) continue;
        worst = n ? std::max(worst, t.latency.max) : t.latency.max;
        sum += t.latency.mean * double(t.latency.count);
        n += t.latency.count;
    }
    return {n ? sum / double(n) : 0, worst};
}

QString figure_text(const stats::Snapshot& s, StatsPage::Figure f) {
    switch (f) {
    case StatsPage::Span: return fixed(s.seconds(), 1);
    case StatsPage::Bytes: return QString::number(s.bytes);
    case StatsPage::DataRate: return fixed(s.byte_rate(), 1);
    case StatsPage::Frames: return QString::number(s.frames);
    case StatsPage::FrameRate: return fixed(s.seconds() > 0 ? double(s.frames) * 60 / s.seconds() : 0, 1);
    case StatsPage::LatencyMean: return fixed(latency_over_types(s).first, 3);
    case StatsPage::LatencyMax: return fixed(latency_over_types(s).second, 3);
    case StatsPage::ParityFailures: return QString::number(s.parity_failures);
    case StatsPage::SyncLosses: return QString::number(s.sync_losses);
    case StatsPage::UnusedChars: return QString::number(s.unused_chars);
    case StatsPage::MissedFrames: return QString::number(s.sequence_gaps);
    case StatsPage::ZcountGaps: return QString::number(s.zcount_gaps) + " (" + fixed(s.zcount_gap_seconds, 1) + " s)";
    case StatsPage::Outages: return QString::number(s.outages.size());
    case StatsPage::OutageTime: return fixed(s.outage_seconds(), 1);
    case StatsPage::LeapSeconds: return QString::number(s.leap_seconds);
    case StatsPage::Stations: {
        QStringList ids;
        for (const stats::Station& st : s.stations) ids << QString::number(st.id) + " (" + QString::number(st.frames) + ")";
        return ids.join(QStringLiteral(", "));
    }
    case StatsPage::FigureCount: break;
    }
    return {};
}

QChartView* chart_view(QWidget* parent, const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto* view = new QChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);
    return view;
}

// A time axis over the last hour and a value axis, both attached to `series`.
void time_axes(QChart* chart, const QList<QLineSeries*>& series, const QString& unit) {
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("hh:mm"));
    x->setTitleText(QStringLiteral("time"));
    x->setTickCount(7);
    auto* y = new QValueAxis;
    y->setTitleText(unit);
    y->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* s : series) {
        s->setPointsVisible(true);  // a lone sample shows too
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    }
}

}  // namespace

StatsPage::StatsPage(const RtcmDecoder& decoder, QWidget* parent) : QWidget(parent), decoder_(decoder) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    const auto button = [&](const QString& text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, slot);
        top->addWidget(b);
        return b;
    };
    resetButton_ = button(QStringLiteral("Reset"), [this] { reset(); });
    button(QStringLiteral("Export CSV..."), [this] { exportCsv(); });
    button(QStringLiteral("Export JSON..."), [this] { exportJson(); });
    button(QStringLiteral("Export plots as PNG..."), [this] { exportPng(); });
    since_ = new QLabel(this);
    top->addWidget(since_, 1);
    v->addLayout(top);

    // Tables on the left, plots on the right; the operator moves the border.
    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* tables = new QSplitter(Qt::Vertical, split);
    figures_ = display_table(tables, {QStringLiteral("Since reset"), QStringLiteral("Last interval")});
    figures_->setRowCount(FigureCount);
    figures_->setVerticalHeaderLabels({"Span [s]", "Bytes", "Data rate [B/s]", "Frames", "Frames/min",
                                       "Latency mean [s]", "Latency max [s]", "Parity failures", "Sync losses",
                                       "Unused chars", "Missed frames", "Z-count gaps", "Outages",
                                       "Outage time [s]", "Leap seconds", "Stations (frames)"});
    types_ = display_table(tables, {"Type", "Frames", "Frames/min", "Latency last", "mean", "min", "max", "sd [s]"});
    types_->verticalHeader()->hide();
    outages_ = display_table(tables, {"Outage start (UTC)", "End", "Duration [s]"});
    outages_->verticalHeader()->hide();
    tables->setStretchFactor(0, 4);
    tables->setStretchFactor(1, 2);
    tables->setStretchFactor(2, 1);

    plots_ = new QTabWidget(split);
    views_[0] = chart_view(plots_, QStringLiteral("Latency, last hour"));
    views_[1] = chart_view(plots_, QStringLiteral("Data rate, last hour"));
    views_[2] = chart_view(plots_, QStringLiteral("Frames per type since reset"));
    latencyMean_ = new QLineSeries;
    latencyMean_->setName(QStringLiteral("mean"));
    latencyMax_ = new QLineSeries;
    latencyMax_->setName(QStringLiteral("max"));
    time_axes(latencyChart(), {latencyMean_, latencyMax_}, QStringLiteral("latency [s]"));
    rate_ = new QLineSeries;
    rate_->setName(QStringLiteral("bytes per second"));
    time_axes(rateChart(), {rate_}, QStringLiteral("B/s"));
    bars_ = new QBarSet(QStringLiteral("frames"));
    auto* series = new QBarSeries;
    series->append(bars_);
    typeChart()->addSeries(series);
    barTypes_ = new QBarCategoryAxis;
    barTypes_->setTitleText(QStringLiteral("message type"));
    barCounts_ = new QValueAxis;
    barCounts_->setLabelFormat(QStringLiteral("%.0f"));
    typeChart()->addAxis(barTypes_, Qt::AlignBottom);
    typeChart()->addAxis(barCounts_, Qt::AlignLeft);
    series->attachAxis(barTypes_);
    series->attachAxis(barCounts_);
    plots_->addTab(views_[0], QStringLiteral("Latency"));
    plots_->addTab(views_[1], QStringLiteral("Data rate"));
    plots_->addTab(views_[2], QStringLiteral("Frames per type"));
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);

    reset();
    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, &StatsPage::tick);
    timer_->start();
}

QChart* StatsPage::latencyChart() const { return views_[0]->chart(); }
QChart* StatsPage::rateChart() const { return views_[1]->chart(); }
QChart* StatsPage::typeChart() const { return views_[2]->chart(); }

double StatsPage::now() const {
    const ClockReading r = decoder_.clock().now_utc();
    const qint64 days = QDate(r.year, r.month, r.day).toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    return double(days) * 86400.0 + r.time_of_day();
}

void StatsPage::frameCompleted(const stream::CompletedFrame& f) {
    stats_.add_frame(f.frame, now());
    const double latency = f.frame.latency;
    sampleLatencyMax_ = sampleFrames_ ? std::max(sampleLatencyMax_, latency) : latency;
    sampleLatencySum_ += latency;
    ++sampleFrames_;
}

void StatsPage::recordOutage(const Outage& outage) {
    stats_.record_outage(utc_seconds(outage.start), utc_seconds(outage.end));
}

void StatsPage::reset() {
    const double t = now();
    pendingBytes_ = 0;
    stats_.reset(t, decoder_.parity_failures, decoder_.sync_losses, decoder_.unused_chars);
    lastInterval_ = stats_.interval();
    samples_.clear();
    sampleStart_ = t;
    sampleBytes_ = sampleFrames_ = 0;
    sampleLatencySum_ = sampleLatencyMax_ = 0;
    since_->setText("since " + utc_display(t) + " UTC, interval " + fixed(stats_.interval_seconds(), 0) + " s");
    refresh();
}

void StatsPage::tick() {
    const double t = now();
    stats_.add_bytes(pendingBytes_, t);
    sampleBytes_ += pendingBytes_;
    pendingBytes_ = 0;
    stats_.set_decoder_counters(decoder_.parity_failures, decoder_.sync_losses, decoder_.unused_chars, t);
    if (stats_.interval_due(t)) lastInterval_ = stats_.close_interval(t);
    samplePlots(t);
    if (isVisible()) refresh();
}

void StatsPage::samplePlots(double t) {
    if (t < sampleStart_) sampleStart_ = t;  // the clock was set back
    if (t - sampleStart_ < sample_seconds) return;
    Sample s;
    s.t = t;
    s.byteRate = double(sampleBytes_) / (t - sampleStart_);
    s.hasLatency = sampleFrames_ > 0;
    if (s.hasLatency) {
        s.latencyMean = sampleLatencySum_ / double(sampleFrames_);
        s.latencyMax = sampleLatencyMax_;
    }
    samples_.push_back(s);
    while (!samples_.empty() && samples_.front().t < t - plot_seconds) samples_.pop_front();
    sampleStart_ = t;
    sampleBytes_ = sampleFrames_ = 0;
    sampleLatencySum_ = sampleLatencyMax_ = 0;
}

void StatsPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
}

void StatsPage::refresh() {
    refreshTexts();
    refreshPlots();
}

QString StatsPage::figure(Figure row, int column) const {
    const QTableWidgetItem* item = figures_->item(int(row), column);
    return item ? item->text() : QString();
}

void StatsPage::refreshTexts() {
    const stats::Snapshot& total = stats_.total();
    for (int f = 0; f < FigureCount; ++f) {
        set_cell(figures_, f, 0, figure_text(total, Figure(f)));
        set_cell(figures_, f, 1, figure_text(lastInterval_, Figure(f)));
    }
    int row = 0;
    for (int type = 0; type < 64; ++type) {
        const stats::TypeCounts& c = total.types[std::size_t(type)];
        if (!c.frames) continue;
        if (types_->rowCount() <= row) types_->setRowCount(row + 1);
        const stats::Latency& l = c.latency;
        const QString cells[8] = {QString::number(type), QString::number(c.frames), fixed(total.frame_rate(type), 1),
                                  fixed(l.last, 3), fixed(l.mean, 3), fixed(l.min, 3), fixed(l.max, 3),
                                  fixed(l.std_dev(), 3)};
        for (int col = 0; col < 8; ++col) set_cell(types_, row, col, cells[col]);
        ++row;
    }
    types_->setRowCount(row);
    outages_->setRowCount(int(total.outages.size()));
    for (int i = 0; i < int(total.outages.size()); ++i) {
        const stats::Outage& o = total.outages[std::size_t(i)];
        set_cell(outages_, i, 0, utc_display(o.start));
        set_cell(outages_, i, 1, utc_display(o.end));
        set_cell(outages_, i, 2, fixed(o.duration(), 1));
    }
}

void StatsPage::refreshPlots() {
    QList<QPointF> mean, worst, rate;
    // A recording replayed without re-timing has negative latencies: the
    // axis reaches below 0 for them.
    double top_latency = 1, bottom_latency = 0, top_rate = 1;
    for (const Sample& s : samples_) {
        const double x = s.t * 1000;
        rate << QPointF(x, s.byteRate);
        top_rate = std::max(top_rate, s.byteRate);
        if (!s.hasLatency) continue;
        mean << QPointF(x, s.latencyMean);
        worst << QPointF(x, s.latencyMax);
        top_latency = std::max(top_latency, s.latencyMax);
        bottom_latency = std::min({bottom_latency, s.latencyMean, s.latencyMax});
    }
    latencyMean_->replace(mean);
    latencyMax_->replace(worst);
    rate_->replace(rate);
    const double t = now();
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(qint64((t - plot_seconds) * 1000), Qt::UTC);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(qint64(t * 1000), Qt::UTC);
    for (QChart* c : {latencyChart(), rateChart()}) {
        c->axes(Qt::Horizontal).front()->setRange(from, to);
        c->axes(Qt::Vertical).front()->setRange(c == latencyChart() ? bottom_latency * 1.1 : 0,
                                                c == latencyChart() ? top_latency * 1.1 : top_rate * 1.1);
    }

    QList<qreal> counts;
    QStringList types;
    double most = 1;
    for (int type = 0; type < 64; ++type) {
        const std::uint64_t n = stats_.total().types[std::size_t(type)].frames;
        if (!n) continue;
        types << QString::number(type);
        counts << double(n);
        most = std::max(most, double(n));
    }
    if (bars_->count()) bars_->remove(0, bars_->count());
    bars_->append(counts);
    barTypes_->setCategories(types);
    barCounts_->setRange(0, most * 1.1);
}

// ---- Exports ---------------------------------------------------------------------

bool StatsPage::saveText(const QString& caption, const QString& suggested, const QString& filter,
                         const std::string& text) {
    const QString path = ask_save_file(this, caption, suggested, filter);
    if (path.isEmpty()) return false;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !f.flush()) {
        show_error("Cannot write " + path + ": " + f.errorString());
        return false;
    }
    return true;
}

bool StatsPage::exportCsv() {
    tick();
    return saveText(QStringLiteral("Export statistics as CSV"), QStringLiteral("tessaly-stats.csv"),
                    QStringLiteral("CSV files (*.csv)"), stats::to_csv(stats_.total()));
}

bool StatsPage::exportJson() {
    tick();
    return saveText(QStringLiteral("Export statistics as JSON"), QStringLiteral("tessaly-stats.json"),
                    QStringLiteral("JSON files (*.json)"), stats::to_json(stats_.total(), true) + "\n");
}

bool StatsPage::exportPng() {
    tick();
    refreshPlots();
    const QString path = ask_save_file(this, QStringLiteral("Export plots as PNG"), QStringLiteral("tessaly-plots.png"),
                                       QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty()) return false;
    // The three plots one above the other, each at a size fit for a report
    // whatever the window shows now (a hidden plot was never laid out).
    const QSizeF each(900, 320);
    QImage image(int(each.width()), int(each.height()) * int(views_.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        for (std::size_t i = 0; i < views_.size(); ++i) {
            QChart* chart = views_[i]->chart();
            const QSizeF old = chart->size();
            chart->resize(each);
            chart->layout()->activate();
            chart->scene()->render(&p, QRectF(QPointF(0, each.height() * double(i)), each),
                                   QRectF(chart->pos(), each));
            chart->resize(old);
            chart->layout()->activate();
        }
    }
    if (!image.save(path, "PNG")) {
        show_error("Cannot write " + path);
        return false;
    }
    return true;
}

}  // namespace tessaly
