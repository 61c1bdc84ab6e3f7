// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QLabel;

// A label to assistive technology: static text named by its caption, which is not shown while
// a control drawn above it covers it whole. A label that lies beneath another control, as a
// caption under a list until a run hides the list, is then reported as the user sees it, and
// appears and disappears as that control hides and shows.
class CoveredLabelAccessible : public QAccessibleWidget {
public:
    // Makes one of these label's interface, in place of any made for it before, and watches the
    // controls that cover it then.
    static void Install(QLabel* label);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

private:
    explicit CoveredLabelAccessible(QLabel* label);
};
