// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessiblenames.h"

#include "coveredlabelaccessible.h"
#include "frmmain.h"
#include "layouttable.h"

#include <QCoreApplication>
#include <QLabel>

namespace {

struct AccessibleName {
    const char* control;
    const char* name;
};

constexpr AccessibleName kAccessibleNames[] = {
    {"drvFolder", QT_TRANSLATE_NOOP("frmMain", "Drive")},
    {"dirFolder", QT_TRANSLATE_NOOP("frmMain", "Folders")},
    {"filFolder", QT_TRANSLATE_NOOP("frmMain", "Files")},
    {"picProgress", QT_TRANSLATE_NOOP("frmMain", "Progress")},
    {"txtFilePattern", QT_TRANSLATE_NOOP("frmMain", "File name filter")},
    {"txtFind", QT_TRANSLATE_NOOP("frmMain", "Search text")},
    {"txtReplace", QT_TRANSLATE_NOOP("frmMain", "Replacement text")},
};

}  // namespace

void SetAccessibleNames(const frmMain& window) {
    for (const AccessibleName& named : kAccessibleNames) {
        QWidget* control = window.Control(QString::fromLatin1(named.control));
        Q_ASSERT(control);
        control->setAccessibleName(QCoreApplication::translate("frmMain", named.name));
    }
    for (const ControlRow& row : kLayout) {
        if (row.kind == ControlKind::Label) {
            auto* label = qobject_cast<QLabel*>(
                window.Control(QString::fromLatin1(row.name.data(), qsizetype(row.name.size()))));
            Q_ASSERT(label);
            CoveredLabelAccessible::Install(label);
        }
    }
}
