#include "widgets/update/frmnet_updatedeinfo.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/update/offers.h"
#include "widgets/controls/formchrome.h"
#include "widgets/controls/twips.h"
#include "widgets/services/dialogs.h"

namespace {

constexpr int kLineHeightTwips = 300;
constexpr int kMarkerRole = Qt::UserRole;

/// The small round bullet in front of an ordinary change line.
QPixmap bulletPicture() {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kx::basicPaletteColor(1));
    painter.drawEllipse(QRectF(3.5, 3.5, 5, 5));
    return pixmap;
}

}  // namespace

frmNet_UpdateDEInfo::frmNet_UpdateDEInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmNet_UpdateDEInfo"));
    setWindowTitle(QStringLiteral("定额库更新"));
    QFrame* body = kx::addDialogBody(this, "#ffffff");

    m_lblTitle = kx::addDialogTitle(body, QString());
    m_lblTitle->setWordWrap(true);
    m_lblTitle->setMinimumHeight(40);
    m_cmdClose = kx::addCloseButton(body);
    auto* top = new QHBoxLayout;
    top->addWidget(m_lblTitle, 1);
    top->addWidget(m_cmdClose, 0, Qt::AlignTop);

    m_grid = new QTableWidget(body);
    m_grid->setObjectName(QStringLiteral("grdChanges"));
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setShowGrid(false);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setFocusPolicy(Qt::NoFocus);
    m_grid->setMinimumSize(420, 180);

    m_cmdSure = new QPushButton(QStringLiteral("更新(&U)"), body);
    m_cmdSure->setObjectName(QStringLiteral("cmdSure"));
    m_cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), body);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdSure);
    buttons->addWidget(m_cmdCancel);

    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(10, 6, 6, 10);
    column->addLayout(top);
    column->addWidget(m_grid, 1);
    column->addLayout(buttons);

    connect(m_cmdSure, &QPushButton::clicked, this, [this] {
        m_unloadState = 0;
        accept();
    });
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] {
        m_unloadState = 1;
        reject();
    });
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

void frmNet_UpdateDEInfo::showModal() {
    Form_Load();
    kx::dialogService().exec(*this);
}

void frmNet_UpdateDEInfo::prepareGrid() {
    m_grid->clear();
    m_grid->setColumnCount(3);
    m_grid->setRowCount(1);
    m_grid->setColumnWidth(0, 0);
    m_grid->setRowHeight(0, 0);
    m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_grid->setColumnHidden(2, true);
    m_lblTitle->clear();
}

void frmNet_UpdateDEInfo::Form_Load() {
    prepareGrid();
    if (m_dbFullName.isEmpty() || m_updateFile.isEmpty()) return;
    const kx::QuotaLibraryOffer offer = kx::readQuotaLibraryOffer(m_updateFile, m_dbFullName);
    if (!offer.readable) {
        // No version text, no list, the unload state as it was; a refused file says why instead.
        m_lblTitle->setText(offer.headline());
        return;
    }
    m_lblTitle->setText(offer.headline());
    for (const kx::QuotaLibraryOffer::Change& line : offer.changes) addChangeLine(line);
    m_unloadState = 1;
}

void frmNet_UpdateDEInfo::addChangeLine(const kx::QuotaLibraryOffer::Change& line) {
    auto* item = new QTableWidgetItem(line.text);
    item->setData(kMarkerRole, line.marker);
    if (line.marker > 0) {
        QFont emphasised = item->font();
        emphasised.setBold(true);
        item->setFont(emphasised);
        item->setForeground(kx::basicPaletteColor(12));
    } else {
        item->setBackground(QColor(245, 245, 245));
        item->setForeground(kx::basicPaletteColor(1));
        item->setIcon(QIcon(bulletPicture()));
    }
    const int row = m_grid->rowCount();
    m_grid->setRowCount(row + 1);
    m_grid->setItem(row, 1, item);
    m_grid->setRowHeight(row, kx::toPixels(kLineHeightTwips));
}
