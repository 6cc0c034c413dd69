// Shared form instances: each form class has one object per process, created on first use and kept, so
// values set on it last between showings.
#pragma once

#include <QPointer>

#include "widgets/services/messageboxes.h"

namespace kx {

/// The one instance of `Form` (a QDialog subclass with a default constructor), created on first use. Its
/// message boxes appear on the screen (useMessageBoxes).
template <typename Form>
Form& sharedForm() {
    // A static QPointer keeps the form reachable until the process ends and notices if Qt deleted it.
    static QPointer<Form> form;
    if (form.isNull()) {
        useMessageBoxes();
        form = new Form;
    }
    return *form;
}

}  // namespace kx
