// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "picturebox.h"

#include <QByteArrayList>
#include <QList>
#include <QPair>

#include <stdexcept>

// Records the painter's calls; a member named in failing throws instead.
class FakePictureBox : public PictureBox {
public:
    struct Fill {
        double x1, y1, x2, y2;
        OleColor colour;
    };

    void SetAutoRedraw(bool on) override {
        Check("AutoRedraw");
        calls.append("AutoRedraw=" + QByteArray::number(on));
    }
    void SetFillStyle(qint16 style) override {
        Check("FillStyle");
        calls.append("FillStyle=" + QByteArray::number(style));
    }
    void SetDrawStyle(qint16 style) override {
        Check("DrawStyle");
        calls.append("DrawStyle=" + QByteArray::number(style));
    }
    double Width() const override {
        Check("Width");
        return width;
    }
    double Height() const override {
        Check("Height");
        return height;
    }
    void Line(double x1, double y1, double x2, double y2, OleColor colour) override {
        Check("Line");
        fills.append({x1, y1, x2, y2, colour});
    }
    void SetProgressValue(qint32 position, qint32 maximum) override {
        Check("ProgressValue");
        told.append({position, maximum});
    }

    double width = 3255;
    double height = 330;
    QByteArrayList failing;
    QByteArrayList calls;
    QList<Fill> fills;
    QList<QPair<qint32, qint32>> told;  // position and maximum, as SetProgressValue got them

private:
    void Check(const QByteArray& member) const {
        if (failing.contains(member)) {
            throw std::runtime_error(member.toStdString());
        }
    }
};
