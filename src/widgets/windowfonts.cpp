// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowfonts.h"

#include <QFile>
#include <QFontDatabase>

namespace {

constexpr int kWindowPixels = 11;     // 8.25 pt at 96 dpi
constexpr int kLargeBoldPixels = 13;  // 9.75 pt at 96 dpi

// Only the regular face: Wine's bold face draws no heavier than the regular one, while the
// bold that Qt derives from the regular face looks as Tahoma Bold should.
const char kTahomaFile[] = "/usr/share/wine/fonts/tahoma.ttf";

QFont Font(const QString& family, int pixels, bool bold) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

WindowFonts Fonts(const QString& family, int smaller) {
    return {Font(family, kWindowPixels - smaller, false),
            Font(family, kWindowPixels - smaller, true),
            Font(family, kLargeBoldPixels - smaller, true)};
}

}  // namespace

bool WindowFonts::LoadTahoma() {
    static const bool loaded = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
            return true;
        }
        if (QFile::exists(QString::fromLatin1(kTahomaFile))) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(kTahomaFile));
        }
        return QFontDatabase::hasFamily(QStringLiteral("Tahoma"));
    }();
    return loaded;
}

WindowFonts WindowFonts::Standard() {
    if (LoadTahoma()) {
        return Fonts(QStringLiteral("Tahoma"), 0);
    }
    return Substitute();
}

WindowFonts WindowFonts::Substitute() {
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans Condensed"))) {
        return Fonts(QStringLiteral("DejaVu Sans Condensed"), 1);
    }
    return Fonts(QStringLiteral("DejaVu Sans"), 2);
}
