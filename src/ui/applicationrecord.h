// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

// The application's own record: its title, which a message box without a title of its own
// shows, its version numbers and its icon.
class ApplicationRecord {
public:
    // "Quillmark".
    static QString Title();
    static int Major();
    static int Minor();
    static int Revision();
    // The version as the build states it, "1.01.0002".
    static QString VersionText();
    // The 16 x 16 icon: the application's, the window's and the Process button's picture.
    static QIcon Icon();
    // Makes the title, the version text and the icon the running application's own. Call
    // once, after the application object exists and before the window is created.
    static void Install();
};

// The version for the window caption: major, ".", minor and revision in plain decimal, the
// revision's digits following the minor's directly (1, 1, 2 gives "1.12").
QString GetVersionString();
// The same for any numbers (2, 10, 3 gives "2.103").
QString GetVersionString(int major, int minor, int revision);
