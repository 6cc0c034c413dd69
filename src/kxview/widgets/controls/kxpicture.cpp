#include "widgets/controls/kxpicture.h"

#include <QPainter>
#include <QPainterPath>

namespace kx {
namespace {

constexpr int kSide = 16;

void drawConfirm(QPainter& p) {
    QPainterPath tick;
    tick.moveTo(2.5, 8.5);
    tick.lineTo(6.5, 12.5);
    tick.lineTo(13.5, 3.5);
    p.setPen(QPen(QColor(30, 140, 50), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

void drawCancel(QPainter& p) {
    p.setPen(QPen(QColor(200, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

/// The picture drawn for device pixel ratio `ratio`.
QPixmap drawPicture(KXPicture::Picture picture, int ratio) {
    QPixmap pixmap(kSide * ratio, kSide * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (picture == KXPicture::Picture::Confirm) {
        drawConfirm(p);
    } else {
        drawCancel(p);
    }
    return pixmap;
}

}  // namespace

KXPicture::KXPicture(Picture picture, const QString& caption, QWidget* parent) : QToolButton(parent) {
    QIcon icon;
    for (int ratio : {1, 2}) icon.addPixmap(drawPicture(picture, ratio));
    setIcon(icon);
    setIconSize(QSize(kSide, kSide));
    setText(caption);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
}

}  // namespace kx
