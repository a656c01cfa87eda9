#pragma once
// The "Alarms" page after the statistics: the alarms that stand, newest
// first, each with its figure and since when; the history of begins and
// ends below, newest first; Acknowledge; and which rules file and command
// are in force (the settings file's group [Alarms]).
#include <QSet>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace tessaly {

struct SettingsRecord;
class WindowAlarms;

class AlarmsPage : public QWidget {
    Q_OBJECT
public:
    AlarmsPage(WindowAlarms& alarms, const SettingsRecord& settings, QWidget* parent = nullptr);

    // Rewrites both tables from the engine and the history.
    void refresh();
    // The standing alarms alone (their figures move with the time).
    void refreshActive();
    // The alarms that stand now are acknowledged: they no longer count as
    // new, and stay listed until they end.
    void acknowledge();
    // Alarms that stand; those not yet acknowledged.
    int standing() const { return standing_; }
    int unacknowledged() const { return unacknowledged_; }

    QTableWidget* activeTable() const { return active_; }
    QTableWidget* historyTable() const { return history_; }
    QPushButton* acknowledgeButton() const { return acknowledge_; }
    QLabel* settingsLabel() const { return settings_label_; }

signals:
    // The count of standing alarms, or of the unacknowledged ones, changed.
    void countChanged(int standing, int unacknowledged);

protected:
    void showEvent(QShowEvent* e) override;

private:
    WindowAlarms& alarms_;
    const SettingsRecord& settings_;
    QSet<QString> acknowledged_;  // rule and begin time of acknowledged alarms
    int standing_ = 0;
    int unacknowledged_ = 0;
    QTableWidget* active_ = nullptr;
    QTableWidget* history_ = nullptr;
    QPushButton* acknowledge_ = nullptr;
    QLabel* settings_label_ = nullptr;
};

}  // namespace tessaly
