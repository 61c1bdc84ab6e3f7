#include "coveredlabelaccessible.h"

#include <QLabel>

CoveredLabelAccessible::CoveredLabelAccessible(QLabel* label)
    : QAccessibleWidget(label, QAccessible::StaticText) {}

void CoveredLabelAccessible::Install(QLabel* label) {
    // Qt makes a label's interface as soon as its text is set, and keeps it.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    QAccessible::registerAccessibleInterface(new CoveredLabelAccessible(label));
}

QAccessible::State CoveredLabelAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    if (!state.invisible && Covered()) {
        state.invisible = true;
    }
    return state;
}

QString CoveredLabelAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
        return static_cast<const QLabel*>(widget())->text();
    }
    return QAccessibleWidget::text(t);
}

bool CoveredLabelAccessible::Covered() const {
    const QWidget* label = widget();
    const QWidget* container = label->parentWidget();
    if (!container) {
        return false;
    }
    // Later children are drawn above earlier ones.
    const QObjectList& siblings = container->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(label)) + 1; i < siblings.size();
         ++i) {
        const auto* sibling = qobject_cast<const QWidget*>(siblings.at(i));
        if (sibling && !sibling->isHidden() && !sibling->isWindow() &&
            sibling->geometry().contains(label->geometry())) {
            return true;
        }
    }
    return false;
}
