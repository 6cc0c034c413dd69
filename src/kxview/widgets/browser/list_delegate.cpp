#include "widgets/browser/list_delegate.h"

#include <QApplication>
#include <QPainter>

#include "widgets/browser/item_rows.h"

namespace kx {

namespace {

const QColor kHighlight(255, 230, 120);
const QColor kMarkColor(250, 0, 0);
constexpr int kTextMargin = 3;  // the item view's own text margin, in pixels

bool isTextColumn(int col) {
    return col == colOf(HCol_F::Code) || col == colOf(HCol_F::Name) || col == colOf(HCol_F::Unit);
}

}  // namespace

struct ListDelegate::Layout {
    QRect textRect;                     // where the text goes
    QString body;                       // the text shown before the mark, cut short where it does not fit
    int bodyLeft = 0;                   // x of the body's first character
    QRect markRect;                     // the mark; empty without one
    std::optional<TextSpan> highlight;  // in the body's characters
};

bool ListDelegate::decorates(const QModelIndex& index) const {
    if (!isTextColumn(index.column())) return false;
    if (!m_filter.isEmpty()) return true;
    return m_errataLink && index.column() == colOf(HCol_F::Name) &&
           index.data().toString().endsWith(errataMark());
}

std::optional<TextSpan> ListDelegate::highlightIn(const QModelIndex& index, const QString& text) const {
    if (m_filter.isEmpty()) return std::nullopt;
    return index.column() == colOf(HCol_F::Name) ? m_filter.spanInName(text) : m_filter.spanInText(text);
}

ListDelegate::Layout ListDelegate::layoutOf(const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    Layout layout;
    layout.textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                          .adjusted(kTextMargin, 0, -kTextMargin, 0);
    const QFontMetrics metrics(opt.font);
    QString text = opt.text;
    const bool marked = m_errataLink && index.column() == colOf(HCol_F::Name) && text.endsWith(errataMark());
    if (marked) text.chop(errataMark().size());
    const int markWidth = marked ? metrics.horizontalAdvance(errataMark()) : 0;
    // The mark keeps its room: the name gives way to it.
    const int room = std::max(0, layout.textRect.width() - markWidth);
    layout.body =
        metrics.horizontalAdvance(text) <= room ? text : metrics.elidedText(text, Qt::ElideRight, room);
    const int width = metrics.horizontalAdvance(layout.body) + markWidth;
    const Qt::Alignment align = opt.displayAlignment & Qt::AlignHorizontal_Mask;
    layout.bodyLeft = align & Qt::AlignHCenter
                          ? layout.textRect.left() + (layout.textRect.width() - width) / 2
                      : align & Qt::AlignRight ? layout.textRect.right() + 1 - width
                                               : layout.textRect.left();
    if (marked) {
        layout.markRect = QRect(layout.bodyLeft + metrics.horizontalAdvance(layout.body),
                                layout.textRect.top(), markWidth, layout.textRect.height());
    }
    // A match that reaches into the cut-off part is highlighted up to the cut.
    if (auto span = highlightIn(index, text)) {
        const int visible =
            layout.body == text ? static_cast<int>(text.size()) : static_cast<int>(layout.body.size()) - 1;
        if (span->start < visible) layout.highlight = TextSpan{span->start, std::min(span->end, visible)};
    }
    return layout;
}

QRect ListDelegate::errataMarkRect(const QWidget* view, const QRect& cell, const QModelIndex& index) const {
    if (!m_errataLink || !index.isValid()) return {};
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = cell;
    option.widget = view;
    option.font = view->font();
    return layoutOf(option, index).markRect;
}

void ListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    if (!decorates(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const Layout layout = layoutOf(option, index);
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);  // background and selection

    painter->save();
    painter->setFont(opt.font);
    const QFontMetrics metrics(opt.font);
    const QRect& r = layout.textRect;
    if (layout.highlight) {
        const int x0 = layout.bodyLeft + metrics.horizontalAdvance(layout.body.left(layout.highlight->start));
        const int x1 = layout.bodyLeft + metrics.horizontalAdvance(layout.body.left(layout.highlight->end));
        painter->fillRect(QRect(x0, r.top() + 2, x1 - x0, r.height() - 4), kHighlight);
    }
    const bool selected = opt.state & QStyle::State_Selected;
    const QVariant fore = index.data(Qt::ForegroundRole);
    QColor textColor = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (fore.canConvert<QBrush>() && !selected) textColor = fore.value<QBrush>().color();
    painter->setPen(textColor);
    painter->drawText(QRect(layout.bodyLeft, r.top(), r.right() - layout.bodyLeft + 1, r.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, layout.body);
    if (!layout.markRect.isEmpty()) {
        QFont link = opt.font;
        link.setUnderline(true);
        painter->setFont(link);
        painter->setPen(selected ? textColor : kMarkColor);
        painter->drawText(layout.markRect, Qt::AlignLeft | Qt::AlignVCenter, errataMark());
    }
    painter->restore();
}

}  // namespace kx
