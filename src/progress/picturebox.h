// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Colours are 0x00BBGGRR, or 0x80000000 plus the index of a desktop scheme colour.
using OleColor = quint32;

// The system colour reference of the button face (dialog background).
inline constexpr OleColor kButtonFace = 0x8000000F;

// The drawing members of a picture box that the progress painter uses. Positions and
// sizes are in twips (1/1440 inch), relative to the top-left corner of the drawing area.
// A member may throw std::exception when it refuses a value; callers guard each use.
class PictureBox {
public:
    virtual ~PictureBox() = default;

    // True: the box keeps a persistent image of what is drawn and repaints from it.
    virtual void SetAutoRedraw(bool on) = 0;
    // 0: solid fill.
    virtual void SetFillStyle(qint16 style) = 0;
    // 0: solid lines.
    virtual void SetDrawStyle(qint16 style) = 0;
    // The box's outer width in twips, border included.
    virtual double Width() const = 0;
    // The box's outer height in twips, border included.
    virtual double Height() const = 0;
    // Fills the rectangle between two opposite corners (in either order), outline included,
    // with colour; parts outside the drawing area are clipped.
    virtual void Line(double x1, double y1, double x2, double y2, OleColor colour) = 0;
    // Told, after a drawing, which position of which maximum the picture shows, for those who
    // cannot see it. By default the box keeps nothing.
    virtual void SetProgressValue(qint32 position, qint32 maximum) {
        Q_UNUSED(position);
        Q_UNUSED(maximum);
    }
};
