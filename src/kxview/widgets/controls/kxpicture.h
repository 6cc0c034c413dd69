// The picture button of the component's dialogs: a drawn picture beside a caption, raised under the
// mouse, reporting clicks.
#pragma once

#include <QToolButton>
#include "kxview/kxview_export.h"

namespace kx {

/// The picture button control.
class KXVIEW_EXPORT KXPicture : public QToolButton {
    Q_OBJECT

public:
    /// The pictures the dialogs use.
    enum class Picture { Confirm, Cancel, Delete, Import, Download };

    /// A button showing `picture` beside `caption`.
    KXPicture(Picture picture, const QString& caption, QWidget* parent = nullptr);
};

}  // namespace kx
