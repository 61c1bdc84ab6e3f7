// SPDX-License-Identifier: GPL-3.0-or-later
#include "refusedtext.h"

#include <QLineEdit>
#include <QPalette>
#include <QVariant>

namespace {

// Where the box keeps its own tooltip while it shows a refusal.
constexpr char kOwnToolTip[] = "quillmarkOwnToolTip";

}  // namespace

void ShowRefusedText(QLineEdit& box, const QString& why) {
    const QVariant own = box.property(kOwnToolTip);
    if (why.isEmpty()) {
        if (own.isValid()) {
            box.setPalette(QPalette());
            box.setToolTip(own.toString());
            box.setProperty(kOwnToolTip, QVariant());
        }
        return;
    }
    if (!own.isValid()) {
        box.setProperty(kOwnToolTip, box.toolTip());
    }
    // Qt has no error role: the base is mixed a third of the way to red, so the mark shows in
    // light and dark colour schemes alike, and the text keeps its contrast.
    QPalette palette = box.parentWidget() ? box.parentWidget()->palette() : QPalette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor base = palette.color(group, QPalette::Base);
        palette.setColor(
            group, QPalette::Base,
            QColor((base.red() * 2 + 255) / 3, base.green() * 2 / 3, base.blue() * 2 / 3));
    }
    box.setPalette(palette);
    box.setToolTip(why);
}
