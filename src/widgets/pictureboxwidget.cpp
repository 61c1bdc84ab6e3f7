// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictureboxwidget.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHideEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

constexpr double kTwipsPerPixel = 15.0;

int ToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

// A progress bar from 0 to the maximum, at the progress the box shows; 0 of 0 while it shows
// none. The role and the value stay whatever the box shows: screen readers keep both as they
// first read them, so a box that became a progress bar only during a run would never be heard.
// The value is read-only.
class PictureBoxAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit PictureBoxAccessible(PictureBoxWidget* box)
        : QAccessibleWidget(box, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return Shown().position; }
    void setCurrentValue(const QVariant& value) override { Q_UNUSED(value); }
    QVariant maximumValue() const override { return Shown().maximum; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    PictureBoxWidget::Progress Shown() const {
        return static_cast<const PictureBoxWidget*>(widget())->ShownProgress().value_or(
            PictureBoxWidget::Progress{0, 0});
    }
};

QAccessibleInterface* MakePictureBoxAccessible(const QString& key, QObject* object) {
    auto* box = qobject_cast<PictureBoxWidget*>(object);
    if (!box || key != QLatin1String(PictureBoxWidget::staticMetaObject.className())) {
        return nullptr;
    }
    return new PictureBoxAccessible(box);
}

}  // namespace

PictureBoxWidget::PictureBoxWidget(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::TabFocus);
    // The frame and the image cover every pixel: a repaint of the bar need not repaint what
    // lies beneath the box.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QAccessible::installFactory(&MakePictureBoxAccessible);  // once: a second install is ignored
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &PictureBoxWidget::ShowChanges);
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &PictureBoxWidget::ShowChanges);
    }
}

void PictureBoxWidget::SetAutoRedraw(bool on) {
    Q_UNUSED(on);
}

void PictureBoxWidget::SetFillStyle(qint16 style) {
    if (style < 0 || style > 7) {
        throw std::invalid_argument("FillStyle");
    }
}

void PictureBoxWidget::SetDrawStyle(qint16 style) {
    if (style < 0 || style > 6) {
        throw std::invalid_argument("DrawStyle");
    }
}

double PictureBoxWidget::Width() const {
    return width() * kTwipsPerPixel;
}

double PictureBoxWidget::Height() const {
    return height() * kTwipsPerPixel;
}

QColor PictureBoxWidget::ResolveColour(OleColor colour) const {
    if (colour & 0x80000000u) {
        switch (colour & 0xFFu) {
            case 0x0F:  // button face
                return palette().color(QPalette::Button);
            case 0x05:  // window background
                return palette().color(QPalette::Base);
            case 0x08:  // window text
                return palette().color(QPalette::Text);
            case 0x12:  // button text
                return palette().color(QPalette::ButtonText);
            default:
                throw std::invalid_argument("system colour");
        }
    }
    if (colour > 0x00FFFFFFu) {
        throw std::invalid_argument("colour");
    }
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

void PictureBoxWidget::Line(double x1, double y1, double x2, double y2, OleColor colour) {
    const QColor fill = ResolveColour(colour);
    const QRect area(ToPixels(std::min(x1, x2)), ToPixels(std::min(y1, y2)),
                     ToPixels(std::max(x1, x2)) - ToPixels(std::min(x1, x2)),
                     ToPixels(std::max(y1, y2)) - ToPixels(std::min(y1, y2)));
    const QRect clipped = area.intersected(image_.rect());
    if (!clipped.isEmpty()) {
        QRgb* first = reinterpret_cast<QRgb*>(image_.scanLine(clipped.top())) + clipped.left();
        std::fill(first, first + clipped.width(), fill.rgb());
        const auto rowBytes = std::size_t(clipped.width()) * sizeof(QRgb);
        for (int y = clipped.top() + 1; y <= clipped.bottom(); ++y) {
            std::memcpy(reinterpret_cast<QRgb*>(image_.scanLine(y)) + clipped.left(), first,
                        rowBytes);
        }
    }
    // Without AutoRedraw the drawing still lands in the image; the box repaints from it.
    drawn_ = true;
}

void PictureBoxWidget::SetProgressValue(qint32 position, qint32 maximum) {
    const bool changed =
        !progress_ || progress_->position != position || progress_->maximum != maximum;
    progress_ = Progress{position, maximum};
    if (changed && isVisible()) {
        QAccessibleValueChangeEvent event(this, position);
        QAccessible::updateAccessibility(&event);
    }
}

void PictureBoxWidget::ShowChanges() {
    if (!drawn_) {
        return;
    }
    drawn_ = false;
    const bool same = image_.size() == shown_.size() && image_.format() == shown_.format() &&
                      (image_.isNull() || std::memcmp(image_.constBits(), shown_.constBits(),
                                                      std::size_t(image_.sizeInBytes())) == 0);
    if (!same) {
        repaint(contentsRect());
    }
}

void PictureBoxWidget::paintEvent(QPaintEvent* event) {
    // Drawing asks only for the drawing area again; the border is drawn when it is uncovered.
    if (!contentsRect().contains(event->rect())) {
        QFrame::paintEvent(event);
    }
    shown_ = image_;
    QPainter painter(this);
    const QRect dirty = event->rect().intersected(contentsRect());
    painter.drawImage(dirty, image_, dirty.translated(-contentsRect().topLeft()));
}

void PictureBoxWidget::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    QImage resized(contentsRect().size(), QImage::Format_RGB32);
    resized.fill(palette().color(QPalette::Button));
    QPainter painter(&resized);
    painter.drawImage(0, 0, image_);
    painter.end();
    image_ = resized;
}

void PictureBoxWidget::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    if (!event->spontaneous()) {
        progress_.reset();
    }
}
