// SPDX-License-Identifier: GPL-3.0-or-later
#include "coveredlabelaccessible.h"

#include <QEvent>
#include <QLabel>

namespace {

// The later siblings of label whose area holds its area: drawn above it, they hide it whole
// while they are shown.
QList<QWidget*> CoveringSiblings(const QWidget* label) {
    QList<QWidget*> covering;
    const QWidget* container = label->parentWidget();
    if (!container) {
        return covering;
    }
    const QObjectList& siblings = container->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(label)) + 1; i < siblings.size();
         ++i) {
        auto* sibling = qobject_cast<QWidget*>(siblings.at(i));
        if (sibling && !sibling->isWindow() && sibling->geometry().contains(label->geometry())) {
            covering.append(sibling);
        }
    }
    return covering;
}

// Tells assistive technology that the label appears as a control covering it hides, and
// disappears as it shows again; nothing else would, as the label itself stays as it is.
class CoverWatch : public QObject {
public:
    explicit CoverWatch(QLabel* label) : QObject(label), label_(label) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool shown = event->type() == QEvent::Show;
        if ((shown || event->type() == QEvent::Hide) && !event->spontaneous()) {
            QAccessibleEvent changed(label_,
                                     shown ? QAccessible::ObjectHide : QAccessible::ObjectShow);
            QAccessible::updateAccessibility(&changed);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLabel* label_;
};

}  // namespace

CoveredLabelAccessible::CoveredLabelAccessible(QLabel* label)
    : QAccessibleWidget(label, QAccessible::StaticText) {}

void CoveredLabelAccessible::Install(QLabel* label) {
    // Qt makes a label's interface as soon as its text is set, and keeps it.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    QAccessible::registerAccessibleInterface(new CoveredLabelAccessible(label));
    const QList<QWidget*> covering = CoveringSiblings(label);
    if (!covering.isEmpty()) {
        auto* watch = new CoverWatch(label);
        for (QWidget* sibling : covering) {
            sibling->installEventFilter(watch);
        }
    }
}

QAccessible::State CoveredLabelAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    for (const QWidget* sibling : CoveringSiblings(widget())) {
        if (!sibling->isHidden()) {
            state.invisible = true;
        }
    }
    return state;
}

QString CoveredLabelAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
        return static_cast<const QLabel*>(widget())->text();
    }
    return QAccessibleWidget::text(t);
}
