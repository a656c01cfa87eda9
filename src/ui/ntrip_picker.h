#pragma once
// The mountpoints of a caster's sourcetable as a list to pick from: RTCM 2
// ones first, the others marked as formats this monitor does not decode.
// Picking a row (double click, or a row and "Use mountpoint") answers its
// mountpoint.
#include <QDialog>
#include <QString>

#include "ntrip_protocol.h"
#include "ntrip_sourcetable.h"
#include "settings_record.h"

class QPushButton;
class QTableWidget;

namespace tessaly {

// The NTRIP source of the settings as a URL (port 0 when it is no port).
ntrip::Url ntrip_url(const SettingsRecord& settings);

class NtripPicker : public QDialog {
    Q_OBJECT
public:
    explicit NtripPicker(const ntrip::Sourcetable& table, QWidget* parent = nullptr);

    QTableWidget* Table = nullptr;
    QPushButton* UseBtn = nullptr;

    // The mountpoint of the chosen row; empty when none is chosen.
    QString chosenMount() const;
};

}  // namespace tessaly
