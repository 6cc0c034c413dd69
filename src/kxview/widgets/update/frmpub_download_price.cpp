#include "widgets/update/frmpub_download_price.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtMath>

#include "core/update/offers.h"
#include "widgets/controls/formchrome.h"
#include "widgets/controls/twips.h"
#include "widgets/services/dialogs.h"

namespace {

constexpr int kColumnCount = 8;
constexpr int kMaxFittedColumn =
    320;  // a long description is cut off rather than widening the dialog without end
const QColor kFolderRowBackground(232, 240, 250);
const QColor kFileRowBackground(255, 255, 255);

struct ColumnSetup {
    int column;
    const char* header;
    int widthTwips;
    Qt::Alignment alignment;
};

const ColumnSetup kColumns[] = {
    {frmPub_DownLoad_Price::ColUpdate, "更新", 600, Qt::AlignCenter},
    {frmPub_DownLoad_Price::ColState, "状态", 600, Qt::AlignCenter},
    {frmPub_DownLoad_Price::ColName, "价格文件", 3000, Qt::AlignLeft | Qt::AlignVCenter},
    {frmPub_DownLoad_Price::ColCreated, "创建日期", 1000, Qt::AlignLeft | Qt::AlignVCenter},
    {frmPub_DownLoad_Price::ColModified, "更新日期", 1000, Qt::AlignCenter},
    {frmPub_DownLoad_Price::ColNote, "说明", 1000, Qt::AlignCenter},
    {frmPub_DownLoad_Price::ColFile, "", 0, Qt::AlignLeft | Qt::AlignVCenter},
};

/// The mark beside "[新]": a small red star.
QPixmap newMarkPicture() {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 5.5 : 2.3;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF p(6 + radius * std::cos(angle), 6.3 + radius * std::sin(angle));
        if (i == 0)
            star.moveTo(p);
        else
            star.lineTo(p);
    }
    star.closeSubpath();
    painter.fillPath(star, kx::basicPaletteColor(12));
    return pixmap;
}

/// Draws a cell's check box in the middle of the cell, and ticks or unticks it on a click anywhere in
/// the cell or on the space key.
class CentredCheckDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const bool hasBox = cell.features & QStyleOptionViewItem::HasCheckIndicator;
        cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
        if (!hasBox) return;
        QStyleOptionViewItem box = cell;
        box.rect = checkRect(cell);
        box.state =
            (cell.state & ~QStyle::State_HasFocus) |
            (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, cell.widget);
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem&,
                     const QModelIndex& index) override {
        if (!(index.flags() & Qt::ItemIsUserCheckable)) return false;
        const bool click = event->type() == QEvent::MouseButtonRelease &&
                           static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        const bool key =
            event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;  // a double click is two ticks, no more
        if (!click && !key) return false;
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    static QRect checkRect(const QStyleOptionViewItem& cell) {
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        QStyleOptionViewItem probe = cell;
        probe.features |= QStyleOptionViewItem::HasCheckIndicator;
        QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &probe, cell.widget);
        box.moveCenter(cell.rect.center());
        return box;
    }
};

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

}  // namespace

frmPub_DownLoad_Price::frmPub_DownLoad_Price(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmPub_DownLoad_Price"));
    setWindowTitle(QStringLiteral("更新材料价格"));
    QFrame* body = kx::addDialogBody(this, "#f5f8fc");

    m_lblTitle = kx::addDialogTitle(body, QStringLiteral("更新材料价格"));
    m_cmdClose = kx::addCloseButton(body);
    auto* top = new QHBoxLayout;
    top->addWidget(m_lblTitle, 1);
    top->addWidget(m_cmdClose);

    m_grid = new QTableWidget(body);
    m_grid->setObjectName(QStringLiteral("grdPrice"));
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_grid->setItemDelegateForColumn(ColUpdate, new CentredCheckDelegate(m_grid));
    m_grid->setMinimumHeight(260);

    m_cmdRange = makeButton(body, "cmdRange", QStringLiteral("批量选择"));
    m_cmdStar = makeButton(body, "cmdStar", QStringLiteral("开始更新"));
    m_cmdCancel = makeButton(body, "cmdCancel", QStringLiteral("取消"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdRange);
    buttons->addStretch();
    buttons->addWidget(m_cmdStar);
    buttons->addWidget(m_cmdCancel);

    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(10, 6, 6, 10);
    column->addLayout(top);
    column->addWidget(m_grid, 1);
    column->addLayout(buttons);

    connect(m_grid, &QTableWidget::cellClicked, this, &frmPub_DownLoad_Price::onCellClicked);
    connect(m_cmdRange, &QPushButton::clicked, this, &frmPub_DownLoad_Price::cmdRange_Click);
    connect(m_cmdStar, &QPushButton::clicked, this, &frmPub_DownLoad_Price::cmdStar_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

QString frmPub_DownLoad_Price::GetUpdateName(qint16 Index) const {
    return Index >= 1 && Index <= m_chosen.size() ? m_chosen[Index - 1] : QString();
}

void frmPub_DownLoad_Price::showModal() {
    Form_Load();
    kx::dialogService().exec(*this);
}

void frmPub_DownLoad_Price::Form_Load() {
    m_chosen.clear();
    prepareGrid();
    m_offer = kx::readPriceSetOffer(m_fileFullName, m_dataPath, m_mateKey);
    LoadRec();
    m_grid->setCurrentCell(-1, -1);
    fitColumns();
}

void frmPub_DownLoad_Price::fitColumns() {
    // The widths in twips are the least each column gets; a longer name or date is not cut off. Text is
    // measured in the fonts the grid will really use, which polishing settles.
    m_grid->ensurePolished();
    for (const ColumnSetup& c : kColumns) {
        if (c.column == ColFile) continue;
        m_grid->resizeColumnToContents(c.column);
        const int fitted = qMin(m_grid->columnWidth(c.column), kMaxFittedColumn);
        m_grid->setColumnWidth(c.column, qMax(kx::toPixels(c.widthTwips), fitted));
    }
    constexpr int kSlack = 6;
    const int wanted = m_grid->horizontalHeader()->length() + m_grid->frameWidth() * 2 +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent) + kSlack;
    const int screenWidth = screen() ? screen()->availableGeometry().width() : 1024;
    m_grid->setMinimumWidth(qMin(wanted, screenWidth * 9 / 10));
}

void frmPub_DownLoad_Price::prepareGrid() {
    m_grid->clear();
    m_grid->setRowCount(0);
    m_grid->setColumnCount(kColumnCount);
    m_grid->setColumnWidth(0, 8);
    for (const ColumnSetup& c : kColumns) {
        auto* header = new QTableWidgetItem(QString::fromUtf8(c.header));
        header->setTextAlignment(Qt::AlignCenter);
        m_grid->setHorizontalHeaderItem(c.column, header);
        m_grid->setColumnWidth(c.column, kx::toPixels(c.widthTwips));
    }
    m_grid->setHorizontalHeaderItem(0, new QTableWidgetItem());
    m_grid->setColumnHidden(ColFile, true);
}

void frmPub_DownLoad_Price::LoadRec() {
    for (const kx::PriceFileEntry& entry : m_offer.entries) addEntryRow(entry);
}

void frmPub_DownLoad_Price::addEntryRow(const kx::PriceFileEntry& entry) {
    const int row = m_grid->rowCount();
    m_grid->setRowCount(row + 1);
    const std::pair<int, const QString*> fields[] = {{ColName, &entry.name},
                                                     {ColCreated, &entry.created},
                                                     {ColModified, &entry.modified},
                                                     {ColNote, &entry.note},
                                                     {ColFile, &entry.fileName}};
    for (int column = 0; column < kColumnCount; ++column) {
        auto* cell = new QTableWidgetItem;
        cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);  // no check box unless a file row gets one
        m_grid->setItem(row, column, cell);
    }
    for (const auto& [column, text] : fields) m_grid->item(row, column)->setText(*text);
    for (const ColumnSetup& c : kColumns) m_grid->item(row, c.column)->setTextAlignment(c.alignment);
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* cell = m_grid->item(row, column);
        cell->setBackground(entry.isFile() ? kFileRowBackground : kFolderRowBackground);
        if (!entry.isFile()) {
            QFont bold = cell->font();
            bold.setBold(true);
            cell->setFont(bold);
        }
    }
    if (entry.isFile()) {
        QTableWidgetItem* box = m_grid->item(row, ColUpdate);
        box->setFlags(box->flags() | Qt::ItemIsUserCheckable);
        box->setCheckState(Qt::Unchecked);
    }
    SetRowFeature(row);
}

void frmPub_DownLoad_Price::SetRowFeature(int Row) {
    switch (m_offer.entries[Row].state) {
        case kx::PriceFileEntry::State::New: {
            QTableWidgetItem* state = m_grid->item(Row, ColState);
            state->setText(QStringLiteral("[新]"));
            state->setIcon(QIcon(newMarkPicture()));
            paintRowText(Row, kx::basicPaletteColor(12));
            break;
        }
        case kx::PriceFileEntry::State::Changed:
            paintRowText(Row, kx::basicPaletteColor(12));
            break;
        case kx::PriceFileEntry::State::Same:
        case kx::PriceFileEntry::State::Folder:
            break;
    }
}

void frmPub_DownLoad_Price::paintRowText(int row, const QColor& colour) {
    for (int column = 0; column < kColumnCount; ++column) m_grid->item(row, column)->setForeground(colour);
}

bool frmPub_DownLoad_Price::isFileRow(int row) const {
    return m_grid->item(row, ColUpdate)->flags() & Qt::ItemIsUserCheckable;
}

bool frmPub_DownLoad_Price::isTicked(int row) const {
    return isFileRow(row) && m_grid->item(row, ColUpdate)->checkState() == Qt::Checked;
}

void frmPub_DownLoad_Price::setTicked(int row, bool ticked) {
    if (isFileRow(row)) m_grid->item(row, ColUpdate)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void frmPub_DownLoad_Price::onCellClicked(int row, int column) {
    if (column != ColUpdate) setTicked(row, !isTicked(row));  // column 1 ticks through its check box
}

void frmPub_DownLoad_Price::cmdRange_Click() {
    int first = m_grid->currentRow();
    int last = first;
    for (const QTableWidgetSelectionRange& range : m_grid->selectedRanges()) {
        first = first < 0 ? range.topRow() : qMin(first, range.topRow());
        last = qMax(last, range.bottomRow());
    }
    for (int row = qMax(first, 0); row <= last; ++row) setTicked(row, true);
}

void frmPub_DownLoad_Price::cmdStar_Click() {
    m_chosen.clear();
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        const QString name = m_grid->item(row, ColFile)->text();
        if (isTicked(row) && !name.isEmpty()) m_chosen << name;
    }
    accept();
}
