#pragma once
// The statistics page beside the raw data page: the stream's figures since
// the start (or the last reset) and for the last whole interval, per message
// type, the outages, and plots of the last hour (latency, data rate, frames
// per type). Exports as CSV, JSON and PNG.
//
// The window hands it the bytes of every chunk and every completed frame;
// the rest runs on the page's own timer a few times per second, and the
// texts and plots are rewritten only while the page shows. Time is the
// decoder's clock (UTC seconds), the axis the outages come on too.
#include <QDateTime>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>

#include "source_event.h"
#include "stream_pipeline.h"
#include "stream_stats.h"

class QBarCategoryAxis;
class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QTimer;
class QValueAxis;

namespace tessaly {

class RtcmDecoder;

class StatsPage : public QWidget {
    Q_OBJECT
public:
    // Rows of the figures table.
    enum Figure {
        Span, Bytes, DataRate, Frames, FrameRate, LatencyMean, LatencyMax, ParityFailures, SyncLosses,
        UnusedChars, MissedFrames, ZcountGaps, Outages, OutageTime, LeapSeconds, Stations, FigureCount
    };
    static constexpr double plot_seconds = 3600;   // the plots show the last hour
    static constexpr double sample_seconds = 5;    // one plot point per 5 s

    explicit StatsPage(const RtcmDecoder& decoder, QWidget* parent = nullptr);

    void countBytes(std::uint64_t n) { pendingBytes_ += n; }
    // The decoder has just completed a frame: its header and latency count.
    void frameCompleted(const stream::CompletedFrame& f);
    void recordOutage(const Outage& outage);
    // An alarm of this rule began.
    void countAlarm(const std::string& rule) { stats_.count_alarm(rule); }
    // Counters, interval and plots start over now.
    void reset();
    // The timer's step: the bytes and the decoder's counters are taken in,
    // a due interval is closed, the plots sampled, and a page that shows
    // rewritten.
    void tick();
    // Rewrites the texts and plots now.
    void refresh();

    // Ask for a file through the save-file seam and write it; false when
    // cancelled or failed (a failure is reported through the error seam).
    bool exportCsv();
    bool exportJson();
    bool exportPng();

    // ---- Read access for the window's tests.
    const stats::StreamStats& stats() const { return stats_; }
    QString figure(Figure row, int column) const;  // column 0: since reset, 1: last interval
    QTableWidget* typeTable() const { return types_; }
    QTableWidget* outageTable() const { return outages_; }
    QPushButton* resetButton() const { return resetButton_; }
    QChart* latencyChart() const;
    QChart* rateChart() const;
    QChart* typeChart() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    double now() const;
    void refreshTexts();
    void refreshPlots();
    void samplePlots(double t);
    bool saveText(const QString& caption, const QString& suggested, const QString& filter, const std::string& text);

    const RtcmDecoder& decoder_;
    stats::StreamStats stats_;
    stats::Snapshot lastInterval_;
    std::uint64_t pendingBytes_ = 0;

    // Plot points of the last hour and the sums of the sample under way.
    struct Sample {
        double t = 0;
        double latencyMean = 0, latencyMax = 0;
        bool hasLatency = false;
        double byteRate = 0;
    };
    std::deque<Sample> samples_;
    double sampleStart_ = 0;
    std::uint64_t sampleBytes_ = 0;
    std::uint64_t sampleFrames_ = 0;
    double sampleLatencySum_ = 0, sampleLatencyMax_ = 0;

    QTableWidget* figures_ = nullptr;
    QTableWidget* types_ = nullptr;
    QTableWidget* outages_ = nullptr;
    QLabel* since_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QTabWidget* plots_ = nullptr;
    std::array<QChartView*, 3> views_{};
    QLineSeries* latencyMean_ = nullptr;
    QLineSeries* latencyMax_ = nullptr;
    QLineSeries* rate_ = nullptr;
    QBarSet* bars_ = nullptr;
    QBarCategoryAxis* barTypes_ = nullptr;
    QValueAxis* barCounts_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace tessaly
