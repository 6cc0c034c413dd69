// The body both picker forms share: the catalogue's tree beside the selected entry's label and
// description, above a row of picture buttons, and the display the core's picker fills.
#pragma once

#include <QString>

#include "core/pickers/picker_support.h"
#include "widgets/controls/kxpicture.h"

class QDialog;
class QHBoxLayout;
class QLabel;
class QWidget;

namespace kx {

class KXTree;
class KXWebText;

/// The controls of a picker form, laid out on it.
class PickerBody : public PickerDisplay {
public:
    /// Lays the controls out on `form`; the tree's nodes show image `nodeImage` of the pickers' images.
    PickerBody(QDialog& form, qint16 nodeImage);

    /// The application directory the description's resources are read below.
    void setAppPath(const QString& appPath) { m_appPath = appPath; }
    void showEntryInfo(const QString& label, const QString& description) override;

    /// Adds a button named `name` at the left of the button row (actions on the entry), or at the right
    /// (confirm and cancel) when `confirming`.
    KXPicture* addButton(const char* name, KXPicture::Picture picture, const QString& caption,
                         bool confirming);
    /// Makes Return and Enter press `button` while it is shown, as a dialog's default button does (the
    /// picture buttons are tool buttons, which a dialog never presses by itself); null: they press nothing.
    void pressOnEnter(KXPicture* button);

    KXTree* tree;
    QLabel* lbl1;
    KXWebText* description;

private:
    QWidget& m_form;
    QHBoxLayout* m_actions;
    QHBoxLayout* m_confirm;
    QString m_appPath;
    QObject* m_enterPresses = nullptr;
};

}  // namespace kx
