// SPDX-License-Identifier: GPL-3.0-or-later
// The painter drawing on the real picture box: the pixels it leaves and the repaints they
// cause.

#include "pictureboxwidget.h"
#include "progressbar.h"

#include <QApplication>
#include <QTest>

#include <limits>
#include <memory>

namespace {

const QColor kBar(0, 0, 127);

// The number of bar-coloured pixel columns along the middle row of the drawing area.
int BarColumns(const PictureBoxWidget& box) {
    const QImage& image = box.image();
    const int row = image.height() / 2;
    int columns = 0;
    while (columns < image.width() && image.pixelColor(columns, row) == kBar) {
        ++columns;
    }
    for (int x = columns; x < image.width(); ++x) {
        if (image.pixelColor(x, row) == kBar) {
            return -1;  // a bar pixel after the background: not one bar from the left edge
        }
    }
    return columns;
}

// Whether every pixel is the background or the bar: no text, no other drawing.
bool OnlyBackgroundAndBar(const PictureBoxWidget& box) {
    const QColor face = box.palette().color(QPalette::Button);
    const QImage& image = box.image();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c != face && c != kBar) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class TestPictureBoxWidget : public QObject {
    Q_OBJECT

private slots:
    void init();
    void barInPixels_data();
    void barInPixels();
    void shorterBarErasesLonger();
    void drawingReachesTheScreenAtTheNextYield();

private:
    std::unique_ptr<PictureBoxWidget> box_;
};

void TestPictureBoxWidget::init() {
    box_ = std::make_unique<PictureBoxWidget>();
    box_->resize(217, 22);  // 3255 x 330 twips
    box_->show();
    QVERIFY(QTest::qWaitForWindowExposed(box_.get()));
}

void TestPictureBoxWidget::barInPixels_data() {
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("maximum");
    QTest::addColumn<int>("columns");
    // Width 3255 twips; the bar ends 10 twips short of the rounded product, 15 twips a pixel.
    QTest::newRow("first entry: empty bar") << 0 << 5 << 0;
    QTest::newRow("542.5 rounds to even 542, bar to 532") << 1 << 6 << 35;
    QTest::newRow("543 gives a bar to 533") << 543 << 3255 << 36;
    QTest::newRow("1627.5 rounds to even 1628, bar to 1618") << 1 << 2 << 108;
    QTest::newRow("filled width 10: no bar") << 10 << 3255 << 0;
    QTest::newRow("last entry fills the drawing area") << 6 << 6 << 213;
    QTest::newRow("maximum 0: empty bar, no error") << 0 << 0 << 0;
    QTest::newRow("product past 32 bits: empty bar")
        << std::numeric_limits<qint32>::max() << 1 << 0;
}

void TestPictureBoxWidget::barInPixels() {
    QFETCH(qint32, position);
    QFETCH(qint32, maximum);
    QFETCH(int, columns);
    DrawProgressBar(box_.get(), 6, 6);  // a full bar first: each call repaints from scratch
    DrawProgressBar(box_.get(), position, maximum);
    QCOMPARE(box_->image().size(), QSize(213, 18));
    QCOMPARE(BarColumns(*box_), columns);
    QVERIFY(OnlyBackgroundAndBar(*box_));
}

void TestPictureBoxWidget::shorterBarErasesLonger() {
    DrawProgressBar(box_.get(), 5, 6);
    const int longer = BarColumns(*box_);
    DrawProgressBar(box_.get(), 1, 6);
    QCOMPARE(BarColumns(*box_), 35);
    QVERIFY(longer > 35);
    QVERIFY(OnlyBackgroundAndBar(*box_));
}

// Counts the paint events an object receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void TestPictureBoxWidget::drawingReachesTheScreenAtTheNextYield() {
    PaintCounter counter;
    box_->installEventFilter(&counter);
    DrawProgressBar(box_.get(), 1, 2);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 1);  // background and bar in one repaint
    DrawProgressBar(box_.get(), 1, 2);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 1);  // the same bar again changes no pixel: no repaint
    DrawProgressBar(box_.get(), 1, 6);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 2);
}

QTEST_MAIN(TestPictureBoxWidget)
#include "tst_pictureboxwidget.moc"
