#include "widgets/controls/treeimages.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

#include "core/data/modpub_tree.h"

namespace kx {
namespace {

constexpr int kSide = 16;

/// The colours of one picture: its outline, its body, and its mark.
struct Colours {
    QColor outline;
    QColor body;
    QColor mark;
};

/// A sheet of paper with a folded corner.
void drawSheet(QPainter& p, const Colours& c) {
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(10.5, 1.5);
    sheet.lineTo(13.5, 4.5);
    sheet.lineTo(13.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    p.setPen(QPen(c.outline, 1));
    p.setBrush(c.body);
    p.drawPath(sheet);
    p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
}

/// A price file: a sheet with lines of figures and a coin.
void drawPriceFile(QPainter& p, const Colours& c) {
    drawSheet(p, c);
    p.setPen(QPen(c.outline, 1));
    for (double y : {6.5, 8.5, 10.5}) p.drawLine(QPointF(5.5, y), QPointF(9.5, y));
    p.setPen(QPen(c.mark.darker(140), 1));
    p.setBrush(c.mark);
    p.drawEllipse(QRectF(8.5, 9.5, 5, 5));
}

/// A quota library: a closed book with its spine.
void drawQuotaLibrary(QPainter& p, const Colours& c) {
    p.setPen(QPen(c.outline, 1));
    p.setBrush(c.body);
    p.drawRect(QRectF(3.5, 1.5, 10, 13));
    p.setBrush(c.mark);
    p.drawRect(QRectF(3.5, 1.5, 2.5, 13));
    p.drawLine(QPointF(7.5, 5.5), QPointF(11.5, 5.5));
}

/// A file that is not installed: a pale sheet with a download arrow.
void drawNotInstalled(QPainter& p, const Colours& c) {
    drawSheet(p, c);
    p.setPen(QPen(c.mark, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8.5, 5), QPointF(8.5, 12));
    p.drawLine(QPointF(5.5, 9), QPointF(8.5, 12));
    p.drawLine(QPointF(11.5, 9), QPointF(8.5, 12));
}

QPixmap picture(const std::function<void(QPainter&, const Colours&)>& draw, const Colours& colours,
                int ratio) {
    QPixmap pixmap(kSide * ratio, kSide * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, colours);
    return pixmap;
}

/// The icon drawn with `normal` colours, and with `selected` ones for the selected node.
QIcon icon(const std::function<void(QPainter&, const Colours&)>& draw, const Colours& normal,
           const Colours& selected) {
    QIcon result;
    for (int ratio : {1, 2}) {
        result.addPixmap(picture(draw, normal, ratio), QIcon::Normal);
        result.addPixmap(picture(draw, selected, ratio), QIcon::Selected);
    }
    return result;
}

}  // namespace

QList<QIcon> pickerTreeImages() {
    QList<QIcon> images(modPub_Tree::kNotInstalledImage);
    const QColor white(Qt::white);
    images[kPriceFileImage - 1] =
        icon(drawPriceFile, {QColor(60, 90, 130), QColor(250, 250, 245), QColor(235, 170, 30)},
             {white, QColor(70, 120, 190), QColor(255, 210, 80)});
    images[kQuotaLibraryImage - 1] =
        icon(drawQuotaLibrary, {QColor(30, 80, 60), QColor(90, 160, 120), QColor(30, 100, 70)},
             {white, QColor(120, 190, 150), QColor(230, 245, 235)});
    images[modPub_Tree::kNotInstalledImage - 1] =
        icon(drawNotInstalled, {QColor(150, 150, 150), QColor(235, 235, 235), QColor(200, 40, 40)},
             {white, QColor(160, 160, 170), QColor(255, 120, 120)});
    return images;
}

}  // namespace kx
