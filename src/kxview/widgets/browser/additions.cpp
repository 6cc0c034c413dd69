#include "widgets/browser/additions.h"

#include <QApplication>
#include <QClipboard>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShortcut>

#include "core/data/item_index.h"
#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/data/price_history.h"
#include "core/pickers/library_paths.h"
#include "core/services/logging.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/description_pane.h"
#include "widgets/browser/frmpub_find.h"
#include "widgets/browser/item_lists.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/list_delegate.h"
#include "widgets/browser/list_filter.h"
#include "widgets/browser/price_history_dialog.h"
#include "widgets/browser/recent_favourites.h"
#include "widgets/browser/row_events.h"
#include "widgets/browser/sheet_export.h"
#include "widgets/browser/status_line.h"
#include "widgets/controls/framedpanel.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/services/dialogs.h"
#include "widgets/services/guard.h"
#include "widgets/services/translations.h"

namespace kx {
namespace {

using A = KXView::Addition;

constexpr int kMarksPanelMin = 180;  // pixels
constexpr int kMarksPanelMax = 360;
constexpr int kGap = 2;

/// A text with an ASCII letter: something pinyin can match.
bool hasLatinLetter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80 && c.isLetter(); });
}

/// What an item is called in the list of a library kind.
QString itemWord(const QString& findStyle) {
    if (findStyle == QLatin1String("DE")) return QStringLiteral("定额子目");
    if (findStyle == QLatin1String("Mate")) return QStringLiteral("材料");
    if (findStyle == QLatin1String("DataBook")) return QStringLiteral("清单项目");
    return QStringLiteral("项目");
}

}  // namespace

Additions::Additions(BrowserParts parts)
    : QObject(&parts.q), d(std::move(parts)), m_delegate(new ListDelegate(d.F)) {
    d.F->setItemDelegate(m_delegate);
    d.F->installEventFilter(this);
    d.F->viewport()->installEventFilter(this);
    QObject::connect(d.F, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        guarded(QStringLiteral("grid menu"), [&] { showGridMenu(pos); });
    });
    // Items called go to the recent list of the library they belong to.
    QObject::connect(&d.q, &KXView::DoubleClickMate, this,
                     [this](qint32, const QString& code, const QString& key) { noteCall(key, code); });
    QObject::connect(
        &d.q, &KXView::DoubleClickDE, this,
        [this](qint32, const QString& code, const QString& key, qint16) { noteCall(key, code); });
    QObject::connect(&d.q, &KXView::DoubleClickDataBook, this, [this](const QString& code) {
        if (m_marks) noteCall(m_marks->libraryKey(), code);
    });
}

Additions::~Additions() = default;

void Additions::set(KXView::Addition which, bool on) {
    if (isOn(which) == on) return;
    m_on.set(static_cast<size_t>(which), on);
    apply(which);
}

void Additions::apply(KXView::Addition which) {
    switch (which) {
        case A::PinyinFind:
            if (m_filter) m_filter->setPinyin(isOn(A::PinyinFind));
            break;
        case A::FilterBox:
            if (isOn(A::FilterBox)) ensureFilter();
            if (m_filter) {
                m_filter->clear();
                m_filter->setVisible(isOn(A::FilterBox));
            }
            break;
        case A::RecentAndFavourites:
            if (isOn(A::RecentAndFavourites)) ensureMarks();
            if (m_marks) m_marks->setVisible(isOn(A::RecentAndFavourites));
            break;
        case A::RowErrorsInStatusLine:
            if (isOn(A::RowErrorsInStatusLine)) ensureStatusLine();
            if (m_status) m_status->setVisible(isOn(A::RowErrorsInStatusLine));
            break;
        case A::ErrataLink:
            m_delegate->setErrataLink(isOn(A::ErrataLink));
            d.F->viewport()->setMouseTracking(isOn(A::ErrataLink));
            break;
        case A::GridMenu:
            d.F->setContextMenuPolicy(isOn(A::GridMenu) ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
            break;
        case A::SpreadsheetExport:
            // Several rows can be chosen to copy; the current row stays the one the browser works on.
            d.F->setSelectionMode(isOn(A::SpreadsheetExport) ? QAbstractItemView::ExtendedSelection
                                                             : QAbstractItemView::SingleSelection);
            break;
        case A::QtTranslations:
            if (isOn(A::QtTranslations)) useQtChineseTranslations();
            break;
        case A::OutlineKeys:
            if (!m_findKey) {
                m_findKey = new QShortcut(QKeySequence::Find, &d.q);
                m_findKey->setContext(Qt::WidgetWithChildrenShortcut);
                QObject::connect(m_findKey, &QShortcut::activated, this, [this] {
                    runGuarded(&d.q, QStringLiteral("find key"), [this] { d.q.FindOne(); });
                });
            }
            m_findKey->setEnabled(isOn(A::OutlineKeys));
            break;
        case A::FullCodes:
        case A::NameColumnFills:
            applyColumns();
            break;
        case A::EmptyListNotice:
            updateNotice();
            break;
        case A::PriceHistory:
        case A::NewListAtTop:
        case A::PaneFollowsList:
        case A::FocusOnResults:
        case A::DialogsOverHost:
        case A::PickerEnterKey:
            break;  // each acts when its moment comes
    }
    d.UserControl_Resize();
}

void Additions::applyColumns() {
    d.F->setFitColumn(isOn(A::FullCodes) ? colOf(HCol_F::Code) : -1);
    d.F->setFillColumn(isOn(A::NameColumnFills) ? colOf(HCol_F::Name) : -1);
    d.F->setElidedTextTips(isOn(A::NameColumnFills));
}

void Additions::ensureStatusLine() {
    if (m_status) return;
    m_status = new StatusLine(d.box);
    refreshListInfo();
}

void Additions::ensureFilter() {
    if (m_filter) return;
    m_filter = new ListFilter(d.state, *d.F, *d.lists, *m_delegate, d.box);
    m_filter->setPinyin(isOn(A::PinyinFind));
    m_filter->onListReplaced = [this] { afterListing(ListOrigin::Filter, m_filter->text()); };
    m_filter->onBackToCategory = [this] {
        guarded(QStringLiteral("filter"), [this] { d.tree_NodeClick(d.tree->SelectedID(), QString()); });
        afterListing(ListOrigin::Category);
    };
    QObject::connect(m_filter->findChild<QLineEdit*>(QStringLiteral("txtFilter")), &QLineEdit::textChanged,
                     this, [this] {
                         updateNotice();
                         refreshListInfo();
                     });
}

void Additions::ensureMarks() {
    if (m_marks) return;
    m_marks = new RecentFavourites(
        d.state, *d.F, [this] { return index(); }, &d.q);
    m_marks->setStore(m_marksStore);
    m_marks->onChosen = [this](const QString& code) {
        guarded(QStringLiteral("go to item"), [&] { goToItem(code); });
    };
}

void Additions::setMarksStore(PropertyStore* store) {
    m_marksStore = store;
    if (m_marks) m_marks->setStore(store);
}

std::shared_ptr<const ItemIndex> Additions::index() const {
    const LibraryProfile& profile = d.state.profile();
    if (profile.itemTable == nullptr) return nullptr;
    return ItemIndex::of(d.state.DBFullName,
                         {QLatin1String(profile.itemTable), QLatin1String(profile.codeField)},
                         isOn(A::PinyinFind) ? &PinyinReadings::shared() : nullptr);
}

void Additions::guarded(const QString& what, const std::function<void()>& command) {
    runGuarded(&d.q, what, command);
}

void Additions::afterLoad() {
    if (m_marks && isOn(A::RecentAndFavourites))
        guarded(QStringLiteral("recent items"), [this] { m_marks->refresh(); });
}

void Additions::afterListing(ListOrigin origin, const QString& text) {
    if (isOn(A::NewListAtTop)) {
        d.F->scrollToTop();
        d.F->horizontalScrollBar()->setValue(0);
    }
    if (isOn(A::PaneFollowsList)) d.txtSM->setText(QString());
    if (m_filter && isOn(A::FilterBox) && origin != ListOrigin::Filter) m_filter->applyToNewList();
    const QString word = itemWord(d.state.FindStyle);
    m_notice = origin == ListOrigin::Category ? QStringLiteral("此分类下没有%1").arg(word)
                                              : QStringLiteral("没有找到与“%1”匹配的%2").arg(text, word);
    updateNotice();
    refreshListInfo();
}

void Additions::updateNotice() {
    if (!isOn(A::EmptyListNotice)) {
        d.F->setPlaceholderText(QString());
        return;
    }
    const bool filtering = m_filter && isOn(A::FilterBox) && !m_filter->text().isEmpty();
    d.F->setPlaceholderText(
        filtering ? QStringLiteral("没有与“%1”匹配的%2").arg(m_filter->text(), itemWord(d.state.FindStyle))
                  : m_notice);
}

void Additions::refreshListInfo() {
    if (!m_status) return;
    const QString filtered = m_filter && isOn(A::FilterBox) ? m_filter->listInfo() : QString();
    const ItemRows rows(d.F->cells());
    int items = 0;
    for (int r = GridModel::FixedRows; r < d.F->cells().Rows(); ++r) items += rows.itemRow(r) == r;
    m_status->setListInfo(filtered.isEmpty() ? QStringLiteral("共 %1 项").arg(items) : filtered);
}

void Additions::beforeFind(frmPub_Find& form) {
    if (isOn(A::DialogsOverHost)) centreOver(form, &d.q);
}

void Additions::afterFind() {
    if (!isOn(A::FocusOnResults)) return;
    d.F->setFocus();
    for (int row = GridModel::FixedRows; row < d.F->cells().Rows(); ++row) {
        if (!d.F->isRowShown(row)) continue;
        d.F->setRow(row);
        d.F->scrollTo(d.F->cells().index(row - GridModel::FixedRows, colOf(HCol_F::Code)));
        break;
    }
}

std::vector<qint32> Additions::pinyinMatches(qint32 rangeKind, qint32 findKind, const QString& text) {
    std::vector<qint32> ids;
    if (!isOn(A::PinyinFind) || rangeKind != 1 || findKind != 1 || !hasLatinLetter(text)) return ids;
    const std::shared_ptr<const ItemIndex> library = index();
    if (!library) return ids;
    const RowFilter filter(text, &PinyinReadings::shared());
    for (const int position : library->matching(filter)) {
        if (static_cast<int>(ids.size()) >= ListFilter::MaxListed) break;
        const IndexedItem& item = library->item(position);
        // Only names count in a find by name.
        if (filter.spanInName(item.name)) ids.push_back(item.id);
    }
    return ids;
}

void Additions::place() {
    if (d.state.profile().panes == LibraryProfile::Panes::Untouched) return;
    if (m_marks && isOn(A::RecentAndFavourites)) {
        const QRect tree = d.tree->geometry();
        const int width = std::clamp(tree.width() / 3, kMarksPanelMin, kMarksPanelMax);
        d.tree->setGeometry(tree.x(), tree.y(), std::max(0, tree.width() - width - kGap), tree.height());
        m_marks->setGeometry(tree.right() + 1 - width, tree.y(), width, tree.height());
        m_marks->raise();
    }
    QRect grid = d.F->geometry();
    if (m_filter && isOn(A::FilterBox)) {
        const int height = m_filter->sizeHint().height();
        m_filter->setGeometry(grid.x(), grid.y(), grid.width(), height);
        grid.setTop(grid.top() + height + kGap);
    }
    if (m_status && isOn(A::RowErrorsInStatusLine)) {
        const int height = m_status->sizeHint().height();
        m_status->setGeometry(grid.x(), grid.bottom() + 1 - height, grid.width(), height);
        grid.setBottom(grid.bottom() - height);
    }
    if (grid.height() > 0) d.F->setGeometry(grid);
}

bool Additions::describeCurrentRow() {
    if (!isOn(A::RowErrorsInStatusLine) || !m_status) return false;
    try {
        d.pane->F_RowColChange();
        m_status->clearRowFailure();
    } catch (const std::exception& e) {
        const int row = d.F->Row();
        const ItemRows rows(d.F->cells());
        const bool related =
            row >= GridModel::FixedRows && rows.cell(row, HCol_F::RowKind) == QLatin1String("DE");
        m_status->showRowFailure(describeRowFailure(e, related ? rows.cell(row, HCol_F::DEKey) : QString()),
                                 QString::fromUtf8(e.what()));
    }
    return true;
}

bool Additions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == d.F && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        bool handled = false;
        guarded(QStringLiteral("grid key"), [&] { handled = handleGridKey(key->key(), key->modifiers()); });
        return handled;
    }
    if (watched == d.F->viewport() && isOn(A::ErrataLink)) {
        bool handled = false;
        guarded(QStringLiteral("errata mark"), [&] { handled = handleGridMouse(event); });
        return handled;
    }
    return QObject::eventFilter(watched, event);
}

bool Additions::handleGridKey(int key, Qt::KeyboardModifiers modifiers) {
    GridModel& g = d.F->cells();
    const int row = d.F->Row();
    const bool control = modifiers & Qt::ControlModifier;
    if (control && key == Qt::Key_C && isOn(A::SpreadsheetExport)) {
        copyRows(*d.F, selectedRows(*d.F));
        return true;
    }
    if (control && key == Qt::Key_D && isOn(A::RecentAndFavourites) && m_marks &&
        row >= GridModel::FixedRows) {
        m_marks->toggleFavourite(row);
        return true;
    }
    if (key == Qt::Key_Escape && m_filter && isOn(A::FilterBox) && !m_filter->text().isEmpty()) {
        m_filter->clear();
        return true;
    }
    if (!isOn(A::OutlineKeys) || row < GridModel::FixedRows || control) return false;
    const bool fold = key == Qt::Key_Left || key == Qt::Key_Minus;
    const bool unfold = key == Qt::Key_Right || key == Qt::Key_Plus;
    if (!fold && !unfold) return false;
    if (g.hasChildRows(row)) {
        const bool collapsed = g.IsCollapsed(row) == OutlineCollapsed;
        if (fold && !collapsed) g.setIsCollapsed(row, OutlineCollapsed);
        if (unfold && collapsed) g.setIsCollapsed(row, OutlineExpanded);
        if (fold != collapsed) return true;
    }
    // Left on a child row goes up to the item it belongs to.
    const int item = ItemRows(g).itemRow(row);
    if (fold && item != row) {
        d.F->setRow(item);
        return true;
    }
    return key == Qt::Key_Minus || key == Qt::Key_Plus;  // the arrows keep their own meaning elsewhere
}

bool Additions::handleGridMouse(QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::MouseMove) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    const QModelIndex index = d.F->indexAt(pos);
    const bool onMark = index.isValid() && d.state.FindStyle == QLatin1String("DE") &&
                        m_delegate->errataMarkRect(d.F, d.F->visualRect(index), index).contains(pos);
    if (event->type() == QEvent::MouseMove) {
        onMark ? d.F->viewport()->setCursor(Qt::PointingHandCursor) : d.F->viewport()->unsetCursor();
        return false;
    }
    if (!onMark || mouse->button() != Qt::LeftButton) return false;
    d.rows->raiseEditRecord(GridModel::gridRow(index));
    return false;  // the click also makes the row current, as any click does
}

void Additions::showGridMenu(const QPoint& pos) {
    const QModelIndex at = d.F->indexAt(pos);
    if (at.isValid() && !d.F->selectionModel()->isRowSelected(at.row())) d.F->setRow(GridModel::gridRow(at));
    const int row = d.F->Row();
    const bool onRow = row >= GridModel::FixedRows;
    const ItemRows rows(d.F->cells());
    QMenu menu(d.F);
    menu.setObjectName(QStringLiteral("gridMenu"));
    if (onRow) {
        menu.addAction(QStringLiteral("复制编号"), this, [this, row] {
            const ItemRows r(d.F->cells());
            QApplication::clipboard()->setText(r.cell(r.itemRow(row), HCol_F::Code));
        });
        menu.addAction(QStringLiteral("复制行\tCtrl+C"), this,
                       [this] { copyRows(*d.F, selectedRows(*d.F)); });
    }
    if (onRow && isOn(A::RecentAndFavourites) && m_marks) {
        const bool favourite = m_marks->isFavourite(row);
        menu.addAction(
            favourite ? QStringLiteral("取消收藏\tCtrl+D") : QStringLiteral("加入收藏\tCtrl+D"), this,
            [this, row] { guarded(QStringLiteral("favourite"), [&] { m_marks->toggleFavourite(row); }); });
    }
    if (isOn(A::SpreadsheetExport)) {
        menu.addSeparator();
        const QString title = d.tree->SelectedIndex() > 0 ? d.tree->NodeAt(d.tree->SelectedIndex()).Text()
                                                          : QStringLiteral("列表");
        menu.addAction(QStringLiteral("导出为 XLSX..."), this,
                       [this, title] { exportGrid(*d.F, SheetFormat::Xlsx, title, &d.q); });
        menu.addAction(QStringLiteral("导出为 CSV..."), this,
                       [this, title] { exportGrid(*d.F, SheetFormat::Csv, title, &d.q); });
    }
    const bool priced = d.state.profile().prices.table != nullptr;
    if (onRow && isOn(A::PriceHistory) && priced && rows.rowId(rows.itemRow(row)) > 0) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("价格走势..."), this, [this, row] {
            guarded(QStringLiteral("price history"), [&] { showPriceHistory(row); });
        });
    }
    if (onRow && rows.cell(row, HCol_F::Name).endsWith(errataMark()) &&
        d.state.FindStyle == QLatin1String("DE")) {
        menu.addAction(QStringLiteral("查看勘误"), this, [this, row] {
            guarded(QStringLiteral("errata"), [&] { d.rows->raiseEditRecord(row); });
        });
    }
    if (menu.isEmpty()) return;
    menu.exec(d.F->viewport()->mapToGlobal(pos));
}

void Additions::showPriceHistory(int row) {
    const ItemRows rows(d.F->cells());
    const int item = rows.itemRow(row);
    const LibraryProfile& profile = d.state.profile();
    auto db = modPub_DB::OpenDB(d.state.DBFullName);
    // The price files of a quota library are those of its material library (as the price tool offers).
    const QString key =
        modPub_DB::GetKeyInfo(*db, d.state.FindStyle == QLatin1String("DE") ? QStringLiteral("WithMateKey")
                                                                            : QStringLiteral("Key"));
    db->Close();
    const NameInFolder folder = priceFolderOf(d.state.DBFullName, key);
    if (!folder.accepted()) {
        modPub_Sub::ShowMsg(folder.refusal);
        return;
    }
    const QList<PricePoint> points =
        readPriceHistory(folder.path,
                         {QLatin1String(profile.prices.table), QLatin1String(profile.prices.idField),
                          QLatin1String(profile.prices.valueField)},
                         rows.rowId(item));
    PriceHistoryDialog dialog(&d.q);
    dialog.setHistory(rows.cell(item, HCol_F::Code) + QLatin1Char(' ') + rows.itemName(item), points);
    dialogService().exec(dialog);
}

void Additions::goToItem(const QString& code) {
    const std::shared_ptr<const ItemIndex> library = index();
    const std::optional<int> position = library ? library->findCode(code) : std::nullopt;
    if (!position) {
        if (m_status) m_status->showRowFailure(QStringLiteral("本库中已没有编号为“%1”的项").arg(code), code);
        return;
    }
    const IndexedItem& item = library->item(*position);
    // The category whose class is the longest beginning of the item's class.
    auto db = modPub_DB::OpenDB(d.state.DBFullName);
    auto categories = db->OpenRecordset(
        QStringLiteral("SELECT * FROM ") + QLatin1String(d.state.profile().categoryTable), dbOpenSnapshot);
    QHash<qint32, QString> classOf;
    for (; !categories->isEOF(); categories->MoveNext())
        classOf.insert(categories->Value(QStringLiteral("ID")).toInt(),
                       categories->Text(QStringLiteral("Class")));
    db->Close();
    qint16 best = 0;
    int bestLength = -1;
    for (qint16 node = 1; node <= d.tree->NodeCount(); ++node) {
        const auto cls = classOf.find(d.tree->NodeID(node));
        if (cls == classOf.end() || !item.cls.startsWith(*cls) || cls->size() <= bestLength) continue;
        best = node;
        bestLength = static_cast<int>(cls->size());
    }
    if (m_filter) m_filter->clear();
    if (best > 0) {
        d.tree->NodeAt(best).setSelected(true);
        d.tree_NodeClick(d.tree->NodeID(best), QString());
    } else {
        d.lists->listIds({item.id});
        afterListing(ListOrigin::Find, code);
    }
    const ItemRows rows(d.F->cells());
    for (int r = GridModel::FixedRows; r < d.F->cells().Rows(); ++r) {
        if (rows.rowId(r) != item.id) continue;
        d.F->setFocus();
        d.F->setRow(r);
        d.F->scrollTo(d.F->cells().index(r - GridModel::FixedRows, colOf(HCol_F::Code)));
        return;
    }
}

void Additions::noteCall(const QString& key, const QString& code) {
    if (!m_marks || !isOn(A::RecentAndFavourites)) return;
    guarded(QStringLiteral("recent items"), [&] { m_marks->noteCall(key, code); });
}

}  // namespace kx
