// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressbar.h"

#include "picturebox.h"

#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr OleColor kBarColour = 0x007F0000;  // red 0, green 0, blue 127

// Runs one step of the painter; a step whose box member fails is abandoned and the next
// step runs.
template <typename Step>
void Guarded(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

void DrawProgressBar(PictureBox* progressBox, const qint32& position, const qint32& maximum) {
    if (!progressBox) {
        return;  // every step would fail: nothing to draw into
    }
    PictureBox& box = *progressBox;
    qint32 filledWidth = 0;

    Guarded([&] { box.SetAutoRedraw(true); });
    Guarded([&] { box.SetFillStyle(0); });
    Guarded([&] { box.SetDrawStyle(0); });
    Guarded([&] {
        const double quotient = static_cast<double>(position) / static_cast<double>(maximum);
        if (!std::isfinite(quotient)) {
            return;  // 0 / 0, or a division by zero: the bar stays empty
        }
        // nearbyint rounds exact halves to the even neighbour in the default rounding mode.
        const double product = std::nearbyint(quotient * box.Width());
        if (product >= std::numeric_limits<qint32>::min() &&
            product <= std::numeric_limits<qint32>::max()) {
            filledWidth = static_cast<qint32>(product);
        }
    });
    Guarded([&] {
        const double width = box.Width();
        const double height = box.Height();
        box.Line(0, 0, width, height, kButtonFace);
    });
    Guarded([&] {
        qint32 barEnd = 0;
        if (!__builtin_sub_overflow(filledWidth, 10, &barEnd)) {
            box.Line(0, 0, barEnd, box.Height(), kBarColour);
        }
    });
    Guarded([&] { box.SetProgressValue(position, maximum); });
}
