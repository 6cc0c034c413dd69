// The category tree: a node click lists its category; expand and collapse all.
#include "core/data/modpub_db.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/controls/kxtree.h"

namespace kx {
namespace {

QString categoryTable(LibraryKind kind) {
    switch (kind) {
        case LibraryKind::DE:
            return QStringLiteral("DMIndex");
        case LibraryKind::Mate:
            return QStringLiteral("MateIndex");
        case LibraryKind::DataBook:
            return QStringLiteral("QDIndex");
        case LibraryKind::None:
            break;
    }
    return {};
}

}  // namespace

void KXView::Private::tree_NodeClick(qint16 p_ID, const QString&) {
    const QString table = categoryTable(kind());
    if (table.isEmpty()) return;  // no kind: no category table to read
    auto db = modPub_DB::OpenDB(DBFullName);
    auto rs = db->OpenRecordset(
        QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE ID=") + QString::number(p_ID),
        dbOpenDynaset);
    // A node without a row (the library node above the categories) lists nothing.
    if (!rs->isEOF()) q.LoadData(DBFullName, rs->Text(QStringLiteral("Class")));
    db->Close();
}

void KXView::SetTreeExpandedState(const QString& p_Kind) {
    bool expanded = false;
    if (p_Kind == QStringLiteral("全关闭")) {
        expanded = false;
    } else if (p_Kind == QStringLiteral("全展开")) {
        expanded = true;
    } else {
        return;
    }
    const qint16 count = d->tree->NodeCount();
    for (qint16 index = 1; index <= count; ++index) d->tree->NodeAt(index).setExpanded(expanded);
}

}  // namespace kx
