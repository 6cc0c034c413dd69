#include "widgets/controls/splitter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>

namespace kx {

struct PaneSplitter::Private {
    double share = 0.35;
    int dragOffset = -1;  // while dragging: where in the bar the mouse took hold; -1 otherwise

    /// Height the two panes divide between them.
    static int paneSpace(const QWidget& w) { return std::max(0, w.height() - BarThickness); }
    QRect barRect(const PaneSplitter& w) const { return {0, w.upperPaneHeight(), w.width(), BarThickness}; }
};

PaneSplitter::PaneSplitter(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    setMouseTracking(true);
}

PaneSplitter::~PaneSplitter() = default;

int PaneSplitter::upperPaneHeight() const {
    return static_cast<int>(std::lround(d->share * Private::paneSpace(*this)));
}

int PaneSplitter::lowerPaneTop() const {
    return upperPaneHeight() + BarThickness;
}

int PaneSplitter::lowerPaneBottom() const {
    return std::max(height(), lowerPaneTop());
}

double PaneSplitter::upperShare() const {
    return d->share;
}

void PaneSplitter::setUpperShare(double share) {
    share = std::clamp(share, 0.0, 1.0);
    if (share == d->share) return;
    d->share = share;
    update();
    emit panesChanged();
}

void PaneSplitter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    option.rect = d->barRect(*this);
    option.state |= QStyle::State_Horizontal;
    style()->drawControl(QStyle::CE_Splitter, &option, &painter, this);
}

void PaneSplitter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit panesChanged();
}

void PaneSplitter::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !d->barRect(*this).contains(pos)) {
        QWidget::mousePressEvent(event);
        return;
    }
    d->dragOffset = pos.y() - upperPaneHeight();
}

void PaneSplitter::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const bool overBar = d->barRect(*this).contains(pos);
    setCursor(overBar || d->dragOffset >= 0 ? Qt::SplitVCursor : Qt::ArrowCursor);
    if (d->dragOffset < 0) return;
    const int space = Private::paneSpace(*this);
    if (space > 0) setUpperShare(static_cast<double>(pos.y() - d->dragOffset) / space);
}

void PaneSplitter::mouseReleaseEvent(QMouseEvent* event) {
    d->dragOffset = -1;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace kx
