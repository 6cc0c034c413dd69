// Geometry in twips, the unit the component's layouts are written in, and its conversion to pixels.
//
// Layouts keep their numbers in twips; only placing a widget and reading its geometry convert, at a
// fixed 15 twips per pixel.
#pragma once

#include <QRect>
#include "kxview/kxview_export.h"

class QWidget;

namespace kx {

/// Twips in one pixel, fixed whatever the screen.
inline constexpr int kTwipsPerPixel = 15;

/// Pixels of a twip length, rounded to the nearest pixel (halves away from zero).
KXVIEW_EXPORT int toPixels(int twips);
/// Twips of a pixel length.
constexpr int toTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

/// A rectangle in twips: left, top, width, height.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

/// Places `widget` at `rect` (relative to its parent). A negative size, or one beyond what a widget
/// can have, is refused: the widget stays where it was and false is returned.
KXVIEW_EXPORT bool setTwipGeometry(QWidget& widget, const TwipRect& rect);

/// The geometry of `widget` in twips: the rectangle last given to setTwipGeometry while the widget
/// still sits where that put it, else its pixel geometry in twips.
KXVIEW_EXPORT TwipRect twipGeometry(const QWidget& widget);

}  // namespace kx
