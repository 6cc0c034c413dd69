#include "widgets/controls/formchrome.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace kx {
namespace {

/// Moves the handle's window while the left button is held on the handle.
class WindowDragFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* handle = static_cast<QWidget*>(watched);
        QWidget* window = handle->window();
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* press = static_cast<QMouseEvent*>(event);
                if (press->button() != Qt::LeftButton) return false;
                QWindow* native = window->windowHandle();
                m_dragging = native == nullptr || !native->startSystemMove();
                m_offset = press->globalPosition().toPoint() - window->frameGeometry().topLeft();
                return true;
            }
            case QEvent::MouseMove: {
                auto* move = static_cast<QMouseEvent*>(event);
                if (!m_dragging || !(move->buttons() & Qt::LeftButton)) return false;
                window->move(move->globalPosition().toPoint() - m_offset);
                return true;
            }
            case QEvent::MouseButtonRelease:
                m_dragging = false;
                return false;
            default:
                return false;
        }
    }

private:
    bool m_dragging = false;
    QPoint m_offset;
};

}  // namespace

void makeWindowDragHandle(QWidget* handle) {
    handle->installEventFilter(new WindowDragFilter(handle));
    handle->setCursor(Qt::SizeAllCursor);
}

QColor basicPaletteColor(int index) {
    static const QRgb palette[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                     0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                     0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return QColor(palette[index & 15]);
}

QPixmap closeGlyph(int side, bool highlighted) {
    QPixmap pixmap(side, side);
    pixmap.fill(highlighted ? QColor(232, 17, 35) : QColor(Qt::transparent));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(highlighted ? QColor(Qt::white) : QColor(96, 96, 96), side / 10.0 + 0.5));
    const double margin = side * 0.3;
    painter.drawLine(QPointF(margin, margin), QPointF(side - margin, side - margin));
    painter.drawLine(QPointF(side - margin, margin), QPointF(margin, side - margin));
    return pixmap;
}

QLabel* addDialogTitle(QWidget* parent, const QString& text) {
    auto* title = new QLabel(text, parent);
    title->setObjectName(QStringLiteral("lblTitle"));
    title->setStyleSheet(QStringLiteral("font-weight: bold; color: #1f3f6f; padding: 4px;"));
    makeWindowDragHandle(title);
    return title;
}

QPushButton* addCloseButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QStringLiteral("cmdClose"));
    button->setIcon(QIcon(closeGlyph(18, false)));
    button->setFlat(true);
    button->setFixedSize(22, 22);
    button->setToolTip(QStringLiteral("关闭"));
    return button;
}

QFrame* addDialogBody(QWidget* dialog, const char* background) {
    auto* body = new QFrame(dialog);
    body->setObjectName(QStringLiteral("fraBody"));
    body->setStyleSheet(QStringLiteral("QFrame#fraBody { border: 1px solid #7f9db9; background: %1; }")
                            .arg(QLatin1String(background)));
    auto* outer = new QVBoxLayout(dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(body);
    return body;
}

}  // namespace kx
