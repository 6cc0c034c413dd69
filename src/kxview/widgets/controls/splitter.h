// The splitter below the browser's toolbar: an upper and a lower pane divided by a bar the user drags.
//
// The panes hold nothing themselves; the container places its controls over them, using the positions
// the splitter reports in pixels, and lays out again when the splitter says they changed.
#pragma once

#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// A horizontal bar dividing the widget into an upper and a lower pane.
class KXVIEW_EXPORT PaneSplitter : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double upperShare READ upperShare WRITE setUpperShare NOTIFY panesChanged)

public:
    /// Thickness of the bar in pixels.
    static constexpr int BarThickness = 5;

    explicit PaneSplitter(QWidget* parent = nullptr);
    ~PaneSplitter() override;

    /// Height of the upper pane in pixels.
    int upperPaneHeight() const;
    /// Top of the lower pane in pixels from the splitter's top (just below the bar).
    int lowerPaneTop() const;
    /// Bottom of the lower pane in pixels from the splitter's top.
    int lowerPaneBottom() const;

    /// The upper pane's share of the height the panes divide (0 to 1); kept when the splitter resizes.
    double upperShare() const;
    void setUpperShare(double share);

signals:
    /// The panes changed: the bar was dragged, or the splitter was resized.
    void panesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
