// SPDX-License-Identifier: GPL-3.0-or-later
#include "drivelistbox.h"

#include "currentfolder.h"
#include "drivesource.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFile>
#include <QSignalBlocker>

namespace {

constexpr int kDriveRole = Qt::UserRole;

// The list to assistive technology: a combo box with the drive shown as its value and the
// drop-down as its one child, named by its accessible name. (Qt's own combo box gives the
// value as the name on Linux, so the list would be heard as "/".)
class DriveListBoxAccessible : public QAccessibleWidget {
public:
    explicit DriveListBoxAccessible(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Box()->currentText() : QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Box()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        Q_UNUSED(x);
        Q_UNUSED(y);
        return nullptr;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (Box()->view()->isVisible()) {
            Box()->hidePopup();
        } else {
            Box()->showPopup();
        }
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* MakeDriveListBoxAccessible(const QString& key, QObject* object) {
    auto* box = qobject_cast<DriveListBox*>(object);
    if (!box || key != QLatin1String(DriveListBox::staticMetaObject.className())) {
        return nullptr;
    }
    return new DriveListBoxAccessible(box);
}

}  // namespace

DriveListBox::DriveListBox(DriveSource& source, QWidget* parent)
    : QComboBox(parent), source_(source) {
    QAccessible::installFactory(&MakeDriveListBoxAccessible);  // once: a second install is ignored
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
