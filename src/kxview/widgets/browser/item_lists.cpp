// The item grid: its columns per kind, and the listings of material, bill and quota items.
#include <QColor>
#include <limits>
#include <stdexcept>

#include "core/data/modpub_db.h"
#include "core/data/modsql.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/browser/price_columns_p.h"
#include "widgets/controls/modvsf.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/picture.h"

namespace kx {
namespace {

struct ColumnLayout {
    int col;
    const char* header;  // nullptr: the header is not set
    int width;
    Qt::Alignment alignment;
};

// The kind-independent columns: header texts of columns 1 to 4, widths of columns 0 to 9 and alignments
// of columns 1, 2, 3, 4 and 9.
constexpr ColumnLayout kCommonColumns[] = {
    {0, nullptr, 300, {}},
    {colOf(HCol_F::Tag), "", 0, Qt::AlignHCenter},
    {colOf(HCol_F::Code), "编号", 1000, Qt::AlignLeft},
    {colOf(HCol_F::Name), "名称", 3000, Qt::AlignLeft},
    {colOf(HCol_F::Unit), "单位", 600, Qt::AlignHCenter},
    {colOf(HCol_F::ID), nullptr, 0, {}},
    {colOf(HCol_F::State), nullptr, 0, {}},
    {colOf(HCol_F::RowKind), nullptr, 0, {}},
    {colOf(HCol_F::DEKey), nullptr, 0, {}},
    {colOf(HCol_F::Other), nullptr, 0, Qt::AlignHCenter},
};

const QColor kErrataColor(250, 0, 0);

}  // namespace

void KXView::Private::InitGrid() {
    GridModel& g = F->cells();
    modVSF::InitGridStyle(*F, false, false);
    F->setRowHeightMin(330);
    g.setCols(10);
    for (const ColumnLayout& c : kCommonColumns) {
        if (c.header) g.setTextMatrix(0, c.col, QString::fromUtf8(c.header));
        g.setColWidth(c.col, c.width);
        if (c.alignment) g.setColAlignment(c.col, c.alignment);
    }
    g.setHeaderPicture(colOf(HCol_F::Other), {});
    switch (kind()) {
        case LibraryKind::DE:
            g.setTextMatrix(0, colOf(HCol_F::Code), QStringLiteral("定额号"));
            g.setColWidth(colOf(HCol_F::Unit), 800);
            g.setColWidth(colOf(HCol_F::Other), 0);
            g.setHeaderPicture(colOf(HCol_F::Other),
                               loadPicture(AppPath + QStringLiteral("System\\Ico\\Edit\\Kind.ico")));
            break;
        case LibraryKind::DataBook:
            g.setColWidth(colOf(HCol_F::Code), 1000);
            g.setColWidth(colOf(HCol_F::Name), 4000);
            g.setTextMatrix(0, colOf(HCol_F::Code), QStringLiteral("清单编号"));
            break;
        case LibraryKind::Mate:
        case LibraryKind::None:
            break;
    }
}

int KXView::Private::appendItemRow() {
    GridModel& g = F->cells();
    // The row index is a 16-bit integer: the row after index 32,767 cannot be numbered.
    if (g.Rows() > std::numeric_limits<qint16>::max())
        throw std::overflow_error("Overflow: a list holds at most 32,767 items");
    g.setRows(g.Rows() + 1);
    return g.Rows() - 1;
}

void KXView::Private::LoadMateByClass(const QString& p_dbFullName, const QString& p_Class) {
    F->cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    MateKey = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    auto rs = db->OpenRecordset(modSQL_Mate::GetMateClassSQL(p_Class), dbOpenDynaset);
    FillMateGrid(*rs);
    db->Close();
}

void KXView::Private::LoadDataBookByClass(const QString& p_dbFullName, const QString& p_Class) {
    F->cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    auto rs = db->OpenRecordset(modSQL_DataBook::GetDataBookClassSQL(p_Class), dbOpenDynaset);
    FillDataBookGrid(*rs);
    db->Close();
}

void KXView::Private::LoadDEByClass(const QString& p_dbFullName, const QString& p_Class) {
    F->cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    {
        // The listing and its errata lookups, one per item, read one state of the library.
        const HeldReads oneState(*db);
        auto rs = db->OpenRecordset(modSQL_DM::GetDMClassSQL(p_Class), dbOpenDynaset);
        FillDEGrid(*rs, *db);
    }
    db->Close();
}

void KXView::Private::FillMateGrid(Recordset& rs) {
    GridModel& g = F->cells();
    GridModel::Batch batch(g);
    g.setRows(1);
    for (; !rs.isEOF(); rs.MoveNext()) {
        const int r = appendItemRow();
        g.setTextMatrix(r, colOf(HCol_F::Code), rs.Text(QStringLiteral("Code")));
        g.setTextMatrix(r, colOf(HCol_F::Name), rs.Text(QStringLiteral("Name")));
        g.setTextMatrix(r, colOf(HCol_F::Unit), rs.Text(QStringLiteral("Unit")));
        g.setTextMatrix(r, colOf(HCol_F::ID), rs.Text(QStringLiteral("ID")));
    }
    prices().fillEvery(kind());
}

void KXView::Private::FillDataBookGrid(Recordset& rs) {
    GridModel& g = F->cells();
    GridModel::Batch batch(g);
    g.setRows(1);
    for (; !rs.isEOF(); rs.MoveNext()) {
        const int r = appendItemRow();
        g.setIsSubtotal(r, true);
        g.setRowOutlineLevel(r, 0);
        g.setTextMatrix(r, colOf(HCol_F::Code), rs.Text(QStringLiteral("Code")));
        g.setTextMatrix(r, colOf(HCol_F::Name), rs.Text(QStringLiteral("Name")));
        g.setTextMatrix(r, colOf(HCol_F::Unit), rs.Text(QStringLiteral("Unit")));
        g.setTextMatrix(r, colOf(HCol_F::ID), rs.Text(QStringLiteral("ID")));
        g.setTextMatrix(r, colOf(HCol_F::RowKind), QStringLiteral("DataBook"));
    }
}

void KXView::Private::FillDEGrid(Recordset& rs, Database& db) {
    GridModel& g = F->cells();
    GridModel::Batch batch(g);
    g.setRows(1);
    for (; !rs.isEOF(); rs.MoveNext()) {
        const int r = appendItemRow();
        const QString id = rs.Text(QStringLiteral("ID"));
        g.setTextMatrix(r, colOf(HCol_F::Code), rs.Text(QStringLiteral("DECode")));
        g.setTextMatrix(r, colOf(HCol_F::Name), rs.Text(QStringLiteral("Name")));
        g.setTextMatrix(r, colOf(HCol_F::Unit), rs.Text(QStringLiteral("Unit")));
        g.setTextMatrix(r, colOf(HCol_F::ID), id);
        g.setIsSubtotal(r, true);
        g.setRowOutlineLevel(r, 0);
        auto errata =
            db.OpenRecordset(QStringLiteral("SELECT * FROM EditRecord WHERE DMID=") + id, dbOpenDynaset);
        if (errata->RecordCount() > 0) {
            g.setTextMatrix(r, colOf(HCol_F::Name),
                            g.TextMatrix(r, colOf(HCol_F::Name)) + QStringLiteral(" [堪误]"));
            g.setCellForeColor(r, colOf(HCol_F::Name), colOf(HCol_F::Name), kErrataColor);
        }
    }
    prices().fillEvery(kind());
}

}  // namespace kx
