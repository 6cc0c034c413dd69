// The text box of the component's dialogs: one line of text and a notification when Enter is pressed in
// it.
#pragma once

#include <QWidget>
#include "kxview/kxview_export.h"

class QLineEdit;

namespace kx {

/// The text box control.
class KXVIEW_EXPORT KXText : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE setText)

public:
    explicit KXText(QWidget* parent = nullptr);

    /// The text in the box.
    QString Text() const;
    void setText(const QString& text);

signals:
    /// Enter (character code 13) was pressed in the box.
    void EnterPressed();

private:
    QLineEdit* m_edit;
};

}  // namespace kx
