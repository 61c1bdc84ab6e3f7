// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small file helpers shared by the tests that work on a real folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTest>

// Writes content to path, replacing what was there.
inline void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// The whole content of path, or "<unreadable>".
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every entry of a folder, hidden ones included, sorted.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
