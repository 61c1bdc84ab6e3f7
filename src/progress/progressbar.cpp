#include "progressbar.h"

#include "picturebox.h"

#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr OleColor kBarColour = 0x007F0000;  // red 0, green 0, blue 127

// Runs one step of the painter; a step that fails is abandoned and the next one runs.
template <typename Step>
void Guarded(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

struct StepFailed : std::exception {};

PictureBox& Box(PictureBox* box) {
    if (!box) {
        throw StepFailed();
    }
    return *box;
}

}  // namespace

void DrawProgressBar(PictureBox* progressBox, const qint32& position, const qint32& maximum) {
    qint32 filledWidth = 0;

    Guarded([&] { Box(progressBox).SetAutoRedraw(true); });
    Guarded([&] { Box(progressBox).SetFillStyle(0); });
    Guarded([&] { Box(progressBox).SetDrawStyle(0); });
    Guarded([&] {
        const double quotient = static_cast<double>(position) / static_cast<double>(maximum);
        if (!std::isfinite(quotient)) {
            throw StepFailed();  // 0 / 0, or a division by zero
        }
        // nearbyint rounds exact halves to the even neighbour in the default rounding mode.
        const double product = std::nearbyint(quotient * Box(progressBox).Width());
        if (!(product >= std::numeric_limits<qint32>::min() &&
              product <= std::numeric_limits<qint32>::max())) {
            throw StepFailed();
        }
        filledWidth = static_cast<qint32>(product);
    });
    Guarded([&] {
        PictureBox& box = Box(progressBox);
        const double width = box.Width();
        const double height = box.Height();
        box.Line(0, 0, width, height, kButtonFace);
    });
    Guarded([&] {
        qint32 barEnd = 0;
        if (__builtin_sub_overflow(filledWidth, 10, &barEnd)) {
            throw StepFailed();
        }
        PictureBox& box = Box(progressBox);
        box.Line(0, 0, barEnd, box.Height(), kBarColour);
    });
}
