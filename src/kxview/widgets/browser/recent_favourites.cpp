#include "widgets/browser/recent_favourites.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

#include "core/data/modpub_db.h"
#include "core/services/logging.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_rows.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {

const QString RecentFavourites::MissingNote = QStringLiteral("（本库中已没有此项）");

namespace {

constexpr int kCodeColumn = 0;

/// Goes to the entry chosen with Enter as a double-click does.
class EnterChooses : public QObject {
public:
    EnterChooses(QTreeWidget& list, std::function<void(QTreeWidgetItem*)> choose)
        : QObject(&list), m_list(list), m_choose(std::move(choose)) {
        list.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || m_list.currentItem() == nullptr) return false;
        m_choose(m_list.currentItem());
        return true;
    }

private:
    QTreeWidget& m_list;
    std::function<void(QTreeWidgetItem*)> m_choose;
};

}  // namespace

RecentFavourites::RecentFavourites(const BrowserState& state, OutlineGrid& grid,
                                   std::function<std::shared_ptr<const ItemIndex>()> index, QWidget* parent)
    : QTabWidget(parent),
      m_state(state),
      m_grid(grid),
      m_index(std::move(index)),
      m_recent(makeList("lstRecent")),
      m_favourites(makeList("lstFavourites")) {
    setObjectName(QStringLiteral("marksPanel"));
    setDocumentMode(true);
    addTab(m_recent, QStringLiteral("最近使用"));
    addTab(m_favourites, QStringLiteral("收藏"));
}

RecentFavourites::~RecentFavourites() = default;

QTreeWidget* RecentFavourites::makeList(const char* name) {
    auto* list = new QTreeWidget(this);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("单位")});
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    auto choose = [this](QTreeWidgetItem* item) {
        if (item != nullptr && onChosen) onChosen(item->text(kCodeColumn));
    };
    connect(list, &QTreeWidget::itemDoubleClicked, this, choose);
    new EnterChooses(*list, choose);
    return list;
}

void RecentFavourites::setStore(PropertyStore* store) {
    m_marks.setStore(store);
    refresh();
}

QString RecentFavourites::libraryKey() {
    if (m_state.DBFullName.isEmpty()) return {};
    if (m_keyOf != m_state.DBFullName) {
        auto db = modPub_DB::OpenDB(m_state.DBFullName);
        m_key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
        db->Close();
        m_keyOf = m_state.DBFullName;
    }
    return m_key;
}

MarkedItem RecentFavourites::itemOfRow(int row) const {
    const ItemRows rows(m_grid.cells());
    const int item = rows.itemRow(row);
    return {rows.cell(item, HCol_F::Code), rows.itemName(item), rows.cell(item, HCol_F::Unit)};
}

void RecentFavourites::noteCall(const QString& key, const QString& code) {
    MarkedItem item{code, QString(), QString()};
    const int row = m_grid.Row();
    if (row >= GridModel::FixedRows) {
        const MarkedItem listed = itemOfRow(row);
        // A related quota's row reads "code name": its name is what follows the code.
        item.name = listed.code == code ? listed.name : listed.name.mid(code.size()).trimmed();
        item.unit = listed.unit;
    }
    m_marks.addRecent(key, item);
    refresh();
}

bool RecentFavourites::isFavourite(int row) {
    return m_marks.isFavourite(libraryKey(), itemOfRow(row).code);
}

void RecentFavourites::toggleFavourite(int row) {
    const MarkedItem item = itemOfRow(row);
    m_marks.setFavourite(libraryKey(), item, !m_marks.isFavourite(libraryKey(), item.code));
    refresh();
}

void RecentFavourites::refresh() {
    QString key;
    std::shared_ptr<const ItemIndex> index;
    try {
        key = libraryKey();
        index = m_index();
    } catch (const std::exception& e) {
        // A library that cannot be read shows the marks of its key (if known) without telling which items
        // it still holds; the failure itself reaches the user where the library is used.
        qCDebug(lcKxView) << "marks shown without the library:" << e.what();
    }
    fill(*m_recent, m_marks.recent(key), index.get());
    fill(*m_favourites, m_marks.favourites(key), index.get());
}

void RecentFavourites::fill(QTreeWidget& list, const QList<MarkedItem>& items, const ItemIndex* index) {
    list.clear();
    for (const MarkedItem& item : items) {
        const bool missing = index != nullptr && !index->findCode(item.code).has_value();
        auto* entry =
            new QTreeWidgetItem(&list, {item.code, missing ? item.name + MissingNote : item.name, item.unit});
        if (!missing) continue;
        for (int c = 0; c < 3; ++c)
            entry->setForeground(c, palette().color(QPalette::Disabled, QPalette::Text));
        entry->setToolTip(1, QStringLiteral("更新后的库中已没有编号为“%1”的项").arg(item.code));
    }
}

}  // namespace kx
