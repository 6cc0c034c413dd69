#include "widgets/controls/twips.h"

#include <QVariant>
#include <QWidget>
#include <cmath>

#include "core/services/logging.h"

namespace kx {
namespace {

// The twip rectangle a widget was last placed at, kept on the widget itself.
constexpr char kTwipGeometryProperty[] = "_kx_twipGeometry";

QRect pixelRect(const TwipRect& r) {
    return {toPixels(r.left), toPixels(r.top), toPixels(r.width), toPixels(r.height)};
}

}  // namespace

int toPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

bool setTwipGeometry(QWidget& widget, const TwipRect& rect) {
    const QRect pixels = pixelRect(rect);
    if (rect.width < 0 || rect.height < 0 || pixels.width() > QWIDGETSIZE_MAX ||
        pixels.height() > QWIDGETSIZE_MAX) {
        qCDebug(lcKxView) << "size refused for" << widget.objectName() << rect.width << "x" << rect.height;
        return false;
    }
    widget.setGeometry(pixels);
    widget.setProperty(kTwipGeometryProperty, QRect(rect.left, rect.top, rect.width, rect.height));
    return true;
}

TwipRect twipGeometry(const QWidget& widget) {
    const QRect stored = widget.property(kTwipGeometryProperty).toRect();
    const TwipRect twips{stored.x(), stored.y(), stored.width(), stored.height()};
    if (!stored.isNull() && pixelRect(twips) == widget.geometry()) return twips;
    const QRect g = widget.geometry();
    return {toTwips(g.x()), toTwips(g.y()), toTwips(g.width()), toTwips(g.height())};
}

}  // namespace kx
