// Find: the items of the whole library whose code, name or unit contains or equals a text, listed in place
// of the category's items.
#include "core/data/modpub_db.h"
#include "widgets/browser/frmpub_find.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/services/forms.h"

namespace kx {
namespace {

/// The item table of a library kind; none for no kind, so that the statement fails in the engine.
QString itemTable(LibraryKind kind) {
    switch (kind) {
        case LibraryKind::DE:
            return QStringLiteral("DM");
        case LibraryKind::Mate:
            return QStringLiteral("Mate");
        case LibraryKind::DataBook:
            return QStringLiteral("DataBook");
        case LibraryKind::None:
            break;
    }
    return {};
}

/// The field searched for a range kind (0 code, 1 name, 2 unit): a quota's code is DECode.
QString searchedField(LibraryKind kind, qint32 rangeKind) {
    if (rangeKind == 0) return kind == LibraryKind::DE ? QStringLiteral("DECode") : QStringLiteral("Code");
    return rangeKind == 1 ? QStringLiteral("Name") : QStringLiteral("Unit");
}

/// The search statement; the text goes in as it stands, wildcards included.
QString findSQL(LibraryKind kind, qint32 rangeKind, qint32 findKind, const QString& text) {
    const QString head = QStringLiteral("SELECT * FROM ") + itemTable(kind) + QStringLiteral(" WHERE ") +
                         searchedField(kind, rangeKind);
    if (findKind != 0) return head + QStringLiteral(" Like '*") + text + QStringLiteral("*'");
    return head + QStringLiteral("='") + text + QLatin1Char('\'');
}

}  // namespace

void KXView::FindOne() {
    frmPub_Find& form = sharedForm<frmPub_Find>();
    form.ShowModal();
    if (form.GetUnloadState() != 0) return;
    const LibraryKind kind = d->kind();
    auto db = modPub_DB::OpenDB(d->DBFullName);
    auto rs = db->OpenRecordset(findSQL(kind, form.GetRangeKind(), form.GetFindKind(), form.GetFindName()),
                                dbOpenDynaset);
    switch (kind) {
        case LibraryKind::DE:
            d->FillDEGrid(*rs, *db);
            break;
        case LibraryKind::Mate:
            d->FillMateGrid(*rs);
            break;
        case LibraryKind::DataBook:
            d->FillDataBookGrid(*rs);
            break;
        case LibraryKind::None:
            break;
    }
}

}  // namespace kx
