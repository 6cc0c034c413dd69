#include "widgets/browser/price_history_dialog.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "core/data/numbers.h"

namespace kx {
namespace {

const QColor kLineColor(0, 90, 180);
constexpr int kMostDateTicks = 5;

QDateTime atNoon(const QDate& date) {
    return QDateTime(date, QTime(12, 0));
}

}  // namespace

PriceHistoryDialog::PriceHistoryDialog(QWidget* parent)
    : QDialog(parent), m_chartHolder(new QWidget(this)), m_table(new QTableWidget(this)) {
    setObjectName(QStringLiteral("frmPriceHistory"));
    setWindowTitle(QStringLiteral("价格走势"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_table->setObjectName(QStringLiteral("tblPrices"));
    m_table->setColumnCount(3);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("价格文件"), QStringLiteral("日期"), QStringLiteral("价格")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->setMinimumWidth(300);
    new QVBoxLayout(m_chartHolder);
    m_chartHolder->layout()->setContentsMargins(0, 0, 0, 0);
    auto* body = new QHBoxLayout;
    body->addWidget(m_chartHolder, 3);
    body->addWidget(m_table, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addWidget(buttons);
    resize(900, 460);
}

void PriceHistoryDialog::setHistory(const QString& caption, const QList<PricePoint>& points) {
    setWindowTitle(QStringLiteral("价格走势 - ") + caption);
    fillTable(points);
    drawChart(caption, points);
}

void PriceHistoryDialog::fillTable(const QList<PricePoint>& points) {
    m_table->setRowCount(static_cast<int>(points.size()));
    for (int r = 0; r < points.size(); ++r) {
        const PricePoint& p = points[r];
        const QString price = !p.error.isEmpty() ? QStringLiteral("无法读取")
                              : p.price          ? formatTwoDecimals(*p.price)
                                                 : QStringLiteral("—");
        auto* file = new QTableWidgetItem(p.shortName);
        file->setToolTip(p.error.isEmpty() ? p.file : p.error);
        m_table->setItem(r, 0, file);
        m_table->setItem(r, 1,
                         new QTableWidgetItem(p.date.isValid() ? p.date.toString(Qt::ISODate) : QString()));
        auto* value = new QTableWidgetItem(price);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(r, 2, value);
    }
    m_table->resizeColumnToContents(1);
    m_table->resizeColumnToContents(2);
}

void PriceHistoryDialog::drawChart(const QString& caption, const QList<PricePoint>& points) {
    auto* chart = new QChart;
    chart->setTitle(caption);
    chart->legend()->hide();
    auto* axisX = new QDateTimeAxis;
    axisX->setFormat(QStringLiteral("yyyy-MM-dd"));
    axisX->setTitleText(QStringLiteral("价格文件日期"));
    auto* axisY = new QValueAxis;
    axisY->setTitleText(QStringLiteral("价格"));
    axisY->setLabelFormat(QStringLiteral("%.2f"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    auto* dots = new QScatterSeries;
    dots->setMarkerSize(8);
    dots->setColor(kLineColor);
    QLineSeries* segment = nullptr;
    double low = 0, high = 0;
    bool any = false;
    // A file without a price ends the line; the next price starts a new one, so a gap shows.
    for (const PricePoint& p : points) {
        if (!p.date.isValid()) continue;
        if (!p.price) {
            segment = nullptr;
            continue;
        }
        const qreal x = static_cast<qreal>(atNoon(p.date).toMSecsSinceEpoch());
        if (segment == nullptr) {
            segment = new QLineSeries;
            segment->setColor(kLineColor);
            chart->addSeries(segment);
            segment->attachAxis(axisX);
            segment->attachAxis(axisY);
        }
        segment->append(x, *p.price);
        dots->append(x, *p.price);
        low = any ? std::min(low, *p.price) : *p.price;
        high = any ? std::max(high, *p.price) : *p.price;
        any = true;
    }
    chart->addSeries(dots);
    dots->attachAxis(axisX);
    dots->attachAxis(axisY);
    QList<QDate> dates;
    for (const PricePoint& p : points) {
        if (p.date.isValid()) dates << p.date;
    }
    if (!dates.isEmpty()) {
        const auto [first, last] = std::minmax_element(dates.begin(), dates.end());
        axisX->setRange(atNoon(first->addDays(-7)), atNoon(last->addDays(7)));
        // More than five full dates do not fit under the chart: Qt Charts would cut them short.
        axisX->setTickCount(std::clamp(static_cast<int>(dates.size()), 2, kMostDateTicks));
    }
    const double margin = any ? std::max((high - low) * 0.15, high * 0.02 + 0.01) : 1.0;
    axisY->setRange(any ? std::max(0.0, low - margin) : 0.0, any ? high + margin : 1.0);
    axisY->applyNiceNumbers();
    auto* view = new QChartView(chart, m_chartHolder);
    view->setObjectName(QStringLiteral("chart"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(420, 300);
    QLayoutItem* old = m_chartHolder->layout()->takeAt(0);
    if (old != nullptr) {
        delete old->widget();
        delete old;
    }
    m_chartHolder->layout()->addWidget(view);
}

}  // namespace kx
