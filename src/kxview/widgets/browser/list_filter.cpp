#include "widgets/browser/list_filter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_lists.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/list_delegate.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {
ListFilter::ListFilter(const BrowserState& state, OutlineGrid& grid, ItemLists& lists, ListDelegate& delegate,
                       QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_grid(grid),
      m_lists(lists),
      m_delegate(delegate),
      m_text(new QLineEdit(this)),
      m_wholeLibrary(new QCheckBox(QStringLiteral("整个库"), this)) {
    setObjectName(QStringLiteral("filterBar"));
    m_text->setObjectName(QStringLiteral("txtFilter"));
    m_text->setPlaceholderText(QStringLiteral("筛选：编号、名称、单位或拼音首字母（Esc 清除）"));
    m_text->setClearButtonEnabled(true);
    m_wholeLibrary->setObjectName(QStringLiteral("chkWholeLibrary"));
    m_wholeLibrary->setToolTip(QStringLiteral("在整个库中查找，而不只是当前分类"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_wholeLibrary);
    m_text->installEventFilter(this);
    connect(m_text, &QLineEdit::textChanged, this, [this] { textEdited(); });
    connect(m_wholeLibrary, &QCheckBox::toggled, this, [this] {
        m_previousText.clear();
        textEdited();
    });
}

ListFilter::~ListFilter() = default;

void ListFilter::setPinyin(bool on) {
    if (m_pinyin == on) return;
    m_pinyin = on;
    m_previousText.clear();
    if (!text().isEmpty()) textEdited();
}

QString ListFilter::text() const {
    return m_text->text();
}

void ListFilter::clear() {
    m_text->clear();
}

const PinyinReadings* ListFilter::readings() const {
    return m_pinyin ? &PinyinReadings::shared() : nullptr;
}

void ListFilter::textEdited() {
    m_filter = RowFilter(text(), readings());
    m_delegate.setFilter(m_filter);
    if (m_wholeLibrary->isChecked() && !m_filter.isEmpty()) {
        listWholeLibrary();
        return;
    }
    if (m_listsLibrary) {
        // Back from the whole library to the category the tree shows, narrowed by what is typed.
        m_listsLibrary = false;
        if (onBackToCategory) onBackToCategory();
        return;
    }
    narrowList();
}

void ListFilter::applyToNewList() {
    m_listsLibrary = false;
    narrowList();
}

void ListFilter::narrowList() {
    if (m_filter.isEmpty()) {
        m_grid.setRowFilter(nullptr);
    } else {
        m_grid.setRowFilter([this](int row) { return rowPasses(row); });
    }
    m_grid.viewport()->update();
}

bool ListFilter::rowPasses(int row) const {
    const ItemRows rows(m_grid.cells());
    const int item = rows.itemRow(row);
    return m_filter.matchesTexts(rows.cell(item, HCol_F::Code), rows.itemName(item),
                                 rows.cell(item, HCol_F::Unit));
}

void ListFilter::listWholeLibrary() {
    const LibraryProfile& profile = m_state.profile();
    if (profile.itemTable == nullptr) return;  // no kind, no items
    m_index = ItemIndex::of(m_state.DBFullName,
                            {QLatin1String(profile.itemTable), QLatin1String(profile.codeField)}, readings());
    // Each keystroke that extends the text only narrows the matches of the text before it.
    const bool narrows = !m_previousText.isEmpty() && text().startsWith(m_previousText, Qt::CaseInsensitive);
    m_matches = narrows ? m_index->matchingAmong(m_filter, m_matches) : m_index->matching(m_filter);
    m_previousText = text();
    std::vector<qint32> ids;
    for (size_t i = 0; i < m_matches.size() && ids.size() < MaxListed; ++i)
        ids.push_back(m_index->item(m_matches[i]).id);
    m_grid.setRowFilter(nullptr);
    m_listsLibrary = true;
    m_lists.listIds(ids);
    if (onListReplaced) onListReplaced();
}

QString ListFilter::listInfo() const {
    if (m_filter.isEmpty()) return {};
    if (m_listsLibrary) {
        const int found = static_cast<int>(m_matches.size());
        return found > MaxListed ? QStringLiteral("整个库中有 %1 项与“%2”匹配，列出前 %3 项")
                                       .arg(found)
                                       .arg(text())
                                       .arg(MaxListed)
                                 : QStringLiteral("整个库中有 %1 项与“%2”匹配").arg(found).arg(text());
    }
    int items = 0, shown = 0;
    const GridModel& g = m_grid.cells();
    const ItemRows rows(g);
    for (int row = GridModel::FixedRows; row < g.Rows(); ++row) {
        if (rows.itemRow(row) != row) continue;
        ++items;
        shown += rowPasses(row);
    }
    return QStringLiteral("筛选“%1”：%2 / %3 项").arg(text()).arg(shown).arg(items);
}

bool ListFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_text || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        return true;
    }
    // Down or Enter goes on to the first item shown.
    if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
        for (int row = GridModel::FixedRows; row < m_grid.cells().Rows(); ++row) {
            if (!m_grid.isRowShown(row)) continue;
            m_grid.setFocus();
            m_grid.setRow(row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kx
