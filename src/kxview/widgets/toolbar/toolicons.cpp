#include "widgets/toolbar/toolicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace kx {
namespace {

constexpr int kSide = 16;
// The button face the images are drawn on; its pixels become the transparent part.
const QColor kFace(240, 240, 240);

// Lines of one logical pixel drawn at half-pixel positions fall on whole device pixels at 1x and 2x.
QPen line(const QColor& color, qreal width = 1.0) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

void drawTree(QPainter& p) {
    p.setPen(line(QColor(90, 90, 90)));
    p.drawLine(QPointF(3.5, 4.5), QPointF(3.5, 13.5));
    p.drawLine(QPointF(3.5, 7.5), QPointF(8.5, 7.5));
    p.drawLine(QPointF(3.5, 13.5), QPointF(8.5, 13.5));
    p.setPen(line(QColor(30, 60, 140)));
    p.setBrush(QColor(80, 130, 210));
    p.drawRect(QRectF(0.5, 0.5, 6, 4));
    p.setPen(line(QColor(150, 100, 0)));
    p.setBrush(QColor(250, 205, 70));
    p.drawRect(QRectF(8.5, 5.5, 6, 4));
    p.drawRect(QRectF(8.5, 11.5, 6, 4));
}

void drawLink(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    QPen pen(QColor(70, 85, 110), 2.0);
    p.setPen(pen);
    for (const QPointF centre : {QPointF(5.5, 10.5), QPointF(10.5, 5.5)}) {
        p.save();
        p.translate(centre);
        p.rotate(-45);
        p.drawRoundedRect(QRectF(-4.5, -2.25, 9, 4.5), 2.25, 2.25);
        p.restore();
    }
    // The second link passes over the first at one crossing.
    pen.setColor(QColor(140, 155, 180));
    pen.setWidthF(1.0);
    p.setPen(pen);
    p.drawLine(QPointF(7.2, 9.8), QPointF(9.8, 7.2));
}

void drawFolder(QPainter& p) {
    p.setPen(line(QColor(150, 100, 0)));
    p.setBrush(QColor(220, 170, 40));
    QPolygonF back;
    back << QPointF(1.5, 3.5) << QPointF(5.5, 3.5) << QPointF(7.5, 5.5) << QPointF(13.5, 5.5)
         << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
    p.drawPolygon(back);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 222, 110));
    QPolygonF flap;
    flap << QPointF(4.5, 8.5) << QPointF(15.5, 8.5) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
    p.drawPolygon(flap);
}

void drawBinoculars(QPainter& p) {
    const QColor body(45, 45, 55);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRect(QRectF(3, 2, 3, 6));   // left eyepiece barrel
    p.drawRect(QRectF(10, 2, 3, 6));  // right eyepiece barrel
    p.drawRect(QRectF(6, 6, 4, 3));   // bridge
    p.setRenderHint(QPainter::Antialiasing);
    p.drawEllipse(QPointF(4.5, 11), 3.5, 3.5);
    p.drawEllipse(QPointF(11.5, 11), 3.5, 3.5);
    p.setBrush(QColor(110, 165, 225));
    p.drawEllipse(QPointF(4.5, 11), 2, 2);
    p.drawEllipse(QPointF(11.5, 11), 2, 2);
}

void drawSheet(QPainter& p) {
    p.setPen(line(QColor(100, 100, 100)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 8, 10));
    p.setPen(line(QColor(110, 140, 190)));
    for (qreal y : {4.5, 6.5, 8.5}) p.drawLine(QPointF(6, y), QPointF(11, y));
    p.setPen(line(QColor(50, 70, 110)));
    p.setBrush(QColor(120, 145, 185));
    QPolygonF tray;
    tray << QPointF(0.5, 9.5) << QPointF(3.5, 9.5) << QPointF(4.5, 11.5) << QPointF(11.5, 11.5)
         << QPointF(12.5, 9.5) << QPointF(15.5, 9.5) << QPointF(15.5, 14.5) << QPointF(0.5, 14.5);
    p.drawPolygon(tray);
}

void drawBall(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    QPen dots(QColor(0, 110, 210), 1.2, Qt::DotLine, Qt::RoundCap);
    p.setPen(dots);
    p.setBrush(Qt::NoBrush);
    QPainterPath arc(QPointF(1.5, 14));
    arc.quadTo(QPointF(2.5, 2.5), QPointF(12, 3));
    p.drawPath(arc);
    QRadialGradient shade(QPointF(8.5, 8.5), 5.5, QPointF(7.8, 7.8));
    shade.setColorAt(0, Qt::white);
    shade.setColorAt(0.7, QColor(235, 235, 235));
    shade.setColorAt(1, QColor(185, 185, 185));
    p.setPen(QPen(QColor(105, 105, 105), 1.0));
    p.setBrush(shade);
    p.drawEllipse(QPointF(10, 10), 4.5, 4.5);
}

using Painter = void (*)(QPainter&);
constexpr Painter kPainters[ToolImageCount] = {drawTree,       drawLink,  drawFolder,
                                               drawBinoculars, drawSheet, drawBall};

}  // namespace

QImage toolImageStrip(int ratio) {
    QImage strip(kSide * ToolImageCount * ratio, kSide * ratio, QImage::Format_ARGB32);
    strip.fill(kFace);
    for (int i = 0; i < ToolImageCount; ++i) {
        QPainter painter(&strip);
        painter.scale(ratio, ratio);
        painter.translate(i * kSide, 0);
        painter.setClipRect(0, 0, kSide, kSide);
        kPainters[i](painter);
    }
    // The 1-bit mask: the face shows through, everything drawn is opaque.
    const QRgb face = kFace.rgba();
    for (int y = 0; y < strip.height(); ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            if (pixels[x] == face) pixels[x] = qRgba(0, 0, 0, 0);
        }
    }
    return strip;
}

QList<QIcon> toolIcons() {
    static const QImage strips[] = {toolImageStrip(1), toolImageStrip(2)};
    QList<QIcon> icons;
    for (int i = 0; i < ToolImageCount; ++i) {
        QIcon icon;
        for (int ratio : {1, 2}) {
            QPixmap pixmap = QPixmap::fromImage(
                strips[ratio - 1].copy(i * kSide * ratio, 0, kSide * ratio, kSide * ratio));
            pixmap.setDevicePixelRatio(ratio);
            icon.addPixmap(pixmap);
        }
        icons << icon;
    }
    return icons;
}

}  // namespace kx
