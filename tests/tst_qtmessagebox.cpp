// The real message box: flag decoding, answers, title, and a prompt too long for the screen.
#include "msgboxstyle.h"
#include "qtmessagebox.h"

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
    void escapeAnswersNoOrOk_data();
    void escapeAnswersNoOrOk();
    void titleDefaultsToApplicationTitle();
    void longPromptStaysWithinScreenAndScrolls();
    void shortPromptIsSelectableWithLineFeedsAndFits();
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
    QTest::addColumn<QString>("press");  // a button's name, or "Enter" for the default one
    QTest::addColumn<int>("expected");
    QTest::newRow("OK pressed") << 64 << QStringLiteral("msgBoxButton1") << 1;
    QTest::newRow("Yes pressed") << 308 << QStringLiteral("msgBoxButton6") << 6;
    QTest::newRow("No pressed") << 292 << QStringLiteral("msgBoxButton7") << 7;
    QTest::newRow("Enter takes No, the default of 308") << 308 << QStringLiteral("Enter") << 7;
    QTest::newRow("Enter takes OK of 48") << 48 << QStringLiteral("Enter") << 1;
}

void TestQtMessageBox::returnsTheButtonPressed() {
    QFETCH(int, flags);
    QFETCH(QString, press);
    QFETCH(int, expected);
    WhenOpen([press](QDialog* dialog) {
        if (press == QLatin1String("Enter")) {
            QTest::keyClick(dialog, Qt::Key_Return);
        } else {
            dialog->findChild<QPushButton*>(press)->click();
        }
    });
    QtMessageBox box;
    QCOMPARE(box.MsgBox(QStringLiteral("Question?"), flags, QString()), expected);
}

void TestQtMessageBox::escapeAnswersNoOrOk_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("expected");
    QTest::newRow("Yes/No: No") << 292 << 7;
    QTest::newRow("OK only: OK") << 16 << 1;
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
    const auto record = [&titles](QDialog* dialog) {
        titles.append(dialog->windowTitle());
        dialog->done(1);
    };
    QtMessageBox box;
    WhenOpen(record);
    box.MsgBox(QStringLiteral("x"), 64, QString());
    WhenOpen(record);
    box.MsgBox(QStringLiteral("x"), 292, QStringLiteral("Highlight?"));
    QCOMPARE(titles, (QStringList{"Quillmark", "Highlight?"}));
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
    WhenOpen([&](QDialog* dialog) {
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
}

QTEST_MAIN(TestQtMessageBox)
#include "tst_qtmessagebox.moc"
