// The price history of one item: a chart of its price across the price files of its set, ordered by the
// files' dates, with the figures in a table beside it.
#pragma once

#include <QDialog>
#include <QList>

#include "core/data/price_history.h"

class QTableWidget;

namespace kx {

/// The price history dialog ("frmPriceHistory"): the chart ("chart") and the table ("tblPrices": file,
/// date, price; "—" where a file has no price, the reason where it could not be read). A file without a
/// price leaves a gap in the line.
class PriceHistoryDialog : public QDialog {
public:
    explicit PriceHistoryDialog(QWidget* parent = nullptr);

    /// Shows `points` for the item described by `caption` (code and name).
    void setHistory(const QString& caption, const QList<PricePoint>& points);

private:
    void fillTable(const QList<PricePoint>& points);
    void drawChart(const QString& caption, const QList<PricePoint>& points);

    QWidget* m_chartHolder;
    QTableWidget* m_table;
};

}  // namespace kx
