// SPDX-License-Identifier: GPL-3.0-or-later
// The application record: title, version numbers and the caption's version text.
#include "applicationrecord.h"

#include <QFile>
#include <QImage>
#include <QtTest>

class TestApplicationRecord : public QObject {
    Q_OBJECT

private slots:
    void versionString_data();
    void versionString();
    void recordStatesTheBuildVersion();
    void installMakesRecordTheApplications();
    void iconIsSixteenPixelsWithTransparency();
    void packagedIconsShowTheDesign_data();
    void packagedIconsShowTheDesign();
};

void TestApplicationRecord::versionString_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.1.2: revision follows minor without a point") << 1 << 1 << 2 << "1.12";
    QTest::newRow("2.10.3: no padding") << 2 << 10 << 3 << "2.103";
    QTest::newRow("1.0.0: zeros stay") << 1 << 0 << 0 << "1.00";
    QTest::newRow("10.0.12") << 10 << 0 << 12 << "10.012";
}

void TestApplicationRecord::versionString() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(GetVersionString(major, minor, revision), expected);
}

void TestApplicationRecord::recordStatesTheBuildVersion() {
    QCOMPARE(ApplicationRecord::Major(), 1);
    QCOMPARE(ApplicationRecord::Minor(), 1);
    QCOMPARE(ApplicationRecord::Revision(), 2);
    QCOMPARE(ApplicationRecord::VersionText(), QStringLiteral("1.01.0002"));
    QCOMPARE(GetVersionString(), QStringLiteral("1.12"));
}

void TestApplicationRecord::installMakesRecordTheApplications() {
    ApplicationRecord::Install();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillmark"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.01.0002"));
    QVERIFY(!QApplication::windowIcon().isNull());
}

void TestApplicationRecord::iconIsSixteenPixelsWithTransparency() {
    const QImage image(QStringLiteral(":/quillmark.xpm"));
    QCOMPARE(image.size(), QSize(16, 16));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(8, 14).alpha(), 255);
}

// The PNGs rendered from the scalable icon by scripts/make-icons.sh.
void TestApplicationRecord::packagedIconsShowTheDesign_data() {
    QTest::addColumn<int>("size");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QTest::addRow("%d px", size) << size;
    }
}

void TestApplicationRecord::packagedIconsShowTheDesign() {
    QFETCH(int, size);
    const QImage icon =
        QImage(QStringLiteral(QUILLMARK_DATA_DIR "/icons/io.github.quillmark.Quillmark-%1.png")
                   .arg(size))
            .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(icon.size(), QSize(size, size));
    // Points of data/quillmark.svg's 256-unit grid, in the 16-pixel icon's colours at every size:
    // the corner outside the page, the page, and the middle of the quill.
    const auto at = [&](int x, int y) { return icon.pixelColor(x * size / 256, y * size / 256); };
    QCOMPARE(at(0, 0).alpha(), 0);
    QCOMPARE(at(168, 232).rgba(), qRgba(0xFF, 0xFF, 0xFF, 0xFF));
    QCOMPARE(at(184, 72).rgba(), qRgba(0x1F, 0x4F, 0xAF, 0xFF));
}

QTEST_MAIN(TestApplicationRecord)
#include "tst_applicationrecord.moc"
