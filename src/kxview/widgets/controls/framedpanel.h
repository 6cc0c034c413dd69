// A framed panel: a one-pixel border in a colour of its own, with an optional caption strip and close
// button. Its container places the panel's content inside it.
#pragma once

#include <QColor>
#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// The framed panel control.
class KXVIEW_EXPORT FramedPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
    Q_PROPERTY(bool showClose READ showClose WRITE setShowClose)
    Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor)

public:
    explicit FramedPanel(QWidget* parent = nullptr);
    ~FramedPanel() override;

    /// The caption shown in a strip along the top; an empty caption shows no strip.
    QString caption() const;
    void setCaption(const QString& caption);
    /// Whether the strip carries a close button (objectName "cmdClose").
    bool showClose() const;
    void setShowClose(bool show);
    /// The colour of the border.
    QColor borderColor() const;
    void setBorderColor(const QColor& color);

signals:
    /// The close button was clicked.
    void closeClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
