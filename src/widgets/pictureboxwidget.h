// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "picturebox.h"

#include <QFrame>
#include <QImage>

#include <optional>

// A picture box: a sunken frame whose drawing area keeps a persistent image of everything
// drawn into it. Coordinates are twips at 15 twips per logical pixel. The image is always kept
// and Line always fills its box solid, so the three style setters only check their values.
// To assistive technology the box is a progress bar (what this program draws into it) whose
// value is the progress the picture shows.
class PictureBoxWidget : public QFrame, public PictureBox {
    Q_OBJECT

public:
    explicit PictureBoxWidget(QWidget* parent = nullptr);

    void SetAutoRedraw(bool on) override;
    void SetFillStyle(qint16 style) override;
    void SetDrawStyle(qint16 style) override;
    double Width() const override;
    double Height() const override;
    void Line(double x1, double y1, double x2, double y2, OleColor colour) override;
    // Keeps the progress the picture shows until the box is next hidden; a change while the
    // box is shown is announced to assistive technology.
    void SetProgressValue(qint32 position, qint32 maximum) override;

    struct Progress {
        qint32 position;
        qint32 maximum;
    };
    // The progress the picture shows; none while the box is hidden and until it is told.
    const std::optional<Progress>& ShownProgress() const { return progress_; }

    // The drawing area's persistent image, one pixel per logical pixel.
    const QImage& image() const { return image_; }
    // The colour a colour value stands for: explicit 0x00BBGGRR, or a system colour reference.
    QColor ResolveColour(OleColor colour) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // A box that is hidden shows no progress any more; a minimised window keeps it.
    void hideEvent(QHideEvent* event) override;

private:
    // After a drawing, repaints when the image differs from what the box last showed. It runs
    // as the event loop starts a pass (the next yield) or is about to wait, so a background
    // and a bar drawn back to back repaint once, and not at all when together they change no
    // pixel. (Not a posted call or a timer: those cost a run some system calls per file.)
    void ShowChanges();

    QImage image_;
    QImage shown_;        // the image as the last repaint showed it
    bool drawn_ = false;  // drawn into since the last ShowChanges
    std::optional<Progress> progress_;
};
