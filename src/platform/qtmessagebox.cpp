#include "qtmessagebox.h"

#include "msgboxstyle.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
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

QString ButtonText(int result) {
    switch (result) {
        case MsgBoxResult::Cancel:
            return QApplication::translate("QtMessageBox", "Cancel");
        case MsgBoxResult::Abort:
            return QApplication::translate("QtMessageBox", "Abort");
        case MsgBoxResult::Retry:
            return QApplication::translate("QtMessageBox", "Retry");
        case MsgBoxResult::Ignore:
            return QApplication::translate("QtMessageBox", "Ignore");
        case MsgBoxResult::Yes:
            return QApplication::translate("QtMessageBox", "Yes");
        case MsgBoxResult::No:
            return QApplication::translate("QtMessageBox", "No");
        case MsgBoxResult::Undo:
            return QApplication::translate("QtMessageBox", "&Undo");
        default:
            return QApplication::translate("QtMessageBox", "OK");
    }
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
// close box would otherwise answer for the user.
class MessageDialog : public QDialog {
public:
    MessageDialog(QWidget* parent, int escapeResult)
        : QDialog(parent), escapeResult_(escapeResult) {}

    void reject() override {
        if (escapeResult_ >= 0) {
            done(escapeResult_);
        }
    }

private:
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

    auto* iconLabel = new QLabel(&dialog);
    if (style.icon != MsgBoxIcon::None) {
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        iconLabel->setPixmap(dialog.style()->standardIcon(IconPixmap(style.icon)).pixmap(size));
    }
    iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* text = new QTextEdit(&dialog);
    text->setObjectName(QStringLiteral("msgBoxText"));
    text->setAcceptRichText(false);
    text->setPlainText(DisplayText(prompt));
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFrameShape(QFrame::NoFrame);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->viewport()->setAutoFillBackground(false);
    text->setFocusPolicy(Qt::StrongFocus);

    const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The text area is as wide as the longest line and as tall as the wrapped text, but never
    // wider than half the screen or taller than two thirds of it; beyond that it scrolls.
    QTextDocument probe;
    probe.setDefaultFont(text->font());
    probe.setDocumentMargin(text->document()->documentMargin());
    probe.setDefaultTextOption(text->document()->defaultTextOption());
    probe.setPlainText(text->toPlainText());
    const int frame = 2 * text->frameWidth();
    const int maxWidth = std::max(240, available.width() / 2);
    const int maxHeight = available.height() * 2 / 3;
    const int textWidth = std::clamp(int(std::ceil(probe.size().width())) + 2, 160, maxWidth);
    probe.setTextWidth(textWidth);
    const int wanted = int(std::ceil(probe.size().height())) + frame;
    const int scrollBar =
        wanted > maxHeight ? text->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    text->setFixedSize(textWidth + frame + scrollBar, std::min(wanted, maxHeight));

    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel, 0, Qt::AlignTop);
    top->addWidget(text, 1);

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

    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
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
