#include "drivelistbox.h"

#include "currentfolder.h"
#include "drivesource.h"

#include <QFile>
#include <QSignalBlocker>

namespace {

constexpr int kDriveRole = Qt::UserRole;

}  // namespace

DriveListBox::DriveListBox(DriveSource& source, QWidget* parent)
    : QComboBox(parent), source_(source) {
    for (const QByteArray& drive : source_.Drives()) {
        addItem(QFile::decodeName(drive), drive);
    }
    {
        const QSignalBlocker quiet(this);
        SetDrive(CurrentFolder());
    }
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::Change);
}

DriveName DriveListBox::Drive() const {
    return DriveName(currentData(kDriveRole).toByteArray());
}

void DriveListBox::SetDrive(const QByteArray& folder) {
    QList<QByteArray> drives;
    for (int i = 0; i < count(); ++i) {
        drives.append(itemData(i, kDriveRole).toByteArray());
    }
    const int index = int(drives.indexOf(DriveSource::DriveHolding(drives, folder)));
    if (index >= 0) {
        setCurrentIndex(index);
    }
}
