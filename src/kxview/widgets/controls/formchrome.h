// Pieces of the borderless dialogs: a title that drags its window, and the drawn close button.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include "kxview/kxview_export.h"

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace kx {

/// Lets the user move the borderless window of `handle` by dragging `handle` with the left button: the
/// window system moves it where it can, otherwise the window follows the mouse.
KXVIEW_EXPORT void makeWindowDragHandle(QWidget* handle);

/// The framed body of borderless dialog `dialog`: a frame named "fraBody" with a thin blue-grey border
/// on `background` ("#f5f8fc", "#ffffff"), filling the dialog. The dialog's widgets go into it.
KXVIEW_EXPORT QFrame* addDialogBody(QWidget* dialog, const char* background);

/// The bold title "lblTitle" of a borderless dialog, showing `text`; dragging it moves the dialog.
KXVIEW_EXPORT QLabel* addDialogTitle(QWidget* parent, const QString& text);

/// The flat close button of a borderless dialog's title row: "cmdClose", 22 pixels square, the drawn
/// cross, tip "关闭". The caller connects it.
KXVIEW_EXPORT QPushButton* addCloseButton(QWidget* parent);

/// Colour `index` (0 to 15) of the basic 16-colour palette: 0 black, 1 dark blue, ... 12 red, 15 white.
KXVIEW_EXPORT QColor basicPaletteColor(int index);

/// A close cross of `side` pixels, drawn grey on a clear ground, or white on red when `highlighted`.
KXVIEW_EXPORT QPixmap closeGlyph(int side, bool highlighted);

}  // namespace kx
