// SPDX-License-Identifier: GPL-3.0-or-later
// Drives and folders: which mounts are drives, which drive holds a folder, and what the
// drive list and the folder list show.
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "fixeddrivesource.h"
#include "storagedrivesource.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Mounts = QList<StorageDriveSource::Mount>;
using Paths = QList<QByteArray>;

class TestDrives : public QObject {
    Q_OBJECT

private slots:
    void realDrives_data();
    void realDrives();
    void driveHolding_data();
    void driveHolding();
    void unmountedDriveIsNotReady();
    void driveListSelectsHoldingDriveAndSignalsChange();
    void folderListShowsChainThenSubfolders();
    void driveShowsItsCurrentFolder_data();
    void driveShowsItsCurrentFolder();
    void folderListRejectsMissingFolderAndKeepsPath();
    void cleanPath_data();
    void cleanPath();
};

void TestDrives::realDrives_data() {
    QTest::addColumn<Mounts>("mounts");
    QTest::addColumn<Paths>("expected");
    QTest::newRow("root first, virtual file systems left out")
        << Mounts{{"/proc", "proc"},
                  {"/home", "ext4"},
                  {"/", "ext4"},
                  {"/sys", "sysfs"},
                  {"/dev/pts", "devpts"},
                  {"/boot/efi", "vfat"},
                  {"/sys/fs/cgroup", "cgroup2"},
                  {"/run", "tmpfs"},
                  {"/sys/kernel/debug", "debugfs"}}
        << Paths{"/", "/boot/efi", "/home"};
    QTest::newRow("root added when not listed")
        << Mounts{{"/mnt/usb", "vfat"}} << Paths{"/", "/mnt/usb"};
    QTest::newRow("a mount listed twice counts once")
        << Mounts{{"/", "overlay"}, {"/data", "xfs"}, {"/data/", "xfs"}} << Paths{"/", "/data"};
}

void TestDrives::realDrives() {
    QFETCH(Mounts, mounts);
    QFETCH(Paths, expected);
    QCOMPARE(StorageDriveSource::RealDrives(mounts), expected);
}

void TestDrives::driveHolding_data() {
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("folder on root") << QByteArray("/etc") << QByteArray("/");
    QTest::newRow("the mount point itself") << QByteArray("/home") << QByteArray("/home");
    QTest::newRow("below a mount") << QByteArray("/home/ann/docs") << QByteArray("/home");
    QTest::newRow("longest mount wins")
        << QByteArray("/home/ann/usb/x") << QByteArray("/home/ann/usb");
    QTest::newRow("a name that only starts like a mount")
        << QByteArray("/homework") << QByteArray("/");
}

void TestDrives::driveHolding() {
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, expected);
    QCOMPARE(DriveSource::DriveHolding({"/", "/home", "/home/ann/usb"}, folder), expected);
}

void TestDrives::unmountedDriveIsNotReady() {
    const StorageDriveSource source;
    QString reason;
    QVERIFY(source.Ready("/", reason));
    QVERIFY(!source.Ready("/no/such/mount", reason));
    QCOMPARE(reason, QStringLiteral("The drive /no/such/mount is not mounted or not ready."));
}

void TestDrives::driveListSelectsHoldingDriveAndSignalsChange() {
    FixedDriveSource source({"/", "/home", "/mnt/usb"});
    DriveListBox drives(source);
    QCOMPARE(drives.count(), 3);
    QSignalSpy changes(&drives, &DriveListBox::Change);

    drives.SetDrive("/home/ann/docs");
    QCOMPARE(drives.Drive(), DriveName("/home"));
    QCOMPARE(changes.count(), 1);
    // A screen reader hears the drive as the list's value, and finds the drop-down beneath it.
    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(&drives);
    QCOMPARE(heard->text(QAccessible::Value), QStringLiteral("/home"));
    QCOMPARE(heard->child(0)->object(), drives.view());

    drives.SetDrive("/home");
    QCOMPARE(changes.count(), 1);

    drives.SetDrive("/etc");
    QCOMPARE(drives.Drive(), DriveName("/"));
    QCOMPARE(changes.count(), 2);
}

void TestDrives::folderListShowsChainThenSubfolders() {
    QTemporaryDir root;
    const QByteArray base = QFile::encodeName(root.path());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("docs/b")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("docs/A")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("docs/.hidden")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("docs/usb")));
    QFile file(root.filePath(QStringLiteral("docs/file.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    // docs/usb is a drive of its own, reached through the drive list.
    FixedDriveSource source({"/", base, base + "/docs/usb"});
    DirListBox folders(source);
    QSignalSpy changes(&folders, &DirListBox::Change);
    QString error;

    QVERIFY2(folders.SetPath(base + "/docs/", error), qPrintable(error));

    QCOMPARE(folders.Path(), base + "/docs");
    QCOMPARE(folders.EntryPaths(),
             (Paths{base, base + "/docs", base + "/docs/A", base + "/docs/b"}));
    QCOMPARE(changes.count(), 1);
    QVERIFY(folders.SetPath(base + "/docs", error));
    QCOMPARE(changes.count(), 1);
}

void TestDrives::driveShowsItsCurrentFolder_data() {
    QTest::addColumn<QString>("currentFolder");
    QTest::addColumn<QByteArray>("shownBefore");
    QTest::addColumn<bool>("shownBeforeGone");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first visit: the mount point")
        << QString() << QByteArray() << false << QByteArray("d1");
    QTest::newRow("first visit: the process's current folder on that drive")
        << QStringLiteral("d1/cwd") << QByteArray() << false << QByteArray("d1/cwd");
    QTest::newRow("a current folder on another drive does not count")
        << QStringLiteral("d2/cwd") << QByteArray() << false << QByteArray("d1");
    QTest::newRow("return: the folder last shown there")
        << QStringLiteral("d1/cwd") << QByteArray("d1/a/b") << false << QByteArray("d1/a/b");
    QTest::newRow("a remembered folder that has gone is passed over")
        << QStringLiteral("d1/cwd") << QByteArray("d1/a/b") << true << QByteArray("d1/cwd");
}

void TestDrives::driveShowsItsCurrentFolder() {
    QFETCH(QString, currentFolder);
    QFETCH(QByteArray, shownBefore);
    QFETCH(bool, shownBeforeGone);
    QFETCH(QByteArray, expected);
    QTemporaryDir root;
    const QByteArray base = QFile::encodeName(root.path());
    for (const char* folder : {"d1/a/b", "d1/cwd", "d2/cwd"}) {
        QVERIFY(QDir(root.path()).mkpath(QString::fromLatin1(folder)));
    }
    FixedDriveSource source({"/", base + "/d1", base + "/d2"});
    DirListBox folders(source);
    QString error;
    if (!shownBefore.isEmpty()) {
        QVERIFY(folders.SetPath(base + '/' + shownBefore, error));
        QVERIFY(folders.SetPath(base + "/d2", error));
    }
    if (shownBeforeGone) {
        QVERIFY(QDir(root.filePath(QStringLiteral("d1/a"))).removeRecursively());
    }
    const QString previous = QDir::currentPath();
    if (!currentFolder.isEmpty()) {
        QVERIFY(QDir::setCurrent(root.filePath(currentFolder)));
    }

    const bool shown = folders.SetPath(DriveName(base + "/d1"), error);
    QDir::setCurrent(previous);

    QVERIFY2(shown, qPrintable(error));
    QCOMPARE(folders.Path(), base + '/' + expected);
}

void TestDrives::folderListRejectsMissingFolderAndKeepsPath() {
    QTemporaryDir root;
    const QByteArray base = QFile::encodeName(root.path());
    FixedDriveSource source;
    DirListBox folders(source);
    QString error;
    QVERIFY(folders.SetPath(base, error));
    const Paths before = folders.EntryPaths();
    QSignalSpy changes(&folders, &DirListBox::Change);

    QVERIFY(!folders.SetPath(base + "/missing", error));

    QCOMPARE(error, QStringLiteral("No such file or directory"));
    QCOMPARE(folders.Path(), base);
    QCOMPARE(folders.EntryPaths(), before);
    QCOMPARE(changes.count(), 0);
}

void TestDrives::cleanPath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("trailing separator") << QByteArray("/a/b/") << QByteArray("/a/b");
    QTest::newRow("doubled separators and dots") << QByteArray("//a/./b//") << QByteArray("/a/b");
    QTest::newRow("parent") << QByteArray("/a/b/../c") << QByteArray("/a/c");
    QTest::newRow("parent of root stays root") << QByteArray("/..") << QByteArray("/");
    QTest::newRow("relative path refused") << QByteArray("a/b") << QByteArray();
}

void TestDrives::cleanPath() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);
    QCOMPARE(DirListBox::CleanPath(path), expected);
}

QTEST_MAIN(TestDrives)
#include "tst_drives.moc"
