// SPDX-License-Identifier: GPL-3.0-or-later
#include "applicationrecord.h"

#include "applicationversion.h"

#include <QApplication>

QString ApplicationRecord::Title() {
    return QStringLiteral("Quillmark");
}

int ApplicationRecord::Major() {
    return kVersionMajor;
}

int ApplicationRecord::Minor() {
    return kVersionMinor;
}

int ApplicationRecord::Revision() {
    return kVersionRevision;
}

QString ApplicationRecord::VersionText() {
    return QString::fromLatin1(kVersionText);
}

QIcon ApplicationRecord::Icon() {
    return QIcon(QStringLiteral(":/quillmark.xpm"));
}

void ApplicationRecord::Install() {
    QCoreApplication::setApplicationName(Title());
    QCoreApplication::setApplicationVersion(VersionText());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillmark.Quillmark"));
    QApplication::setWindowIcon(Icon());
}

QString GetVersionString() {
    return GetVersionString(ApplicationRecord::Major(), ApplicationRecord::Minor(),
                            ApplicationRecord::Revision());
}

QString GetVersionString(int major, int minor, int revision) {
    return QString::number(major) + QLatin1Char('.') + QString::number(minor) +
           QString::number(revision);
}
