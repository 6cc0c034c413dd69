// The toolbar's six images, drawn in code: tree diagram, chain link, open folder, binoculars, sheet over a
// tray, ball with a dotted arc.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include "kxview/kxview_export.h"

namespace kx {

/// Positions of the images in the strip.
enum ToolImage { ImgTree = 0, ImgLink, ImgFolder, ImgFind, ImgPrice, ImgCall, ToolImageCount };

/// The strip of images, each 16x16 logical pixels, drawn for device pixel ratio `ratio` (an image of
/// 96x16 times the ratio). The images are drawn on the grey of a button face, which then becomes fully
/// transparent: every pixel is either opaque or transparent.
KXVIEW_EXPORT QImage toolImageStrip(int ratio);

/// One icon per image, each holding a pixmap drawn for 1x and one drawn for 2x.
KXVIEW_EXPORT QList<QIcon> toolIcons();

}  // namespace kx
