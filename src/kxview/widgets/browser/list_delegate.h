// How the item grid paints a cell when the browser's additions ask for more than text: the filter's
// matches highlighted, and the errata mark of a corrected item kept in sight as a link.
#pragma once

#include <QStyledItemDelegate>

#include "core/data/item_index.h"

namespace kx {

/// The item grid's delegate. Cells without a highlight or a mark to show paint as Qt paints them.
class ListDelegate : public QStyledItemDelegate {
public:
    explicit ListDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    /// Highlights where `filter` matches the code, name and unit cells (an empty filter: nowhere).
    void setFilter(const RowFilter& filter) { m_filter = filter; }
    /// Whether the errata mark stays visible at the end of a cut-short name, underlined as a link.
    void setErrataLink(bool on) { m_errataLink = on; }
    bool errataLink() const { return m_errataLink; }

    /// Where the errata mark of the cell at `index` is painted within `cell` (the cell's rectangle in
    /// `view`); empty when the cell shows none.
    QRect errataMarkRect(const QWidget* view, const QRect& cell, const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    struct Layout;
    /// Where the parts of the cell's text go, as paint places them.
    Layout layoutOf(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    /// Whether the cell at `index` paints differently from Qt's own painting.
    bool decorates(const QModelIndex& index) const;
    /// The span of the cell's text the filter matches.
    std::optional<TextSpan> highlightIn(const QModelIndex& index, const QString& text) const;

    RowFilter m_filter;
    bool m_errataLink = false;
};

}  // namespace kx
