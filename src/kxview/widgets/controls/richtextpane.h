// The description pane: a read-only text box that keeps the text given to it exactly and shows CR, LF and
// CR LF each as one line break.
#pragma once

#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// The rich-text box control.
class KXVIEW_EXPORT RichTextPane : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE setText)

public:
    explicit RichTextPane(QWidget* parent = nullptr);
    ~RichTextPane() override;

    /// The text as it was set, line-break characters included.
    QString Text() const;
    void setText(const QString& text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
