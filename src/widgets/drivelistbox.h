// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drivename.h"

#include <QByteArray>
#include <QComboBox>

class DriveSource;

// The drive list: a drop-down of the drives that a DriveSource names, one of them selected.
class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    // Lists the drives of source and selects the one that holds the process's current
    // folder, without raising Change. source must outlive the list.
    explicit DriveListBox(DriveSource& source, QWidget* parent = nullptr);

    // The selected drive, as the folder list's SetPath takes it.
    DriveName Drive() const;
    // Selects the drive that holds folder (a full path); "/" holds every folder, so some
    // drive is always selected. Raises Change, before returning, when the selection changed.
    void SetDrive(const QByteArray& folder);

signals:
    // The selected drive changed, by the user or by SetDrive.
    void Change();

private:
    DriveSource& source_;
};
