// SPDX-License-Identifier: GPL-3.0-or-later
// The real message box: flag decoding, answers, title, and a prompt too long for the screen.
#include "msgboxstyle.h"
#include "qtmessagebox.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Runs action on the message box once it is open.
void WhenOpen(std::function<void(QDialog*)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

}  // namespace

class TestQtMessageBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Quillmark")); }

    void decodesFlags_data();
    void decodesFlags();
    void returnsTheButtonPressed_data();
    void returnsTheButtonPressed();
    void buttonsCarryAccessLetters_data();
    void buttonsCarryAccessLetters();
    void escapeAnswersNoOrOk_data();
    void escapeAnswersNoOrOk();
    void titleDefaultsToApplicationTitle();
    void longPromptStaysWithinScreenAndScrolls();
    void shortPromptIsSelectableWithLineFeedsAndFits();
    void promptWrapsAtTheWindowsWidthInItsFont();
};

void TestQtMessageBox::decodesFlags_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("defaultButton");
    using R = QList<int>;
    QTest::newRow("16: OK, critical") << 16 << R{1} << int(MsgBoxIcon::Critical) << 0;
    QTest::newRow("48: OK, exclamation") << 48 << R{1} << int(MsgBoxIcon::Exclamation) << 0;
    QTest::newRow("64: OK, information") << 64 << R{1} << int(MsgBoxIcon::Information) << 0;
    QTest::newRow("292: Yes/No, question, No default")
        << 292 << R{6, 7} << int(MsgBoxIcon::Question) << 1;
    QTest::newRow("308: Yes/No, exclamation, No default")
        << 308 << R{6, 7} << int(MsgBoxIcon::Exclamation) << 1;
    QTest::newRow("4: Yes/No, Yes default") << 4 << R{6, 7} << int(MsgBoxIcon::None) << 0;
    QTest::newRow("512 on two buttons falls back to the first")
        << 516 << R{6, 7} << int(MsgBoxIcon::None) << 0;
}

void TestQtMessageBox::decodesFlags() {
    QFETCH(int, flags);
    QFETCH(QList<int>, buttons);
    QFETCH(int, icon);
    QFETCH(int, defaultButton);
    const MsgBoxStyle style = MsgBoxStyle::FromFlags(flags);
    QCOMPARE(style.buttons, buttons);
    QCOMPARE(int(style.icon), icon);
    QCOMPARE(style.defaultButton, defaultButton);
}

void TestQtMessageBox::returnsTheButtonPressed_data() {
    QTest::addColumn<int>("flags");
    // A button's name to click, or keys typed into the focused widget: "Tab" and "Shift+Tab"
    // move the focus, "Text" puts it on the prompt, anything else is one key sequence.
    QTest::addColumn<QStringList>("press");
    QTest::addColumn<int>("expected");
    QTest::newRow("OK pressed") << 64 << QStringList{"msgBoxButton1"} << 1;
    QTest::newRow("Yes pressed") << 308 << QStringList{"msgBoxButton6"} << 6;
    QTest::newRow("No pressed") << 292 << QStringList{"msgBoxButton7"} << 7;
    QTest::newRow("Enter takes No, the default of 308") << 308 << QStringList{"Return"} << 7;
    QTest::newRow("Enter takes OK of 48") << 48 << QStringList{"Return"} << 1;
    QTest::newRow("Enter presses the focused Yes")
        << 308 << QStringList{"Shift+Tab", "Return"} << 6;
    QTest::newRow("keypad Enter presses the focused Yes")
        << 292 << QStringList{"Shift+Tab", "Enter"} << 6;
    QTest::newRow("Y answers Yes") << 308 << QStringList{"Y"} << 6;
    QTest::newRow("Shift+Y answers Yes") << 308 << QStringList{"Shift+Y"} << 6;
    QTest::newRow("Alt+Y answers Yes") << 308 << QStringList{"Alt+Y"} << 6;
    QTest::newRow("N answers No with Yes focused") << 292 << QStringList{"Shift+Tab", "N"} << 7;
    QTest::newRow("Alt+N answers No with Yes focused")
        << 292 << QStringList{"Shift+Tab", "Alt+N"} << 7;
    QTest::newRow("Y answers Yes from the prompt") << 308 << QStringList{"Text", "Y"} << 6;
    QTest::newRow("O answers OK") << 64 << QStringList{"O"} << 1;
    QTest::newRow("Alt+U answers Undo beside OK") << 70 << QStringList{"Alt+U"} << 8;
    QTest::newRow("U answers Undo beside OK") << 70 << QStringList{"U"} << 8;
    QTest::newRow("Alt+O answers OK") << 16 << QStringList{"Alt+O"} << 1;
    QTest::newRow("a letter of no button answers nothing")
        << 292 << QStringList{"X", "msgBoxButton6"} << 6;
}

void TestQtMessageBox::returnsTheButtonPressed() {
    QFETCH(int, flags);
    QFETCH(QStringList, press);
    QFETCH(int, expected);
    WhenOpen([press](QDialog* dialog) {
        QApplication::setActiveWindow(dialog);
        for (const QString& step : press) {
            QWidget* focused = dialog->focusWidget();
            if (step.startsWith(QLatin1String("msgBoxButton"))) {
                dialog->findChild<QPushButton*>(step)->click();
            } else if (step == QLatin1String("Text")) {
                dialog->findChild<QTextEdit*>(QStringLiteral("msgBoxText"))->setFocus();
            } else if (step == QLatin1String("Tab") || step == QLatin1String("Shift+Tab")) {
                QTest::keyClick(focused,
                                step == QLatin1String("Tab") ? Qt::Key_Tab : Qt::Key_Backtab);
            } else {
                QTest::keySequence(focused, QKeySequence(step));
            }
            // An access key presses its button after a short animation.
            if (QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 500)) {
                return;
            }
        }
        // Nothing answered: close it so that the test fails instead of hanging.
        dialog->done(100);
    });
    QtMessageBox box;
    QCOMPARE(box.MsgBox(QStringLiteral("Question?"), flags, QString()), expected);
}

void TestQtMessageBox::buttonsCarryAccessLetters_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("OK") << 64 << QStringList{"&OK"};
    QTest::newRow("Yes/No") << 292 << QStringList{"&Yes", "&No"};
    QTest::newRow("OK and Undo") << 70 << QStringList{"&OK", "&Undo"};
}

void TestQtMessageBox::buttonsCarryAccessLetters() {
    QFETCH(int, flags);
    QFETCH(QStringList, captions);
    QStringList shown;
    WhenOpen([&shown](QDialog* dialog) {
        for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
            shown.append(button->text());
        }
        dialog->done(1);
    });
    QtMessageBox box;
    box.MsgBox(QStringLiteral("x"), flags, QString());
    QCOMPARE(shown, captions);
}

void TestQtMessageBox::escapeAnswersNoOrOk_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("expected");
    QTest::newRow("Yes/No: No") << 292 << 7;
    QTest::newRow("OK only: OK") << 16 << 1;
    QTest::newRow("OK and Undo: OK") << 70 << 1;
}

void TestQtMessageBox::escapeAnswersNoOrOk() {
    QFETCH(int, flags);
    QFETCH(int, expected);
    WhenOpen([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QtMessageBox box;
    QCOMPARE(box.MsgBox(QStringLiteral("Sure?"), flags, QString()), expected);
}

void TestQtMessageBox::titleDefaultsToApplicationTitle() {
    QStringList titles;
    QStringList heard;  // the name a screen reader reads
    const auto record = [&](QDialog* dialog) {
        titles.append(dialog->windowTitle());
        heard.append(QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name));
        dialog->done(1);
    };
    QtMessageBox box;
    WhenOpen(record);
    box.MsgBox(QStringLiteral("x"), 64, QString());
    WhenOpen(record);
    box.MsgBox(QStringLiteral("x"), 292, QStringLiteral("Highlight?"));
    QCOMPARE(titles, (QStringList{"Quillmark", "Highlight?"}));
    QCOMPARE(heard, titles);
}

void TestQtMessageBox::longPromptStaysWithinScreenAndScrolls() {
    QString prompt = QStringLiteral(
        "Text find complete!\r\n\r\n5000 of 5000 selected files were "
        "found:\r\n");
    for (int i = 0; i < 5000; ++i) {
        prompt += QStringLiteral("a-rather-long-file-name-number-%1.txt\r\n").arg(i);
    }
    QSize shown;
    QString text;
    bool scrolls = false;
    WhenOpen([&](QDialog* dialog) {
        shown = dialog->frameGeometry().size();
        auto* edit = dialog->findChild<QTextEdit*>(QStringLiteral("msgBoxText"));
        text = edit->toPlainText();
        scrolls = edit->verticalScrollBar()->maximum() > 0;
        dialog->done(1);
    });
    QtMessageBox box;
    box.MsgBox(prompt, 64, QString());

    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    QVERIFY2(shown.height() <= screen.height() && shown.width() <= screen.width(),
             qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
    QVERIFY(scrolls);
    QVERIFY(text.endsWith(QStringLiteral("number-4999.txt\n")));
}

void TestQtMessageBox::shortPromptIsSelectableWithLineFeedsAndFits() {
    Qt::TextInteractionFlags flags;
    bool readOnly = false;
    bool scrolls = true;
    QString text;
    QAccessible::Role role = QAccessible::NoRole;
    QString description;
    WhenOpen([&](QDialog* dialog) {
        QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(dialog);
        role = alert->role();
        description = alert->text(QAccessible::Description);
        auto* edit = dialog->findChild<QTextEdit*>(QStringLiteral("msgBoxText"));
        scrolls = edit->verticalScrollBar()->maximum() > 0;
        flags = edit->textInteractionFlags();
        readOnly = edit->isReadOnly();
        text = edit->toPlainText();
        dialog->done(1);
    });
    QtMessageBox box;
    box.MsgBox(QStringLiteral("one\r\n\r\ntwo\rthree"), 64, QString());
    QVERIFY(flags & Qt::TextSelectableByMouse);
    QVERIFY(flags & Qt::TextSelectableByKeyboard);
    QVERIFY(readOnly);
    QVERIFY2(!scrolls, "a short prompt fits without scrolling");
    QCOMPARE(text, QStringLiteral("one\n\ntwo\nthree"));
    // A screen reader reads an alert's description as it opens.
    QCOMPARE(role, QAccessible::AlertMessage);
    QCOMPARE(description, text);
}

void TestQtMessageBox::promptWrapsAtTheWindowsWidthInItsFont() {
    QWidget window;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    window.setFont(font);
    window.setFixedSize(571, 511);
    window.show();
    QFont textFont;
    QFont buttonFont;
    int width = 0;
    int lines = 0;
    WhenOpen([&](QDialog* dialog) {
        auto* edit = dialog->findChild<QTextEdit*>(QStringLiteral("msgBoxText"));
        textFont = edit->font();
        buttonFont = dialog->findChild<QPushButton*>()->font();
        width = dialog->width();
        lines = int(edit->document()->documentLayout()->documentSize().height() /
                    QFontMetrics(textFont).lineSpacing());
        dialog->done(7);
    });
    QtMessageBox box(&window);
    box.MsgBox(QStringLiteral("Are you sure you wish to perform this text replace? Please remember "
                              "that it is NOT REVERSABLE. If you screw up some important files "
                              "it's tough luck!\r\n\r\nAre you sure?"),
               308, QStringLiteral("Are you sure?"));
    QCOMPARE(textFont.family(), font.family());
    QCOMPARE(textFont.pixelSize(), font.pixelSize());
    QCOMPARE(buttonFont.pixelSize(), font.pixelSize());
    // As wide as the window, give or take the wrap, never wider.
    QVERIFY2(width <= window.width() && width > window.width() * 3 / 4,
             qPrintable(QString::number(width)));
    QVERIFY2(lines >= 4, qPrintable(QString::number(lines)));  // two wrapped, an empty, one
}

QTEST_MAIN(TestQtMessageBox)
#include "tst_qtmessagebox.moc"
