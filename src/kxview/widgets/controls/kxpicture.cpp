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

void drawDelete(QPainter& p) {
    // A waste bin: lid, handle and a body with two ribs.
    p.setPen(QPen(QColor(90, 90, 90), 1.2));
    p.setBrush(QColor(200, 205, 210));
    p.drawRect(QRectF(4.5, 5.5, 7, 9));
    p.drawLine(QPointF(2.5, 4.5), QPointF(13.5, 4.5));
    p.drawLine(QPointF(6.5, 2.5), QPointF(9.5, 2.5));
    p.drawLine(QPointF(6.5, 7.5), QPointF(6.5, 12.5));
    p.drawLine(QPointF(9.5, 7.5), QPointF(9.5, 12.5));
}

void drawImport(QPainter& p) {
    // An open folder with an arrow going into it.
    p.setPen(QPen(QColor(150, 110, 30), 1.2));
    p.setBrush(QColor(245, 205, 110));
    p.drawRect(QRectF(1.5, 6.5, 13, 8));
    p.setPen(QPen(QColor(30, 100, 180), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 10));
    p.drawLine(QPointF(5, 7), QPointF(8, 10));
    p.drawLine(QPointF(11, 7), QPointF(8, 10));
}

void drawDownload(QPainter& p) {
    // A globe with a downward arrow before it.
    p.setPen(QPen(QColor(40, 110, 170), 1.1));
    p.setBrush(QColor(190, 225, 250));
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    p.drawLine(QPointF(1.5, 7), QPointF(12.5, 7));
    p.drawEllipse(QRectF(4.5, 1.5, 5, 11));
    p.setPen(QPen(QColor(30, 140, 50), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(12, 8), QPointF(12, 14.5));
    p.drawLine(QPointF(9.5, 12), QPointF(12, 14.5));
    p.drawLine(QPointF(14.5, 12), QPointF(12, 14.5));
}

/// The picture drawn for device pixel ratio `ratio`.
QPixmap drawPicture(KXPicture::Picture picture, int ratio) {
    QPixmap pixmap(kSide * ratio, kSide * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (picture) {
        case KXPicture::Picture::Confirm:
            drawConfirm(p);
            break;
        case KXPicture::Picture::Cancel:
            drawCancel(p);
            break;
        case KXPicture::Picture::Delete:
            drawDelete(p);
            break;
        case KXPicture::Picture::Import:
            drawImport(p);
            break;
        case KXPicture::Picture::Download:
            drawDownload(p);
            break;
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
