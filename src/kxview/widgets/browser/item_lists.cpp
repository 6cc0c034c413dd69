// The item grid: its columns per kind, and the listings of material, bill and quota items.
#include "widgets/browser/item_lists.h"

#include <QColor>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/data/modpub_db.h"
#include "core/data/modsql.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/library_profile.h"
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

/// The columns of a library of `profile`: header texts of columns 1 to 4, widths of columns 0 to 9 and
/// alignments of columns 1, 2, 3, 4 and 9.
std::vector<ColumnLayout> columnsOf(const LibraryProfile& profile) {
    return {
        {0, nullptr, 300, {}},
        {colOf(HCol_F::Tag), "", 0, Qt::AlignHCenter},
        {colOf(HCol_F::Code), profile.codeHeader, 1000, Qt::AlignLeft},
        {colOf(HCol_F::Name), "名称", profile.nameWidth, Qt::AlignLeft},
        {colOf(HCol_F::Unit), "单位", profile.unitWidth, Qt::AlignHCenter},
        {colOf(HCol_F::ID), nullptr, 0, {}},
        {colOf(HCol_F::State), nullptr, 0, {}},
        {colOf(HCol_F::RowKind), nullptr, 0, {}},
        {colOf(HCol_F::DEKey), nullptr, 0, {}},
        {colOf(HCol_F::Other), nullptr, 0, Qt::AlignHCenter},
    };
}

const QColor kErrataColor(250, 0, 0);

/// The search statement; the text goes in as it stands, wildcards included.
QString findSQL(const LibraryProfile& profile, qint32 rangeKind, qint32 findKind, const QString& text) {
    const QString field = rangeKind == 0   ? QLatin1String(profile.codeField)
                          : rangeKind == 1 ? QStringLiteral("Name")
                                           : QStringLiteral("Unit");
    const QString head = QStringLiteral("SELECT * FROM ") + QLatin1String(profile.itemTable) +
                         QStringLiteral(" WHERE ") + field;
    if (findKind != 0) return head + QStringLiteral(" Like '*") + text + QStringLiteral("*'");
    return head + QStringLiteral("='") + text + QLatin1Char('\'');
}

/// The condition that selects the items whose IDs are `ids`: runs of consecutive IDs as ranges; none
/// (an ID is never Null) for no IDs.
QString idCondition(std::vector<qint32> ids) {
    if (ids.empty()) return QStringLiteral("ID IS NULL");
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    QStringList terms;
    for (size_t i = 0; i < ids.size();) {
        size_t last = i;
        while (last + 1 < ids.size() && ids[last + 1] == ids[last] + 1) ++last;
        terms << (last == i ? QStringLiteral("ID=%1").arg(ids[i])
                            : QStringLiteral("(ID>=%1 AND ID<=%2)").arg(ids[i]).arg(ids[last]));
        i = last + 1;
    }
    return terms.join(QStringLiteral(" OR "));
}

}  // namespace

void ItemLists::InitGrid() {
    const LibraryProfile& profile = m_state.profile();
    GridModel& g = m_grid.cells();
    modVSF::InitGridStyle(m_grid, false, false);
    m_grid.setRowHeightMin(330);
    g.setCols(10);
    for (const ColumnLayout& c : columnsOf(profile)) {
        if (c.header) g.setTextMatrix(0, c.col, QString::fromUtf8(c.header));
        g.setColWidth(c.col, c.width);
        if (c.alignment) g.setColAlignment(c.col, c.alignment);
    }
    g.setHeaderPicture(colOf(HCol_F::Other), {});
    if (profile.kindPicture)
        g.setHeaderPicture(colOf(HCol_F::Other),
                           loadPicture(m_state.AppPath + QStringLiteral("System\\Ico\\Edit\\Kind.ico")));
}

int ItemLists::appendItemRow() {
    GridModel& g = m_grid.cells();
    // The row index is a 16-bit integer: the row after index 32,767 cannot be numbered.
    if (g.Rows() > std::numeric_limits<qint16>::max())
        throw std::overflow_error("Overflow: a list holds at most 32,767 items");
    g.setRows(g.Rows() + 1);
    return g.Rows() - 1;
}

void ItemLists::LoadMateByClass(const QString& p_dbFullName, const QString& p_Class) {
    m_grid.cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    m_state.MateKey = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    auto rs = db->OpenRecordset(modSQL_Mate::GetMateClassSQL(p_Class), dbOpenDynaset);
    FillMateGrid(*rs);
    db->Close();
}

void ItemLists::LoadDataBookByClass(const QString& p_dbFullName, const QString& p_Class) {
    m_grid.cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    auto rs = db->OpenRecordset(modSQL_DataBook::GetDataBookClassSQL(p_Class), dbOpenDynaset);
    FillDataBookGrid(*rs);
    db->Close();
}

void ItemLists::LoadDEByClass(const QString& p_dbFullName, const QString& p_Class) {
    m_grid.cells().setRows(1);
    auto db = modPub_DB::OpenDB(p_dbFullName);
    {
        // The listing and its errata lookups, one per item, read one state of the library.
        const HeldReads oneState(*db);
        auto rs = db->OpenRecordset(modSQL_DM::GetDMClassSQL(p_Class), dbOpenDynaset);
        FillDEGrid(*rs, *db);
    }
    db->Close();
}

void ItemLists::FillMateGrid(Recordset& rs) {
    GridModel& g = m_grid.cells();
    GridModel::Batch batch(g);
    g.setRows(1);
    for (; !rs.isEOF(); rs.MoveNext()) {
        const int r = appendItemRow();
        g.setTextMatrix(r, colOf(HCol_F::Code), rs.Text(QStringLiteral("Code")));
        g.setTextMatrix(r, colOf(HCol_F::Name), rs.Text(QStringLiteral("Name")));
        g.setTextMatrix(r, colOf(HCol_F::Unit), rs.Text(QStringLiteral("Unit")));
        g.setTextMatrix(r, colOf(HCol_F::ID), rs.Text(QStringLiteral("ID")));
    }
    m_prices.fillEvery(m_state.profile().prices);
}

void ItemLists::FillDataBookGrid(Recordset& rs) {
    GridModel& g = m_grid.cells();
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

void ItemLists::FillDEGrid(Recordset& rs, Database& db) {
    GridModel& g = m_grid.cells();
    GridModel::Batch batch(g);
    g.setRows(1);
    std::optional<TableLookups::Fill> errata;
    for (; !rs.isEOF(); rs.MoveNext()) {
        const int r = appendItemRow();
        const QString id = rs.Text(QStringLiteral("ID"));
        g.setTextMatrix(r, colOf(HCol_F::Code), rs.Text(QStringLiteral("DECode")));
        g.setTextMatrix(r, colOf(HCol_F::Name), rs.Text(QStringLiteral("Name")));
        g.setTextMatrix(r, colOf(HCol_F::Unit), rs.Text(QStringLiteral("Unit")));
        g.setTextMatrix(r, colOf(HCol_F::ID), id);
        g.setIsSubtotal(r, true);
        g.setRowOutlineLevel(r, 0);
        if (!errata) errata.emplace(m_errata.begin(db, QStringLiteral("EditRecord"), QStringLiteral("DMID")));
        if (errata->any(id)) {
            g.setTextMatrix(r, colOf(HCol_F::Name),
                            g.TextMatrix(r, colOf(HCol_F::Name)) + QStringLiteral(" [堪误]"));
            g.setCellForeColor(r, colOf(HCol_F::Name), colOf(HCol_F::Name), kErrataColor);
        }
    }
    m_prices.fillEvery(m_state.profile().prices);
}

void ItemLists::listFound(qint32 rangeKind, qint32 findKind, const QString& text) {
    listWhere(findSQL(m_state.profile(), rangeKind, findKind, text));
}

void ItemLists::listFoundWith(qint32 rangeKind, qint32 findKind, const QString& text,
                              const std::vector<qint32>& more) {
    const QString sql = findSQL(m_state.profile(), rangeKind, findKind, text);
    listWhere(more.empty() ? sql : sql + QStringLiteral(" OR ") + idCondition(more));
}

void ItemLists::listIds(const std::vector<qint32>& ids) {
    const LibraryProfile& profile = m_state.profile();
    if (profile.itemTable == nullptr) return;
    listWhere(QStringLiteral("SELECT * FROM ") + QLatin1String(profile.itemTable) +
              QStringLiteral(" WHERE ") + idCondition(ids));
}

void ItemLists::listWhere(const QString& sql) {
    const LibraryProfile& profile = m_state.profile();
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    auto rs = db->OpenRecordset(sql, dbOpenDynaset);
    if (profile.fillFound) profile.fillFound(*this, *rs, *db);
}

}  // namespace kx
