// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakepicturebox.h"
#include "progressbar.h"

#include <QTest>

class TestProgressBar : public QObject {
    Q_OBJECT

private slots:
    void callsInTwips_data();
    void callsInTwips();
    void failingStepsAreSkipped();
    void nullBoxDrawsNothing();
};

void TestProgressBar::callsInTwips_data() {
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("maximum");
    QTest::addColumn<double>("barEnd");
    QTest::newRow("542.5 to 542") << 1 << 6 << 532.0;
    QTest::newRow("1627.5 to 1628") << 1 << 2 << 1618.0;
    QTest::newRow("first entry") << 0 << 4 << -10.0;
    QTest::newRow("last entry") << 4 << 4 << 3245.0;
    QTest::newRow("maximum 0") << 0 << 0 << -10.0;
    QTest::newRow("negative quotient") << -1 << 1 << -3265.0;
}

void TestProgressBar::callsInTwips() {
    QFETCH(qint32, position);
    QFETCH(qint32, maximum);
    QFETCH(double, barEnd);
    FakePictureBox box;
    DrawProgressBar(&box, position, maximum);
    QCOMPARE(box.calls, (QByteArrayList{"AutoRedraw=1", "FillStyle=0", "DrawStyle=0"}));
    QCOMPARE(box.fills.size(), 2);
    QCOMPARE(box.fills[0].x2, 3255.0);
    QCOMPARE(box.fills[0].y2, 330.0);
    QCOMPARE(box.fills[0].colour, kButtonFace);
    QCOMPARE(box.fills[1].x1, 0.0);
    QCOMPARE(box.fills[1].x2, barEnd);
    QCOMPARE(box.fills[1].y2, 330.0);
    QCOMPARE(box.fills[1].colour, OleColor(0x007F0000));
    // The box hears the values unchanged, whatever the drawing made of them.
    QCOMPARE(box.told, (QList<QPair<qint32, qint32>>{{position, maximum}}));
}

void TestProgressBar::failingStepsAreSkipped() {
    FakePictureBox box;
    box.failing = {"AutoRedraw", "Width"};
    DrawProgressBar(&box, 1, 2);
    // Without Width neither the product nor the background can be computed; the bar still is.
    QCOMPARE(box.calls, (QByteArrayList{"FillStyle=0", "DrawStyle=0"}));
    QCOMPARE(box.fills.size(), 1);
    QCOMPARE(box.fills[0].x2, -10.0);
    QCOMPARE(box.told, (QList<QPair<qint32, qint32>>{{1, 2}}));
}

void TestProgressBar::nullBoxDrawsNothing() {
    DrawProgressBar(nullptr, 1, 2);  // returns normally
}

QTEST_GUILESS_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
