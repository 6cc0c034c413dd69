#include "widgets/controls/framedpanel.h"

#include <QPainter>
#include <QToolButton>

namespace kx {
namespace {

constexpr int kStripHeight = 20;  // the caption strip, in pixels

}  // namespace

struct FramedPanel::Private {
    QString caption;
    QColor border{128, 128, 128};
    QToolButton* close = nullptr;
    bool closeShown = false;

    bool hasStrip() const { return !caption.isEmpty() || closeShown; }
};

FramedPanel::FramedPanel(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    d->close = new QToolButton(this);
    d->close->setObjectName(QStringLiteral("cmdClose"));
    d->close->setText(QStringLiteral("×"));
    d->close->setAutoRaise(true);
    d->close->hide();
    connect(d->close, &QToolButton::clicked, this, &FramedPanel::closeClicked);
}

FramedPanel::~FramedPanel() = default;

QString FramedPanel::caption() const {
    return d->caption;
}

void FramedPanel::setCaption(const QString& caption) {
    d->caption = caption;
    update();
}

bool FramedPanel::showClose() const {
    return d->closeShown;
}

void FramedPanel::setShowClose(bool show) {
    d->closeShown = show;
    d->close->setVisible(show);
    update();
}

QColor FramedPanel::borderColor() const {
    return d->border;
}

void FramedPanel::setBorderColor(const QColor& color) {
    d->border = color;
    update();
}

void FramedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (d->hasStrip()) {
        const QRect strip(1, 1, width() - 2, kStripHeight);
        painter.fillRect(strip, palette().button());
        painter.setPen(palette().buttonText().color());
        painter.drawText(strip.adjusted(4, 0, -kStripHeight, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         d->caption);
    }
    painter.setPen(d->border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void FramedPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d->close->setGeometry(width() - kStripHeight, 1, kStripHeight - 1, kStripHeight - 1);
}

}  // namespace kx
