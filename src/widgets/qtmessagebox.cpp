// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtmessagebox.h"

#include "msgboxstyle.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The caption of each button, by the answer it gives; the letter after & answers the box,
// alone or with Alt.
struct ButtonCaption {
    int result;
    const char* text;
};
constexpr ButtonCaption kButtonCaptions[] = {
    {MsgBoxResult::OK, QT_TRANSLATE_NOOP("QtMessageBox", "&OK")},
    {MsgBoxResult::Cancel, QT_TRANSLATE_NOOP("QtMessageBox", "Cancel")},
    {MsgBoxResult::Abort, QT_TRANSLATE_NOOP("QtMessageBox", "&Abort")},
    {MsgBoxResult::Retry, QT_TRANSLATE_NOOP("QtMessageBox", "&Retry")},
    {MsgBoxResult::Ignore, QT_TRANSLATE_NOOP("QtMessageBox", "&Ignore")},
    {MsgBoxResult::Yes, QT_TRANSLATE_NOOP("QtMessageBox", "&Yes")},
    {MsgBoxResult::No, QT_TRANSLATE_NOOP("QtMessageBox", "&No")},
    {MsgBoxResult::Undo, QT_TRANSLATE_NOOP("QtMessageBox", "&Undo")},
};

QString ButtonText(int result) {
    for (const ButtonCaption& caption : kButtonCaptions) {
        if (caption.result == result) {
            return QApplication::translate("QtMessageBox", caption.text);
        }
    }
    return QApplication::translate("QtMessageBox", "&OK");
}

QStyle::StandardPixmap IconPixmap(MsgBoxIcon icon) {
    switch (icon) {
        case MsgBoxIcon::Critical:
            return QStyle::SP_MessageBoxCritical;
        case MsgBoxIcon::Question:
            return QStyle::SP_MessageBoxQuestion;
        case MsgBoxIcon::Exclamation:
            return QStyle::SP_MessageBoxWarning;
        case MsgBoxIcon::Information:
        case MsgBoxIcon::None:
            break;
    }
    return QStyle::SP_MessageBoxInformation;
}

// A dialog that a box without a Cancel or No button cannot be closed from, as Escape and the
// close box would otherwise answer for the user. The access letter of a button answers without
// Alt too, as message boxes do on the desktop. To assistive technology it is an alert, which a
// screen reader reads out, description (the prompt) included, as it opens.
class MessageDialog : public QDialog {
    Q_OBJECT

public:
    MessageDialog(QWidget* parent, int escapeResult)
        : QDialog(parent), escapeResult_(escapeResult) {
        QAccessible::installFactory(&MakeAccessible);  // once: a second install is ignored
    }

    void reject() override {
        if (escapeResult_ >= 0) {
            done(escapeResult_);
        }
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const Qt::KeyboardModifiers chord =
            event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        if (chord == Qt::NoModifier) {
            const QKeySequence withAlt(QKeyCombination(Qt::AltModifier, Qt::Key(event->key())));
            for (QPushButton* button : findChildren<QPushButton*>()) {
                if (QKeySequence::mnemonic(button->text()) == withAlt) {
                    button->click();
                    return;
                }
            }
        }
        QDialog::keyPressEvent(event);
    }
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

private:
    static QAccessibleInterface* MakeAccessible(const QString& key, QObject* object) {
        auto* dialog = qobject_cast<MessageDialog*>(object);
        if (!dialog || key != QLatin1String(staticMetaObject.className())) {
            return nullptr;
        }
        return new QAccessibleWidget(dialog, QAccessible::AlertMessage);
    }

    int escapeResult_;
};

}  // namespace

QtMessageBox::QtMessageBox(QWidget* parent) : parent_(parent) {}

QString QtMessageBox::DisplayText(const QString& prompt) {
    QString text = prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int QtMessageBox::MsgBox(const QString& prompt, int flags, const QString& title) {
    const MsgBoxStyle style = MsgBoxStyle::FromFlags(flags);
    MessageDialog dialog(parent_, style.EscapeResult());
    dialog.setWindowTitle(title.isEmpty() ? QCoreApplication::applicationName() : title);
    dialog.setSizeGripEnabled(false);
    dialog.setAccessibleDescription(DisplayText(prompt));
    if (parent_) {
        // A window's font does not pass to the dialogs it opens by itself.
        dialog.setFont(parent_->font());
    }

    auto* iconLabel = new QLabel(&dialog);
    if (style.icon != MsgBoxIcon::None) {
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        iconLabel->setPixmap(dialog.style()->standardIcon(IconPixmap(style.icon)).pixmap(size));
    }
    iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* text = new QTextEdit(&dialog);
    text->setObjectName(QStringLiteral("msgBoxText"));
    text->setAccessibleName(QApplication::translate("QtMessageBox", "Message"));
    text->setAcceptRichText(false);
    text->setPlainText(DisplayText(prompt));
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFrameShape(QFrame::NoFrame);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->viewport()->setAutoFillBackground(false);
    text->setFocusPolicy(Qt::StrongFocus);

    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);

    const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The text area is as wide as the longest line and as tall as the wrapped text. Its width
    // stops where the box would grow wider than the window it belongs to (half the screen
    // without one) and its height at two thirds of the screen; beyond that it scrolls.
    const QMargins margins = layout->contentsMargins();
    const int besideText =
        margins.left() + margins.right() + top->spacing() + iconLabel->sizeHint().width();
    const int boxWidth = parent_ ? parent_->width() : available.width() / 2;
    QTextDocument probe;
    probe.setDefaultFont(text->font());
    probe.setDocumentMargin(text->document()->documentMargin());
    probe.setDefaultTextOption(text->document()->defaultTextOption());
    probe.setPlainText(text->toPlainText());
    const int frame = 2 * text->frameWidth();
    const int maxWidth = std::max(240, boxWidth - besideText - frame);
    const int maxHeight = available.height() * 2 / 3;
    const int textWidth = std::clamp(int(std::ceil(probe.size().width())) + 2, 160, maxWidth);
    probe.setTextWidth(textWidth);
    const int wanted = int(std::ceil(probe.size().height())) + frame;
    const int scrollBar =
        wanted > maxHeight ? text->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    text->setFixedSize(textWidth + frame + scrollBar, std::min(wanted, maxHeight));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* defaultButton = nullptr;
    for (int i = 0; i < style.buttons.size(); ++i) {
        const int result = style.buttons[i];
        auto* button = new QPushButton(ButtonText(result), &dialog);
        button->setObjectName(QStringLiteral("msgBoxButton%1").arg(result));
        button->setAutoDefault(true);
        QObject::connect(button, &QPushButton::clicked, &dialog,
                         [&dialog, result] { dialog.done(result); });
        buttons->addWidget(button);
        if (i == style.defaultButton) {
            defaultButton = button;
        }
    }
    buttons->addStretch(1);

    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (defaultButton) {
        defaultButton->setDefault(true);
        defaultButton->setFocus();
    }
    const int result = dialog.exec();
    // exec returns 0 only when the dialog was closed from outside without an answer.
    return result > 0 ? result
                      : (style.EscapeResult() > 0 ? style.EscapeResult() : style.buttons.first());
}

#include "qtmessagebox.moc"
